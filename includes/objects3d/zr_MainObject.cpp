#include "objects3d/zr_MainObject.h"

#include <cstring>

#include "errorfile/zr_ErrorException.h"

zr_MainObject::zr_MainObject()
    : vertexBuffer_(nullptr),
      indexBuffer_(nullptr),
      material_(nullptr),
      vertices_(nullptr),
      position_(0, 0, 0),
      rotation_(0, 0, 0),
      colour_(0xFFBCB6B1),
      textured_(false),
      indices_(nullptr),
      vertexCount_(0),
      indexCount_(0),
      textureManager_(nullptr),
      mipLevels_(0),
      lockedVertices_(nullptr),
      initialised_(false) {}

zr_MainObject::~zr_MainObject() {
  delete[] vertices_;
  vertices_ = nullptr;
  delete[] indices_;
  indices_ = nullptr;
  if (vertexBuffer_ != nullptr) {
    vertexBuffer_->Release();
    vertexBuffer_ = nullptr;
  }
  if (indexBuffer_ != nullptr) {
    indexBuffer_->Release();
    indexBuffer_ = nullptr;
  }
  if (!textureName_.empty() && textureManager_ != nullptr) textureManager_->DeleteTexture(textureName_.c_str());
}

void zr_MainObject::Initialise(IDirect3DDevice9* device, zr_TextureManager* textureManager) {
  textureManager_ = textureManager;
  // Counts below 1 ask for empty buffers, which Direct3D refuses; without a device no buffer can be
  // made at all, and that is reported as the device would refuse it.
  const UINT indexBytes = indexCount_ > 0 ? static_cast<UINT>(indexCount_) * sizeof(std::uint16_t) : 0;
  HRESULT hr = device != nullptr ? device->CreateIndexBuffer(indexBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                                             D3DPOOL_DEFAULT, &indexBuffer_, nullptr)
                                 : D3DERR_INVALIDCALL;
  DXTestForError(hr, "Error, can't create the index buffer", 17, true);
  void* indexMemory = nullptr;
  if (indexBuffer_ != nullptr && SUCCEEDED(indexBuffer_->Lock(0, 0, &indexMemory, 0))) {
    if (indexMemory != nullptr && indices_ != nullptr) std::memcpy(indexMemory, indices_, indexBytes);
    indexBuffer_->Unlock();
  }

  const UINT vertexBytes = vertexCount_ > 0 ? static_cast<UINT>(vertexCount_) * sizeof(zr_CustomVertex) : 0;
  hr = device->CreateVertexBuffer(vertexBytes, D3DUSAGE_WRITEONLY, kCustomVertexFormat, D3DPOOL_MANAGED, &vertexBuffer_,
                                  nullptr);
  DXTestForError(hr, "Error, can't create the vertex buffer", 18, true);
  lockedVertices_ = nullptr;
  if (vertexBuffer_ != nullptr && SUCCEEDED(vertexBuffer_->Lock(0, vertexBytes, &lockedVertices_, 0))) {
    if (lockedVertices_ != nullptr && vertices_ != nullptr) std::memcpy(lockedVertices_, vertices_, vertexBytes);
    vertexBuffer_->Unlock();
  }
  lockedVertices_ = nullptr;
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  initialised_ = true;
}

void zr_MainObject::SetPosition(D3DXVECTOR3 position) { position_ = position; }

void zr_MainObject::SetRotation(D3DXVECTOR3 rotation) { rotation_ = rotation; }

zr_CustomVertex zr_MainObject::SetCustomVertex(D3DXVECTOR3 position, float nx, float ny, float nz, float u, float v) {
  return zr_CustomVertex{position, D3DXVECTOR3(nx, ny, nz), colour_, u, v};
}

void zr_MainObject::SetTexture(bool textured) { textured_ = textured; }

bool zr_MainObject::GetTextureState() const { return textured_; }

void zr_MainObject::SetMaterial(D3DMATERIAL9* material) { material_ = material; }

void zr_MainObject::SetColor(D3DCOLOR colour) { colour_ = colour; }

void zr_MainObject::CreateTexture(const char* fileName, D3DPOOL pool, UINT mipLevels, DWORD filter) {
  if (textureManager_ == nullptr || fileName == nullptr) return;
  if (textureManager_->AddTexture(fileName, pool, filter, mipLevels, 0) == 0) return;
  textured_ = true;
  textureName_ = fileName;
  mipLevels_ = mipLevels;
}

void zr_MainObject::Render(IDirect3DDevice9* device, D3DXVECTOR3 position, D3DXVECTOR3 rotation) {
  if (device == nullptr) return;
  IDirect3DTexture9* texture =
      textured_ && textureManager_ != nullptr ? textureManager_->GetTexture(textureName_.c_str()) : nullptr;
  DXTestForError(device->SetTexture(0, texture), "Error, by setting the texture", 21, false);
  device->SetFVF(kCustomVertexFormat);
  device->SetStreamSource(0, vertexBuffer_, 0, sizeof(zr_CustomVertex));
  device->SetIndices(indexBuffer_);

  D3DXMatrixTranslation(&translation_, position.x, position.y, position.z);
  D3DXMATRIX rx, ry, rz;
  D3DXMatrixRotationX(&rx, rotation.x);
  D3DXMatrixRotationY(&ry, rotation.y);
  D3DXMatrixRotationZ(&rz, rotation.z);
  D3DXMatrixMultiply(&rotationMatrix_, &rx, &ry);
  D3DXMatrixMultiply(&rotationMatrix_, &rotationMatrix_, &rz);
  D3DXMatrixMultiply(&world_, &rotationMatrix_, &translation_);
  device->SetTransform(D3DTS_WORLD, &world_);
  if (material_ != nullptr) device->SetMaterial(material_);

  device->SetSamplerState(0, D3DSAMP_MIPFILTER, mipLevels_ != 0 ? D3DTEXF_LINEAR : D3DTEXF_NONE);
  device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);

  HRESULT hr = device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(vertexCount_), 0,
                                            static_cast<UINT>(indexCount_ / 3));
  DXTestForError(hr, "Error, by drawing the object", 21, false);
  device->SetIndices(nullptr);
  device->SetStreamSource(0, nullptr, 0, 0);
}

void zr_MainObject::Render(IDirect3DDevice9* device, D3DXVECTOR3 position) { Render(device, position, rotation_); }

void zr_MainObject::Render(IDirect3DDevice9* device) { Render(device, position_, rotation_); }
