// Direct3D 9 of the fake: every call recorded as "Interface::Method" with its arguments; results
// as a test chooses them, D3D_OK otherwise.
#include "fake_state.h"

#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "fake_com.h"

namespace fake::d3d9 {

namespace {

std::string Rects(DWORD count, const D3DRECT* r) {
  if (r == nullptr) return "<null>";
  std::string out;
  for (DWORD i = 0; i < count; ++i) {
    const RECT rect{r[i].x1, r[i].y1, r[i].x2, r[i].y2};
    out += (i > 0 ? ";" : "") + Rect(&rect);
  }
  return out;
}

std::string Colour(const D3DCOLORVALUE& c) {
  return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + "," + std::to_string(c.a);
}

// The buffers alive now; not part of State, which a test resets while buffers may live on.
std::map<const void*, std::vector<std::uint8_t>*>& LiveBuffers() {
  static std::map<const void*, std::vector<std::uint8_t>*> buffers;
  return buffers;
}

// A vertex or index buffer whose locks hand out its memory (zeroed when made, kept from lock to
// lock), so that tests can read what was written.
template <typename Interface, typename Desc>
class Buffer final : public Counted<Interface> {
 public:
  Buffer(const char* name, UINT length) : Counted<Interface>(name), bytes_(length, 0) {
    LiveBuffers()[static_cast<Interface*>(this)] = &bytes_;
  }
  ~Buffer() override { LiveBuffers().erase(static_cast<Interface*>(this)); }

