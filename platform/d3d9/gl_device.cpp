// The device: its context, back buffers, presentation, clearing and device loss.
#include "gl_device.h"

#include <algorithm>
#include <cstring>

#include "surface.h"
#include "win32_internal.h"

namespace zr::d3d9 {

namespace {

bool IsDepthFormat(D3DFORMAT f) {
  switch (f) {
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D32:
    case D3DFMT_D15S1:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D16: return true;
    default: return false;
  }
}

bool IsInterval(UINT i) {
  return i == D3DPRESENT_INTERVAL_DEFAULT || i == D3DPRESENT_INTERVAL_ONE || i == D3DPRESENT_INTERVAL_TWO ||
         i == D3DPRESENT_INTERVAL_THREE || i == D3DPRESENT_INTERVAL_FOUR || i == D3DPRESENT_INTERVAL_IMMEDIATE;
}

unsigned Refreshes(UINT interval) {
  switch (interval) {
    case D3DPRESENT_INTERVAL_IMMEDIATE: return 0;
    case D3DPRESENT_INTERVAL_TWO: return 2;
    case D3DPRESENT_INTERVAL_THREE: return 3;
    case D3DPRESENT_INTERVAL_FOUR: return 4;
    default: return 1;
  }
}

// The window's drawable size, never 0 by 0 while it has any size at all.
void DrawableSize(SDL_Window* window, int& w, int& h) {
  SDL_GL_GetDrawableSize(window, &w, &h);
  if (w <= 0 || h <= 0) SDL_GetWindowSize(window, &w, &h);
}

// SDL's GL attributes are global: restore the ones changed for our context so that other code
// creating contexts (SDL_Renderer, say) sees what it set itself.
class GlAttributes {
 public:
  GlAttributes() {
    for (std::size_t i = 0; i < kCount; ++i) SDL_GL_GetAttribute(kNames[i], &saved_[i]);
  }
  ~GlAttributes() {
    for (std::size_t i = 0; i < kCount; ++i) SDL_GL_SetAttribute(kNames[i], saved_[i]);
  }

 private:
  static constexpr std::size_t kCount = 4;
  static constexpr SDL_GLattr kNames[kCount] = {SDL_GL_CONTEXT_MAJOR_VERSION, SDL_GL_CONTEXT_MINOR_VERSION,
                                                SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_DOUBLEBUFFER};
  int saved_[kCount] = {};
};

}  // namespace

HRESULT CheckPresentParameters(const D3DPRESENT_PARAMETERS& pp) {
  bool windowed = pp.Windowed != FALSE;
  D3DFORMAT f = pp.BackBufferFormat;
  if (f != D3DFMT_A8R8G8B8 && f != D3DFMT_X8R8G8B8 && !(windowed && f == D3DFMT_UNKNOWN)) return D3DERR_INVALIDCALL;
  if (pp.EnableAutoDepthStencil && !IsDepthFormat(pp.AutoDepthStencilFormat)) return D3DERR_INVALIDCALL;
  if (pp.BackBufferCount > 3) return D3DERR_INVALIDCALL;
  if (pp.SwapEffect < D3DSWAPEFFECT_DISCARD || pp.SwapEffect > D3DSWAPEFFECT_COPY) return D3DERR_INVALIDCALL;
  if (pp.SwapEffect == D3DSWAPEFFECT_COPY && pp.BackBufferCount > 1) return D3DERR_INVALIDCALL;
  if (pp.MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
  if (!IsInterval(pp.PresentationInterval)) return D3DERR_INVALIDCALL;
  if (windowed && pp.FullScreen_RefreshRateInHz != 0) return D3DERR_INVALIDCALL;
  if (!windowed && (pp.BackBufferWidth == 0 || pp.BackBufferHeight == 0)) return D3DERR_INVALIDCALL;
  if (pp.BackBufferWidth > 16384 || pp.BackBufferHeight > 16384) return D3DERR_INVALIDCALL;
  return D3D_OK;
}

GlDevice::GlDevice(IDirect3D9* direct3d, HWND focusWindow, HWND deviceWindow, std::shared_ptr<SDL_Window> window)
    : direct3d_(direct3d), focusWindow_(focusWindow), deviceWindow_(deviceWindow), window_(std::move(window)) {
  direct3d_->AddRef();
  backBufferSurface_ = std::make_unique<BackBufferSurface>(this);
}

GlDevice::~GlDevice() {
  if (context_ != nullptr) {
    MakeCurrent();
    DestroyBuffers();
    glDeleteSamplers(static_cast<GLsizei>(samplers_.size()), samplers_.data());
    SDL_GL_MakeCurrent(window_.get(), nullptr);
    SDL_GL_DeleteContext(context_);
  }
  if (fullScreen_) SDL_SetWindowFullscreen(window_.get(), 0);
  window_.reset();
  direct3d_->Release();
}

HRESULT GlDevice::Create(IDirect3D9* direct3d, HWND focusWindow, DWORD behaviorFlags, D3DPRESENT_PARAMETERS* pp,
                         IDirect3DDevice9** device) {
  if (device == nullptr) return D3DERR_INVALIDCALL;
  *device = nullptr;
  if (pp == nullptr) return D3DERR_INVALIDCALL;
  DWORD processing = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                      D3DCREATE_MIXED_VERTEXPROCESSING);
  if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
      processing != D3DCREATE_MIXED_VERTEXPROCESSING)
    return D3DERR_INVALIDCALL;
  HWND deviceWindow = pp->hDeviceWindow != nullptr ? pp->hDeviceWindow : focusWindow;
  if (deviceWindow == nullptr) return D3DERR_INVALIDCALL;
  if (HRESULT hr = CheckPresentParameters(*pp); FAILED(hr)) return hr;
  std::shared_ptr<SDL_Window> window = win32::HoldSdlWindow(deviceWindow);
  if (window == nullptr) return D3DERR_INVALIDCALL;
  if (focusWindow != nullptr && win32::SdlWindowOf(focusWindow) == nullptr) return D3DERR_INVALIDCALL;

