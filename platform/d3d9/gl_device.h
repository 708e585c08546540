// The Direct3D 9 device over OpenGL 3.3 core. Internal to the platform layer: the D3DX backends
// (sprites, fonts, meshes) and the platform's own tests include it; engine code never does.
//
// Conventions the drawing backends rely on:
// - PrepareDraw() before every draw: it makes the context current, binds the back buffer's
//   framebuffer with the D3D viewport and applies the render and sampler states that changed.
//   It returns false while the device is lost: the draw then does nothing and still succeeds.
// - The back buffer is stored top row first (row 0 is the top of the picture, as in D3D), so a
//   draw must put D3D screen row y at GL window row y: negate clip-space y in the vertex shader.
//   With that flip a triangle that is clockwise on the D3D screen is counter-clockwise for GL,
//   so glFrontFace(GL_CCW) holds and D3DRS_CULLMODE maps to GL_BACK (CCW) or GL_FRONT (CW).
// - Texture unit i samples with the GL sampler object of D3D sampler i (0 to 15), kept in step
//   with the sampler states. Shader-side states (alpha test, fog, lighting, texture factor, ...)
//   are read with RenderState(); StateSerial() changes whenever any render state does.
// - A backend that changes GL state behind PrepareDraw's back calls InvalidateGlState().
#pragma once

#include <SDL.h>
#include <d3d9.h>
#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>

#include "frame_pacer.h"

