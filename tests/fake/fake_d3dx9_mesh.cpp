// D3DX meshes of the fake: a mesh knows its face count and vertex format; a progressive mesh
// clamps SetNumFaces to its range; every call is recorded under its interface's name, with the
// mesh's number (in the order meshes are made) as first argument.
#include "fake_d3dx9_mesh.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fake_com.h"
#include "fake_platform.h"

namespace fake::d3dx9mesh {

namespace {

int g_meshesMade = 0;

const bool g_registered = [] {
  Platform::Get().AddResetHandler([] {
    Get() = State{};
    g_meshesMade = 0;
  });
  return true;
}();

class Buffer final : public Counted<ID3DXBuffer> {
 public:
  explicit Buffer(std::vector<unsigned char> bytes) : Counted("ID3DXBuffer"), bytes_(std::move(bytes)) {}
  LPVOID STDMETHODCALLTYPE GetBufferPointer() override { return bytes_.data(); }
  DWORD STDMETHODCALLTYPE GetBufferSize() override { return static_cast<DWORD>(bytes_.size()); }

 private:
  std::vector<unsigned char> bytes_;
};

// What both kinds of mesh share.
template <typename Interface>
class Mesh : public Counted<Interface> {
 public:
  Mesh(const char* name, DWORD faces, DWORD fvf)
      : Counted<Interface>(name), id_("#" + std::to_string(++g_meshesMade)), faces_(faces), fvf_(fvf) {}
  const std::string& Id() const { return id_; }

  HRESULT STDMETHODCALLTYPE DrawSubset(DWORD subset) override { return this->Call("DrawSubset", D3D_OK, id_, subset); }
  DWORD STDMETHODCALLTYPE GetNumFaces() override { return faces_; }
  DWORD STDMETHODCALLTYPE GetNumVertices() override { return faces_; }
  DWORD STDMETHODCALLTYPE GetFVF() override { return fvf_; }
  DWORD STDMETHODCALLTYPE GetNumBytesPerVertex() override { return 32; }
  DWORD STDMETHODCALLTYPE GetOptions() override { return 0; }
  HRESULT STDMETHODCALLTYPE GetDevice(LPDIRECT3DDEVICE9* device) override {
    if (device != nullptr) *device = nullptr;
    return D3DERR_INVALIDCALL;
  }
  HRESULT STDMETHODCALLTYPE GetVertexBuffer(IDirect3DVertexBuffer9** buffer) override {
    if (buffer != nullptr) *buffer = nullptr;
    return D3DERR_INVALIDCALL;
  }
  HRESULT STDMETHODCALLTYPE GetIndexBuffer(IDirect3DIndexBuffer9** buffer) override {
    if (buffer != nullptr) *buffer = nullptr;
    return D3DERR_INVALIDCALL;
  }
  HRESULT STDMETHODCALLTYPE LockVertexBuffer(DWORD, LPVOID* data) override {
    if (data != nullptr) *data = nullptr;
    return D3DERR_INVALIDCALL;
  }
  HRESULT STDMETHODCALLTYPE UnlockVertexBuffer() override { return D3DERR_INVALIDCALL; }
  HRESULT STDMETHODCALLTYPE LockIndexBuffer(DWORD, LPVOID* data) override {
    if (data != nullptr) *data = nullptr;
    return D3DERR_INVALIDCALL;
  }
  HRESULT STDMETHODCALLTYPE UnlockIndexBuffer() override { return D3DERR_INVALIDCALL; }
  HRESULT STDMETHODCALLTYPE GenerateAdjacency(FLOAT epsilon, DWORD* adjacency) override {
    if (adjacency != nullptr) std::fill(adjacency, adjacency + 3 * faces_, 0xFFFFFFFFu);
    return this->Call("GenerateAdjacency", D3D_OK, id_, static_cast<double>(epsilon));
  }

 protected:
  std::string id_;
  DWORD faces_;
  DWORD fvf_;
};

class PlainMesh final : public Mesh<ID3DXMesh> {
 public:
  PlainMesh(DWORD faces, DWORD minFaces) : Mesh("ID3DXMesh", faces, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1), minFaces_(minFaces) {}
  DWORD MinFaces() const { return minFaces_; }
  HRESULT STDMETHODCALLTYPE LockAttributeBuffer(DWORD, DWORD** data) override {
    if (data != nullptr) *data = nullptr;
    return D3DERR_INVALIDCALL;
  }
  HRESULT STDMETHODCALLTYPE UnlockAttributeBuffer() override { return D3DERR_INVALIDCALL; }
  HRESULT STDMETHODCALLTYPE OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD*, DWORD*,
                                            LPD3DXBUFFER* vertexRemap) override {
    if (vertexRemap != nullptr) *vertexRemap = nullptr;
    return Call("OptimizeInplace", D3D_OK, id_, flags, static_cast<const void*>(adjacencyIn));
  }

