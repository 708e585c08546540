// The Direct3D 9 device over OpenGL 3.3 core. Internal to the platform layer: the D3DX backends
// (sprites, fonts, meshes) and the platform's own tests include it; engine code never does.
//
// Where the back buffer lives: when the window's drawable has the back buffer's size and its
// pixel format holds everything the back buffer needs (8-bit colour, the depth and stencil bits
// asked for, and alpha for an A8R8G8B8 back buffer once blending has been set to read it), frames
// are drawn straight into the window's default framebuffer and Present only swaps. Otherwise (a
// window of another size, a full-screen back buffer letterboxed on a larger display) they are
// drawn into a framebuffer of ours that Present scales into the window. The choice is made again
// when a frame starts (its first Clear or draw after Present or Reset), so it follows the
// window's size.
//
// Conventions the drawing backends rely on (the same for both places):
// - PrepareDraw() before every draw: it makes the context current, binds the back buffer's
//   framebuffer (BackBufferFramebuffer(): 0 for the window) with the D3D viewport and applies the
//   render and sampler states that changed. It returns false while the device is lost: the draw
//   then does nothing and still succeeds. Do not cache the framebuffer across frames.
// - The back buffer is stored the GL way, bottom row first: D3D row y is GL row H - 1 - y, H being
//   the back buffer's height. So a vertex shader outputs D3D's clip-space position unchanged in x
//   and y (no negation; any half-pixel shift is done in D3D's terms first), with z mapped from
//   D3D's [0, w] to GL's [-w, w] (z * 2 - w). gl_FragCoord.y is H - D3D's y.
// - Without a flip, a triangle clockwise on the D3D screen is clockwise for GL: PrepareDraw sets
//   glFrontFace(GL_CW), so GL's front faces are D3D's clockwise ones, D3DCULL_CCW culls GL_BACK and
//   D3DCULL_CW culls GL_FRONT, and GL_FRONT stencil state is D3D's clockwise state.
// - A D3D rectangle on the back buffer (top row 0) becomes the GL rectangle for glScissor or
//   glViewport through GlRectOf().
// - Texture unit i samples with the GL sampler object of D3D sampler i (0 to 15), kept in step
//   with the sampler states. Shader-side states (alpha test, fog, lighting, texture factor, ...)
//   are read with RenderState(); StateSerial() changes whenever any render state does.
// - A backend that changes GL state behind PrepareDraw's back calls InvalidateGlState() with the
//   groups it touched. Programs, vertex arrays, buffers and the textures bound to units are not
//   tracked: each backend binds its own before it draws. Buffers are filled through the
//   GL_COPY_WRITE_BUFFER binding, which no vertex array holds. The provoking vertex is the first
//   (D3D's flat shading), set once by the fixed-function pipeline.
// - Textures are stored top row first, as D3D lays them out: texture coordinate v is GL's t.
// - Drawing held back to be sent in batches (sprites and text go through Quads()) is flushed by
//   the device before anything else touches the back buffer or changes what it depends on:
//   Clear, Present, reading the back buffer, Reset, viewport changes, and PrepareDraw for any
//   other draw (not EndScene, nor reading the front buffer). Held drawing keeps the render and
//   sampler states it was given (QuadBatch takes them as each quad comes), so setting states
//   does not flush it. A backend that holds drawing back registers with HoldDrawing and lets go
//   in its flush. Nothing is drawn from a release: what goes away drops the held drawing that
//   uses it (DropHeldDrawingOf), and what nobody can present any more is dropped (see Release).
// - Clears are held back too. Colour clears are carried out before the first draw (PrepareDraw),
//   read of the back buffer or Present; depth and stencil clears before the first thing that
//   reads or writes those buffers: PrepareDraw for a draw whose render states use them (see
//   DepthStencilUse), a move of the back buffer between the window and our framebuffers, and
//   Reset. A backend that turns both tests off itself passes DepthStencilUse::kNone (sprites and
//   text); one that sets them up other than from the render states calls
//   CarryOutDepthStencilClears() before it draws.
// - The picture presented last stays where it is while the next frame is drawn: in our front
//   framebuffer, or in the window's buffer until something writes there, when it is copied
//   aside first (WritingBackBuffer). A frame of clears, sprites and text writes nothing before
//   its Present, and so costs no copy.
#pragma once

