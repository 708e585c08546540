// D3DX meshes of the fake: a mesh knows its face count and vertex format; a progressive mesh
// clamps SetNumFaces to its range; every call is recorded under its interface's name, with the
// mesh's number (in the order meshes are made since the last Reset) as first argument. Meshes
// handed in are the fake's own, or null.
#include "fake_state.h"

#include <algorithm>
#include <string>
#include <vector>

#include "fake_com.h"

namespace fake::d3dx9mesh {

namespace {

class Buffer final : public Counted<ID3DXBuffer> {
 public:
  explicit Buffer(size_t size) : Counted("ID3DXBuffer"), bytes_(size) {}
  LPVOID STDMETHODCALLTYPE GetBufferPointer() override { return bytes_.data(); }
  DWORD STDMETHODCALLTYPE GetBufferSize() override { return static_cast<DWORD>(bytes_.size()); }

 private:
  std::vector<unsigned char> bytes_;
};

// What both kinds of mesh share.
template <typename Interface>
class Mesh : public Counted<Interface> {
 public:
  Mesh(const char* name, DWORD faces, DWORD minFaces, DWORD fvf)
      : Counted<Interface>(name), id_("#" + std::to_string(++Get().meshesMade)), faces_(faces), minFaces_(minFaces),
        maxFaces_(faces), fvf_(fvf) {}
  const std::string& Id() const { return id_; }
  DWORD MinFaces() const { return minFaces_; }

  HRESULT STDMETHODCALLTYPE DrawSubset(DWORD subset) override { return this->Call("DrawSubset", D3D_OK, id_, subset); }
  DWORD STDMETHODCALLTYPE GetNumFaces() override { return faces_; }
  DWORD STDMETHODCALLTYPE GetFVF() override { return fvf_; }
  HRESULT STDMETHODCALLTYPE GenerateAdjacency(FLOAT epsilon, DWORD*) override {
    return this->Call("GenerateAdjacency", D3D_OK, id_, static_cast<double>(epsilon));
  }
  DWORD STDMETHODCALLTYPE GetNumVertices() override { return 0; }
  DWORD STDMETHODCALLTYPE GetNumBytesPerVertex() override { return 0; }
  DWORD STDMETHODCALLTYPE GetOptions() override { return 0; }
  FAKE_NOT_MODELLED(GetDevice, LPDIRECT3DDEVICE9*)
  FAKE_NOT_MODELLED(GetVertexBuffer, IDirect3DVertexBuffer9**)
  FAKE_NOT_MODELLED(GetIndexBuffer, IDirect3DIndexBuffer9**)
  FAKE_NOT_MODELLED(LockVertexBuffer, DWORD, LPVOID*)
  FAKE_NOT_MODELLED(UnlockVertexBuffer)
  FAKE_NOT_MODELLED(LockIndexBuffer, DWORD, LPVOID*)
  FAKE_NOT_MODELLED(UnlockIndexBuffer)

 protected:
  std::string id_;
  DWORD faces_, minFaces_;  // what a progressive mesh made from this one reaches at least
  DWORD maxFaces_, fvf_;
};

class PlainMesh final : public Mesh<ID3DXMesh> {
 public:
  PlainMesh(DWORD faces, DWORD min) : Mesh("ID3DXMesh", faces, min, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1) {}
  HRESULT STDMETHODCALLTYPE OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD*, DWORD*,
                                            LPD3DXBUFFER* vertexRemap) override {
    if (vertexRemap != nullptr) *vertexRemap = nullptr;
    return Call("OptimizeInplace", D3D_OK, id_, flags, adjacencyIn);
  }
  FAKE_NOT_MODELLED(LockAttributeBuffer, DWORD, DWORD**)
  FAKE_NOT_MODELLED(UnlockAttributeBuffer)
};

class ProgressiveMesh final : public Mesh<ID3DXPMesh> {
 public:
  ProgressiveMesh(DWORD maxFaces, DWORD minFaces, DWORD fvf) : Mesh("ID3DXPMesh", maxFaces, minFaces, fvf) {}
  HRESULT STDMETHODCALLTYPE ClonePMeshFVF(DWORD options, DWORD fvf, LPDIRECT3DDEVICE9 device,
                                          ID3DXPMesh** clone) override {
    HRESULT hr = Call("ClonePMeshFVF", D3D_OK, id_, options, fvf, device);
    auto* made = SUCCEEDED(hr) ? new ProgressiveMesh(maxFaces_, minFaces_, fvf) : nullptr;
    if (made != nullptr) made->faces_ = faces_;
    *clone = made;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetNumFaces(DWORD faces) override {
    faces_ = std::clamp(faces, minFaces_, maxFaces_);
    return Call("SetNumFaces", D3D_OK, id_, faces);
  }
  DWORD STDMETHODCALLTYPE GetMaxFaces() override { return maxFaces_; }
  DWORD STDMETHODCALLTYPE GetMinFaces() override { return minFaces_; }
  DWORD STDMETHODCALLTYPE GetMaxVertices() override { return 0; }
  DWORD STDMETHODCALLTYPE GetMinVertices() override { return 0; }
  FAKE_NOT_MODELLED(SetNumVertices, DWORD)
};

std::string IdOf(ID3DXMesh* mesh) { return mesh != nullptr ? static_cast<PlainMesh*>(mesh)->Id() : "<null>"; }
DWORD MinFacesOf(ID3DXMesh* mesh) { return static_cast<PlainMesh*>(mesh)->MinFaces(); }

}  // namespace

}  // namespace fake::d3dx9mesh