  auto* d = new GlDevice(direct3d, focusWindow != nullptr ? focusWindow : deviceWindow, deviceWindow,
                         std::move(window));
  HRESULT hr = d->InitialiseContext();
  if (SUCCEEDED(hr)) hr = d->ApplyPresentParameters(*pp);
  if (FAILED(hr)) {
    d->Release();
    return hr;
  }
  *device = d;
  return D3D_OK;
}

HRESULT GlDevice::InitialiseContext() {
  {
    GlAttributes restore;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    context_ = SDL_GL_CreateContext(window_.get());
  }
  if (context_ == nullptr) return D3DERR_NOTAVAILABLE;
  if (!MakeCurrent() || epoxy_gl_version() < 33 || epoxy_is_desktop_gl() == 0) return D3DERR_NOTAVAILABLE;
  anisotropy_ = epoxy_gl_version() >= 46 || epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
                epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic");
  mirrorClampToEdge_ = epoxy_gl_version() >= 44 || epoxy_has_gl_extension("GL_ARB_texture_mirror_clamp_to_edge");
  glGenSamplers(static_cast<GLsizei>(samplers_.size()), samplers_.data());
  for (unsigned i = 0; i < kTextureUnits; ++i) glBindSampler(i, samplers_[i]);
  return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_NOTAVAILABLE;
}

bool GlDevice::MakeCurrent() {
  if (SDL_GL_GetCurrentContext() == context_ && SDL_GL_GetCurrentWindow() == window_.get()) return true;
  return SDL_GL_MakeCurrent(window_.get(), context_) == 0;
}

