#include "objects3d/zr_3DObject.h"

#include <cstdio>
#include <vector>

#include "errorfile/zr_ErrorException.h"

namespace {

constexpr DWORD kMinimumFaces = 300;
constexpr DWORD kOptimize = D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE;
constexpr DWORD kTextureFilter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_MIRROR;

template <typename T>
void ReleaseAndClear(T*& object) {
  if (object != nullptr) {
    object->Release();
    object = nullptr;
  }
}

}  // namespace

zr_3DObject::zr_3DObject()
    : device_(nullptr),
      materialCount_(0),
      materials_(nullptr),
      textureManager_(nullptr),
      textureNames_(nullptr),
      mipLevels_(0),
      localMesh_(nullptr),
      progressiveMesh_(nullptr),
      maxFaces_(0),
      restored_(false),
      useMaterial_(true) {
  SetTransform(D3DXVECTOR3(1, 1, 1), D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 0));
}

zr_3DObject::~zr_3DObject() { Destroy(); }

void zr_3DObject::Initialise(IDirect3DDevice9* device, zr_TextureManager* textureManager, bool useMaterial) {
  device_ = device;
  textureManager_ = textureManager;
  useMaterial_ = useMaterial;
}

int zr_3DObject::LoadFromFile(const char* fileName, UINT mipLevels) {
  Destroy();
  mipLevels_ = mipLevels;
  const char* name = fileName != nullptr ? fileName : "";
  char failure[256];
  std::snprintf(failure, sizeof failure, "Error, can't load the mesh %s", name);

  ID3DXBuffer* adjacency = nullptr;
  ID3DXBuffer* materialBuffer = nullptr;
  ID3DXMesh* mesh = nullptr;
  DWORD materialCount = 0;
  HRESULT hr = D3DXLoadMeshFromXA(name, D3DXMESH_SYSTEMMEM, device_, &adjacency, &materialBuffer, nullptr,
                                  &materialCount, &mesh);
  if (DXTestForError(hr, failure, 24, false) != 0 || mesh == nullptr) {
    ReleaseAndClear(adjacency);
    ReleaseAndClear(materialBuffer);
    ReleaseAndClear(mesh);
    return 1;
  }

  hr = mesh->OptimizeInplace(kOptimize, adjacency != nullptr ? static_cast<const DWORD*>(adjacency->GetBufferPointer())
                                                             : nullptr,
                             nullptr, nullptr, nullptr);
  if (DXTestForError(hr, "Error, can't optimize the mesh", 30, false) != 0) {
    ReleaseAndClear(adjacency);
    ReleaseAndClear(materialBuffer);
    ReleaseAndClear(mesh);
    return 1;
  }

  if (materialBuffer != nullptr && materialCount > 0) {
    const auto* loaded = static_cast<const D3DXMATERIAL*>(materialBuffer->GetBufferPointer());
    materialCount_ = materialCount;
    materials_ = new D3DMATERIAL9[materialCount];
    textureNames_ = new std::string[materialCount];
    for (DWORD i = 0; i < materialCount; ++i) {
      materials_[i] = loaded[i].MatD3D;
      const char* texture = loaded[i].pTextureFilename;
      if (texture != nullptr && textureManager_ != nullptr &&
          textureManager_->AddTexture(texture, D3DPOOL_MANAGED, kTextureFilter, mipLevels, 0) != 0)
        textureNames_[i] = texture;
    }
  }

  maxFaces_ = static_cast<std::int32_t>(mesh->GetNumFaces());
  std::vector<DWORD> adjacencyIn(static_cast<size_t>(maxFaces_) * 3);
  std::vector<DWORD> adjacencyOut(static_cast<size_t>(maxFaces_) * 3);
  mesh->GenerateAdjacency(0.0f, adjacencyIn.data());

  ID3DXMesh* cleaned = nullptr;
  ID3DXBuffer* cleanErrors = nullptr;
  D3DXCleanMesh(D3DXCLEAN_BACKFACING, mesh, adjacencyIn.data(), &cleaned, adjacencyOut.data(), &cleanErrors);
  ID3DXBuffer* validErrors = nullptr;
  DXTestForError(D3DXValidMesh(cleaned, adjacencyOut.data(), &validErrors), "Error, invalid mesh", 26, false);

  // The cleaned mesh takes the optimised one's place.
  ReleaseAndClear(mesh);
  hr = D3DXGeneratePMesh(cleaned, adjacencyOut.data(), nullptr, nullptr, kMinimumFaces, D3DXMESHSIMP_FACE,
                         &progressiveMesh_);
  if (DXTestForError(hr, "Error, can't create the progressive mesh", 28, false) != 0 || progressiveMesh_ == nullptr) {
    ReleaseAndClear(progressiveMesh_);
    maxFaces_ = 0;  // no mesh came of the file
  }

  ReleaseAndClear(materialBuffer);
  ReleaseAndClear(adjacency);
  ReleaseAndClear(cleaned);
  ReleaseAndClear(cleanErrors);
  ReleaseAndClear(validErrors);
  return RestoreObject();
}

int zr_3DObject::RestoreObject() {
  if (progressiveMesh_ == nullptr) return 1;
  ID3DXPMesh* local = nullptr;
  HRESULT hr = progressiveMesh_->ClonePMeshFVF(0, progressiveMesh_->GetFVF(), device_, &local);
  if (DXTestForError(hr, "Error, can't set the local mesh", 32, false) != 0 || local == nullptr) {
    ReleaseAndClear(local);
    return 1;
  }
  ReleaseAndClear(localMesh_);
  localMesh_ = local;
  restored_ = true;
  return 0;
}

