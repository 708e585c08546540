// Direct3D 9 of the fake: every call recorded as "Interface::Method" with its arguments; results
// as a test chooses them, D3D_OK otherwise.
#include "fake_d3d9.h"

#include <map>
#include <type_traits>
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

// The buffers alive now; not part of State, which a test resets while buffers may live on.
std::map<const void*, std::vector<std::uint8_t>*>& LiveBuffers() {
  static std::map<const void*, std::vector<std::uint8_t>*> buffers;
  return buffers;
}

// A vertex or index buffer: its description, and locks that hand out its memory (zeroed when
// made, kept from lock to lock) so that tests can read what was written.
template <typename Interface, typename Desc>
class Buffer final : public fake::Counted<Interface> {
 public:
  Buffer(const char* name, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD fvf)
      : fake::Counted<Interface>(name), bytes_(length, 0), usage_(usage), format_(format), pool_(pool), fvf_(fvf) {
    LiveBuffers()[static_cast<Interface*>(this)] = &bytes_;
  }
  ~Buffer() override { LiveBuffers().erase(static_cast<Interface*>(this)); }

  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override {
    if (device != nullptr) *device = nullptr;
    return this->Call("GetDevice", D3DERR_INVALIDCALL);
  }
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override {
    return std::is_same_v<Interface, IDirect3DVertexBuffer9> ? D3DRTYPE_VERTEXBUFFER : D3DRTYPE_INDEXBUFFER;
  }
  HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override {
    bool inside = offset < bytes_.size() && size <= bytes_.size() - offset;
    HRESULT hr = this->Call("Lock", inside ? D3D_OK : D3DERR_INVALIDCALL, offset, size, flags);
    if (data != nullptr) *data = SUCCEEDED(hr) && inside ? bytes_.data() + offset : nullptr;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Unlock() override { return this->Call("Unlock", D3D_OK); }
  HRESULT STDMETHODCALLTYPE GetDesc(Desc* desc) override {
    HRESULT hr = this->Call("GetDesc", D3D_OK);
    if (SUCCEEDED(hr) && desc != nullptr) {
      *desc = Desc{};
      desc->Format = format_;
      desc->Type = GetType();
      desc->Usage = usage_;
      desc->Pool = pool_;
      desc->Size = static_cast<UINT>(bytes_.size());
      if constexpr (std::is_same_v<Desc, D3DVERTEXBUFFER_DESC>) desc->FVF = fvf_;
    }
    return hr;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  DWORD usage_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  DWORD fvf_;
};
using VertexBuffer = Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
using IndexBuffer = Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

std::string Colour(const D3DCOLORVALUE& c) {
  return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + "," + std::to_string(c.a);
}

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
  HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                               IDirect3DVertexBuffer9** buffer, HANDLE* shared) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::CreateVertexBuffer", D3D_OK, length, usage, fvf,
                                               pool, static_cast<const void*>(shared)));
    if (buffer != nullptr)
      *buffer = SUCCEEDED(hr) ? new VertexBuffer("IDirect3DVertexBuffer9", length, usage, D3DFMT_VERTEXDATA, pool, fvf)
                              : nullptr;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                              IDirect3DIndexBuffer9** buffer, HANDLE* shared) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::CreateIndexBuffer", D3D_OK, length, usage, format,
                                               pool, static_cast<const void*>(shared)));
    if (buffer != nullptr)
      *buffer = SUCCEEDED(hr) ? new IndexBuffer("IDirect3DIndexBuffer9", length, usage, format, pool, 0) : nullptr;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::SetFVF", D3D_OK, fvf));
    if (SUCCEEDED(hr)) Get().fvf = fvf;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetFVF(DWORD* fvf) override {
    if (fvf != nullptr) *fvf = Get().fvf;
    return Result(Platform::Get().Record("IDirect3DDevice9::GetFVF", fvf != nullptr ? D3D_OK : D3DERR_INVALIDCALL));
  }
  HRESULT STDMETHODCALLTYPE SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                                            UINT stride) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::SetStreamSource", D3D_OK, stream,
                                               static_cast<const void*>(buffer), offset, stride));
    if (SUCCEEDED(hr) && stream == 0) {
      Get().streamSource = buffer;
      Get().streamOffset = offset;
      Get().streamStride = stride;
    }
    return hr;
  }
  // Hands out what was set, with a reference, while that buffer lives (as the platform does).
  HRESULT STDMETHODCALLTYPE GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset,
                                            UINT* stride) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::GetStreamSource", D3D_OK, stream));
    const State& st = Get();
    bool set = SUCCEEDED(hr) && stream == 0 && BufferBytes(st.streamSource) != nullptr;
    if (buffer != nullptr) {
      *buffer = set ? static_cast<IDirect3DVertexBuffer9*>(const_cast<void*>(st.streamSource)) : nullptr;
      if (*buffer != nullptr) (*buffer)->AddRef();
    }
    if (offset != nullptr) *offset = set ? st.streamOffset : 0;
    if (stride != nullptr) *stride = set ? st.streamStride : 0;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* buffer) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::SetIndices", D3D_OK, static_cast<const void*>(buffer)));
    if (SUCCEEDED(hr)) Get().indices = buffer;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetIndices(IDirect3DIndexBuffer9** buffer) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::GetIndices", D3D_OK));
    if (buffer != nullptr) {
      bool set = SUCCEEDED(hr) && BufferBytes(Get().indices) != nullptr;
      *buffer = set ? static_cast<IDirect3DIndexBuffer9*>(const_cast<void*>(Get().indices)) : nullptr;
      if (*buffer != nullptr) (*buffer)->AddRef();
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count) override {
    return Result(Platform::Get().Record("IDirect3DDevice9::DrawPrimitive", D3D_OK, type, startVertex, count));
  }
  HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex,
                                                 UINT numVertices, UINT startIndex, UINT count) override {
    return Result(Platform::Get().Record("IDirect3DDevice9::DrawIndexedPrimitive", D3D_OK, type, baseVertex,
                                         minIndex, numVertices, startIndex, count));
  }
  // Recorded as the material's colours "r,g,b,a" (diffuse, ambient, specular, emissive) and power.
  HRESULT STDMETHODCALLTYPE SetMaterial(const D3DMATERIAL9* material) override {
    if (material == nullptr)
      return Result(Platform::Get().Record("IDirect3DDevice9::SetMaterial", D3DERR_INVALIDCALL, nullptr));
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::SetMaterial", D3D_OK, Colour(material->Diffuse),
                                               Colour(material->Ambient), Colour(material->Specular),
                                               Colour(material->Emissive), static_cast<double>(material->Power)));
    if (SUCCEEDED(hr)) Get().material = *material;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetMaterial(D3DMATERIAL9* material) override {
    if (material != nullptr) *material = Get().material;
    return Result(
        Platform::Get().Record("IDirect3DDevice9::GetMaterial", material != nullptr ? D3D_OK : D3DERR_INVALIDCALL));
  }
  HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
    HRESULT hr = Result(Platform::Get().Record("IDirect3DDevice9::SetTextureStageState", D3D_OK, stage, type, value));
    if (SUCCEEDED(hr)) Get().textureStageStates[{stage, type}] = value;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override {
    auto found = Get().textureStageStates.find({stage, type});
    if (value != nullptr) *value = found != Get().textureStageStates.end() ? found->second : 0;
    return Result(Platform::Get().Record("IDirect3DDevice9::GetTextureStageState", D3D_OK, stage, type));
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

const std::vector<std::uint8_t>* BufferBytes(const void* buffer) {
  auto found = LiveBuffers().find(buffer);
  return found != LiveBuffers().end() ? found->second : nullptr;
}

}  // namespace fake::d3d9

IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
  // A chosen result of 0 stands for "no Direct3D object".
  long long made = fake::Platform::Get().Record("Direct3DCreate9", 1, sdkVersion);
  return made != 0 ? new fake::d3d9::Direct3D : nullptr;
}
