// Direct3D 9 of the fake: every call recorded as "Interface::Method" with its arguments; results
// as a test chooses them, D3D_OK otherwise.
#include "fake_d3d9.h"

#include <string>
#include <vector>

#include "fake_com.h"
#include "fake_platform.h"

namespace fake::d3d9 {

namespace {

const bool g_registered = [] {
  Platform::Get().AddResetHandler([] { Get() = State{}; });
  return true;
}();

std::string Rect(const RECT* r) {
  if (r == nullptr) return "<null>";
  return std::to_string(r->left) + "," + std::to_string(r->top) + "," + std::to_string(r->right) + "," +
         std::to_string(r->bottom);
}

std::string Rects(DWORD count, const D3DRECT* r) {
  if (r == nullptr) return "<null>";
  std::string out;
  for (DWORD i = 0; i < count; ++i) {
    if (i > 0) out += ";";
    out += std::to_string(r[i].x1) + "," + std::to_string(r[i].y1) + "," + std::to_string(r[i].x2) + "," +
           std::to_string(r[i].y2);
  }
  return out;
}

HRESULT Result(long long r) { return static_cast<HRESULT>(r); }

class Surface final : public fake::Counted<IDirect3DSurface9> {
 public:
  Surface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool)
      : Counted("IDirect3DSurface9"), width_(width), height_(height), format_(format), pool_(pool) {}

  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override {
    if (device != nullptr) *device = nullptr;
    return Result(Platform::Get().Record("IDirect3DSurface9::GetDevice", D3DERR_INVALIDCALL));
  }
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_SURFACE; }
  HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* desc) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DSurface9::GetDesc", D3D_OK));
    if (SUCCEEDED(hr) && desc != nullptr) {
      *desc = D3DSURFACE_DESC{};
      desc->Format = format_;
      desc->Type = D3DRTYPE_SURFACE;
      desc->Pool = pool_;
      desc->Width = width_;
      desc->Height = height_;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DSurface9::LockRect", D3D_OK, Rect(rect), flags));
    if (SUCCEEDED(hr) && locked != nullptr) {
      pixels_.assign(static_cast<size_t>(width_) * height_, 0);
      locked->Pitch = static_cast<INT>(width_ * 4);
      locked->pBits = pixels_.data();
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE UnlockRect() override {
    return Result(Platform::Get().Record("IDirect3DSurface9::UnlockRect", D3D_OK));
  }

 private:
  UINT width_;
  UINT height_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  std::vector<DWORD> pixels_;
};

// A texture that CreateTexture hands out: its description, and locks that give zeroed memory.
class Texture final : public fake::Counted<IDirect3DTexture9> {
 public:
  Texture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
      : Counted("IDirect3DTexture9"), width_(width), height_(height), levels_(levels), usage_(usage), format_(format),
        pool_(pool) {}

  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override {
    if (device != nullptr) *device = nullptr;
    return Call("GetDevice", D3DERR_INVALIDCALL);
  }
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD STDMETHODCALLTYPE GetLevelCount() override { return levels_; }
  HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override {
    HRESULT hr = Call("GetLevelDesc", level < levels_ ? D3D_OK : D3DERR_INVALIDCALL, level);
    if (SUCCEEDED(hr) && desc != nullptr) {
      *desc = D3DSURFACE_DESC{};
      desc->Format = format_;
      desc->Type = D3DRTYPE_SURFACE;
      desc->Usage = usage_;
      desc->Pool = pool_;
      desc->Width = width_ >> level > 0 ? width_ >> level : 1;
      desc->Height = height_ >> level > 0 ? height_ >> level : 1;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
    HRESULT hr = Call("LockRect", D3D_OK, level, Rect(rect), flags);
    if (SUCCEEDED(hr) && locked != nullptr) {
      pixels_.assign(static_cast<size_t>(width_) * height_, 0);
      locked->Pitch = static_cast<INT>(width_ * 4);
      locked->pBits = pixels_.data();
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override { return Call("UnlockRect", D3D_OK, level); }

 private:
  UINT width_;
  UINT height_;
  UINT levels_;
  DWORD usage_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  std::vector<DWORD> pixels_;
};

class Device final : public fake::Counted<IDirect3DDevice9> {
 public:
  explicit Device(IDirect3D9* direct3D) : Counted("IDirect3DDevice9"), direct3D_(direct3D) {}

  HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override {
    return Result(Platform::Get().Record("IDirect3DDevice9::TestCooperativeLevel", D3D_OK));
  }
  HRESULT STDMETHODCALLTYPE GetDirect3D(IDirect3D9** direct3D) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::GetDirect3D", D3D_OK));
    if (direct3D != nullptr) *direct3D = SUCCEEDED(hr) ? direct3D_ : nullptr;
    if (SUCCEEDED(hr) && direct3D_ != nullptr) direct3D_->AddRef();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* pp) override {
    if (pp != nullptr) Get().resetParameters = *pp;
    return Result(Platform::Get().Record("IDirect3DDevice9::Reset", D3D_OK, static_cast<const void*>(pp)));
  }
  HRESULT STDMETHODCALLTYPE Present(const RECT* source, const RECT* dest, HWND window, const RGNDATA* dirty) override {
    return Result(Platform::Get().Record("IDirect3DDevice9::Present", D3D_OK, Rect(source), Rect(dest),
                                         static_cast<const void*>(window), static_cast<const void*>(dirty)));
  }
  HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                          IDirect3DSurface9** surface) override {
    HRESULT hr =
        Result(Platform::Get().Record("IDirect3DDevice9::GetBackBuffer", D3D_OK, swapChain, backBuffer, type));
    if (surface != nullptr) *surface = SUCCEEDED(hr) ? new Surface(1024, 768, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT) : nullptr;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetFrontBufferData(UINT swapChain, IDirect3DSurface9* dest) override {
    return Result(Platform::Get().Record("IDirect3DDevice9::GetFrontBufferData", D3D_OK, swapChain,
                                         static_cast<const void*>(dest)));
  }
  HRESULT STDMETHODCALLTYPE CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                        IDirect3DSurface9** surface, HANDLE* shared) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::CreateOffscreenPlainSurface", D3D_OK, width, height,
                                               format, pool, static_cast<const void*>(shared)));
    if (surface != nullptr) *surface = SUCCEEDED(hr) ? new Surface(width, height, format, pool) : nullptr;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE BeginScene() override {
    return Result(Platform::Get().Record("IDirect3DDevice9::BeginScene", D3D_OK));
  }
  HRESULT STDMETHODCALLTYPE EndScene() override {
    return Result(Platform::Get().Record("IDirect3DDevice9::EndScene", D3D_OK));
  }
  HRESULT STDMETHODCALLTYPE Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                  DWORD stencil) override {
    return Result(Platform::Get().Record("IDirect3DDevice9::Clear", D3D_OK, count, Rects(count, rects), flags, color,
                                         static_cast<double>(z), stencil));
  }
  HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT9* viewport) override {
    if (viewport == nullptr) return Result(Platform::Get().Record("IDirect3DDevice9::SetViewport", D3DERR_INVALIDCALL));
    return Result(Platform::Get().Record("IDirect3DDevice9::SetViewport", D3D_OK, viewport->X, viewport->Y,
                                         viewport->Width, viewport->Height));
  }
  HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9* viewport) override {
    if (viewport != nullptr) *viewport = D3DVIEWPORT9{0, 0, 1024, 768, 0.0f, 1.0f};
    return Result(Platform::Get().Record("IDirect3DDevice9::GetViewport", D3D_OK));
  }
  HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
    return Result(Platform::Get().Record("IDirect3DDevice9::SetRenderState", D3D_OK, state, value));
  }
  HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override {
    if (value != nullptr) *value = 0;
    return Result(Platform::Get().Record("IDirect3DDevice9::GetRenderState", D3D_OK, state));
  }
  HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override {
    return Result(Platform::Get().Record("IDirect3DDevice9::SetSamplerState", D3D_OK, sampler, type, value));
  }
  HRESULT STDMETHODCALLTYPE GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override {
    if (value != nullptr) *value = 0;
    return Result(Platform::Get().Record("IDirect3DDevice9::GetSamplerState", D3D_OK, sampler, type));
  }
  HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                          D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::CreateTexture", D3D_OK, width, height, levels, usage,
                                               format, pool, static_cast<const void*>(shared)));
    if (texture != nullptr)
      *texture = SUCCEEDED(hr) ? new Texture(width, height, levels == 0 ? 1 : levels, usage, format, pool) : nullptr;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override {
    return Result(
        Platform::Get().Record("IDirect3DDevice9::SetTexture", D3D_OK, stage, static_cast<const void*>(texture)));
  }
  HRESULT STDMETHODCALLTYPE GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override {
    if (texture != nullptr) *texture = nullptr;
    return Result(Platform::Get().Record("IDirect3DDevice9::GetTexture", D3D_OK, stage));
  }  HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::SetTransform", matrix != nullptr ? D3D_OK : D3DERR_INVALIDCALL,
                                               state, static_cast<const void*>(matrix)));
    if (SUCCEEDED(hr) && matrix != nullptr) Get().transforms[state] = *matrix;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override {
    auto found = Get().transforms.find(state);
    if (matrix != nullptr && found != Get().transforms.end()) *matrix = found->second;
    return Result(Platform::Get().Record("IDirect3DDevice9::GetTransform", D3D_OK, state));
  }
  HRESULT STDMETHODCALLTYPE SetLight(DWORD index, const D3DLIGHT9* light) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::SetLight", light != nullptr ? D3D_OK : D3DERR_INVALIDCALL,
                                               index, static_cast<const void*>(light)));
    if (SUCCEEDED(hr) && light != nullptr) Get().lights[index] = *light;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetLight(DWORD index, D3DLIGHT9* light) override {
    auto found = Get().lights.find(index);
    if (light != nullptr && found != Get().lights.end()) *light = found->second;
    return Result(Platform::Get().Record("IDirect3DDevice9::GetLight", found != Get().lights.end() ? D3D_OK : D3DERR_INVALIDCALL, index));
  }
  HRESULT STDMETHODCALLTYPE LightEnable(DWORD index, BOOL enable) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::LightEnable", D3D_OK, index, enable));
    if (SUCCEEDED(hr)) Get().lightsEnabled[index] = enable;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetLightEnable(DWORD index, BOOL* enable) override {
    auto found = Get().lightsEnabled.find(index);
    if (enable != nullptr) *enable = found != Get().lightsEnabled.end() ? found->second : FALSE;
    return Result(Platform::Get().Record("IDirect3DDevice9::GetLightEnable", D3D_OK, index));
  }


 private:
  IDirect3D9* direct3D_;
};

