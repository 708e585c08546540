// D3DXCleanMesh, D3DXValidMesh, D3DXComputeNormals and D3DXGeneratePMesh: the mesh read out of
// its buffers, the pmesh library's work, and the result written into new buffers of the same
// device, format and options.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "fvf.h"
#include "mesh_internal.h"

namespace zr::d3dx9::mesh {
namespace {

GlMesh* OurMesh(ID3DXMesh* mesh) { return dynamic_cast<GlMesh*>(mesh); }

// A mesh of `source`'s device, format and options holding `m` (its payload being the vertices).
HRESULT MeshLike(GlMesh& source, const pmesh::MeshInput& m, bool attributeTable, GlMesh** out) {
  const MeshBuffers& like = source.Buffers();
  MeshBuffers made;
  HRESULT hr = MeshBuffers::Create(like.Device(), like.Options(), like.Fvf(), m.positions.size(), m.faces.size(), made);
  if (SUCCEEDED(hr)) hr = made.WriteVertices(m.payload);
  if (SUCCEEDED(hr)) hr = made.WriteFaces(m.faces);
  if (FAILED(hr)) return hr;
  std::vector<DWORD> attributes(m.attributes.begin(), m.attributes.end());
  if (attributes.empty()) attributes.assign(m.faces.size(), 0);
  std::vector<pmesh::AttributeRange> table;
  if (attributeTable) table = AttributeTableOf(m.faces, attributes);
  return GlMesh::Create(std::move(made), std::move(attributes), std::move(table), out);
}

// Writes per-vertex normals into the normal of each vertex in the buffer.
HRESULT WriteNormals(MeshBuffers& buffers, std::span<const Face> faces) {
  const zr::d3d9::FvfLayout layout = zr::d3d9::LayoutOf(buffers.Fvf());
  if (layout.normal < 0) return D3DERR_INVALIDCALL;
  std::vector<std::byte> bytes;
  if (HRESULT hr = buffers.ReadVertices(bytes); FAILED(hr)) return hr;
  const std::vector<Float3> positions = PositionsOf(bytes, buffers.Stride());
  const std::vector<Float3> normals = pmesh::ComputeNormals(positions, faces);
  for (std::size_t v = 0; v < normals.size(); ++v)
    std::memcpy(bytes.data() + v * buffers.Stride() + static_cast<std::size_t>(layout.normal), &normals[v], 12);
  return buffers.WriteVertices(bytes);
}

}  // namespace
}  // namespace zr::d3dx9::mesh

using namespace zr::d3dx9;
using mesh::GlMesh;
using mesh::GlPMesh;

// Always removes degenerate faces and one-sided links; BACKFACING gives back-to-back faces
// vertices of their own and drops same-winding repeats (BOWTIES is not done: D3DXValidMesh reports
// bowties). The mesh itself comes back (one more reference) when nothing needed doing.
HRESULT WINAPI D3DXCleanMesh(DWORD cleanType, LPD3DXMESH meshIn, const DWORD* adjacencyIn, LPD3DXMESH* meshOut,
                             DWORD* adjacencyOut, LPD3DXBUFFER* errorsAndWarnings) {
  if (errorsAndWarnings != nullptr) *errorsAndWarnings = nullptr;
  if (meshOut == nullptr) return D3DERR_INVALIDCALL;
  *meshOut = nullptr;
  GlMesh* in = mesh::OurMesh(meshIn);
  if (in == nullptr) return D3DERR_INVALIDCALL;
  try {
    pmesh::MeshInput m;
    if (HRESULT hr = in->ReadInput(m, adjacencyIn, true); FAILED(hr)) return hr;
    pmesh::CleanReport report;
    try {
      report = pmesh::Clean(m, cleanType & pmesh::kCleanBackfacing);
    } catch (const std::invalid_argument& e) {
      mesh::MakeTextBuffer(std::string("the mesh cannot be cleaned: ") + e.what() + "\n", errorsAndWarnings);
      return D3DXERR_INVALIDMESH;
    }
    if (m.faces.empty()) {
      mesh::MakeTextBuffer(report.text + "\nno faces are left\n", errorsAndWarnings);
      return D3DXERR_INVALIDMESH;
    }
    GlMesh* out = in;
    if (report.Changed()) {
      if (HRESULT hr = mesh::MeshLike(*in, m, in->HasAttributeTable(), &out); FAILED(hr)) return hr;
    } else {
      in->AddRef();
    }
    if (adjacencyOut != nullptr) std::copy(m.adjacency.begin(), m.adjacency.end(), adjacencyOut);
    if (!report.text.empty()) mesh::MakeTextBuffer(report.text + "\n", errorsAndWarnings);
    *meshOut = out;
    return D3D_OK;
  } catch (...) {
    return mesh::ResultOfException();
  }
}

