// The fixed-function state of the device: transforms and lights, kept as the platform keeps them
// for the drawing of 3D primitives.
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

void GlDevice::ResetFixedFunction() {
  transforms_.fill(Identity());
  lights_.clear();
  enabledLights_.clear();
}

HRESULT GlDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  int slot = TransformSlot(state);
  if (matrix == nullptr || slot < 0) return D3DERR_INVALIDCALL;
  transforms_[slot] = *matrix;
  ++stateSerial_;
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
  return D3D_OK;
}

HRESULT GlDevice::GetLightEnable(DWORD index, BOOL* enable) {
  if (enable == nullptr || lights_.count(index) == 0) return D3DERR_INVALIDCALL;
  *enable = enabledLights_.count(index) != 0 ? TRUE : FALSE;
  return D3D_OK;
}

}  // namespace zr::d3d9
