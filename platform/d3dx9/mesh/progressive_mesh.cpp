// ID3DXPMesh: the pmesh runtime feeding the device's index buffer. A change of level rewrites index
// slots in the runtime's own buffer (nothing allocated); the span of slots the collapses between
// the two levels touch is then sent to the device's buffer in one lock.
#include <algorithm>
#include <new>
#include <utility>

#include "mesh_internal.h"

namespace zr::d3dx9::mesh {

HRESULT GlPMesh::Create(MeshBuffers&& buffers, pmesh::ProgressiveMesh progressive, GlPMesh** out) {
  std::vector<std::array<std::uint32_t, 2>> spans(progressive.NumCollapses(), {0, 0});
  const auto rewrites = progressive.Rewrites();
  for (std::size_t c = 0; c < spans.size(); ++c) {
    const pmesh::CollapseRecord& r = progressive.Collapses()[c];
    for (std::uint32_t i = r.rewriteStart; i < r.rewriteStart + r.rewriteCount; ++i) {
      const std::uint32_t slot = rewrites[i].slot;
      if (i == r.rewriteStart) spans[c] = {slot, slot + 1};
      else spans[c] = {std::min(spans[c][0], slot), std::max(spans[c][1], slot + 1)};
    }
  }
  return Create(std::move(buffers), std::move(progressive), std::move(spans), out);
}

HRESULT GlPMesh::Create(MeshBuffers&& buffers, pmesh::ProgressiveMesh progressive,
                        std::vector<std::array<std::uint32_t, 2>> spans, GlPMesh** out) {
  if (progressive.LevelFaces().empty() || spans.size() != progressive.NumCollapses() ||
      buffers.Faces() != progressive.GetMaxFaces() || buffers.Vertices() != progressive.NumVertices())
    return D3DERR_INVALIDCALL;
  auto* mesh = new (std::nothrow) GlPMesh(std::move(buffers), std::move(progressive), std::move(spans));
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

// The level changes even while the application holds the index buffer locked: the slots then
// wait, and reach the buffer when it is unlocked or drawn from.
HRESULT GlPMesh::SetNumFaces(DWORD faces) {
  const std::size_t from = pm_.Level();
  pm_.SetNumFaces(faces);
  if (pm_.Level() != from) MarkLevelChange(from);
  SendIndices();
  return D3D_OK;
}

HRESULT GlPMesh::SetNumVertices(DWORD vertices) {
  const std::size_t from = pm_.Level();
  pm_.SetNumVertices(vertices);
  if (pm_.Level() != from) MarkLevelChange(from);
  SendIndices();
  return D3D_OK;
}

void GlPMesh::MarkLevelChange(std::size_t from) {
  const std::size_t to = pm_.Level();
  std::size_t begin = dirtyBegin_, end = dirtyEnd_;
  for (std::size_t c = std::min(from, to); c < std::max(from, to); ++c) {
    const auto [first, last] = spans_[c];
    if (first == last) continue;
    if (begin == end) {
      begin = first;
      end = last;
    } else {
      begin = std::min<std::size_t>(begin, first);
      end = std::max<std::size_t>(end, last);
    }
  }
  dirtyBegin_ = begin;
  dirtyEnd_ = end;
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
    if (SUCCEEDED(hr)) hr = Create(std::move(made), std::move(copy), spans_, &mesh);
    if (SUCCEEDED(hr)) *clone = mesh;
    return hr;
  } catch (...) {
    return ResultOfException();
  }
}

}  // namespace zr::d3dx9::mesh
