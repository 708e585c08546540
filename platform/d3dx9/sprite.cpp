#include "sprite.h"

#include <iterator>

#include "gl_device.h"
#include "quad_batch.h"
#include "texture.h"

namespace zr::d3dx9 {

namespace {

constexpr DWORD kKnownFlags = D3DXSPRITE_DONOTSAVESTATE | D3DXSPRITE_DONOTMODIFY_RENDERSTATE | D3DXSPRITE_OBJECTSPACE |
                              D3DXSPRITE_BILLBOARD | D3DXSPRITE_ALPHABLEND | D3DXSPRITE_SORT_TEXTURE |
                              D3DXSPRITE_SORT_DEPTH_FRONTTOBACK | D3DXSPRITE_SORT_DEPTH_BACKTOFRONT |
                              D3DXSPRITE_DO_NOT_ADDREF_TEXTURE;

// ID3DXSprite::Begin's documented states, in its order. The first and the fourth, blending and
// the alpha test, are on with D3DXSPRITE_ALPHABLEND only (as that flag's description says).
struct RenderValue {
  D3DRENDERSTATETYPE state;
  DWORD value;
};
constexpr RenderValue kRenderStates[] = {
    {D3DRS_ALPHABLENDENABLE, TRUE},
    {D3DRS_ALPHAFUNC, D3DCMP_GREATER},
    {D3DRS_ALPHAREF, 0x00},
    {D3DRS_ALPHATESTENABLE, TRUE},  // "AlphaCmpCaps": this device compares alpha
    {D3DRS_BLENDOP, D3DBLENDOP_ADD},
    {D3DRS_CLIPPING, TRUE},
    {D3DRS_CLIPPLANEENABLE, FALSE},
    {D3DRS_COLORWRITEENABLE, 0xF},  // alpha, blue, green and red
    {D3DRS_CULLMODE, D3DCULL_NONE},
    {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
    {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
    {D3DRS_ENABLEADAPTIVETESSELLATION, FALSE},
    {D3DRS_FILLMODE, D3DFILL_SOLID},
    {D3DRS_FOGENABLE, FALSE},
    {D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE},
    {D3DRS_LIGHTING, FALSE},
    {D3DRS_RANGEFOGENABLE, FALSE},
    {D3DRS_SEPARATEALPHABLENDENABLE, FALSE},
    {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
    {D3DRS_SPECULARENABLE, FALSE},
    {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
    {D3DRS_SRGBWRITEENABLE, FALSE},
    {D3DRS_STENCILENABLE, FALSE},
    {D3DRS_VERTEXBLEND, FALSE},
    {D3DRS_WRAP0, 0},
};
constexpr std::size_t kBlendState = 0, kAlphaTestState = 3;

struct StageValue {
  DWORD stage;
  D3DTEXTURESTAGESTATETYPE type;
  DWORD value;
};
constexpr StageValue kStageStates[] = {
    {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},     {0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},
    {0, D3DTSS_ALPHAOP, D3DTOP_MODULATE},     {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
    {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},     {0, D3DTSS_COLOROP, D3DTOP_MODULATE},
    {0, D3DTSS_TEXCOORDINDEX, 0},             {0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
    {1, D3DTSS_ALPHAOP, D3DTOP_DISABLE},      {1, D3DTSS_COLOROP, D3DTOP_DISABLE},
};

// Sampler 0. The filters are anisotropic where the caps offer it, else linear; this device
// offers linear (and mipmaps filtered linearly), so MAXANISOTROPY keeps no use and stays 1.
struct SamplerValue {
  D3DSAMPLERSTATETYPE type;
  DWORD value;
};
constexpr SamplerValue kSamplerStates[] = {
    {D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP}, {D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP},
    {D3DSAMP_MAGFILTER, D3DTEXF_LINEAR},   {D3DSAMP_MAXMIPLEVEL, 0},
    {D3DSAMP_MAXANISOTROPY, 1},            {D3DSAMP_MINFILTER, D3DTEXF_LINEAR},
    {D3DSAMP_MIPFILTER, D3DTEXF_LINEAR},   {D3DSAMP_MIPMAPLODBIAS, 0},
    {D3DSAMP_SRGBTEXTURE, 0},
};

static_assert(std::size(kRenderStates) == SpriteStates::kRender && std::size(kStageStates) == SpriteStates::kStage &&
              std::size(kSamplerStates) == SpriteStates::kSampler);

}  // namespace

void SpriteStates::Save(const d3d9::GlDevice& device) {
  for (std::size_t i = 0; i < kRender; ++i) render_[i] = device.RenderState(kRenderStates[i].state);
  for (std::size_t i = 0; i < kStage; ++i) stage_[i] = device.TextureStageState(kStageStates[i].stage, kStageStates[i].type);
  for (std::size_t i = 0; i < kSampler; ++i) sampler_[i] = device.SamplerState(0, kSamplerStates[i].type);
}

// Only the states that differ go through the device's setters: most of them are as a sprite
// wants them already, and a game sets and puts back these states for every sprite it draws.
namespace {

void SetRender(d3d9::GlDevice& device, D3DRENDERSTATETYPE state, DWORD value) {
  if (device.RenderState(state) != value) device.SetRenderState(state, value);
}
void SetStage(d3d9::GlDevice& device, DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  if (device.TextureStageState(stage, type) != value) device.SetTextureStageState(stage, type, value);
}
void SetSampler(d3d9::GlDevice& device, D3DSAMPLERSTATETYPE type, DWORD value) {
  if (device.SamplerState(0, type) != value) device.SetSamplerState(0, type, value);
}

}  // namespace

void SpriteStates::Restore(d3d9::GlDevice& device) const {
  for (std::size_t i = 0; i < kRender; ++i) SetRender(device, kRenderStates[i].state, render_[i]);
  for (std::size_t i = 0; i < kStage; ++i) SetStage(device, kStageStates[i].stage, kStageStates[i].type, stage_[i]);
  for (std::size_t i = 0; i < kSampler; ++i) SetSampler(device, kSamplerStates[i].type, sampler_[i]);
}

void SpriteStates::Set(d3d9::GlDevice& device, bool alphaBlend) {
  for (std::size_t i = 0; i < kRender; ++i) {
    bool off = !alphaBlend && (i == kBlendState || i == kAlphaTestState);
    SetRender(device, kRenderStates[i].state, off ? FALSE : kRenderStates[i].value);
  }
  for (const StageValue& s : kStageStates) SetStage(device, s.stage, s.type, s.value);
  for (const SamplerValue& s : kSamplerStates) SetSampler(device, s.type, s.value);
}

GlSprite::GlSprite(d3d9::GlDevice* device) : device_(device) {
  D3DXMatrixIdentity(&transform_);
  device_->AddRef();
  device_->RegisterDeviceObject(this);
}

// Quads of this sprite may be held back: the device draws them when it must, and drops them
// when nobody can present them any more (it goes then).
GlSprite::~GlSprite() {
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
  if (!(flags & D3DXSPRITE_DONOTSAVESTATE)) saved_.Save(*device_);
  if (!(flags & D3DXSPRITE_DONOTMODIFY_RENDERSTATE)) SpriteStates::Set(*device_, (flags & D3DXSPRITE_ALPHABLEND) != 0);
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

// The quads stay held back, with the states they were drawn under: the device draws them when it
// must, so that the next Begin/End pair can join the same batch.
HRESULT GlSprite::End() {
  if (!inBegin_) return D3DERR_INVALIDCALL;
  inBegin_ = false;
  if (!(flags_ & D3DXSPRITE_DONOTSAVESTATE)) saved_.Restore(*device_);
  return D3D_OK;
}

HRESULT GlSprite::OnLostDevice() {
  if (inBegin_) End();
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