namespace zr::d3d9 {

class BackBufferSurface;

inline constexpr unsigned kSamplerCount = 16 + 5;  // 0-15, D3DDMAPSAMPLER and 4 vertex samplers
inline constexpr unsigned kTextureUnits = 16;

// Whether `state` names a render state of Direct3D 9.
bool IsRenderState(DWORD state);
// The documented value a render state has after CreateDevice and Reset.
DWORD DefaultRenderState(DWORD state, bool hasAutoDepth);
// The index of a D3D sampler number in the device's tables, or -1 when it names none.
int SamplerIndex(DWORD sampler);
DWORD DefaultSamplerState(DWORD type);

// The pixel size and depth formats a set of present parameters makes, after validation.
HRESULT CheckPresentParameters(const D3DPRESENT_PARAMETERS& pp);

class GlDevice final : public IDirect3DDevice9 {
 public:
  // Validates, creates the context on the window's SDL window and fills in `pp` as it took effect.
  static HRESULT Create(IDirect3D9* direct3d, HWND focusWindow, DWORD behaviorFlags, D3DPRESENT_PARAMETERS* pp,
                        IDirect3DDevice9** device);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDirect3DDevice9
  HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override;
  HRESULT STDMETHODCALLTYPE GetDirect3D(IDirect3D9** direct3D) override;
  HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* pp) override;
  HRESULT STDMETHODCALLTYPE Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                                    const RGNDATA* dirtyRegion) override;
  HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                          IDirect3DSurface9** surface) override;
  HRESULT STDMETHODCALLTYPE GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destSurface) override;
  HRESULT STDMETHODCALLTYPE CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                        IDirect3DSurface9** surface, HANDLE* sharedHandle) override;
  HRESULT STDMETHODCALLTYPE BeginScene() override;
  HRESULT STDMETHODCALLTYPE EndScene() override;
  HRESULT STDMETHODCALLTYPE Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                  DWORD stencil) override;
  HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT9* viewport) override;
  HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9* viewport) override;
  HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
  HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;

  // --- For the drawing backends ---------------------------------------------------------------

  // Makes the device's GL context current on its window (cheap when it already is).
  bool MakeCurrent();
  // Gets GL ready to draw into the back buffer; false while the device is lost (draw nothing).
  bool PrepareDraw();
  // Forgets what GL state PrepareDraw believes is set, so that everything is applied again.
  void InvalidateGlState();

  DWORD RenderState(D3DRENDERSTATETYPE state) const { return renderStates_[state]; }
  DWORD SamplerState(unsigned samplerIndex, D3DSAMPLERSTATETYPE type) const { return samplerStates_[samplerIndex][type]; }
  std::uint64_t StateSerial() const { return stateSerial_; }
  const D3DVIEWPORT9& Viewport() const { return viewport_; }
  const D3DPRESENT_PARAMETERS& PresentParameters() const { return pp_; }
  bool HasDepthBuffer() const { return depthBits_ > 0; }
  bool HasStencilBuffer() const { return stencilBits_ > 0; }
  GLuint BackBufferFramebuffer() const { return buffers_[back_].framebuffer; }
  GLuint BackBufferTexture() const { return buffers_[back_].colour; }
  // Whether Present and drawing do nothing now because a full-screen device lost its window.
  bool IsLost();

  // D3DX objects that own device resources (sprites, fonts) register themselves; Reset refuses
  // to run while one of them has not been told OnLostDevice. A registered object starts live.
  void RegisterDeviceObject(const void* object);
  void UnregisterDeviceObject(const void* object);
  void DeviceObjectLost(const void* object);   // after its OnLostDevice
  void DeviceObjectReset(const void* object);  // after its OnResetDevice

  // Resources of D3DPOOL_DEFAULT count themselves here for as long as they live: Reset refuses to
  // run while any does.
  void AddDefaultPoolResource(const void* resource);
  void RemoveDefaultPoolResource(const void* resource);

  // Copies a rectangle of the back buffer (what is being drawn, not yet presented) as A8R8G8B8
  // rows, top row first, `pitch` bytes apart.
  HRESULT ReadBackBuffer(const RECT& rect, void* bits, int pitch);

  // Test hook: called in Present after the picture reached the window's default framebuffer
  // and before the swap, with the context current; null to remove.
  void SetBeforeSwapHook(std::function<void()> hook) { beforeSwap_ = std::move(hook); }
  const FramePacer& Pacer() const { return pacer_; }
  SDL_Window* Window() const { return window_.get(); }

 private:
  struct ColourBuffer {
    GLuint framebuffer = 0;
    GLuint colour = 0;  // RGBA8 texture
  };
  enum DirtyGroup : std::uint32_t {
    kDirtyFramebuffer = 1u << 0,
    kDirtyViewport = 1u << 1,
    kDirtyDepth = 1u << 2,
    kDirtyBlend = 1u << 3,
    kDirtyColourMask = 1u << 4,
    kDirtyCull = 1u << 5,
    kDirtyStencil = 1u << 6,
    kDirtyFill = 1u << 7,
    kDirtyDepthBias = 1u << 8,
    kDirtyScissor = 1u << 9,
    kDirtyDither = 1u << 10,
    kDirtyAll = (1u << 11) - 1,
  };

  GlDevice(IDirect3D9* direct3d, HWND focusWindow, HWND deviceWindow, std::shared_ptr<SDL_Window> window);
  ~GlDevice();

  HRESULT InitialiseContext();
  HRESULT ApplyPresentParameters(D3DPRESENT_PARAMETERS& pp);
  HRESULT CreateBuffers(UINT width, UINT height, D3DFORMAT depthFormat);
  void DestroyBuffers();
  void ResetStates();
  void ApplySamplers();
  void ApplyRenderStates(std::uint32_t groups);
  void UpdateLoss();
  void ConfigurePacing();
  static std::uint32_t GroupOf(DWORD state);

  ULONG refs_ = 1;
  IDirect3D9* direct3d_;
  HWND focusWindow_;
  HWND deviceWindow_;
  std::shared_ptr<SDL_Window> window_;
  SDL_GLContext context_ = nullptr;
  bool anisotropy_ = false;
  bool mirrorClampToEdge_ = false;

  D3DPRESENT_PARAMETERS pp_{};
  std::array<ColourBuffer, 2> buffers_{};
  unsigned back_ = 0;  // index of the back buffer in buffers_; the other is the front
  GLuint depth_ = 0;   // renderbuffer shared by both framebuffers
  int depthBits_ = 0;
  int stencilBits_ = 0;
  bool fullScreen_ = false;
  std::unique_ptr<BackBufferSurface> backBufferSurface_;

  std::array<DWORD, D3D_MAX_RENDERSTATE> renderStates_{};
  std::array<std::array<DWORD, D3D_MAX_SAMPLERSTATE>, kSamplerCount> samplerStates_{};
  std::array<GLuint, kTextureUnits> samplers_{};
  std::uint32_t dirty_ = kDirtyAll;
  std::uint32_t dirtySamplers_ = 0;
  std::uint64_t stateSerial_ = 0;
  D3DVIEWPORT9 viewport_{};

  bool inScene_ = false;
  bool mustReset_ = false;  // lost, or a Reset failed: only Reset brings the device back
  std::uint64_t deactivationsSeen_ = 0;

  std::set<const void*> liveObjects_;
  std::set<const void*> lostObjects_;
  std::set<const void*> defaultPool_;

  FramePacer pacer_;
  std::function<void()> beforeSwap_;
};

}  // namespace zr::d3d9