HRESULT GlDevice::ApplyPresentParameters(D3DPRESENT_PARAMETERS& pp) {
  bool windowed = pp.Windowed != FALSE;
  if (windowed == fullScreen_) {
    SDL_SetWindowFullscreen(window_.get(), windowed ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
    fullScreen_ = !windowed;
  }
  D3DPRESENT_PARAMETERS effective = pp;
  if (effective.BackBufferFormat == D3DFMT_UNKNOWN) effective.BackBufferFormat = D3DFMT_X8R8G8B8;
  if (effective.BackBufferCount == 0) effective.BackBufferCount = 1;
  if (windowed && (effective.BackBufferWidth == 0 || effective.BackBufferHeight == 0)) {
    int w = 0;
    int h = 0;
    DrawableSize(window_.get(), w, h);
    if (effective.BackBufferWidth == 0) effective.BackBufferWidth = static_cast<UINT>(std::max(w, 1));
    if (effective.BackBufferHeight == 0) effective.BackBufferHeight = static_cast<UINT>(std::max(h, 1));
  }
  if (!MakeCurrent()) return D3DERR_NOTAVAILABLE;
  DestroyBuffers();
  HRESULT hr = CreateBuffers(effective.BackBufferWidth, effective.BackBufferHeight,
                             effective.EnableAutoDepthStencil ? effective.AutoDepthStencilFormat : D3DFMT_UNKNOWN);
  if (FAILED(hr)) return hr;
  pp_ = effective;
  pp = effective;
  ResetStates();
  InvalidateGlState();
  inScene_ = false;
  mustReset_ = false;
  deactivationsSeen_ = win32::ActivityOf(focusWindow_).deactivations;
  ConfigurePacing();
  return D3D_OK;
}

void GlDevice::ConfigurePacing() {
  unsigned refreshes = Refreshes(pp_.PresentationInterval);
  double hz = 0;
  SDL_DisplayMode mode{};
  int display = SDL_GetWindowDisplayIndex(window_.get());
  if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0) hz = mode.refresh_rate;
  bool swapTakes = SDL_GL_SetSwapInterval(static_cast<int>(refreshes)) == 0;
  pacer_.Configure(refreshes, hz, swapTakes);
}