void zr_3DObject::InvalidateDeviceObjects() {
  ReleaseAndClear(localMesh_);
  restored_ = false;
}

int zr_3DObject::SetFVF(DWORD fvf) {
  ID3DXPMesh* master = nullptr;
  ID3DXPMesh* local = nullptr;
  if (progressiveMesh_ != nullptr) {
    HRESULT hr = progressiveMesh_->ClonePMeshFVF(D3DXMESH_SYSTEMMEM, fvf, device_, &master);
    if (DXTestForError(hr, "Error, can't clone the mesh FVF", 32, false) != 0) {
      ReleaseAndClear(master);
      return 1;
    }
  }
  if (localMesh_ != nullptr) {
    HRESULT hr = localMesh_->ClonePMeshFVF(0, fvf, device_, &local);
    if (DXTestForError(hr, "Error, can't clone the mesh FVF", 32, false) != 0) {
      ReleaseAndClear(local);
      ReleaseAndClear(master);
      return 1;
    }
  }
  if (master != nullptr) {
    ReleaseAndClear(progressiveMesh_);
    progressiveMesh_ = master;
    D3DXComputeNormals(progressiveMesh_, nullptr);
  }
  if (local != nullptr) {
    ReleaseAndClear(localMesh_);
    localMesh_ = local;
    D3DXComputeNormals(localMesh_, nullptr);
  }
  return 0;
}

void zr_3DObject::DrawSubset(DWORD subset, int faces, bool setMaterial) {
  if (setMaterial) {
    device_->SetMaterial(&materials_[subset]);
    device_->SetTexture(0, textureManager_ != nullptr ? textureManager_->GetTexture(textureNames_[subset].c_str())
                                                      : nullptr);
  }
  localMesh_->SetNumFaces(static_cast<DWORD>(faces));
  DXTestForError(localMesh_->DrawSubset(subset), "Error, can't draw the mesh", 27, false);
}

void zr_3DObject::Render(int faces, bool opaquePass, bool translucentPass) {
  if (device_ == nullptr) return;
  device_->SetSamplerState(0, D3DSAMP_MIPFILTER, mipLevels_ != 0 ? D3DTEXF_LINEAR : D3DTEXF_NONE);
  device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  if (!restored_ || localMesh_ == nullptr) return;
  device_->SetTransform(D3DTS_WORLD, &world_);
  if (opaquePass) {
    for (DWORD i = 0; i < materialCount_; ++i) {
      if (useMaterial_ && materials_[i].Diffuse.a < 1.0f) continue;
      DrawSubset(i, faces, useMaterial_);
    }
  }
  if (translucentPass && useMaterial_) {
    for (DWORD i = 0; i < materialCount_; ++i) {
      if (materials_[i].Diffuse.a == 1.0f) continue;
      DrawSubset(i, faces, true);
    }
  }
  device_->SetTexture(0, nullptr);
}

int zr_3DObject::GetActuallyNumberOfFaces() {
  return localMesh_ != nullptr ? static_cast<int>(localMesh_->GetNumFaces()) : 0;
}

int zr_3DObject::GetMaxFaces() const { return maxFaces_; }

void zr_3DObject::SetUseMaterial(bool useMaterial) { useMaterial_ = useMaterial; }

void zr_3DObject::SetTransform(D3DXVECTOR3 scale, D3DXVECTOR3 position, D3DXVECTOR3 rotation) {
  scale_ = scale;
  position_ = position;
  rotation_ = rotation;
  SetMatrix();
}

void zr_3DObject::SetTransform(D3DXVECTOR3 position, D3DXVECTOR3 rotation) {
  position_ = position;
  rotation_ = rotation;
  SetMatrix();
}

void zr_3DObject::SetScale(D3DXVECTOR3 scale) {
  scale_ = scale;
  SetMatrix();
}

void zr_3DObject::SetMatrix() {
  D3DXMATRIX s, t, rx, ry, rz;
  D3DXMatrixScaling(&s, scale_.x, scale_.y, scale_.z);
  D3DXMatrixTranslation(&t, position_.x, position_.y, position_.z);
  D3DXMatrixRotationX(&rx, rotation_.x);
  D3DXMatrixRotationY(&ry, rotation_.y);
  D3DXMatrixRotationZ(&rz, rotation_.z);
  D3DXMatrixMultiply(&world_, &s, &t);
  D3DXMatrixMultiply(&world_, &world_, &rx);
  D3DXMatrixMultiply(&world_, &world_, &ry);
  D3DXMatrixMultiply(&world_, &world_, &rz);
}

void zr_3DObject::Destroy() {
  delete[] materials_;
  materials_ = nullptr;
  if (textureNames_ != nullptr) {
    for (DWORD i = 0; i < materialCount_; ++i)
      if (!textureNames_[i].empty() && textureManager_ != nullptr) textureManager_->DeleteTexture(textureNames_[i].c_str());
    delete[] textureNames_;
    textureNames_ = nullptr;
  }
  ReleaseAndClear(localMesh_);
  ReleaseAndClear(progressiveMesh_);
  materialCount_ = 0;
  maxFaces_ = 0;  // no mesh is left
  restored_ = false;
}
