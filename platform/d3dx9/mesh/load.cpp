// D3DXLoadMeshFromXA: the .X reader's merged mesh put into device buffers, with its materials and
// adjacency in D3DX buffers.
#include <cstring>
#include <utility>

#include "fvf.h"
#include "mesh_internal.h"
#include "xfile.h"

namespace zr::d3dx9::mesh {
namespace {

// D3DFVF_XYZ, and NORMAL, DIFFUSE and TEX1 for what some mesh of the file gave.
DWORD FvfOf(std::uint32_t components) {
  DWORD fvf = D3DFVF_XYZ;
  if (components & xfile::kNormal) fvf |= D3DFVF_NORMAL;
  if (components & xfile::kColor) fvf |= D3DFVF_DIFFUSE;
  if (components & xfile::kTextureCoords) fvf |= D3DFVF_TEX1;
  return fvf;
}

std::vector<std::byte> VertexBytes(const xfile::Mesh& m, DWORD fvf) {
  const zr::d3d9::FvfLayout layout = zr::d3d9::LayoutOf(fvf);
  std::vector<std::byte> bytes(m.vertices.size() * layout.size);
  for (std::size_t v = 0; v < m.vertices.size(); ++v) {
    std::byte* at = bytes.data() + v * layout.size;
    const xfile::Vertex& x = m.vertices[v];
    std::memcpy(at, x.position.data(), 12);
    if (layout.normal >= 0) std::memcpy(at + layout.normal, x.normal.data(), 12);
    if (layout.diffuse >= 0) std::memcpy(at + layout.diffuse, &x.color, 4);
    if (layout.texCount > 0) std::memcpy(at + layout.texOffset[0], x.uv.data(), 8);
  }
  return bytes;
}

// numMaterials D3DXMATERIAL records, then the texture names they point to, each with its zero.
HRESULT MaterialBuffer(const std::vector<xfile::Material>& materials, ID3DXBuffer** out) {
  std::size_t size = materials.size() * sizeof(D3DXMATERIAL);
  for (const xfile::Material& m : materials)
    if (!m.textureFilename.empty()) size += m.textureFilename.size() + 1;
  if (HRESULT hr = MakeBuffer(nullptr, size, out); FAILED(hr)) return hr;
  auto* records = static_cast<D3DXMATERIAL*>((*out)->GetBufferPointer());
  char* names = reinterpret_cast<char*>(records + materials.size());
  for (std::size_t i = 0; i < materials.size(); ++i) {
    records[i].MatD3D = materials[i].material;
    records[i].pTextureFilename = nullptr;
    const std::string& name = materials[i].textureFilename;
    if (name.empty()) continue;
    std::memcpy(names, name.c_str(), name.size() + 1);
    records[i].pTextureFilename = names;
    names += name.size() + 1;
  }
  return D3D_OK;
}

// One reference, given up unless handed out.
struct Owned {
  ID3DXBuffer* p = nullptr;
  Owned() = default;
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() {
    if (p != nullptr) p->Release();
  }
  ID3DXBuffer* Take() { return std::exchange(p, nullptr); }
};

}  // namespace
}  // namespace zr::d3dx9::mesh

using namespace zr::d3dx9;

HRESULT WINAPI D3DXLoadMeshFromXA(LPCSTR fileName, DWORD options, LPDIRECT3DDEVICE9 device, LPD3DXBUFFER* adjacency,
                                  LPD3DXBUFFER* materials, LPD3DXBUFFER* effectInstances, DWORD* numMaterials,
                                  LPD3DXMESH* meshOut) {
  if (adjacency != nullptr) *adjacency = nullptr;
  if (materials != nullptr) *materials = nullptr;
  if (effectInstances != nullptr) *effectInstances = nullptr;  // effects are not read
  if (numMaterials != nullptr) *numMaterials = 0;
  if (meshOut == nullptr) return D3DERR_INVALIDCALL;
  *meshOut = nullptr;
  if (fileName == nullptr || device == nullptr) return D3DERR_INVALIDCALL;
  try {
    xfile::Mesh file;
    if (HRESULT hr = xfile::ReadMeshFile(fileName, &file); FAILED(hr)) return hr;
    if (file.vertices.empty() || file.faces.empty()) return D3DXERR_LOADEDMESHHASNODATA;

    const DWORD fvf = mesh::FvfOf(file.components);
    mesh::MeshBuffers buffers;
    HRESULT hr = mesh::MeshBuffers::Create(device, options, fvf, file.vertices.size(), file.faces.size(), buffers);
    if (SUCCEEDED(hr)) hr = buffers.WriteVertices(mesh::VertexBytes(file, fvf));
    if (SUCCEEDED(hr)) hr = buffers.WriteFaces(file.faces);
    if (FAILED(hr)) return hr;

    mesh::Owned adjacencyBuffer, materialBuffer;
    if (adjacency != nullptr) {
      const std::vector<std::uint32_t> links = xfile::ComputeAdjacency(file, 0.0f);
      hr = mesh::MakeBuffer(links.data(), links.size() * sizeof(DWORD), &adjacencyBuffer.p);
    }
    if (SUCCEEDED(hr) && materials != nullptr && !file.materials.empty())
      hr = mesh::MaterialBuffer(file.materials, &materialBuffer.p);
    if (FAILED(hr)) return hr;
    std::vector<DWORD> attributes(file.attributes.begin(), file.attributes.end());
    if (attributes.empty()) attributes.assign(file.faces.size(), 0);
    mesh::GlMesh* made = nullptr;
    if (hr = mesh::GlMesh::Create(std::move(buffers), std::move(attributes), {}, &made); FAILED(hr)) return hr;
    if (adjacency != nullptr) *adjacency = adjacencyBuffer.Take();
    if (materials != nullptr) *materials = materialBuffer.Take();
    if (numMaterials != nullptr) *numMaterials = static_cast<DWORD>(file.materials.size());
    *meshOut = made;
    return D3D_OK;
  } catch (...) {
    return mesh::ResultOfException();
  }
}
