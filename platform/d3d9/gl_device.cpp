// The device: its context, back buffers, presentation, clearing and device loss.
#include "gl_device.h"

#include <epoxy/egl.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "d3d9_testing.h"
#include "fixed_function.h"
#include "quad_batch.h"
#include "surface.h"
#include "texture.h"
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

// Forgets errors left by earlier calls, so that glGetError speaks of what follows.
void DrainGlErrors() {
  while (glGetError() != GL_NO_ERROR) {
  }
}

int Bits(GLenum attachment, GLenum size) {
  GLint type = GL_NONE;
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
  GLint bits = 0;
  if (type != GL_NONE) glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, attachment, size, &bits);
  return bits;
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
    quads_.reset();
    fixed_.reset();
    DestroyBuffers();
    glDeleteSamplers(static_cast<GLsizei>(samplers_.size()), samplers_.data());
    SDL_GL_MakeCurrent(window_.get(), nullptr);
    SDL_GL_DeleteContext(context_);
  }
  if (fullScreen_) SetFullScreen(false);
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
  const char* driver = SDL_GetCurrentVideoDriver();
  pbuffer_ = driver != nullptr && std::strcmp(driver, "offscreen") == 0;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  GLenum colour = GL_BACK_LEFT;  // an EGL pbuffer's one buffer answers to this name too
  windowFormat_.colour8 = Bits(colour, GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE) == 8 &&
                          Bits(colour, GL_FRAMEBUFFER_ATTACHMENT_GREEN_SIZE) == 8 &&
                          Bits(colour, GL_FRAMEBUFFER_ATTACHMENT_BLUE_SIZE) == 8;
  windowFormat_.alpha = Bits(colour, GL_FRAMEBUFFER_ATTACHMENT_ALPHA_SIZE);
  windowFormat_.depth = Bits(GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE);
  windowFormat_.stencil = Bits(GL_STENCIL, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE);
  glGenSamplers(static_cast<GLsizei>(samplers_.size()), samplers_.data());
  for (unsigned i = 0; i < kTextureUnits; ++i) glBindSampler(i, samplers_[i]);
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);
  return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_NOTAVAILABLE;
}

bool GlDevice::MakeCurrent() {
  if (SDL_GL_GetCurrentContext() == context_ && SDL_GL_GetCurrentWindow() == window_.get()) return true;
  return SDL_GL_MakeCurrent(window_.get(), context_) == 0;
}

void GlDevice::DrawableSize(int& width, int& height) const {
  if (pbuffer_) {
    EGLDisplay display = eglGetCurrentDisplay();
    EGLSurface surface = eglGetCurrentSurface(EGL_DRAW);
    EGLint w = 0;
    EGLint h = 0;
    if (eglQuerySurface(display, surface, EGL_WIDTH, &w) && eglQuerySurface(display, surface, EGL_HEIGHT, &h)) {
      width = w;
      height = h;
      return;
    }
  }
  SDL_GL_GetDrawableSize(window_.get(), &width, &height);
  if (width <= 0 || height <= 0) SDL_GetWindowSize(window_.get(), &width, &height);
}

// Without a window manager nothing acts on SDL's full-screen request: SDL reports the display's
// size while the X window keeps its own. And once the window is full screen, SDL only records a
// new size or position for later. So the window is moved over its display first, while SDL
// still moves it; a window manager then makes it full screen as it would have anyway.
void GlDevice::SetFullScreen(bool fullScreen) {
  SDL_Window* w = window_.get();
  if (fullScreen) {
    SDL_GetWindowPosition(w, &windowed_.x, &windowed_.y);
    SDL_GetWindowSize(w, &windowed_.w, &windowed_.h);
    SDL_Rect display{};
    int index = SDL_GetWindowDisplayIndex(w);
    if (index >= 0 && SDL_GetDisplayBounds(index, &display) == 0 && !SDL_RectEquals(&display, &windowed_)) {
      SDL_SetWindowPosition(w, display.x, display.y);
      SDL_SetWindowSize(w, display.w, display.h);
    }
    SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN_DESKTOP);
  } else {
    SDL_SetWindowFullscreen(w, 0);
    SDL_SetWindowPosition(w, windowed_.x, windowed_.y);
    SDL_SetWindowSize(w, windowed_.w, windowed_.h);
  }
  fullScreen_ = fullScreen;
}