#include <SDL.h>
#include <d3d9.h>
#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <map>
#include <set>
#include <vector>

#include "frame_pacer.h"

namespace zr::d3d9 {

class BackBufferSurface;
class FixedFunction;
class GlIndexBuffer;
class GlTexture;
class GlVertexBuffer;
class QuadBatch;

inline constexpr unsigned kSamplerCount = 16 + 5;  // 0-15, D3DDMAPSAMPLER and 4 vertex samplers
inline constexpr unsigned kTextureUnits = 16;
// Transform slots: 0 view, 1 projection, 2-9 texture 0-7, 10-265 world 0-255.
inline constexpr unsigned kTransformCount = 2 + 8 + 256;
// The slot of a transform state, or -1 when it names none.
int TransformSlot(DWORD state);
// Texture stages with stage states (0 to 7) and the numbers of their states.
inline constexpr unsigned kTextureStages = 8;
inline constexpr unsigned kStageStateCount = 33;
// Whether `type` names a texture stage state of Direct3D 9.
bool IsTextureStageState(DWORD type);
// The documented value of a texture stage state after CreateDevice and Reset.
DWORD DefaultTextureStageState(unsigned stage, DWORD type);

// Whether `state` names a render state of Direct3D 9.
bool IsRenderState(DWORD state);
// The documented value a render state has after CreateDevice and Reset.
DWORD DefaultRenderState(DWORD state, bool hasAutoDepth);
// The index of a D3D sampler number in the device's tables, or -1 when it names none.
int SamplerIndex(DWORD sampler);
DWORD DefaultSamplerState(DWORD type);

// The pixel size and depth formats a set of present parameters makes, after validation.
HRESULT CheckPresentParameters(const D3DPRESENT_PARAMETERS& pp);

// Whether a render state set to a value makes blending read the back buffer's alpha.
bool ReadsDestinationAlpha(DWORD state, DWORD value);

// The render states of blending, as GL is set up from them.
struct BlendStates {
  DWORD enable, source, destination, operation;
  DWORD separateAlpha, sourceAlpha, destinationAlpha, operationAlpha;
  DWORD factor;
  bool operator==(const BlendStates&) const = default;
};
// Sets GL's blending up as the states say. The context is current.
void ApplyGlBlend(const BlendStates& blend);

// Drawing a backend holds back to send in batches: the device calls FlushDrawing before anything
// else may see or change what that drawing depends on.
class HeldDrawing {
 public:
  virtual void FlushDrawing() = 0;

