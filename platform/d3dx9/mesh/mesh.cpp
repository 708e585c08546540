// ID3DXMesh: draws by attribute, adjacency, the attribute buffer and OptimizeInplace.
#include <algorithm>
#include <new>
#include <utility>

#include "mesh_internal.h"

namespace zr::d3dx9::mesh {

HRESULT GlMesh::Create(MeshBuffers&& buffers, std::vector<DWORD> attributes, std::vector<pmesh::AttributeRange> table,
                       GlMesh** out) {
  if (attributes.size() != buffers.Faces()) return D3DERR_INVALIDCALL;
  auto* mesh = new (std::nothrow) GlMesh(std::move(buffers), std::move(attributes), std::move(table));
  if (mesh == nullptr) return E_OUTOFMEMORY;
  *out = mesh;
  return D3D_OK;
}

// With an attribute table, one draw of the attribute's range; without, one draw per run of
// faces with the attribute. The format, stream 0 and indices stay set on the device.
HRESULT GlMesh::DrawSubset(DWORD attribId) {
  IDirect3DDevice9* device = buffers_.Device();
  if (!table_.empty()) {
    for (const pmesh::AttributeRange& r : table_) {
      if (r.attribute != attribId || r.faceCount == 0) continue;
      if (HRESULT hr = buffers_.Bind(); FAILED(hr)) return hr;
      return device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, r.vertexStart, r.vertexCount, r.faceStart * 3,
                                          r.faceCount);
    }
    return D3D_OK;
  }
  bool bound = false;
  const auto faces = static_cast<DWORD>(attributes_.size());
  for (DWORD begin = 0; begin < faces;) {
    if (attributes_[begin] != attribId) {
      ++begin;
      continue;
    }
    DWORD end = begin + 1;
    while (end < faces && attributes_[end] == attribId) ++end;
    if (!bound) {
      if (HRESULT hr = buffers_.Bind(); FAILED(hr)) return hr;
      bound = true;
    }
    const HRESULT hr = device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(buffers_.Vertices()),
                                                    begin * 3, end - begin);
    if (FAILED(hr)) return hr;
    begin = end;
  }
  return D3D_OK;
}

HRESULT GlMesh::ReadInput(pmesh::MeshInput& out, const DWORD* adjacency, bool payload) const {
  std::vector<std::byte> bytes;
  if (HRESULT hr = buffers_.ReadVertices(bytes); FAILED(hr)) return hr;
  if (HRESULT hr = buffers_.ReadFaces(out.faces); FAILED(hr)) return hr;
  out.positions = PositionsOf(bytes, buffers_.Stride());
  if (payload) {
    out.payloadStride = buffers_.Stride();
    out.payload = std::move(bytes);
  }
  out.attributes.assign(attributes_.begin(), attributes_.end());
  if (adjacency != nullptr) out.adjacency.assign(adjacency, adjacency + out.faces.size() * 3);
  return D3D_OK;
}

HRESULT GlMesh::GenerateAdjacency(FLOAT epsilon, DWORD* adjacency) {
  if (adjacency == nullptr) return D3DERR_INVALIDCALL;
  try {
    pmesh::MeshInput m;
    if (HRESULT hr = ReadInput(m, nullptr, false); FAILED(hr)) return hr;
    const std::vector<std::uint32_t> links = pmesh::GenerateAdjacency(m.faces, m.positions, epsilon);
    std::copy(links.begin(), links.end(), adjacency);
    return D3D_OK;
  } catch (...) {
    return ResultOfException();
  }
}

HRESULT GlMesh::LockAttributeBuffer(DWORD flags, DWORD** data) {
  if (data == nullptr) return D3DERR_INVALIDCALL;
  *data = nullptr;
  if (attributesLocked_) return D3DERR_INVALIDCALL;
  attributesLocked_ = true;
  attributeLockFlags_ = flags;
  *data = attributes_.data();
  return D3D_OK;
}

// Attributes written through a lock may break the attribute table's ranges: it is dropped, and
// DrawSubset finds the faces by their attributes again until the next ATTRSORT.
HRESULT GlMesh::UnlockAttributeBuffer() {
  if (!attributesLocked_) return D3DERR_INVALIDCALL;
  attributesLocked_ = false;
  if (!(attributeLockFlags_ & D3DLOCK_READONLY)) table_.clear();
  return D3D_OK;
}

HRESULT GlMesh::OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                                LPD3DXBUFFER* vertexRemap) {
  if (vertexRemap != nullptr) *vertexRemap = nullptr;
  constexpr DWORD kKnown = D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE |
                           D3DXMESHOPT_DONOTSPLIT | D3DXMESHOPT_DEVICEINDEPENDENT;
  if ((flags & ~kKnown) != 0 || attributesLocked_) return D3DERR_INVALIDCALL;
  const std::uint32_t work = flags & (D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE);
  try {
    pmesh::MeshInput m;
    if (HRESULT hr = ReadInput(m, adjacencyIn, true); FAILED(hr)) return hr;
    const std::size_t oldVertices = m.positions.size();
    pmesh::OptimizeResult result = pmesh::Optimize(m, work);
    std::vector<DWORD> attributes(m.attributes.begin(), m.attributes.end());
    if (attributes.empty()) attributes.assign(m.faces.size(), 0);
    std::vector<std::uint32_t> adjacency;
    if (adjacencyOut != nullptr)
      adjacency = adjacencyIn != nullptr ? m.adjacency : pmesh::GenerateAdjacency(m.faces, m.positions, 0.0f);
    ID3DXBuffer* remap = nullptr;
    if (vertexRemap != nullptr) {
      // One entry per vertex the mesh had: the source of each new vertex, then 0xFFFFFFFF for the
      // places compaction freed.
      std::vector<DWORD> entries(oldVertices, pmesh::kNone);
      std::copy(result.vertexRemap.begin(), result.vertexRemap.end(), entries.begin());
      if (HRESULT hr = MakeBuffer(entries.data(), entries.size() * sizeof(DWORD), &remap); FAILED(hr)) return hr;
    }

    // Everything that can fail on memory is done; now the buffers.
    HRESULT hr = buffers_.ResizeVertices(m.positions.size());
    if (SUCCEEDED(hr)) hr = buffers_.WriteVertices(m.payload);
    if (SUCCEEDED(hr)) hr = buffers_.WriteFaces(m.faces);
    if (FAILED(hr)) {
      if (remap != nullptr) remap->Release();
      return hr;
    }
    attributes_ = std::move(attributes);
    table_ = (work & D3DXMESHOPT_ATTRSORT) ? std::move(result.attributeTable) : std::vector<pmesh::AttributeRange>{};
    if (faceRemap != nullptr) std::copy(result.faceRemap.begin(), result.faceRemap.end(), faceRemap);
    if (adjacencyOut != nullptr) std::copy(adjacency.begin(), adjacency.end(), adjacencyOut);
    if (vertexRemap != nullptr) *vertexRemap = remap;
    return D3D_OK;
  } catch (...) {
    return ResultOfException();
  }
}

}  // namespace zr::d3dx9::mesh
