#include "sprite.h"

#include "gl_device.h"
#include "quad_batch.h"
#include "texture.h"

namespace zr::d3dx9 {

namespace {

constexpr DWORD kKnownFlags = D3DXSPRITE_DONOTSAVESTATE | D3DXSPRITE_DONOTMODIFY_RENDERSTATE | D3DXSPRITE_OBJECTSPACE |
                              D3DXSPRITE_BILLBOARD | D3DXSPRITE_ALPHABLEND | D3DXSPRITE_SORT_TEXTURE |
                              D3DXSPRITE_SORT_DEPTH_FRONTTOBACK | D3DXSPRITE_SORT_DEPTH_BACKTOFRONT |
                              D3DXSPRITE_DO_NOT_ADDREF_TEXTURE;

}  // namespace

GlSprite::GlSprite(d3d9::GlDevice* device) : device_(device) {
  D3DXMatrixIdentity(&transform_);
  device_->AddRef();
  device_->RegisterDeviceObject(this);
}

GlSprite::~GlSprite() {
  // Quads of this sprite may be held back, with references to their textures.
  device_->FlushHeldDrawing();
  device_->UnregisterDeviceObject(this);
  device_->Release();
}

HRESULT GlSprite::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown) {
    *object = static_cast<ID3DXSprite*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG GlSprite::AddRef() { return ++refs_; }

ULONG GlSprite::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT GlSprite::GetDevice(LPDIRECT3DDEVICE9* device) {
  if (device == nullptr) return D3DERR_INVALIDCALL;
  device_->AddRef();
  *device = device_;
  return D3D_OK;
}

HRESULT GlSprite::GetTransform(D3DXMATRIX* transform) {
  if (transform == nullptr) return D3DERR_INVALIDCALL;
  *transform = transform_;
  return D3D_OK;
}

HRESULT GlSprite::SetTransform(const D3DXMATRIX* transform) {
  if (transform == nullptr) return D3DERR_INVALIDCALL;
  transform_ = *transform;
  return D3D_OK;
}

HRESULT GlSprite::Begin(DWORD flags) {
  if (inBegin_ || (flags & ~kKnownFlags) != 0 || (flags & (D3DXSPRITE_OBJECTSPACE | D3DXSPRITE_BILLBOARD)) != 0)
    return D3DERR_INVALIDCALL;
  flags_ = flags;
  inBegin_ = true;
  return D3D_OK;
}

HRESULT GlSprite::Draw(LPDIRECT3DTEXTURE9 texture, const RECT* srcRect, const D3DXVECTOR3* center,
                       const D3DXVECTOR3* position, D3DCOLOR color) {
  if (!inBegin_ || texture == nullptr) return D3DERR_INVALIDCALL;
  auto* t = dynamic_cast<d3d9::GlTexture*>(texture);
  // Textures of another device, and those in memory only, cannot be drawn.
  if (t == nullptr || t->Device() != device_ || t->Name() == 0) return D3DERR_INVALIDCALL;

  float texW = static_cast<float>(t->Width());
  float texH = static_cast<float>(t->Height());
  float left = 0;
  float top = 0;
  float width = texW;
  float height = texH;
  if (srcRect != nullptr) {
    if (srcRect->right <= srcRect->left || srcRect->bottom <= srcRect->top) return D3D_OK;  // nothing to draw
    left = static_cast<float>(srcRect->left);
    top = static_cast<float>(srcRect->top);
    width = static_cast<float>(srcRect->right - srcRect->left);
    height = static_cast<float>(srcRect->bottom - srcRect->top);
  }

  d3d9::QuadBatch::Style style;
  style.texture = t->Name();
  style.blend = (flags_ & D3DXSPRITE_DONOTMODIFY_RENDERSTATE) ? d3d9::QuadBatch::Blend::kDevice
                : (flags_ & D3DXSPRITE_ALPHABLEND)            ? d3d9::QuadBatch::Blend::kSourceAlpha
                                                              : d3d9::QuadBatch::Blend::kOff;
  IUnknown* keep = (flags_ & D3DXSPRITE_DO_NOT_ADDREF_TEXTURE) ? nullptr : texture;
  d3d9::QuadBatch::Vertex* v = device_->Quads().Add(style, keep);
  if (v == nullptr) return D3DERR_NOTAVAILABLE;

  // The texel corner (0, 0) of the rectangle sits at (position - center) before the transform;
  // x and y then move along the transform's first two rows.
  const D3DXMATRIX& m = transform_;
  float px = (position != nullptr ? position->x : 0.0f) - (center != nullptr ? center->x : 0.0f);
  float py = (position != nullptr ? position->y : 0.0f) - (center != nullptr ? center->y : 0.0f);
  float pz = (position != nullptr ? position->z : 0.0f) - (center != nullptr ? center->z : 0.0f);
  float ox = px * m._11 + py * m._21 + pz * m._31 + m._41;
  float oy = px * m._12 + py * m._22 + pz * m._32 + m._42;
  float ux = width * m._11;
  float uy = width * m._12;
  float vx = height * m._21;
  float vy = height * m._22;
  float u0 = left / texW;
  float v0 = top / texH;
  float u1 = (left + width) / texW;
  float v1 = (top + height) / texH;
  v[0] = {ox, oy, u0, v0, color};
  v[1] = {ox + ux, oy + uy, u1, v0, color};
  v[2] = {ox + vx, oy + vy, u0, v1, color};
  v[3] = {ox + ux + vx, oy + uy + vy, u1, v1, color};
  return D3D_OK;
}

HRESULT GlSprite::Flush() {
  if (!inBegin_) return D3DERR_INVALIDCALL;
  device_->FlushHeldDrawing();
  return D3D_OK;
}

// The quads stay held back: the device draws them when it must, so that the next Begin/End pair
// can join the same batch.
HRESULT GlSprite::End() {
  if (!inBegin_) return D3DERR_INVALIDCALL;
  inBegin_ = false;
  return D3D_OK;
}

HRESULT GlSprite::OnLostDevice() {
  inBegin_ = false;
  device_->FlushHeldDrawing();
  device_->DeviceObjectLost(this);
  return D3D_OK;
}

HRESULT GlSprite::OnResetDevice() {
  device_->DeviceObjectReset(this);
  return D3D_OK;
}

}  // namespace zr::d3dx9

HRESULT WINAPI D3DXCreateSprite(LPDIRECT3DDEVICE9 device, LPD3DXSPRITE* sprite) {
  if (sprite == nullptr) return D3DERR_INVALIDCALL;
  *sprite = nullptr;
  auto* gl = dynamic_cast<zr::d3d9::GlDevice*>(device);
  if (gl == nullptr) return D3DERR_INVALIDCALL;
  *sprite = new zr::d3dx9::GlSprite(gl);
  return D3D_OK;
}
