// The fixed-function state of the device: transforms, lights, the material and the texture stage
// states, kept for the drawing of 3D primitives (fixed_function.cpp draws with them).
#include <cmath>

#include "gl_device.h"

namespace zr::d3d9 {

namespace {

D3DMATRIX Identity() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

bool Finite(const D3DCOLORVALUE& c) {
  return std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b) && std::isfinite(c.a);
}

}  // namespace

int TransformSlot(DWORD state) {
  if (state == D3DTS_VIEW) return 0;
  if (state == D3DTS_PROJECTION) return 1;
  if (state >= D3DTS_TEXTURE0 && state < D3DTS_TEXTURE0 + 8) return 2 + static_cast<int>(state - D3DTS_TEXTURE0);
  if (state >= 256 && state < 512) return 10 + static_cast<int>(state - 256);
  return -1;
}

bool IsTextureStageState(DWORD type) {
  return (type >= D3DTSS_COLOROP && type <= D3DTSS_TEXCOORDINDEX) ||
         (type >= D3DTSS_BUMPENVLSCALE && type <= D3DTSS_TEXTURETRANSFORMFLAGS) ||
         (type >= D3DTSS_COLORARG0 && type <= D3DTSS_RESULTARG) || type == D3DTSS_CONSTANT;
}

DWORD DefaultTextureStageState(unsigned stage, DWORD type) {
  switch (type) {
    case D3DTSS_COLOROP: return stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    case D3DTSS_ALPHAOP: return stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    case D3DTSS_COLORARG1:
    case D3DTSS_ALPHAARG1: return D3DTA_TEXTURE;
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAARG2:
    case D3DTSS_COLORARG0:
    case D3DTSS_ALPHAARG0:
    case D3DTSS_RESULTARG: return D3DTA_CURRENT;
    case D3DTSS_TEXCOORDINDEX: return stage;
    case D3DTSS_CONSTANT: return 0xFFFFFFFF;
    default: return 0;  // bump-mapping matrix and scale 0.0f, texture transforms off
  }
}

void GlDevice::ResetFixedFunction() {
  transforms_.fill(Identity());
  lights_.clear();
  enabledLights_.clear();
  material_ = D3DMATERIAL9{};
  for (unsigned stage = 0; stage < kTextureStages; ++stage)
    for (DWORD type = 0; type < kStageStateCount; ++type)
      stageStates_[stage][type] = IsTextureStageState(type) ? DefaultTextureStageState(stage, type) : 0;
  streams_.fill(Stream{});
  indices_ = nullptr;
  fvf_ = 0;
  for (unsigned group = 0; group < static_cast<unsigned>(Change::kCount); ++group) Changed(static_cast<Change>(group));
}

HRESULT GlDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  int slot = TransformSlot(state);
  if (matrix == nullptr || slot < 0) return D3DERR_INVALIDCALL;
  transforms_[slot] = *matrix;
  ++stateSerial_;
  Changed(slot == 0 ? Change::kView : slot == 1 ? Change::kProjection : Change::kWorld);
  return D3D_OK;
}

HRESULT GlDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
  int slot = TransformSlot(state);
  if (matrix == nullptr || slot < 0) return D3DERR_INVALIDCALL;
  *matrix = transforms_[slot];
  return D3D_OK;
}

HRESULT GlDevice::SetLight(DWORD index, const D3DLIGHT9* light) {
  if (light == nullptr) return D3DERR_INVALIDCALL;
  if (light->Type != D3DLIGHT_POINT && light->Type != D3DLIGHT_SPOT && light->Type != D3DLIGHT_DIRECTIONAL)
    return D3DERR_INVALIDCALL;
  if (!Finite(light->Diffuse) || !Finite(light->Specular) || !Finite(light->Ambient) || light->Range < 0.0f)
    return D3DERR_INVALIDCALL;
  lights_[index] = *light;
  ++stateSerial_;
  Changed(Change::kLights);
  return D3D_OK;
}

HRESULT GlDevice::GetLight(DWORD index, D3DLIGHT9* light) {
  auto found = lights_.find(index);
  if (light == nullptr || found == lights_.end()) return D3DERR_INVALIDCALL;
  *light = found->second;
  return D3D_OK;
}

HRESULT GlDevice::LightEnable(DWORD index, BOOL enable) {
  if (lights_.count(index) == 0) {
    D3DLIGHT9 white{};
    white.Type = D3DLIGHT_DIRECTIONAL;
    white.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    white.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
    lights_[index] = white;
  }
  if (enable) enabledLights_.insert(index);
  else enabledLights_.erase(index);
  ++stateSerial_;
  Changed(Change::kLights);
  return D3D_OK;
}

HRESULT GlDevice::GetLightEnable(DWORD index, BOOL* enable) {
  if (enable == nullptr || lights_.count(index) == 0) return D3DERR_INVALIDCALL;
  *enable = enabledLights_.count(index) != 0 ? TRUE : FALSE;
  return D3D_OK;
}

HRESULT GlDevice::SetMaterial(const D3DMATERIAL9* material) {
  if (material == nullptr) return D3DERR_INVALIDCALL;
  material_ = *material;
  Changed(Change::kMaterial);
  return D3D_OK;
}

HRESULT GlDevice::GetMaterial(D3DMATERIAL9* material) {
  if (material == nullptr) return D3DERR_INVALIDCALL;
  *material = material_;
  return D3D_OK;
}

HRESULT GlDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  if (stage >= kTextureStages || !IsTextureStageState(type)) return D3DERR_INVALIDCALL;
  DWORD& slot = stageStates_[stage][type];
  if (slot == value) return D3D_OK;
  slot = value;
  Changed(Change::kStages);
  return D3D_OK;
}

HRESULT GlDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
  if (value == nullptr || stage >= kTextureStages || !IsTextureStageState(type)) return D3DERR_INVALIDCALL;
  *value = stageStates_[stage][type];
  return D3D_OK;
}

}  // namespace zr::d3d9
