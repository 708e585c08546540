// The Direct3D object: one adapter (the OpenGL 3.3 core implementation the window system gives).
#include <d3d9.h>

#include "gl_device.h"
#include "win32_internal.h"

namespace zr::d3d9 {

namespace {

class Direct3D9 final : public IDirect3D9 {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDirect3D9) {
      *object = static_cast<IDirect3D9*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  UINT STDMETHODCALLTYPE GetAdapterCount() override { return 1; }

  HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
    if (adapter != D3DADAPTER_DEFAULT || mode == nullptr) return D3DERR_INVALIDCALL;
    if (!win32::AcquireVideo()) return D3DERR_NOTAVAILABLE;
    SDL_DisplayMode desktop{};
    int status = SDL_GetDesktopDisplayMode(0, &desktop);
    win32::ReleaseVideo();
    if (status != 0) return D3DERR_NOTAVAILABLE;
    mode->Width = static_cast<UINT>(desktop.w);
    mode->Height = static_cast<UINT>(desktop.h);
    mode->RefreshRate = desktop.refresh_rate > 0 ? static_cast<UINT>(desktop.refresh_rate) : 60;
    mode->Format = D3DFMT_X8R8G8B8;
    return D3D_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                                         D3DPRESENT_PARAMETERS* pp, IDirect3DDevice9** device) override {
    if (device != nullptr) *device = nullptr;
    if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
    // Both the hardware and the reference device are the GL implementation at hand.
    if (deviceType != D3DDEVTYPE_HAL && deviceType != D3DDEVTYPE_REF) return D3DERR_INVALIDCALL;
    return GlDevice::Create(this, focusWindow, behaviorFlags, pp, device);
  }

 private:
  ~Direct3D9() = default;
  ULONG refs_ = 1;
};

}  // namespace

}  // namespace zr::d3d9

IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
  if (sdkVersion != D3D_SDK_VERSION) return nullptr;
  return new zr::d3d9::Direct3D9;
}