 protected:
  ~HeldDrawing() = default;
};

class GlDevice final : public IDirect3DDevice9 {
 public:
  // Validates, creates the context on the window's SDL window and fills in `pp` as it took effect.
  static HRESULT Create(IDirect3D9* direct3d, HWND focusWindow, DWORD behaviorFlags, D3DPRESENT_PARAMETERS* pp,
                        IDirect3DDevice9** device);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  // When the references left are only those of textures and fonts that drawing held back keeps
  // alive (the application let go of everything else), that drawing can never be presented: it
  // is dropped, and with it the last references, so the device goes.
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
  HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                          D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* sharedHandle) override;
  HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
  HRESULT STDMETHODCALLTYPE GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
  HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT STDMETHODCALLTYPE GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
  HRESULT STDMETHODCALLTYPE SetLight(DWORD index, const D3DLIGHT9* light) override;
  HRESULT STDMETHODCALLTYPE GetLight(DWORD index, D3DLIGHT9* light) override;
  HRESULT STDMETHODCALLTYPE LightEnable(DWORD index, BOOL enable) override;
  HRESULT STDMETHODCALLTYPE GetLightEnable(DWORD index, BOOL* enable) override;
  HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                               IDirect3DVertexBuffer9** vertexBuffer, HANDLE* sharedHandle) override;
  HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                              IDirect3DIndexBuffer9** indexBuffer, HANDLE* sharedHandle) override;
  HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override;
  HRESULT STDMETHODCALLTYPE GetFVF(DWORD* fvf) override;
  HRESULT STDMETHODCALLTYPE SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData, UINT offsetInBytes,
                                            UINT stride) override;
  HRESULT STDMETHODCALLTYPE GetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9** streamData,
                                            UINT* offsetInBytes, UINT* stride) override;
  HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* indexData) override;
  HRESULT STDMETHODCALLTYPE GetIndices(IDirect3DIndexBuffer9** indexData) override;
  HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                                          UINT primitiveCount) override;
  HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE primitiveType, INT baseVertexIndex,
                                                 UINT minVertexIndex, UINT numVertices, UINT startIndex,
                                                 UINT primitiveCount) override;
  HRESULT STDMETHODCALLTYPE SetMaterial(const D3DMATERIAL9* material) override;
  HRESULT STDMETHODCALLTYPE GetMaterial(D3DMATERIAL9* material) override;
  HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;

  // --- For the drawing backends ---------------------------------------------------------------

  // Makes the device's GL context current on its window (cheap when it already is).
  bool MakeCurrent();
  // What a draw does with the depth and stencil buffers: what the render states make GL do, or
  // nothing (the backend turns both tests off itself, as QuadBatch does).
  enum class DepthStencilUse { kByRenderStates, kNone };
  // Gets GL ready to draw into the back buffer; false while the device is lost (draw nothing).
  // Depth and stencil clears still held back are carried out first when the draw uses them.
  bool PrepareDraw(DepthStencilUse use = DepthStencilUse::kByRenderStates);
  // Carries out the depth and stencil clears held back, into the back buffer's place now. The
  // context is current.
  void CarryOutDepthStencilClears();
  // The rectangles of depth and stencil clears held back (for tests).
  std::size_t HeldDepthStencilClears() const { return heldClears_.size(); }
  // The GL window rectangle (for glScissor, glViewport) of the D3D rectangle from (left, top) to
  // (right, bottom), exclusive, on the back buffer: where the back buffer lives now, so scaled
  // and moved when the frame is drawn scaled into the window (each edge to the nearest pixel, so
  // that rectangles that meet on the back buffer meet in the window).
  struct GlRect {
    GLint x, y;
    GLsizei width, height;
  };
  GlRect GlRectOf(LONG left, LONG top, LONG right, LONG bottom) const;
  // Groups of GL state that PrepareDraw applies from the render states.
  enum GlStateGroup : std::uint32_t {
    kGlFramebuffer = 1u << 0,
    kGlViewport = 1u << 1,
    kGlDepth = 1u << 2,
    kGlBlend = 1u << 3,
    kGlColourMask = 1u << 4,
    kGlCull = 1u << 5,
    kGlStencil = 1u << 6,
    kGlFill = 1u << 7,
    kGlDepthBias = 1u << 8,
    kGlScissor = 1u << 9,
    kGlDither = 1u << 10,
    kGlAll = (1u << 11) - 1,
  };
  // Forgets what GL state PrepareDraw believes is set, so that everything is applied again.
  void InvalidateGlState();
  // The same for some groups of render states (GlStateGroup bits).
  void InvalidateGlState(std::uint32_t groups) { dirty_ |= groups; }
  // The GL sampler object of D3D sampler `unit` (0 to 15), which PrepareDraw binds to texture unit
  // `unit` once and keeps in step with the sampler states. A backend that binds another one there
  // binds this one back.
  GLuint SamplerObject(unsigned unit) const { return samplers_[unit]; }
  // Sets a GL sampler object up as the sampler states `states` (indexed by D3DSAMPLERSTATETYPE)
  // say. The context is current.
  void SetUpGlSampler(GLuint sampler, const DWORD* states) const;
  // Sets GL's colour write mask as D3DRS_COLORWRITEENABLE `mask` says for this back buffer.
  void ApplyGlColourMask(DWORD mask) const;

  // The texture set on a stage (0 to 15), without a reference; null when none is.
  GlTexture* TextureAt(unsigned stage) const { return textures_[stage]; }
  // Called by a texture as it goes: it is unbound from every stage.
  void ForgetTexture(const GlTexture* texture);
  // The largest texture side GL takes here.
  GLint MaxTextureSize() const { return maxTextureSize_; }

  // The batcher of textured quads that sprites and text share (made on first use).
  QuadBatch& Quads();
  // Registers drawing held back (one holder at a time: another one is flushed first).
  void HoldDrawing(HeldDrawing* holder);
  // Called by a holder when it flushes by itself.
  void LetGo(const HeldDrawing* holder) {
    if (held_ == holder) held_ = nullptr;
  }
  // Sends what is held back now.
  void FlushHeldDrawing() {
    if (HeldDrawing* h = held_) {
      held_ = nullptr;
      h->FlushDrawing();
    }
  }
  // Called by a GL texture (a device texture's, a font's) as it goes: held drawing that samples it
  // is dropped, never drawn.
  void DropHeldDrawingOf(GLuint texture);
  // Fixed-function state, as the pipeline of DrawPrimitive and DrawIndexedPrimitive reads it.
  // Each group has a change count that moves whenever anything in it is set (and at Reset).
  enum class Change : unsigned { kView, kProjection, kWorld, kLights, kMaterial, kStages, kCount };
  std::uint64_t ChangeCount(Change group) const { return changes_[static_cast<unsigned>(group)]; }
  const D3DMATRIX& Transform(int slot) const { return transforms_[static_cast<std::size_t>(slot)]; }
  const std::map<DWORD, D3DLIGHT9>& Lights() const { return lights_; }
  const std::set<DWORD>& EnabledLights() const { return enabledLights_; }
  const D3DMATERIAL9& Material() const { return material_; }
  DWORD TextureStageState(unsigned stage, DWORD type) const { return stageStates_[stage][type]; }
  // The fixed-function pipeline's programs (made on the first draw; null before).
  FixedFunction* FixedPipeline() const { return fixed_.get(); }
  // Called by a vertex or index buffer as it goes: it is unbound from the streams and indices,
  // and nothing may keep its GL buffer `name` any more.
  void ForgetBuffer(const void* buffer, GLuint name);

  // Whether a render state has made blending read the back buffer's alpha since the last Reset:
  // an A8R8G8B8 back buffer then lives in a framebuffer of ours from the next frame on, for the
  // window has no alpha channel to keep it in.
  bool NeedsDestinationAlpha() const { return destinationAlpha_; }

  DWORD RenderState(D3DRENDERSTATETYPE state) const { return renderStates_[state]; }
  DWORD SamplerState(unsigned samplerIndex, D3DSAMPLERSTATETYPE type) const { return samplerStates_[samplerIndex][type]; }
  // The sampler states of a sampler index, indexed by D3DSAMPLERSTATETYPE.
  const DWORD* SamplerStates(unsigned samplerIndex) const { return samplerStates_[samplerIndex].data(); }
  BlendStates Blend() const;
  std::uint64_t StateSerial() const { return stateSerial_; }
  // Changes whenever any sampler state does.
  std::uint64_t SamplerSerial() const { return samplerSerial_; }
  const D3DVIEWPORT9& Viewport() const { return viewport_; }
  const D3DPRESENT_PARAMETERS& PresentParameters() const { return pp_; }
  bool HasDepthBuffer() const { return depthWanted_ > 0; }
  bool HasStencilBuffer() const { return stencilWanted_ > 0; }
  // Whether the frame is drawn straight into the window (else into a framebuffer of ours).
  bool DrawsIntoWindow() const { return target_ == Target::kWindow; }
  // Whether it is drawn into the window scaled: full screen on a display larger than the back
  // buffer, letterboxed (see GlRectOf).
  bool DrawsScaled() const { return DrawsIntoWindow() && place_.scaled; }
  // The GL framebuffer the back buffer is: 0 for the window's.
  GLuint BackBufferFramebuffer() const { return DrawsIntoWindow() ? 0 : buffers_[back_].framebuffer; }
  // The size of the window's drawable as GL draws into it (SDL's offscreen driver keeps the EGL
  // surface at the window's first size whatever size SDL reports later). Context current.
  void DrawableSize(int& width, int& height) const;
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
  // Whether the last picture presented in the window had to be copied aside, because the next
  // frame began writing there before it was presented (for tests).
  bool KeptPresentedPicture() const { return front_ == Front::kKept; }

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
  enum class Target { kWindow, kFramebuffer };
  // Where the back buffer's picture lies in the window's drawable of a size: all of it, or
  // scaled to fit with its aspect kept, centred (GL window coordinates).
  struct Placement {
    GlRect rect{};
    int drawableWidth = 0, drawableHeight = 0;
    bool scaled = false;
  };
  // Where the picture last presented is: none yet (black), the front one of our framebuffers,
  // the window's buffer (until the next frame writes there), a copy in memory, or nowhere any
  // more (the window changed size).
  enum class Front { kBlack, kFramebuffer, kWindow, kKept, kGone };
  // What the window's default framebuffer holds.
  struct WindowFormat {
    bool colour8 = false;  // 8 bits per colour channel
    int alpha = 0;
    int depth = 0;
    int stencil = 0;
  };
  enum DirtyGroup : std::uint32_t {
    kDirtyFramebuffer = kGlFramebuffer,
    kDirtyViewport = kGlViewport,
    kDirtyDepth = kGlDepth,
    kDirtyBlend = kGlBlend,
    kDirtyColourMask = kGlColourMask,
    kDirtyCull = kGlCull,
    kDirtyStencil = kGlStencil,
    kDirtyFill = kGlFill,
    kDirtyDepthBias = kGlDepthBias,
    kDirtyScissor = kGlScissor,
    kDirtyDither = kGlDither,
    kDirtyAll = kGlAll,
  };

  GlDevice(IDirect3D9* direct3d, HWND focusWindow, HWND deviceWindow, std::shared_ptr<SDL_Window> window);
  ~GlDevice();

  HRESULT InitialiseContext();
  HRESULT ApplyPresentParameters(D3DPRESENT_PARAMETERS& pp);
  bool StartFrame();
  bool WindowFits(int drawableWidth, int drawableHeight) const;
  Placement PlacementIn(int drawableWidth, int drawableHeight) const;
  Placement PlacementOf(Target target, int drawableWidth, int drawableHeight) const;
  // Clears the window outside the picture drawn scaled into it.
  void ClearLetterbox(const Placement& place);
  // Whether a GL rectangle holds all of the back buffer where it lives now.
  bool CoversPicture(const GlRect& rect) const;
  // The framebuffer to read a picture of the back buffer's size from, placed in the window as
  // `place` says: the window's own, or, for a scaled picture, resolve_ with the picture scaled back
  // down. False when there is no memory for that.
  bool ReadableWindow(const Placement& place, GLuint& framebuffer);
  HRESULT CreateFramebuffers();
  HRESULT CreateColourBuffer(ColourBuffer& buffer);
  void DestroyBuffers();
  void ClearWhole(GLuint framebuffer);
  void CopyToWindow(int drawableWidth, int drawableHeight);
  // Called before anything writes colour into the back buffer: a picture presented in the
  // window, about to be drawn over before the next Present, is copied aside first.
  void WritingBackBuffer();
  bool KeepWindowPicture();
  // Carries out the colour clears held back, into the back buffer's place now.
  void CarryOutColourClears();
  HRESULT ReadRows(GLuint framebuffer, LONG left, LONG top, LONG width, LONG height, void* bits, int pitch);
  void SetFullScreen(bool fullScreen);
  void ResetStates();
  void ResetFixedFunction();
  void Changed(Change group) { changes_[static_cast<unsigned>(group)] = ++changeCounter_; }
  // Checks a draw and sends it to the fixed-function pipeline.
  HRESULT Draw(D3DPRIMITIVETYPE type, UINT primitiveCount, bool indexed, INT baseVertex, UINT first,
               UINT minVertexIndex, UINT numVertices);
  void ApplySamplers();
  void ApplyRenderStates(std::uint32_t groups);
  void UpdateLoss();
  void ConfigurePacing();
  static std::uint32_t GroupOf(DWORD state);
  // The buffers (GL_DEPTH_BUFFER_BIT, GL_STENCIL_BUFFER_BIT) a draw under the render states may
  // read or write, as ApplyRenderStates sets GL up.
  GLbitfield DepthStencilUsedByStates() const;

  ULONG refs_ = 1;
  IDirect3D9* direct3d_;
  HWND focusWindow_;
  HWND deviceWindow_;
  std::shared_ptr<SDL_Window> window_;
  SDL_GLContext context_ = nullptr;
  bool anisotropy_ = false;
  bool mirrorClampToEdge_ = false;
  bool pbuffer_ = false;  // SDL's offscreen driver: the window is an EGL pbuffer of fixed size
  WindowFormat windowFormat_{};
  SDL_Rect windowed_{};  // where the window was before the device made it full screen

  D3DPRESENT_PARAMETERS pp_{};
  Target target_ = Target::kFramebuffer;
  Placement place_{};       // of the frame drawn into the window
  Placement frontPlace_{};  // of the picture presented in the window
  bool letterboxCleared_ = false;  // this frame's clears left the letterbox black
  Front front_ = Front::kBlack;
  bool frameStarted_ = false;  // the frame has been cleared or drawn into since Present or Reset
  bool presenting_ = false;    // inside Present: what is written is the picture presented next
  int depthWanted_ = 0;  // the bits the depth-stencil format promises
  int stencilWanted_ = 0;
  // Our framebuffers, made when the back buffer first has to live outside the window.
  std::array<ColourBuffer, 2> buffers_{};
  unsigned back_ = 0;  // index of the back buffer in buffers_; the other is the front
  ColourBuffer resolve_{};  // a scaled picture read back at the back buffer's size
  GLuint depth_ = 0;   // renderbuffer shared by both framebuffers
  int depthBits_ = 0;  // of depth_
  std::vector<std::uint32_t> kept_;  // the last picture presented in the window, bottom row first
  // A depth or stencil clear not yet carried out: the buffers, a rectangle already clipped to the
  // viewport (GL window coordinates) and the values. In the order of the Clear calls.
  struct HeldClear {
    GLbitfield buffers;
    GlRect rect;
    float z;
    GLint stencil;
  };
  std::vector<HeldClear> heldClears_;
  GLbitfield heldBuffers_ = 0;  // the union of their buffers
  // Colour clears not yet carried out, in order: carried out before the first draw, read of the
  // back buffer or Present, so that a frame of clears and sprites leaves the picture presented
  // last in the window untouched until its own Present.
  struct HeldColourClear {
    GlRect rect;
    std::array<GLfloat, 4> colour;
  };
  std::vector<HeldColourClear> heldColour_;
  int DepthBits() const { return DrawsIntoWindow() ? windowFormat_.depth : depthBits_; }
  bool fullScreen_ = false;
  std::unique_ptr<BackBufferSurface> backBufferSurface_;

  std::array<DWORD, D3D_MAX_RENDERSTATE> renderStates_{};
  // Fixed-function state: transforms (view, projection, 8 texture, 256 world) and lights.
  std::array<D3DMATRIX, kTransformCount> transforms_{};
  std::map<DWORD, D3DLIGHT9> lights_;
  std::set<DWORD> enabledLights_;
  D3DMATERIAL9 material_{};
  std::array<std::array<DWORD, kStageStateCount>, kTextureStages> stageStates_{};
  std::array<std::uint64_t, static_cast<unsigned>(Change::kCount)> changes_{};
  std::uint64_t changeCounter_ = 0;
  // Vertex streams (only stream 0 is drawn from: vertices come in one stream with an FVF) and
  // indices; the device keeps no reference on them, a buffer unbinds itself as it goes.
  struct Stream {
    GlVertexBuffer* buffer = nullptr;
    UINT offset = 0;
    UINT stride = 0;
  };
  static constexpr unsigned kStreams = 16;
  std::array<Stream, kStreams> streams_{};
  GlIndexBuffer* indices_ = nullptr;
  DWORD fvf_ = 0;
  std::unique_ptr<FixedFunction> fixed_;
  std::array<std::array<DWORD, D3D_MAX_SAMPLERSTATE>, kSamplerCount> samplerStates_{};
  std::array<GLuint, kTextureUnits> samplers_{};
  std::uint32_t dirty_ = kDirtyAll;
  std::uint32_t dirtySamplers_ = 0;
  std::uint64_t stateSerial_ = 0;
  std::uint64_t samplerSerial_ = 0;
  D3DVIEWPORT9 viewport_{};

  bool inScene_ = false;
  bool mustReset_ = false;  // lost, or a Reset failed: only Reset brings the device back
  std::uint64_t deactivationsSeen_ = 0;

  std::set<const void*> liveObjects_;
  std::set<const void*> lostObjects_;
  std::set<const void*> defaultPool_;

  std::array<GlTexture*, kTextureUnits> textures_{};
  GLint maxTextureSize_ = 0;
  std::unique_ptr<QuadBatch> quads_;
  HeldDrawing* held_ = nullptr;
  bool destinationAlpha_ = false;  // sticky until Reset

  FramePacer pacer_;
  std::function<void()> beforeSwap_;
};

}  // namespace zr::d3d9
