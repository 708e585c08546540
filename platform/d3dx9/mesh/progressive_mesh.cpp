// ID3DXPMesh: the pmesh runtime feeding the device's index buffer. A change of level rewrites index
// slots in the runtime's own buffer (nothing allocated); the span of slots the collapses between
// the two levels touch is then sent to the device's buffer in one lock.
#include <algorithm>
#include <new>
#include <utility>

#include "mesh_internal.h"

namespace zr::d3dx9::mesh {

HRESULT GlPMesh::Create(MeshBuffers&& buffers, pmesh::ProgressiveMesh progressive, std::size_t floor, GlPMesh** out) {
  if (progressive.LevelFaces().empty() || floor > progressive.NumCollapses() ||
      buffers.Faces() != progressive.GetMaxFaces() || buffers.Vertices() != progressive.NumVertices())
    return D3DERR_INVALIDCALL;
  auto* mesh = new (std::nothrow) GlPMesh(std::move(buffers), std::move(progressive), floor);
  if (mesh == nullptr) return E_OUTOFMEMORY;
  *out = mesh;
  return D3D_OK;
}

HRESULT GlPMesh::DrawSubset(DWORD attribId) {
  if (HRESULT hr = SendIndices(); FAILED(hr)) return hr;
  for (const pmesh::SubsetRange& s : pm_.Subsets()) {
    if (s.attribute != attribId) continue;
    if (s.faceCount == 0) return D3D_OK;
    if (HRESULT hr = buffers_.Bind(); FAILED(hr)) return hr;
    return buffers_.Device()->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, pm_.NumActiveVertices(),
                                                   s.faceStart * 3, s.faceCount);
  }
  return D3D_OK;
}

HRESULT GlPMesh::SetNumFaces(DWORD faces) {
  const std::size_t from = pm_.Level();
  pm_.SetNumFaces(std::max<DWORD>(faces, GetMinFaces()));
  return pm_.Level() != from ? LevelChanged(from) : SendIndices();
}

HRESULT GlPMesh::SetNumVertices(DWORD vertices) {
  const std::size_t from = pm_.Level();
  pm_.SetNumVertices(std::max<DWORD>(vertices, GetMinVertices()));
  return pm_.Level() != from ? LevelChanged(from) : SendIndices();
}

HRESULT GlPMesh::LevelChanged(std::size_t from) {
  const std::size_t to = pm_.Level();
  const auto records = pm_.Collapses().subspan(std::min(from, to), from > to ? from - to : to - from);
  const auto rewrites = pm_.Rewrites();
  std::size_t begin = dirtyBegin_, end = dirtyEnd_;
  for (const pmesh::CollapseRecord& r : records) {
    for (std::uint32_t i = r.rewriteStart; i < r.rewriteStart + r.rewriteCount; ++i) {
      const std::size_t slot = rewrites[i].slot;
      if (begin == end) {
        begin = slot;
        end = slot + 1;
      } else {
        begin = std::min(begin, slot);
        end = std::max(end, slot + 1);
      }
    }
  }
  dirtyBegin_ = begin;
  dirtyEnd_ = end;
  return SendIndices();
}

HRESULT GlPMesh::SendIndices() {
  if (dirtyBegin_ == dirtyEnd_) return D3D_OK;
  const std::byte* source = pm_.IndexBytes().data() + dirtyBegin_ * (pm_.Uses32BitIndices() ? 4 : 2);
  const HRESULT hr = buffers_.WriteIndices(dirtyBegin_, dirtyEnd_ - dirtyBegin_, source, pm_.Uses32BitIndices());
  if (SUCCEEDED(hr)) dirtyBegin_ = dirtyEnd_ = 0;
  return hr;
}

HRESULT GlPMesh::LockIndexBuffer(DWORD flags, LPVOID* data) {
  if (data == nullptr) return D3DERR_INVALIDCALL;
  if (HRESULT hr = SendIndices(); FAILED(hr)) {
    *data = nullptr;
    return hr;
  }
  return MeshObject::LockIndexBuffer(flags, data);
}

HRESULT GlPMesh::UnlockIndexBuffer() {
  const HRESULT hr = MeshObject::UnlockIndexBuffer();
  if (SUCCEEDED(hr)) SendIndices();
  return hr;
}

std::vector<Face> GlPMesh::ActiveFaces() const {
  std::vector<Face> faces;
  faces.reserve(pm_.GetNumFaces());
  for (const pmesh::SubsetRange& s : pm_.Subsets()) {
    for (std::uint32_t f = s.faceStart; f < s.faceStart + s.faceCount; ++f)
      faces.push_back({pm_.Index(f * 3), pm_.Index(f * 3 + 1), pm_.Index(f * 3 + 2)});
  }
  return faces;
}

std::vector<Face> GlPMesh::MaximumFaces() {
  std::vector<Face> faces(pm_.GetMaxFaces());
  const std::size_t level = pm_.Level();
  pm_.SetLevel(0);
  for (std::size_t f = 0; f < faces.size(); ++f) faces[f] = {pm_.Index(f * 3), pm_.Index(f * 3 + 1), pm_.Index(f * 3 + 2)};
  pm_.SetLevel(level);  // the same slots again, so the device's buffer is still right
  return faces;
}

HRESULT GlPMesh::GenerateAdjacency(FLOAT epsilon, DWORD* adjacency) {
  if (adjacency == nullptr) return D3DERR_INVALIDCALL;
  try {
    std::vector<std::byte> bytes;
    if (HRESULT hr = buffers_.ReadVertices(bytes); FAILED(hr)) return hr;
    const std::vector<Face> faces = ActiveFaces();
    const std::vector<std::uint32_t> links =
        pmesh::GenerateAdjacency(faces, PositionsOf(bytes, buffers_.Stride()), epsilon);
    std::copy(links.begin(), links.end(), adjacency);
    return D3D_OK;
  } catch (...) {
    return ResultOfException();
  }
}

// An independent copy: the runtime (collapse log and current level) copied, the vertices as the
// buffer holds them now converted to `fvf`, buffers where `options` put them on `device`.
HRESULT GlPMesh::ClonePMeshFVF(DWORD options, DWORD fvf, LPDIRECT3DDEVICE9 device, ID3DXPMesh** clone) {
  if (clone == nullptr) return D3DERR_INVALIDCALL;
  *clone = nullptr;
  if (device == nullptr || !IsMeshFvf(fvf)) return D3DERR_INVALIDCALL;
  try {
    std::vector<std::byte> bytes;
    if (HRESULT hr = buffers_.ReadVertices(bytes); FAILED(hr)) return hr;
    if (fvf != buffers_.Fvf()) bytes = ConvertVertices(bytes, buffers_.Fvf(), fvf);
    pmesh::ProgressiveMesh copy = pm_;
    MeshBuffers made;
    HRESULT hr = MeshBuffers::Create(device, options, fvf, copy.NumVertices(), copy.GetMaxFaces(), made);
    if (SUCCEEDED(hr)) hr = made.WriteVertices(bytes);
    if (SUCCEEDED(hr))
      hr = made.WriteIndices(0, std::size_t{copy.GetMaxFaces()} * 3, copy.IndexBytes().data(), copy.Uses32BitIndices());
    GlPMesh* mesh = nullptr;
    if (SUCCEEDED(hr)) hr = Create(std::move(made), std::move(copy), floor_, &mesh);
    if (SUCCEEDED(hr)) *clone = mesh;
    return hr;
  } catch (...) {
    return ResultOfException();
  }
}

}  // namespace zr::d3dx9::mesh