HRESULT GlDevice::ApplyPresentParameters(D3DPRESENT_PARAMETERS& pp) {
  bool windowed = pp.Windowed != FALSE;
  if (windowed == fullScreen_) SetFullScreen(!windowed);
  if (!MakeCurrent()) return D3DERR_NOTAVAILABLE;
  D3DPRESENT_PARAMETERS effective = pp;
  if (effective.BackBufferFormat == D3DFMT_UNKNOWN) effective.BackBufferFormat = D3DFMT_X8R8G8B8;
  if (effective.BackBufferCount == 0) effective.BackBufferCount = 1;
  if (windowed && (effective.BackBufferWidth == 0 || effective.BackBufferHeight == 0)) {
    int w = 0;
    int h = 0;
    DrawableSize(w, h);
    if (effective.BackBufferWidth == 0) effective.BackBufferWidth = static_cast<UINT>(std::max(w, 1));
    if (effective.BackBufferHeight == 0) effective.BackBufferHeight = static_cast<UINT>(std::max(h, 1));
  }
  depthWanted_ = 0;
  stencilWanted_ = 0;
  if (effective.EnableAutoDepthStencil) {
    switch (effective.AutoDepthStencilFormat) {
      case D3DFMT_D16:
      case D3DFMT_D16_LOCKABLE: depthWanted_ = 16; break;
      case D3DFMT_D15S1: depthWanted_ = 15, stencilWanted_ = 1; break;
      case D3DFMT_D24X4S4: depthWanted_ = 24, stencilWanted_ = 4; break;
      case D3DFMT_D24S8: depthWanted_ = 24, stencilWanted_ = 8; break;
      default: depthWanted_ = 24; break;  // D24X8, and D32 where 32 bits cannot be had
    }
  }
  // Depth and stencil the window keeps get what was cleared into them; ours go with their buffers.
  if (target_ == Target::kWindow) CarryOutDepthStencilClears();
  heldClears_.clear();
  heldBuffers_ = 0;
  heldColour_.clear();
  DestroyBuffers();
  pp_ = effective;
  pp = effective;
  destinationAlpha_ = false;
  ResetStates();
  InvalidateGlState();
  inScene_ = false;
  front_ = Front::kBlack;
  frameStarted_ = false;
  int w = 0;
  int h = 0;
  DrawableSize(w, h);
  target_ = WindowFits(w, h) ? Target::kWindow : Target::kFramebuffer;
  place_ = PlacementOf(target_, w, h);
  if (target_ == Target::kFramebuffer) {
    if (HRESULT hr = CreateFramebuffers(); FAILED(hr)) return hr;
  } else {
    ClearWhole(0);  // a fresh back buffer reads black wherever it lives
  }
  mustReset_ = false;
  deactivationsSeen_ = win32::ActivityOf(focusWindow_).deactivations;
  ConfigurePacing();
  return D3D_OK;
}

void GlDevice::ConfigurePacing() {
  unsigned refreshes = testing::Pacing() ? Refreshes(pp_.PresentationInterval) : 0;
  double hz = 0;
  SDL_DisplayMode mode{};
  int display = SDL_GetWindowDisplayIndex(window_.get());
  if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0) hz = mode.refresh_rate;
  bool swapTakes = SDL_GL_SetSwapInterval(static_cast<int>(refreshes)) == 0;
  pacer_.Configure(refreshes, hz, swapTakes);
}

// The window holds the frame at the back buffer's size, or, full screen, scaled up to fit the
// display: drawn there at the display's resolution it costs what the picture's pixels cost, where
// a picture drawn at its own size and scaled into the window at Present costs a scaling pass over
// the whole display every frame (four times the game's frame on llvmpipe at 1920x1080). A display
// smaller than the back buffer gets the picture from a framebuffer of ours, scaled down: drawn
// smaller, it could not be read back at its own size.
bool GlDevice::WindowFits(int drawableWidth, int drawableHeight) const {
  const WindowFormat& f = windowFormat_;
  auto bw = static_cast<int>(pp_.BackBufferWidth);
  auto bh = static_cast<int>(pp_.BackBufferHeight);
  bool size = (drawableWidth == bw && drawableHeight == bh) || (fullScreen_ && drawableWidth >= bw && drawableHeight >= bh);
  return size && f.colour8 &&
         (pp_.BackBufferFormat != D3DFMT_A8R8G8B8 || f.alpha >= 8 || !destinationAlpha_) &&
         f.depth >= depthWanted_ &&
         f.stencil >= stencilWanted_;
}

GlDevice::Placement GlDevice::PlacementIn(int dw, int dh) const {
  auto bw = static_cast<GLint>(pp_.BackBufferWidth);
  auto bh = static_cast<GLint>(pp_.BackBufferHeight);
  Placement p{{0, 0, bw, bh}, dw, dh, false};
  if (dw == bw && dh == bh) return p;
  // Fitted with the aspect kept, centred; the rest of the window is the letterbox.
  auto fitW = static_cast<GLint>(static_cast<long long>(bw) * dh / bh);
  if (fitW <= dw) {
    p.rect = {(dw - fitW) / 2, 0, fitW, dh};
  } else {
    auto fitH = static_cast<GLint>(static_cast<long long>(bh) * dw / bw);
    p.rect = {0, (dh - fitH) / 2, dw, fitH};
  }
  p.scaled = true;
  return p;
}