HRESULT GlDevice::CreateBuffers(UINT width, UINT height, D3DFORMAT depthFormat) {
  auto w = static_cast<GLsizei>(width);
  auto h = static_cast<GLsizei>(height);
  depthBits_ = 0;
  stencilBits_ = 0;
  if (depthFormat != D3DFMT_UNKNOWN) {
    struct Choice {
      GLenum format;
      int depth;
      int stencil;
    };
    Choice choices[2] = {};
    int count = 1;
    switch (depthFormat) {
      case D3DFMT_D16:
      case D3DFMT_D16_LOCKABLE: choices[0] = {GL_DEPTH_COMPONENT16, 16, 0}; break;
      case D3DFMT_D24X8: choices[0] = {GL_DEPTH_COMPONENT24, 24, 0}; break;
      case D3DFMT_D32:
        choices[0] = {GL_DEPTH_COMPONENT32, 32, 0};
        choices[1] = {GL_DEPTH_COMPONENT24, 24, 0};
        count = 2;
        break;
      default: choices[0] = {GL_DEPTH24_STENCIL8, 24, 8}; break;  // D24S8, D24X4S4, D15S1
    }
    glGenRenderbuffers(1, &depth_);
    glBindRenderbuffer(GL_RENDERBUFFER, depth_);
    for (int i = 0; i < count; ++i) {
      while (glGetError() != GL_NO_ERROR) {
      }
      glRenderbufferStorage(GL_RENDERBUFFER, choices[i].format, w, h);
      if (glGetError() == GL_NO_ERROR) {
        depthBits_ = choices[i].depth;
        stencilBits_ = choices[i].stencil;
        break;
      }
    }
    if (depthBits_ == 0) return D3DERR_OUTOFVIDEOMEMORY;
  }
  for (ColourBuffer& b : buffers_) {
    glGenTextures(1, &b.colour);
    glBindTexture(GL_TEXTURE_2D, b.colour);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    glGenFramebuffers(1, &b.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, b.framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, b.colour, 0);
    if (depth_ != 0) {
      GLenum attachment = stencilBits_ > 0 ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, depth_);
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return D3DERR_OUTOFVIDEOMEMORY;
    // Nothing presented yet reads back black; an X8R8G8B8 buffer keeps its alpha at 1.
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glStencilMask(0xFF);
    glClearColor(0, 0, 0, 1);
    glClearDepth(1);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | (depth_ != 0 ? GL_DEPTH_BUFFER_BIT : 0) |
            (stencilBits_ > 0 ? GL_STENCIL_BUFFER_BIT : 0));
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  back_ = 0;
  dirty_ |= kDirtyAll;
  return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

void GlDevice::DestroyBuffers() {
  for (ColourBuffer& b : buffers_) {
    if (b.framebuffer != 0) glDeleteFramebuffers(1, &b.framebuffer);
    if (b.colour != 0) glDeleteTextures(1, &b.colour);
    b = ColourBuffer{};
  }
  if (depth_ != 0) glDeleteRenderbuffers(1, &depth_);
  depth_ = 0;
  depthBits_ = 0;
  stencilBits_ = 0;
}

// --- IUnknown -------------------------------------------------------------------------------------

HRESULT GlDevice::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDirect3DDevice9) {
    *object = static_cast<IDirect3DDevice9*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG GlDevice::AddRef() { return ++refs_; }

ULONG GlDevice::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT GlDevice::GetDirect3D(IDirect3D9** direct3D) {
  if (direct3D == nullptr) return D3DERR_INVALIDCALL;
  direct3d_->AddRef();
  *direct3D = direct3d_;
  return D3D_OK;
}

// --- Device loss ----------------------------------------------------------------------------------

void GlDevice::UpdateLoss() {
  if (mustReset_ || !fullScreen_) return;
  // A full-screen device is lost as soon as its window is deactivated or minimised, however
  // briefly. A window that never had the focus yet is not a loss: under X11 the focus of a
  // full-screen window arrives most of a second after it shows.
  win32::Activity a = win32::ActivityOf(focusWindow_);
  if (a.deactivations != deactivationsSeen_ || a.minimised) mustReset_ = true;
}

bool GlDevice::IsLost() {
  UpdateLoss();
  return mustReset_;
}

HRESULT GlDevice::TestCooperativeLevel() {
  win32::PumpEvents();
  if (!IsLost()) return D3D_OK;
  win32::Activity a = win32::ActivityOf(focusWindow_);
  if (fullScreen_ && (!a.active || a.minimised)) return D3DERR_DEVICELOST;
  return D3DERR_DEVICENOTRESET;
}

HRESULT GlDevice::Reset(D3DPRESENT_PARAMETERS* pp) {
  HRESULT hr = D3D_OK;
  if (pp == nullptr) {
    hr = D3DERR_INVALIDCALL;
  } else if (HRESULT check = CheckPresentParameters(*pp); FAILED(check)) {
    hr = check;
  } else if (!defaultPool_.empty() || !liveObjects_.empty()) {
    hr = D3DERR_INVALIDCALL;
  } else if (IsLost() && fullScreen_) {
    win32::Activity a = win32::ActivityOf(focusWindow_);
    if (!a.active || a.minimised) hr = D3DERR_DEVICELOST;
  }
  if (SUCCEEDED(hr)) hr = ApplyPresentParameters(*pp);
  if (FAILED(hr)) mustReset_ = true;
  return hr;
}

void GlDevice::RegisterDeviceObject(const void* object) {
  lostObjects_.erase(object);
  liveObjects_.insert(object);
}

void GlDevice::UnregisterDeviceObject(const void* object) {
  liveObjects_.erase(object);
  lostObjects_.erase(object);
}

void GlDevice::DeviceObjectLost(const void* object) {
  if (liveObjects_.erase(object) != 0) lostObjects_.insert(object);
}

void GlDevice::DeviceObjectReset(const void* object) {
  if (lostObjects_.erase(object) != 0) liveObjects_.insert(object);
}

void GlDevice::AddDefaultPoolResource(const void* resource) { defaultPool_.insert(resource); }
void GlDevice::RemoveDefaultPoolResource(const void* resource) { defaultPool_.erase(resource); }

// --- Scenes, viewport, clearing -------------------------------------------------------------------

HRESULT GlDevice::BeginScene() {
  if (IsLost()) {
    inScene_ = true;
    return D3D_OK;
  }
  if (inScene_) return D3DERR_INVALIDCALL;
  inScene_ = true;
  return D3D_OK;
}

HRESULT GlDevice::EndScene() {
  if (IsLost()) {
    inScene_ = false;
    return D3D_OK;
  }
  if (!inScene_) return D3DERR_INVALIDCALL;
  inScene_ = false;
  // Hand the scene to the rasteriser now rather than at the next swap.
  if (MakeCurrent()) glFlush();
  return D3D_OK;
}

HRESULT GlDevice::SetViewport(const D3DVIEWPORT9* viewport) {
  if (viewport == nullptr) return D3DERR_INVALIDCALL;
  const D3DVIEWPORT9& v = *viewport;
  if (v.Width == 0 || v.Height == 0 || v.X >= pp_.BackBufferWidth || v.Y >= pp_.BackBufferHeight ||
      v.Width > pp_.BackBufferWidth - v.X || v.Height > pp_.BackBufferHeight - v.Y)
    return D3DERR_INVALIDCALL;
  if (!(v.MinZ >= 0.0f && v.MinZ <= 1.0f && v.MaxZ >= 0.0f && v.MaxZ <= 1.0f)) return D3DERR_INVALIDCALL;
  viewport_ = v;
  dirty_ |= kDirtyViewport;
  return D3D_OK;
}

HRESULT GlDevice::GetViewport(D3DVIEWPORT9* viewport) {
  if (viewport == nullptr) return D3DERR_INVALIDCALL;
  *viewport = viewport_;
  return D3D_OK;
}

bool GlDevice::PrepareDraw() {
  if (IsLost() || !MakeCurrent()) return false;
  if (dirty_ & kDirtyFramebuffer) glBindFramebuffer(GL_FRAMEBUFFER, buffers_[back_].framebuffer);
  if (dirty_ & kDirtyViewport) {
    // Rows are stored top first, so D3D's Y is GL's y as it stands.
    glViewport(static_cast<GLint>(viewport_.X), static_cast<GLint>(viewport_.Y),
               static_cast<GLsizei>(viewport_.Width), static_cast<GLsizei>(viewport_.Height));
    glDepthRange(viewport_.MinZ, viewport_.MaxZ);
  }
  if (dirty_ != 0) ApplyRenderStates(dirty_);
  dirty_ = 0;
  if (dirtySamplers_ != 0) ApplySamplers();
  return true;
}

// Clear ignores D3DRS_COLORWRITEENABLE, ZWRITEENABLE and STENCILWRITEMASK: it writes all of
// what its flags name, inside the viewport.
HRESULT GlDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
  if (flags == 0 || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0) return D3DERR_INVALIDCALL;
  if ((flags & D3DCLEAR_ZBUFFER) && depthBits_ == 0) return D3DERR_INVALIDCALL;
  if ((flags & D3DCLEAR_STENCIL) && stencilBits_ == 0) return D3DERR_INVALIDCALL;
  if (IsLost()) return D3D_OK;
  if (!MakeCurrent()) return D3DERR_DRIVERINTERNALERROR;

  glBindFramebuffer(GL_FRAMEBUFFER, buffers_[back_].framebuffer);
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    float a = pp_.BackBufferFormat == D3DFMT_A8R8G8B8 ? ((color >> 24) & 0xFF) / 255.0f : 1.0f;
    glClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, (color & 0xFF) / 255.0f, a);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    glClearDepth(std::clamp(z, 0.0f, 1.0f));
    glDepthMask(GL_TRUE);
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_STENCIL) {
    glClearStencil(static_cast<GLint>(stencil & 0xFF));
    glStencilMask(0xFF);
    mask |= GL_STENCIL_BUFFER_BIT;
  }
  LONG vx1 = static_cast<LONG>(viewport_.X);
  LONG vy1 = static_cast<LONG>(viewport_.Y);
  LONG vx2 = vx1 + static_cast<LONG>(viewport_.Width);
  LONG vy2 = vy1 + static_cast<LONG>(viewport_.Height);
  glEnable(GL_SCISSOR_TEST);
  auto clearArea = [&](LONG x1, LONG y1, LONG x2, LONG y2) {
    x1 = std::max(x1, vx1);
    y1 = std::max(y1, vy1);
    x2 = std::min(x2, vx2);
    y2 = std::min(y2, vy2);
    if (x1 >= x2 || y1 >= y2) return;
    glScissor(x1, y1, x2 - x1, y2 - y1);
    glClear(mask);
  };
  if (count == 0 || rects == nullptr) {
    clearArea(vx1, vy1, vx2, vy2);
  } else {
    for (DWORD i = 0; i < count; ++i) clearArea(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
  }
  dirty_ |= kDirtyScissor | kDirtyColourMask | kDirtyDepth | kDirtyStencil;
  return D3D_OK;
}