namespace fm = fake::d3dx9mesh;
using fake::Hr;

HRESULT WINAPI D3DXLoadMeshFromXA(LPCSTR fileName, DWORD options, LPDIRECT3DDEVICE9 device, LPD3DXBUFFER* adjacency,
                                  LPD3DXBUFFER* materials, LPD3DXBUFFER* effectInstances, DWORD* numMaterials,
                                  LPD3DXMESH* mesh) {
  auto file = fm::Get().files.find(fileName);
  HRESULT hr = Hr("D3DXLoadMeshFromXA", file != fm::Get().files.end() ? D3D_OK : E_FAIL, fileName, options, device,
                  effectInstances);
  *mesh = nullptr;
  *adjacency = *materials = nullptr;
  *numMaterials = 0;
  if (FAILED(hr) || file == fm::Get().files.end()) return FAILED(hr) ? hr : E_FAIL;
  const fm::MeshFile& f = file->second;
  *mesh = new fm::PlainMesh(f.faces, f.minFaces);
  *adjacency = new fm::Buffer(f.faces * 3 * sizeof(DWORD));
  *numMaterials = static_cast<DWORD>(f.materials.size());
  if (f.materials.empty()) return hr;
  // The texture names point into the file's description, which lives until the next Reset.
  *materials = new fm::Buffer(f.materials.size() * sizeof(D3DXMATERIAL));
  auto* records = static_cast<D3DXMATERIAL*>((*materials)->GetBufferPointer());
  for (size_t i = 0; i < f.materials.size(); ++i) {
    const std::string& name = f.materials[i].texture;
    records[i] = D3DXMATERIAL{f.materials[i].material, name.empty() ? nullptr : const_cast<LPSTR>(name.c_str())};
  }
  return hr;
}

// The adjacency out is left as it is: the engine only passes it on.
HRESULT WINAPI D3DXCleanMesh(DWORD cleanType, LPD3DXMESH meshIn, const DWORD* adjacencyIn, LPD3DXMESH* meshOut,
                             DWORD*, LPD3DXBUFFER* errors) {
  HRESULT hr =
      Hr("D3DXCleanMesh", meshIn != nullptr ? D3D_OK : D3DERR_INVALIDCALL, cleanType, fm::IdOf(meshIn), adjacencyIn);
  *errors = nullptr;
  *meshOut = SUCCEEDED(hr) ? new fm::PlainMesh(meshIn->GetNumFaces(), fm::MinFacesOf(meshIn)) : nullptr;
  return hr;
}

HRESULT WINAPI D3DXValidMesh(LPD3DXMESH meshIn, const DWORD* adjacency, LPD3DXBUFFER* errors) {
  *errors = nullptr;
  return Hr("D3DXValidMesh", meshIn != nullptr ? D3D_OK : D3DERR_INVALIDCALL, fm::IdOf(meshIn), adjacency);
}

HRESULT WINAPI D3DXComputeNormals(ID3DXBaseMesh* mesh, const DWORD* adjacency) {
  return Hr("D3DXComputeNormals", D3D_OK, mesh, adjacency);
}

// The progressive mesh reaches down to `minValue` faces, or to the file's least when that is more.
HRESULT WINAPI D3DXGeneratePMesh(LPD3DXMESH mesh, const DWORD* adjacency, const D3DXATTRIBUTEWEIGHTS* attributeWeights,
                                 const FLOAT* vertexWeights, DWORD minValue, DWORD options, LPD3DXPMESH* pmesh) {
  HRESULT hr = Hr("D3DXGeneratePMesh", mesh != nullptr ? D3D_OK : D3DERR_INVALIDCALL, fm::IdOf(mesh), adjacency,
                  attributeWeights, vertexWeights, minValue, options);
  *pmesh = SUCCEEDED(hr) ? new fm::ProgressiveMesh(mesh->GetNumFaces(), std::max(minValue, fm::MinFacesOf(mesh)),
                                                   mesh->GetFVF())
                         : nullptr;
  return hr;
}