  FAKE_NOT_MODELLED(GetDevice, IDirect3DDevice9**)
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override {
    return std::is_same_v<Interface, IDirect3DVertexBuffer9> ? D3DRTYPE_VERTEXBUFFER : D3DRTYPE_INDEXBUFFER;
  }
  FAKE_NOT_MODELLED(GetDesc, Desc*)
  // Offset and size 0 lock the whole buffer.
  HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override {
    bool inside = offset < bytes_.size() && size <= bytes_.size() - offset;
    HRESULT hr = this->Call("Lock", inside ? D3D_OK : D3DERR_INVALIDCALL, offset, size, flags);
    if (data != nullptr) *data = SUCCEEDED(hr) && inside ? bytes_.data() + offset : nullptr;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Unlock() override { return this->Call("Unlock", D3D_OK); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Hands out a new object when the call succeeds, null otherwise.
template <typename Made, typename Out, typename... Args>
HRESULT Make(HRESULT hr, Out** out, Args&&... args) {
  if (out != nullptr) *out = SUCCEEDED(hr) ? new Made(std::forward<Args>(args)...) : nullptr;
  return hr;
}

class Device final : public Counted<IDirect3DDevice9> {
 public:
  Device() : Counted("IDirect3DDevice9") {}

  HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override { return Call("TestCooperativeLevel", D3D_OK); }
  HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* pp) override {
    if (pp != nullptr) Get().resetParameters = *pp;
    return Call("Reset", D3D_OK, pp);
  }
  HRESULT STDMETHODCALLTYPE Present(const RECT* source, const RECT* dest, HWND window, const RGNDATA* dirty) override {
    return Call("Present", D3D_OK, Rect(source), Rect(dest), window, dirty);
  }
  HRESULT STDMETHODCALLTYPE BeginScene() override { return Call("BeginScene", D3D_OK); }
  HRESULT STDMETHODCALLTYPE EndScene() override { return Call("EndScene", D3D_OK); }
  HRESULT STDMETHODCALLTYPE Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                  DWORD stencil) override {
    return Call("Clear", D3D_OK, count, Rects(count, rects), flags, color, static_cast<double>(z), stencil);
  }
  HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
    return Call("SetRenderState", D3D_OK, state, value);
  }
  HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override {
    return Call("SetSamplerState", D3D_OK, sampler, type, value);
  }
  HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override {
    return Call("SetTexture", D3D_OK, stage, texture);
  }
  HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
    HRESULT hr = Call("SetTransform", matrix != nullptr ? D3D_OK : D3DERR_INVALIDCALL, state, matrix);
    if (SUCCEEDED(hr) && matrix != nullptr) Get().transforms[state] = *matrix;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetLight(DWORD index, const D3DLIGHT9* light) override {
    HRESULT hr = Call("SetLight", light != nullptr ? D3D_OK : D3DERR_INVALIDCALL, index, light);
    if (SUCCEEDED(hr) && light != nullptr) Get().lights[index] = *light;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LightEnable(DWORD index, BOOL enable) override {
    return Call("LightEnable", D3D_OK, index, enable);
  }
  // Direct3D refuses a buffer that cannot hold one vertex or one index.
  HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                               IDirect3DVertexBuffer9** buffer, HANDLE* shared) override {
    return Make<Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>>(
        Call("CreateVertexBuffer", length == 0 ? D3DERR_INVALIDCALL : D3D_OK, length, usage, fvf, pool, shared), buffer,
        "IDirect3DVertexBuffer9", length);
  }
  HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                              IDirect3DIndexBuffer9** buffer, HANDLE* shared) override {
    return Make<Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>>(
        Call("CreateIndexBuffer", length < 2 ? D3DERR_INVALIDCALL : D3D_OK, length, usage, format, pool, shared),
        buffer, "IDirect3DIndexBuffer9", length);
  }
  HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override { return Call("SetFVF", D3D_OK, fvf); }
  HRESULT STDMETHODCALLTYPE SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                                            UINT stride) override {
    return Call("SetStreamSource", D3D_OK, stream, buffer, offset, stride);
  }
  HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* buffer) override {
    return Call("SetIndices", D3D_OK, buffer);
  }
  HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex,
                                                 UINT numVertices, UINT startIndex, UINT count) override {
    return Call("DrawIndexedPrimitive", D3D_OK, type, baseVertex, minIndex, numVertices, startIndex, count);
  }
  // Recorded as the material's colours "r,g,b,a" (diffuse, ambient, specular, emissive) and power.
  HRESULT STDMETHODCALLTYPE SetMaterial(const D3DMATERIAL9* m) override {
    if (m == nullptr) return Call("SetMaterial", D3DERR_INVALIDCALL, nullptr);
    return Call("SetMaterial", D3D_OK, Colour(m->Diffuse), Colour(m->Ambient), Colour(m->Specular),
                Colour(m->Emissive), static_cast<double>(m->Power));
  }
  HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
    return Call("SetTextureStageState", D3D_OK, stage, type, value);
  }

  FAKE_NOT_MODELLED(GetDirect3D, IDirect3D9**)
  FAKE_NOT_MODELLED(GetBackBuffer, UINT, UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface9**)
  FAKE_NOT_MODELLED(GetFrontBufferData, UINT, IDirect3DSurface9*)
  FAKE_NOT_MODELLED(CreateOffscreenPlainSurface, UINT, UINT, D3DFORMAT, D3DPOOL, IDirect3DSurface9**, HANDLE*)
  FAKE_NOT_MODELLED(SetViewport, const D3DVIEWPORT9*)
  FAKE_NOT_MODELLED(GetViewport, D3DVIEWPORT9*)
  FAKE_NOT_MODELLED(GetRenderState, D3DRENDERSTATETYPE, DWORD*)
  FAKE_NOT_MODELLED(GetSamplerState, DWORD, D3DSAMPLERSTATETYPE, DWORD*)
  FAKE_NOT_MODELLED(CreateTexture, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture9**, HANDLE*)
  FAKE_NOT_MODELLED(GetTexture, DWORD, IDirect3DBaseTexture9**)
  FAKE_NOT_MODELLED(GetTransform, D3DTRANSFORMSTATETYPE, D3DMATRIX*)
  FAKE_NOT_MODELLED(GetLight, DWORD, D3DLIGHT9*)
  FAKE_NOT_MODELLED(GetLightEnable, DWORD, BOOL*)
  FAKE_NOT_MODELLED(GetFVF, DWORD*)
  FAKE_NOT_MODELLED(GetStreamSource, UINT, IDirect3DVertexBuffer9**, UINT*, UINT*)
  FAKE_NOT_MODELLED(GetIndices, IDirect3DIndexBuffer9**)
  FAKE_NOT_MODELLED(DrawPrimitive, D3DPRIMITIVETYPE, UINT, UINT)
  FAKE_NOT_MODELLED(GetMaterial, D3DMATERIAL9*)
  FAKE_NOT_MODELLED(GetTextureStageState, DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*)
};

class Direct3D final : public Counted<IDirect3D9> {
 public:
  Direct3D() : Counted("IDirect3D9") {}
  UINT STDMETHODCALLTYPE GetAdapterCount() override { return 1; }
  FAKE_NOT_MODELLED(GetAdapterDisplayMode, UINT, D3DDISPLAYMODE*)
  HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD flags,
                                         D3DPRESENT_PARAMETERS* pp, IDirect3DDevice9** device) override {
    if (pp != nullptr) Get().createParameters = *pp;
    return Make<Device>(Call("CreateDevice", D3D_OK, adapter, type, focus, flags, pp), device);
  }
};

}  // namespace

IDirect3DDevice9* NewDevice() { return new Device; }

const std::vector<std::uint8_t>* BufferBytes(const void* buffer) {
  auto found = LiveBuffers().find(buffer);
  return found != LiveBuffers().end() ? found->second : nullptr;
}

}  // namespace fake::d3d9

IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
  // A chosen result of 0 stands for "no Direct3D object".
  return fake::Platform::Get().Record("Direct3DCreate9", 1, sdkVersion) != 0 ? new fake::d3d9::Direct3D : nullptr;
}