HRESULT WINAPI D3DXValidMesh(LPD3DXMESH meshIn, const DWORD* adjacency, LPD3DXBUFFER* errorsAndWarnings) {
  if (errorsAndWarnings != nullptr) *errorsAndWarnings = nullptr;
  GlMesh* in = mesh::OurMesh(meshIn);
  if (in == nullptr) return D3DERR_INVALIDCALL;
  try {
    pmesh::MeshInput m;
    if (HRESULT hr = in->ReadInput(m, adjacency, false); FAILED(hr)) return hr;
    if (adjacency == nullptr) {
      // Adjacency made here is consistent by construction, so only the faces are checked with it;
      // with indices out of range there is none to make, and those are what is reported.
      const bool inRange = std::all_of(m.faces.begin(), m.faces.end(), [&](const pmesh::Face& f) {
        return f[0] < m.positions.size() && f[1] < m.positions.size() && f[2] < m.positions.size();
      });
      m.adjacency = inRange ? pmesh::GenerateAdjacency(m.faces, m.positions, 0.0f)
                            : std::vector<std::uint32_t>(m.faces.size() * 3, pmesh::kNone);
    }
    const pmesh::ValidateResult result = pmesh::Validate(m.faces, m.adjacency, m.positions);
    if (result.valid) return D3D_OK;
    mesh::MakeTextBuffer(result.text, errorsAndWarnings);
    return D3DXERR_INVALIDMESH;
  } catch (...) {
    return mesh::ResultOfException();
  }
}

// Normals of a progressive mesh come from its faces at the maximum level (so every level is lit
// alike). Adjacency is not used: each vertex sums the faces that name it.
HRESULT WINAPI D3DXComputeNormals(ID3DXBaseMesh* meshIn, const DWORD*) {
  if (meshIn == nullptr) return D3DERR_INVALIDCALL;
  try {
    if (auto* plain = dynamic_cast<GlMesh*>(meshIn)) {
      std::vector<pmesh::Face> faces;
      if (HRESULT hr = plain->Buffers().ReadFaces(faces); FAILED(hr)) return hr;
      return mesh::WriteNormals(plain->Buffers(), faces);
    }
    if (auto* progressive = dynamic_cast<GlPMesh*>(meshIn)) {
      const std::vector<pmesh::Face> faces = progressive->MaximumFaces();
      return mesh::WriteNormals(progressive->Buffers(), faces);
    }
    return D3DERR_INVALIDCALL;
  } catch (...) {
    return mesh::ResultOfException();
  }
}

// D3DXMESHSIMP_FACE builds down to the smallest face count the decimater reaches at or above
// `minValue`. D3DXMESHSIMP_VERTEX is not taken; attribute and vertex weights are not used.
HRESULT WINAPI D3DXGeneratePMesh(LPD3DXMESH meshIn, const DWORD* adjacency, const D3DXATTRIBUTEWEIGHTS*,
                                 const FLOAT*, DWORD minValue, DWORD options, LPD3DXPMESH* pmeshOut) {
  if (pmeshOut == nullptr) return D3DERR_INVALIDCALL;
  *pmeshOut = nullptr;
  GlMesh* in = mesh::OurMesh(meshIn);
  if (in == nullptr || (options & (D3DXMESHSIMP_FACE | D3DXMESHSIMP_VERTEX)) != D3DXMESHSIMP_FACE)
    return D3DERR_INVALIDCALL;
  try {
    mesh::MeshBuffers& buffers = in->Buffers();
    pmesh::MeshInput m;
    if (HRESULT hr = in->ReadInput(m, adjacency, true); FAILED(hr)) return hr;
    // Vertices at one place with the same bytes after the position are interchangeable; the
    // vertex bytes themselves are permuted here, not by the build.
    const pmesh::ByteRange rest{12, buffers.Stride() - 12};
    m.seamKeys = pmesh::SeamKeysFromBytes(m.payload, buffers.Stride(), std::span(&rest, 1));
    std::vector<std::byte> vertices = std::move(m.payload);
    m.payload.clear();
    m.payloadStride = 0;

    pmesh::ProgressiveMesh progressive = pmesh::Build(m, minValue);

    const std::size_t stride = buffers.Stride();
    std::vector<std::byte> ordered(progressive.NumVertices() * stride);
    const auto source = progressive.VertexSource();
    for (std::size_t v = 0; v < source.size(); ++v)
      std::memcpy(ordered.data() + v * stride, vertices.data() + std::size_t{source[v]} * stride, stride);

    mesh::MeshBuffers made;
    HRESULT hr = mesh::MeshBuffers::Create(buffers.Device(), buffers.Options(), buffers.Fvf(), progressive.NumVertices(),
                                           progressive.GetMaxFaces(), made);
    if (SUCCEEDED(hr)) hr = made.WriteVertices(ordered);
    if (SUCCEEDED(hr))
      hr = made.WriteIndices(0, std::size_t{progressive.GetMaxFaces()} * 3, progressive.IndexBytes().data(),
                             progressive.Uses32BitIndices());
    GlPMesh* out = nullptr;
    if (SUCCEEDED(hr)) hr = GlPMesh::Create(std::move(made), std::move(progressive), &out);
    if (SUCCEEDED(hr)) *pmeshOut = out;
    return hr;
  } catch (...) {
    return mesh::ResultOfException();
  }
}