// A frame in a framebuffer of ours is the back buffer's size wherever the window is.
GlDevice::Placement GlDevice::PlacementOf(Target target, int dw, int dh) const {
  if (target == Target::kWindow) return PlacementIn(dw, dh);
  return PlacementIn(static_cast<int>(pp_.BackBufferWidth), static_cast<int>(pp_.BackBufferHeight));
}

// Called before the first write into the back buffer after Present or Reset: decides where the
// frame lives, from the window's size now.
bool GlDevice::StartFrame() {
  if (frameStarted_) return true;
  int w = 0;
  int h = 0;
  DrawableSize(w, h);
  Target target = WindowFits(w, h) ? Target::kWindow : Target::kFramebuffer;
  if (target == Target::kFramebuffer && buffers_[0].framebuffer == 0 && FAILED(CreateFramebuffers())) return false;
  // A picture presented in the window is gone when the window changed size: GL gives it new
  // buffers. Otherwise it stays there until something writes over it (WritingBackBuffer).
  if (front_ == Front::kWindow && (w != frontPlace_.drawableWidth || h != frontPlace_.drawableHeight))
    front_ = Front::kGone;
  Placement place = PlacementOf(target, w, h);
  letterboxCleared_ = false;
  if (target != target_ || place.drawableWidth != place_.drawableWidth ||
      place.drawableHeight != place_.drawableHeight) {
    // Depth and stencil do not follow the back buffer: what was cleared goes where it was cleared.
    CarryOutDepthStencilClears();
    target_ = target;
    place_ = place;
    // The depth buffer's resolution may differ, and the viewport's place in the window.
    dirty_ |= kDirtyFramebuffer | kDirtyDepthBias | kDirtyViewport | kDirtyScissor;
  }
  frameStarted_ = true;
  return true;
}