 private:
  DWORD minFaces_;
};

class ProgressiveMesh final : public Mesh<ID3DXPMesh> {
 public:
  ProgressiveMesh(DWORD maxFaces, DWORD minFaces, DWORD fvf)
      : Mesh("ID3DXPMesh", maxFaces, fvf), maxFaces_(maxFaces), minFaces_(minFaces) {}
  HRESULT STDMETHODCALLTYPE ClonePMeshFVF(DWORD options, DWORD fvf, LPDIRECT3DDEVICE9 device,
                                          ID3DXPMesh** clone) override {
    HRESULT hr = Call("ClonePMeshFVF", D3D_OK, id_, options, fvf, static_cast<const void*>(device));
    if (clone == nullptr) return hr;
    *clone = nullptr;
    if (SUCCEEDED(hr)) {
      auto* made = new ProgressiveMesh(maxFaces_, minFaces_, fvf);
      made->faces_ = faces_;
      *clone = made;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetNumFaces(DWORD faces) override {
    faces_ = std::clamp(faces, minFaces_, maxFaces_);
    return Call("SetNumFaces", D3D_OK, id_, faces);
  }
  HRESULT STDMETHODCALLTYPE SetNumVertices(DWORD vertices) override { return Call("SetNumVertices", D3D_OK, id_, vertices); }
  DWORD STDMETHODCALLTYPE GetMaxFaces() override { return maxFaces_; }
  DWORD STDMETHODCALLTYPE GetMinFaces() override { return minFaces_; }
  DWORD STDMETHODCALLTYPE GetMaxVertices() override { return maxFaces_; }
  DWORD STDMETHODCALLTYPE GetMinVertices() override { return minFaces_; }

 private:
  DWORD maxFaces_;
  DWORD minFaces_;
};

std::string IdOf(IUnknown* mesh) {
  if (mesh == nullptr) return "<null>";
  if (auto* plain = dynamic_cast<PlainMesh*>(static_cast<ID3DXMesh*>(mesh))) return plain->Id();
  return "ptr";
}

}  // namespace

State& Get() {
  static State state;
  return state;
}

}  // namespace fake::d3dx9mesh

using fake::Platform;
namespace fm = fake::d3dx9mesh;

HRESULT WINAPI D3DXCreateBuffer(DWORD size, LPD3DXBUFFER* buffer) {
  if (buffer == nullptr) return D3DERR_INVALIDCALL;
  *buffer = new fm::Buffer(std::vector<unsigned char>(size));
  return D3D_OK;
}

HRESULT WINAPI D3DXLoadMeshFromXA(LPCSTR fileName, DWORD options, LPDIRECT3DDEVICE9 device, LPD3DXBUFFER* adjacency,
                                  LPD3DXBUFFER* materials, LPD3DXBUFFER* effectInstances, DWORD* numMaterials,
                                  LPD3DXMESH* mesh) {
  auto file = fileName != nullptr ? fm::Get().files.find(fileName) : fm::Get().files.end();
  bool known = file != fm::Get().files.end();
  HRESULT hr = static_cast<HRESULT>(Platform::Get().Record("D3DXLoadMeshFromXA", known ? D3D_OK : E_FAIL, fileName,
                                                           options, static_cast<const void*>(device),
                                                           static_cast<const void*>(effectInstances)));
  if (mesh != nullptr) *mesh = nullptr;
  if (adjacency != nullptr) *adjacency = nullptr;
  if (materials != nullptr) *materials = nullptr;
  if (numMaterials != nullptr) *numMaterials = 0;
  if (FAILED(hr) || !known || mesh == nullptr) return FAILED(hr) ? hr : E_FAIL;
  const fm::MeshFile& f = file->second;
  *mesh = new fm::PlainMesh(f.faces, f.minFaces);
  if (adjacency != nullptr) *adjacency = new fm::Buffer(std::vector<unsigned char>(f.faces * 3 * sizeof(DWORD), 0xFF));
  if (!f.materials.empty() && materials != nullptr) {
    // D3DXMATERIAL records followed by the texture names they point into.
    size_t names = 0;
    for (const auto& m : f.materials) names += m.texture.size() + 1;
    std::vector<unsigned char> bytes(f.materials.size() * sizeof(D3DXMATERIAL) + names);
    auto* records = reinterpret_cast<D3DXMATERIAL*>(bytes.data());
    auto* buffer = new fm::Buffer(std::move(bytes));
    records = static_cast<D3DXMATERIAL*>(buffer->GetBufferPointer());
    char* text = reinterpret_cast<char*>(records + f.materials.size());
    for (size_t i = 0; i < f.materials.size(); ++i) {
      records[i].MatD3D = f.materials[i].material;
      records[i].pTextureFilename = nullptr;
      if (!f.materials[i].texture.empty()) {
        std::memcpy(text, f.materials[i].texture.c_str(), f.materials[i].texture.size() + 1);
        records[i].pTextureFilename = text;
        text += f.materials[i].texture.size() + 1;
      }
    }
    *materials = buffer;
  }
  if (numMaterials != nullptr) *numMaterials = static_cast<DWORD>(f.materials.size());
  return hr;
}

HRESULT WINAPI D3DXCleanMesh(DWORD cleanType, LPD3DXMESH meshIn, const DWORD* adjacencyIn, LPD3DXMESH* meshOut,
                             DWORD* adjacencyOut, LPD3DXBUFFER* errors) {
  HRESULT hr = static_cast<HRESULT>(Platform::Get().Record("D3DXCleanMesh", D3D_OK, cleanType, fm::IdOf(meshIn),
                                                           static_cast<const void*>(adjacencyIn)));
  if (errors != nullptr) *errors = nullptr;
  if (meshOut == nullptr) return hr;
  *meshOut = nullptr;
  auto* in = dynamic_cast<fm::PlainMesh*>(meshIn);
  if (FAILED(hr) || in == nullptr) return FAILED(hr) ? hr : D3DERR_INVALIDCALL;
  *meshOut = new fm::PlainMesh(in->GetNumFaces(), in->MinFaces());
  if (adjacencyOut != nullptr && adjacencyIn != nullptr)
    std::memcpy(adjacencyOut, adjacencyIn, 3 * sizeof(DWORD) * in->GetNumFaces());
  return hr;
}

HRESULT WINAPI D3DXValidMesh(LPD3DXMESH meshIn, const DWORD* adjacency, LPD3DXBUFFER* errors) {
  if (errors != nullptr) *errors = nullptr;
  return static_cast<HRESULT>(Platform::Get().Record("D3DXValidMesh", meshIn != nullptr ? D3D_OK : D3DERR_INVALIDCALL,
                                                     fm::IdOf(meshIn), static_cast<const void*>(adjacency)));
}

HRESULT WINAPI D3DXComputeNormals(ID3DXBaseMesh* mesh, const DWORD* adjacency) {
  return static_cast<HRESULT>(Platform::Get().Record("D3DXComputeNormals", D3D_OK, static_cast<const void*>(mesh),
                                                     static_cast<const void*>(adjacency)));
}

HRESULT WINAPI D3DXGeneratePMesh(LPD3DXMESH mesh, const DWORD* adjacency, const D3DXATTRIBUTEWEIGHTS* attributeWeights,
                                 const FLOAT* vertexWeights, DWORD minValue, DWORD options, LPD3DXPMESH* pmesh) {
  auto* in = dynamic_cast<fm::PlainMesh*>(mesh);
  HRESULT hr = static_cast<HRESULT>(Platform::Get().Record(
      "D3DXGeneratePMesh", in != nullptr ? D3D_OK : D3DERR_INVALIDCALL, fm::IdOf(mesh),
      static_cast<const void*>(adjacency), static_cast<const void*>(attributeWeights),
      static_cast<const void*>(vertexWeights), minValue, options));
  if (pmesh == nullptr) return hr;
  *pmesh = nullptr;
  if (FAILED(hr) || in == nullptr) return FAILED(hr) ? hr : D3DERR_INVALIDCALL;
  *pmesh = new fm::ProgressiveMesh(in->GetNumFaces(), std::max(minValue, in->MinFaces()), in->GetFVF());
  return hr;
}