// --- Presentation ---------------------------------------------------------------------------------

HRESULT GlDevice::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                          const RGNDATA* dirtyRegion) {
  // Rectangles and another window are for the COPY swap effect only, and only the whole picture
  // to the device's own window is offered here.
  if (sourceRect != nullptr || destRect != nullptr || dirtyRegion != nullptr ||
      (destWindowOverride != nullptr && destWindowOverride != deviceWindow_))
    return D3DERR_INVALIDCALL;
  if (IsLost()) return D3DERR_DEVICELOST;
  if (inScene_) return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_DRIVERINTERNALERROR;

  int dw = 0;
  int dh = 0;
  DrawableSize(window_.get(), dw, dh);
  bool visible = dw > 0 && dh > 0 && !(SDL_GetWindowFlags(window_.get()) & SDL_WINDOW_MINIMIZED);
  if (visible) {
    auto bw = static_cast<GLint>(pp_.BackBufferWidth);
    auto bh = static_cast<GLint>(pp_.BackBufferHeight);
    GLint x0 = 0;
    GLint y0 = 0;
    GLint x1 = dw;
    GLint y1 = dh;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, buffers_[back_].framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (fullScreen_) {
      // The back buffer keeps its size: scale it to fit, aspect kept, centred on black.
      auto fitW = static_cast<GLint>(static_cast<long long>(bw) * dh / bh);
      if (fitW <= dw) {
        x0 = (dw - fitW) / 2;
        x1 = x0 + fitW;
      } else {
        auto fitH = static_cast<GLint>(static_cast<long long>(bh) * dw / bw);
        y0 = (dh - fitH) / 2;
        y1 = y0 + fitH;
      }
      if (x0 > 0 || y0 > 0) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
      }
    }
    GLenum filter = (x1 - x0 == bw && y1 - y0 == bh) ? GL_NEAREST : GL_LINEAR;
    // Row 0 is the top of the picture: it goes to the top of the window, GL's highest row.
    glBlitFramebuffer(0, 0, bw, bh, x0, y1, x1, y0, GL_COLOR_BUFFER_BIT, filter);
    if (beforeSwap_) beforeSwap_();
  }
  glFlush();
  pacer_.WaitForTurn();
  std::int64_t start = FramePacer::Now();
  if (visible) SDL_GL_SwapWindow(window_.get());
  pacer_.Presented(start, FramePacer::Now());

  back_ ^= 1u;  // what was drawn is now the front buffer
  dirty_ |= kDirtyFramebuffer | kDirtyScissor | kDirtyColourMask;
  glBindFramebuffer(GL_FRAMEBUFFER, buffers_[back_].framebuffer);
  return D3D_OK;
}