HRESULT GlDevice::CreateColourBuffer(ColourBuffer& b) {
  DrainGlErrors();
  glGenTextures(1, &b.colour);
  glBindTexture(GL_TEXTURE_2D, b.colour);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(pp_.BackBufferWidth),
               static_cast<GLsizei>(pp_.BackBufferHeight), 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
  glGenFramebuffers(1, &b.framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, b.framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, b.colour, 0);
  dirty_ |= kDirtyFramebuffer;
  return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

// The two framebuffers (back and front) for a back buffer that cannot live in the window,
// sharing one depth renderbuffer when the device has depth.
HRESULT GlDevice::CreateFramebuffers() {
  if (depthWanted_ > 0) {
    struct Choice {
      GLenum format;
      int depth;
    };
    Choice choices[2] = {};
    int count = 1;
    switch (pp_.AutoDepthStencilFormat) {
      case D3DFMT_D16:
      case D3DFMT_D16_LOCKABLE: choices[0] = {GL_DEPTH_COMPONENT16, 16}; break;
      case D3DFMT_D24X8: choices[0] = {GL_DEPTH_COMPONENT24, 24}; break;
      case D3DFMT_D32:
        choices[0] = {GL_DEPTH_COMPONENT32, 32};
        choices[1] = {GL_DEPTH_COMPONENT24, 24};
        count = 2;
        break;
      default: choices[0] = {GL_DEPTH24_STENCIL8, 24}; break;  // D24S8, D24X4S4, D15S1
    }
    glGenRenderbuffers(1, &depth_);
    glBindRenderbuffer(GL_RENDERBUFFER, depth_);
    for (int i = 0; i < count && depthBits_ == 0; ++i) {
      DrainGlErrors();
      glRenderbufferStorage(GL_RENDERBUFFER, choices[i].format, static_cast<GLsizei>(pp_.BackBufferWidth),
                            static_cast<GLsizei>(pp_.BackBufferHeight));
      if (glGetError() == GL_NO_ERROR) depthBits_ = choices[i].depth;
    }
    if (depthBits_ == 0) return D3DERR_OUTOFVIDEOMEMORY;
  }
  for (ColourBuffer& b : buffers_) {
    if (HRESULT hr = CreateColourBuffer(b); FAILED(hr)) return hr;
    if (depth_ != 0) {
      GLenum attachment = stencilWanted_ > 0 ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, depth_);
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return D3DERR_OUTOFVIDEOMEMORY;
    ClearWhole(b.framebuffer);  // nothing presented yet reads back black
  }
  back_ = 0;
  return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

// Clears a whole framebuffer (0: the window's) to opaque black, depth 1 and stencil 0.
void GlDevice::ClearWhole(GLuint framebuffer) {
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDepthMask(GL_TRUE);
  glStencilMask(0xFF);
  glClearColor(0, 0, 0, 1);
  glClearDepth(1);
  glClearStencil(0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  dirty_ |= kDirtyFramebuffer | kDirtyScissor | kDirtyColourMask | kDirtyDepth | kDirtyStencil;
}

void GlDevice::DestroyBuffers() {
  for (ColourBuffer* b : {&buffers_[0], &buffers_[1]}) {
    if (b->framebuffer != 0) glDeleteFramebuffers(1, &b->framebuffer);
    if (b->colour != 0) glDeleteTextures(1, &b->colour);
    *b = ColourBuffer{};
  }
  if (resolve_.framebuffer != 0) glDeleteFramebuffers(1, &resolve_.framebuffer);
  if (resolve_.colour != 0) glDeleteTextures(1, &resolve_.colour);
  resolve_ = ColourBuffer{};
  if (depth_ != 0) glDeleteRenderbuffers(1, &depth_);
  depth_ = 0;
  depthBits_ = 0;
  back_ = 0;
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
  if (left == 0) {
    delete this;
    return 0;
  }
  if (quads_ != nullptr && quads_->PendingQuads() != 0 && quads_->DeviceReferencesHeld() == left) {
    ++refs_;          // alive while what the quads keep goes, each thing releasing its reference
    quads_->Drop();   // nothing is drawn
    return Release();
  }
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
  FlushHeldDrawing();
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
  // Held drawing stays held: sent now, it would draw over the picture on screen before Present.
  // What has been sent goes to the rasteriser now rather than at the next swap.
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
  FlushHeldDrawing();
  viewport_ = v;
  dirty_ |= kDirtyViewport;
  return D3D_OK;
}

HRESULT GlDevice::GetViewport(D3DVIEWPORT9* viewport) {
  if (viewport == nullptr) return D3DERR_INVALIDCALL;
  *viewport = viewport_;
  return D3D_OK;
}

GlDevice::GlRect GlDevice::GlRectOf(LONG left, LONG top, LONG right, LONG bottom) const {
  // Rows are stored bottom first: D3D's bottom edge is GL's lower one.
  auto bh = static_cast<LONG>(pp_.BackBufferHeight);
  if (!DrawsScaled())
    return {static_cast<GLint>(left), static_cast<GLint>(bh - bottom), static_cast<GLsizei>(right - left),
            static_cast<GLsizei>(bottom - top)};
  const GlRect& r = place_.rect;
  double sx = static_cast<double>(r.width) / pp_.BackBufferWidth;
  double sy = static_cast<double>(r.height) / pp_.BackBufferHeight;
  auto x = [&](LONG e) { return r.x + static_cast<GLint>(std::lround(static_cast<double>(e) * sx)); };
  auto y = [&](LONG e) { return r.y + static_cast<GLint>(std::lround(static_cast<double>(bh - e) * sy)); };
  return {x(left), y(bottom), x(right) - x(left), y(top) - y(bottom)};
}

bool GlDevice::PrepareDraw(DepthStencilUse use) {
  FlushHeldDrawing();  // what was held back was drawn first
  if (IsLost() || !MakeCurrent() || !StartFrame()) return false;
  if (heldBuffers_ != 0 && use == DepthStencilUse::kByRenderStates &&
      (DepthStencilUsedByStates() & heldBuffers_) != 0)
    CarryOutDepthStencilClears();
  if (!heldColour_.empty()) CarryOutColourClears();
  else WritingBackBuffer();
  if (dirty_ & kDirtyFramebuffer) glBindFramebuffer(GL_FRAMEBUFFER, BackBufferFramebuffer());
  if (dirty_ & kDirtyViewport) {
    auto x = static_cast<LONG>(viewport_.X);
    auto y = static_cast<LONG>(viewport_.Y);
    GlRect r = GlRectOf(x, y, x + static_cast<LONG>(viewport_.Width), y + static_cast<LONG>(viewport_.Height));
    glViewport(r.x, r.y, r.width, r.height);
    glDepthRange(viewport_.MinZ, viewport_.MaxZ);
  }
  if (dirty_ != 0) ApplyRenderStates(dirty_);
  dirty_ = 0;
  if (dirtySamplers_ != 0) ApplySamplers();
  return true;
}

// Clear ignores D3DRS_COLORWRITEENABLE, ZWRITEENABLE and STENCILWRITEMASK: it writes all of
// what its flags name, inside the viewport. Colour is cleared at once; depth and stencil are
// recorded and carried out before anything uses them (a frame of sprites never does, and a
// 16-bit depth clear of 1024x768 costs llvmpipe about a tenth of a millisecond).
HRESULT GlDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
  if (flags == 0 || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0) return D3DERR_INVALIDCALL;
  if ((flags & D3DCLEAR_ZBUFFER) && depthWanted_ == 0) return D3DERR_INVALIDCALL;
  if ((flags & D3DCLEAR_STENCIL) && stencilWanted_ == 0) return D3DERR_INVALIDCALL;
  FlushHeldDrawing();
  if (IsLost()) return D3D_OK;
  if (!MakeCurrent()) return D3DERR_DRIVERINTERNALERROR;
  if (!StartFrame()) return D3DERR_OUTOFVIDEOMEMORY;

  // The areas cleared: the rectangles (or the whole viewport) clipped to the viewport.
  LONG vx1 = static_cast<LONG>(viewport_.X);
  LONG vy1 = static_cast<LONG>(viewport_.Y);
  LONG vx2 = vx1 + static_cast<LONG>(viewport_.Width);
  LONG vy2 = vy1 + static_cast<LONG>(viewport_.Height);
  bool whole = false;  // one of them is the whole back buffer
  std::vector<GlRect> areas;
  auto add = [&](LONG x1, LONG y1, LONG x2, LONG y2) {
    x1 = std::max(x1, vx1);
    y1 = std::max(y1, vy1);
    x2 = std::min(x2, vx2);
    y2 = std::min(y2, vy2);
    if (x1 >= x2 || y1 >= y2) return;
    whole = whole || (x1 == 0 && y1 == 0 && x2 == static_cast<LONG>(pp_.BackBufferWidth) &&
                      y2 == static_cast<LONG>(pp_.BackBufferHeight));
    areas.push_back(GlRectOf(x1, y1, x2, y2));
  };
  if (count == 0 || rects == nullptr) {
    add(vx1, vy1, vx2, vy2);
  } else {
    for (DWORD i = 0; i < count; ++i) add(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
  }
  if (areas.empty()) return D3D_OK;

  if (flags & D3DCLEAR_TARGET) {
    float a = pp_.BackBufferFormat == D3DFMT_A8R8G8B8 ? ((color >> 24) & 0xFF) / 255.0f : 1.0f;
    std::array<GLfloat, 4> rgba = {((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f,
                                   (color & 0xFF) / 255.0f, a};
    if (whole) heldColour_.clear();  // cleared over
    for (const GlRect& r : areas) heldColour_.push_back({r, rgba});
    constexpr std::size_t kMostColourHeld = 64;
    if (heldColour_.size() > kMostColourHeld) CarryOutColourClears();
  }

  GLbitfield buffers = ((flags & D3DCLEAR_ZBUFFER) ? GL_DEPTH_BUFFER_BIT : 0u) |
                       ((flags & D3DCLEAR_STENCIL) ? GL_STENCIL_BUFFER_BIT : 0u);
  if (buffers == 0) return D3D_OK;
  float depth = std::clamp(z, 0.0f, 1.0f);
  auto value = static_cast<GLint>(stencil & 0xFF);
  if (whole) {
    // Whatever was held back for these buffers would be cleared over: only the rest stays.
    std::erase_if(heldClears_, [&](HeldClear& c) { return (c.buffers &= ~buffers) == 0; });
    heldBuffers_ = 0;
    for (const HeldClear& c : heldClears_) heldBuffers_ |= c.buffers;
    heldClears_.push_back({buffers, GlRectOf(0, 0, static_cast<LONG>(pp_.BackBufferWidth),
                                             static_cast<LONG>(pp_.BackBufferHeight)),
                           depth, value});
  } else {
    for (const GlRect& r : areas) heldClears_.push_back({buffers, r, depth, value});
  }
  heldBuffers_ |= buffers;
  // Many small clears (a Clear of many rectangles, or a frame of partial clears never drawn
  // with depth) are not worth keeping.
  constexpr std::size_t kMostHeld = 64;
  if (heldClears_.size() > kMostHeld) CarryOutDepthStencilClears();
  return D3D_OK;
}

// A clear of part of a buffer costs llvmpipe a draw over that part, one of the whole buffer a
// fill: a clear of the whole back buffer drawn scaled into the window clears the whole window (the
// letterbox too, which Present then clears to black unless the colour was black).
void GlDevice::CarryOutColourClears() {
  if (heldColour_.empty()) return;
  WritingBackBuffer();
  glBindFramebuffer(GL_FRAMEBUFFER, BackBufferFramebuffer());
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  for (const HeldColourClear& c : heldColour_) {
    glClearColor(c.colour[0], c.colour[1], c.colour[2], c.colour[3]);
    if (CoversPicture(c.rect)) {
      glDisable(GL_SCISSOR_TEST);
      glClear(GL_COLOR_BUFFER_BIT);
      if (DrawsScaled()) letterboxCleared_ = c.colour[0] == 0 && c.colour[1] == 0 && c.colour[2] == 0;
      continue;
    }
    glEnable(GL_SCISSOR_TEST);
    glScissor(c.rect.x, c.rect.y, c.rect.width, c.rect.height);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  heldColour_.clear();
  dirty_ |= kDirtyFramebuffer | kDirtyScissor | kDirtyColourMask;
}

void GlDevice::CarryOutDepthStencilClears() {
  if (heldClears_.empty()) return;
  glBindFramebuffer(GL_FRAMEBUFFER, BackBufferFramebuffer());
  glDepthMask(GL_TRUE);
  glStencilMask(0xFF);
  for (const HeldClear& c : heldClears_) {
    // Depth and stencil outside the picture are never read: the whole buffer is cleared for it.
    if (CoversPicture(c.rect)) {
      glDisable(GL_SCISSOR_TEST);
    } else {
      glEnable(GL_SCISSOR_TEST);
      glScissor(c.rect.x, c.rect.y, c.rect.width, c.rect.height);
    }
    if (c.buffers & GL_DEPTH_BUFFER_BIT) glClearDepth(c.z);
    if (c.buffers & GL_STENCIL_BUFFER_BIT) glClearStencil(c.stencil);
    glClear(c.buffers);
  }
  heldClears_.clear();
  heldBuffers_ = 0;
  dirty_ |= kDirtyFramebuffer | kDirtyScissor | kDirtyDepth | kDirtyStencil;
}

// --- Presentation ---------------------------------------------------------------------------------

// Scales our back framebuffer into the window: stretched when windowed; when full screen (the
// back buffer keeps its size) fitted with its aspect kept, centred on black.
void GlDevice::CopyToWindow(int dw, int dh) {
  auto bw = static_cast<GLint>(pp_.BackBufferWidth);
  auto bh = static_cast<GLint>(pp_.BackBufferHeight);
  GlRect to{0, 0, dw, dh};
  if (fullScreen_) {
    Placement place = PlacementIn(dw, dh);
    if (place.scaled) ClearLetterbox(place);
    to = place.rect;
  }
  glBindFramebuffer(GL_READ_FRAMEBUFFER, buffers_[back_].framebuffer);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  GLenum filter = (to.width == bw && to.height == bh) ? GL_NEAREST : GL_LINEAR;
  glBlitFramebuffer(0, 0, bw, bh, to.x, to.y, to.x + to.width, to.y + to.height, GL_COLOR_BUFFER_BIT, filter);
  dirty_ |= kDirtyFramebuffer | kDirtyScissor | kDirtyColourMask;
}

HRESULT GlDevice::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                          const RGNDATA* dirtyRegion) {
  // Rectangles and another window are for the COPY swap effect only, and only the whole picture
  // to the device's own window is offered here.
  if (sourceRect != nullptr || destRect != nullptr || dirtyRegion != nullptr ||
      (destWindowOverride != nullptr && destWindowOverride != deviceWindow_))
    return D3DERR_INVALIDCALL;
  if (IsLost()) return D3DERR_DEVICELOST;
  if (inScene_) return D3DERR_INVALIDCALL;
  // What is written now is the picture about to be presented: nothing need be kept of the last.
  presenting_ = true;
  FlushHeldDrawing();
  bool current = MakeCurrent();
  if (current) CarryOutColourClears();
  presenting_ = false;
  if (!current) return D3DERR_DRIVERINTERNALERROR;

  int dw = 0;
  int dh = 0;
  DrawableSize(dw, dh);
  bool visible = dw > 0 && dh > 0 && !(SDL_GetWindowFlags(window_.get()) & SDL_WINDOW_MINIMIZED);
  bool inWindow = DrawsIntoWindow();
  if (visible) {
    if (!inWindow) CopyToWindow(dw, dh);
    else if (place_.scaled && !letterboxCleared_) ClearLetterbox(place_);
    if (beforeSwap_) beforeSwap_();
  }
  // A picture drawn in the window stays in the window's buffer after the swap until something
  // writes there: an EGL pbuffer has only the one buffer, and llvmpipe's GLX swap copies the back
  // buffer out and keeps it (measured: GLX leaves it undefined, and reading GL_FRONT there gives
  // black).
  if (inWindow) {
    front_ = Front::kWindow;
    frontPlace_ = place_;
  }
  glFlush();
  pacer_.WaitForTurn();
  std::int64_t start = FramePacer::Now();
  if (visible) SDL_GL_SwapWindow(window_.get());
  pacer_.Presented(start, FramePacer::Now());

  if (!inWindow) {
    front_ = Front::kFramebuffer;
    back_ ^= 1u;  // what was drawn is now the front buffer
    dirty_ |= kDirtyFramebuffer;
  }
  frameStarted_ = false;
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

bool GlDevice::CoversPicture(const GlRect& r) const {
  const GlRect& p = place_.rect;
  return r.x <= p.x && r.y <= p.y && r.x + r.width >= p.x + p.width && r.y + r.height >= p.y + p.height;
}

void GlDevice::ClearLetterbox(const Placement& place) {
  const GlRect& r = place.rect;
  const GlRect bars[4] = {{0, 0, r.x, place.drawableHeight},
                          {r.x + r.width, 0, place.drawableWidth - r.x - r.width, place.drawableHeight},
                          {r.x, 0, r.width, r.y},
                          {r.x, r.y + r.height, r.width, place.drawableHeight - r.y - r.height}};
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glEnable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glClearColor(0, 0, 0, 1);
  for (const GlRect& bar : bars) {
    if (bar.width <= 0 || bar.height <= 0) continue;
    glScissor(bar.x, bar.y, bar.width, bar.height);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  dirty_ |= kDirtyFramebuffer | kDirtyScissor | kDirtyColourMask;
}

bool GlDevice::ReadableWindow(const Placement& place, GLuint& framebuffer) {
  framebuffer = 0;
  if (!place.scaled) return true;
  if (resolve_.framebuffer == 0 && FAILED(CreateColourBuffer(resolve_))) return false;
  auto bw = static_cast<GLint>(pp_.BackBufferWidth);
  auto bh = static_cast<GLint>(pp_.BackBufferHeight);
  const GlRect& r = place.rect;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolve_.framebuffer);
  glDisable(GL_SCISSOR_TEST);
  glBlitFramebuffer(r.x, r.y, r.x + r.width, r.y + r.height, 0, 0, bw, bh, GL_COLOR_BUFFER_BIT, GL_LINEAR);
  dirty_ |= kDirtyFramebuffer | kDirtyScissor;
  framebuffer = resolve_.framebuffer;
  return true;
}

void GlDevice::WritingBackBuffer() {
  if (front_ != Front::kWindow || target_ != Target::kWindow || presenting_) return;
  front_ = KeepWindowPicture() ? Front::kKept : Front::kGone;
}

// Copies the picture presented in the window into memory. Measured on llvmpipe at 1024x768:
// glReadPixels 0.6-0.9 ms of processor time, a blit into a texture of ours 3.5-4.5 ms.
bool GlDevice::KeepWindowPicture() {
  auto w = static_cast<GLint>(pp_.BackBufferWidth);
  auto h = static_cast<GLint>(pp_.BackBufferHeight);
  try {
    kept_.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  } catch (const std::bad_alloc&) {
    return false;
  }
  DrainGlErrors();
  GLuint framebuffer = 0;
  if (!ReadableWindow(frontPlace_, framebuffer)) return false;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, kept_.data());
  dirty_ |= kDirtyFramebuffer;
  return glGetError() == GL_NO_ERROR;
}

// Reads `width` by `height` pixels from (left, top) of a picture of the back buffer's size stored
// bottom row first in `framebuffer`, into A8R8G8B8 rows top row first.
HRESULT GlDevice::ReadRows(GLuint framebuffer, LONG left, LONG top, LONG width, LONG height, void* bits, int pitch) {
  GlRect r{static_cast<GLint>(left), static_cast<GLint>(static_cast<LONG>(pp_.BackBufferHeight) - top - height),
           static_cast<GLsizei>(width), static_cast<GLsizei>(height)};
  DrainGlErrors();
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, pitch / 4);
  glReadPixels(r.x, r.y, r.width, r.height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, bits);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, BackBufferFramebuffer());
  if (glGetError() != GL_NO_ERROR) return D3DERR_DRIVERINTERNALERROR;
  // GL gave the bottom row first.
  auto row = [&](LONG y) { return static_cast<std::uint8_t*>(bits) + static_cast<std::ptrdiff_t>(y) * pitch; };
  for (LONG a = 0, b = height - 1; a < b; ++a, --b) std::swap_ranges(row(a), row(a) + width * 4, row(b));
  return D3D_OK;
}

HRESULT GlDevice::GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destSurface) {
  auto* dest = dynamic_cast<MemorySurface*>(destSurface);
  if (swapChain != 0 || dest == nullptr || dest->Pool() != D3DPOOL_SYSTEMMEM || dest->Format() != D3DFMT_A8R8G8B8 ||
      dest->Locked())
    return D3DERR_INVALIDCALL;
  // Drawing held back belongs to the next frame and stays held: it does not change the picture
  // presented last.
  if (!MakeCurrent()) return D3DERR_DRIVERINTERNALERROR;
  auto w = static_cast<LONG>(std::min(dest->Width(), pp_.BackBufferWidth));
  auto h = static_cast<LONG>(std::min(dest->Height(), pp_.BackBufferHeight));
  switch (front_) {
    case Front::kBlack:
      for (LONG y = 0; y < h; ++y)
        std::fill_n(reinterpret_cast<std::uint32_t*>(dest->Bits() + static_cast<std::ptrdiff_t>(y) * dest->Pitch()),
                    w, 0xFF000000u);
      return D3D_OK;
    case Front::kFramebuffer:
      return ReadRows(buffers_[back_ ^ 1u].framebuffer, 0, 0, w, h, dest->Bits(), dest->Pitch());
    case Front::kWindow: {
      int dw = 0;
      int dh = 0;
      DrawableSize(dw, dh);  // a window resized since has new buffers
      GLuint framebuffer = 0;
      if (dw == frontPlace_.drawableWidth && dh == frontPlace_.drawableHeight) {
        if (!ReadableWindow(frontPlace_, framebuffer)) return D3DERR_OUTOFVIDEOMEMORY;
        return ReadRows(framebuffer, 0, 0, w, h, dest->Bits(), dest->Pitch());
      }
      break;
    }
    case Front::kKept: {
      // Kept as GL gave it, bottom row first.
      auto bh = static_cast<LONG>(pp_.BackBufferHeight);
      for (LONG y = 0; y < h; ++y)
        std::copy_n(&kept_[static_cast<std::size_t>(bh - 1 - y) * pp_.BackBufferWidth], w,
                    reinterpret_cast<std::uint32_t*>(dest->Bits() + static_cast<std::ptrdiff_t>(y) * dest->Pitch()));
      return D3D_OK;
    }
    case Front::kGone: break;
  }
  // The picture was presented in the window, which changed size before anybody asked for it.
  front_ = Front::kGone;
  return D3DERR_INVALIDCALL;
}

HRESULT GlDevice::ReadBackBuffer(const RECT& rect, void* bits, int pitch) {
  if (bits == nullptr || pitch % 4 != 0) return D3DERR_INVALIDCALL;
  FlushHeldDrawing();
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  CarryOutColourClears();
  GLuint framebuffer = BackBufferFramebuffer();
  if (DrawsIntoWindow() && !ReadableWindow(place_, framebuffer)) return D3DERR_OUTOFVIDEOMEMORY;
  return ReadRows(framebuffer, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, bits, pitch);
}

// --- Textures and held-back drawing --------------------------------------------------------------

HRESULT GlDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                IDirect3DTexture9** texture, HANDLE* sharedHandle) {
  if (texture == nullptr) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (sharedHandle != nullptr) return D3DERR_INVALIDCALL;
  return GlTexture::Create(this, width, height, levels, usage, format, pool, texture);
}

// Only textures of this device that GL holds can be set: SYSTEMMEM and SCRATCH ones live in
// memory alone. The device keeps no reference: a texture unbinds itself as it goes.
HRESULT GlDevice::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
  if (stage >= kTextureUnits) return D3DERR_INVALIDCALL;
  GlTexture* t = nullptr;
  if (texture != nullptr) {
    t = dynamic_cast<GlTexture*>(texture);
    if (t == nullptr || t->Device() != this || t->Name() == 0) return D3DERR_INVALIDCALL;
  }
  textures_[stage] = t;
  return D3D_OK;
}

HRESULT GlDevice::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
  if (texture == nullptr || stage >= kTextureUnits) return D3DERR_INVALIDCALL;
  *texture = textures_[stage];
  if (*texture != nullptr) (*texture)->AddRef();
  return D3D_OK;
}

void GlDevice::ForgetTexture(const GlTexture* texture) {
  for (GlTexture*& t : textures_)
    if (t == texture) t = nullptr;
}

QuadBatch& GlDevice::Quads() {
  if (!quads_) {
    MakeCurrent();
    quads_ = std::make_unique<QuadBatch>(this);
  }
  return *quads_;
}

void GlDevice::DropHeldDrawingOf(GLuint texture) {
  if (quads_ != nullptr) quads_->Drop(texture);
}

void GlDevice::HoldDrawing(HeldDrawing* holder) {
  if (held_ != nullptr && held_ != holder) FlushHeldDrawing();
  held_ = holder;
}

}  // namespace zr::d3d9