class Direct3D final : public fake::Counted<IDirect3D9> {
 public:
  Direct3D() : Counted("IDirect3D9") {}

  UINT STDMETHODCALLTYPE GetAdapterCount() override {
    return static_cast<UINT>(Platform::Get().Record("IDirect3D9::GetAdapterCount", 1));
  }
  HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
    if (mode != nullptr) *mode = D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8};
    return Result(Platform::Get().Record("IDirect3D9::GetAdapterDisplayMode", D3D_OK, adapter));
  }
  HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD flags,
                                         D3DPRESENT_PARAMETERS* pp, IDirect3DDevice9** device) override {
    if (pp != nullptr) Get().createParameters = *pp;
    HRESULT hr = Result(Platform::Get().Record("IDirect3D9::CreateDevice", D3D_OK, adapter, type,
                                               static_cast<const void*>(focus), flags, static_cast<const void*>(pp)));
    if (device != nullptr) *device = SUCCEEDED(hr) ? new Device(this) : nullptr;
    return hr;
  }
};

}  // namespace

State& Get() {
  static State state;
  return state;
}

}  // namespace fake::d3d9

IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
  // A chosen result of 0 stands for "no Direct3D object".
  long long made = fake::Platform::Get().Record("Direct3DCreate9", 1, sdkVersion);
  return made != 0 ? new fake::d3d9::Direct3D : nullptr;
}