HRESULT GlDevice::GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
  if (surface == nullptr) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (swapChain != 0 || backBuffer >= pp_.BackBufferCount || type != D3DBACKBUFFER_TYPE_MONO)
    return D3DERR_INVALIDCALL;
  backBufferSurface_->AddRef();
  *surface = backBufferSurface_.get();
  return D3D_OK;
}

HRESULT GlDevice::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                              IDirect3DSurface9** surface, HANDLE* sharedHandle) {
  if (surface == nullptr) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (sharedHandle != nullptr || width == 0 || height == 0 || width > 16384 || height > 16384)
    return D3DERR_INVALIDCALL;
  if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;
  if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_SYSTEMMEM && pool != D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
  *surface = new MemorySurface(this, width, height, format, pool);
  return D3D_OK;
}

HRESULT GlDevice::GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destSurface) {
  auto* dest = dynamic_cast<MemorySurface*>(destSurface);
  if (swapChain != 0 || dest == nullptr || dest->Pool() != D3DPOOL_SYSTEMMEM || dest->Format() != D3DFMT_A8R8G8B8 ||
      dest->Locked())
    return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_DRIVERINTERNALERROR;
  auto w = static_cast<GLsizei>(std::min(dest->Width(), pp_.BackBufferWidth));
  auto h = static_cast<GLsizei>(std::min(dest->Height(), pp_.BackBufferHeight));
  glBindFramebuffer(GL_READ_FRAMEBUFFER, buffers_[back_ ^ 1u].framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(dest->Width()));
  glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, dest->Bits());
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, buffers_[back_].framebuffer);
  return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_DRIVERINTERNALERROR;
}

HRESULT GlDevice::ReadBackBuffer(const RECT& rect, void* bits, int pitch) {
  if (bits == nullptr || pitch % 4 != 0 || !MakeCurrent()) return D3DERR_INVALIDCALL;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, buffers_[back_].framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, pitch / 4);
  glReadPixels(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, GL_BGRA,
               GL_UNSIGNED_INT_8_8_8_8_REV, bits);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_DRIVERINTERNALERROR;
}

}  // namespace zr::d3d9
