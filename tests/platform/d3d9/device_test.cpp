// The device: creation and its checks, reference counting, states and how they reach GL, scenes,
// depth and stencil, surfaces.
#include <win32_internal.h>

#include <cstdlib>

#include "d3d9_test_support.h"

using namespace d3d9test;

namespace {

HRESULT Create(HWND focus, D3DPRESENT_PARAMETERS pp, DWORD flags = D3DCREATE_SOFTWARE_VERTEXPROCESSING,
               D3DDEVTYPE type = D3DDEVTYPE_HAL, UINT adapter = 0) {
  Ref<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
  Ref<IDirect3DDevice9> device;
  HRESULT hr = d3d->CreateDevice(adapter, type, focus, flags, &pp, device.out());
  EXPECT_EQ(SUCCEEDED(hr), static_cast<bool>(device)) << "a device exactly when creation succeeds";
  return hr;
}

GLint Int(GLenum what) {
  GLint v = 0;
  glGetIntegerv(what, &v);
  return v;
}

}  // namespace

TEST(CreateDevice, ChecksItsArgumentsAndWritesBackWhatTookEffect) {
  EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION + 1), nullptr);
  TestWindow window;
  HWND w = window.handle();
  D3DPRESENT_PARAMETERS pp = Windowed(w);
  Ref<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
  Ref<IDirect3DDevice9> device;
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, w, D3DCREATE_MIXED_VERTEXPROCESSING, &pp, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, w, D3DCREATE_MIXED_VERTEXPROCESSING, nullptr, device.out()),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(Create(w, pp, D3DCREATE_MIXED_VERTEXPROCESSING, D3DDEVTYPE_HAL, 1), D3DERR_INVALIDCALL) << "adapter 1";
  EXPECT_EQ(Create(w, pp, 0), D3DERR_INVALIDCALL) << "no vertex processing named";
  EXPECT_EQ(Create(w, pp, D3DCREATE_MIXED_VERTEXPROCESSING, D3DDEVTYPE_SW), D3DERR_INVALIDCALL);
  EXPECT_EQ(Create(w, pp, D3DCREATE_MIXED_VERTEXPROCESSING, D3DDEVTYPE_REF), D3D_OK);
  EXPECT_EQ(Create(nullptr, Windowed(nullptr)), D3DERR_INVALIDCALL);
  EXPECT_EQ(Create(reinterpret_cast<HWND>(0x7777), Windowed(reinterpret_cast<HWND>(0x7777))), D3DERR_INVALIDCALL);
  EXPECT_EQ(Create(w, Windowed(nullptr)), D3D_OK) << "the focus window serves when no device window is named";
  std::pair<const char*, void (*)(D3DPRESENT_PARAMETERS&)> refused[] = {
      {"16-bit colour", [](auto& p) { p.BackBufferFormat = D3DFMT_R5G6B5; }},
      {"full screen, format unknown", [](auto& p) { p.Windowed = FALSE, p.BackBufferWidth = p.BackBufferHeight = 64; }},
      {"full screen, no width", [](auto& p) { p = FullScreen(p.hDeviceWindow, 0, 64); }},
      {"depth of unknown format", [](auto& p) { p.EnableAutoDepthStencil = TRUE; }},
      {"depth of a colour format",
       [](auto& p) { p.EnableAutoDepthStencil = TRUE, p.AutoDepthStencilFormat = D3DFMT_X8R8G8B8; }},
      {"interval 3", [](auto& p) { p.PresentationInterval = 3; }},
      {"no swap effect", [](auto& p) { p.SwapEffect = static_cast<D3DSWAPEFFECT>(0); }},
      {"4 back buffers", [](auto& p) { p.BackBufferCount = 4; }},
      {"refresh rate when windowed", [](auto& p) { p.FullScreen_RefreshRateInHz = 60; }},
      {"multisampling", [](auto& p) { p.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES; }},
  };
  for (auto [what, change] : refused) {
    D3DPRESENT_PARAMETERS changed = Windowed(w);
    change(changed);
    EXPECT_EQ(Create(w, changed), D3DERR_INVALIDCALL) << what;
  }
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, w, D3DCREATE_MIXED_VERTEXPROCESSING, &pp, device.out()), D3D_OK);
  EXPECT_EQ(std::vector<UINT>({pp.BackBufferWidth, pp.BackBufferHeight, pp.BackBufferCount, pp.BackBufferFormat}),
            std::vector<UINT>({320, 240, 1, D3DFMT_X8R8G8B8}))
      << "0 by 0 takes the client area";
  EXPECT_TRUE(static_cast<zr::d3d9::GlDevice*>(device.get())->DrawsIntoWindow());
}

TEST(States, AreCheckedAndKept) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 64, 48), d);
  std::uint64_t serial = d.gl()->StateSerial();
  EXPECT_EQ(d->SetRenderState(D3DRS_ALPHAREF, 0x80), D3D_OK);
  EXPECT_NE(d.gl()->StateSerial(), serial) << "backends see that a state changed";
  EXPECT_EQ(d.gl()->RenderState(D3DRS_ALPHAREF), 0x80u);
  DWORD v = 0;
  for (DWORD bad : {0u, 6u, 138u, 153u, 196u, 210u}) {
    EXPECT_EQ(d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(bad), 1), D3DERR_INVALIDCALL) << bad;
    EXPECT_EQ(d->GetRenderState(static_cast<D3DRENDERSTATETYPE>(bad), &v), D3DERR_INVALIDCALL) << bad;
  }
  EXPECT_EQ(d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(129), 1), D3D_OK) << "D3DRS_WRAP1";
  EXPECT_EQ(d->SetSamplerState(260, D3DSAMP_MINFILTER, D3DTEXF_LINEAR), D3D_OK);
  EXPECT_EQ(d->GetSamplerState(259, D3DSAMP_MINFILTER, &v), D3D_OK);
  EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_POINT)) << "samplers are separate";
  EXPECT_EQ(d->SetSamplerState(16, D3DSAMP_MINFILTER, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(14), 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->GetSamplerState(0, D3DSAMP_ADDRESSU, nullptr), D3DERR_INVALIDCALL);
  // Viewports lie inside the back buffer, depths inside 0..1.
  for (D3DVIEWPORT9 bad : {D3DVIEWPORT9{0, 0, 65, 48, 0, 1}, D3DVIEWPORT9{10, 10, 55, 38, 0, 1},
                           D3DVIEWPORT9{0, 0, 8, 8, 0, 1.5f}, D3DVIEWPORT9{0, 0, 0, 8, 0, 1}})
    EXPECT_EQ(d->SetViewport(&bad), D3DERR_INVALIDCALL) << bad.Width;
  D3DVIEWPORT9 view{10, 10, 54, 38, 0, 1};
  EXPECT_EQ(d->SetViewport(&view), D3D_OK);
}

TEST_P(OnBothTargets, PrepareDrawCarriesStatesToGlAndClearLeavesNoTrace) {
  Target t(GetParam(), 64, 48);
  Device& d = t.d;
  D3DVIEWPORT9 v{8, 4, 32, 16, 0.25f, 0.75f};
  ASSERT_EQ(d->SetViewport(&v), D3D_OK);
  d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  d->SetRenderState(D3DRS_COLORWRITEENABLE, 0x5);
  d->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "first draw" : "after a Clear");
    ASSERT_TRUE(d.gl()->PrepareDraw());
    EXPECT_EQ(static_cast<GLuint>(Int(GL_FRAMEBUFFER_BINDING)), d.gl()->BackBufferFramebuffer());
    GLint view[4] = {};
    glGetIntegerv(GL_VIEWPORT, view);
    EXPECT_EQ(std::vector<GLint>(view, view + 4), std::vector<GLint>({8, 48 - 4 - 16, 32, 16})) << "bottom row first";
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST)) << "no depth was asked for, whatever the window has";
    EXPECT_EQ(Int(GL_FRONT_FACE) * 10000 + Int(GL_CULL_FACE_MODE), GL_CW * 10000 + GL_FRONT)
        << "D3D's clockwise faces are GL's front faces";
    GLboolean mask[4] = {};
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    EXPECT_EQ(mask[0] * 1000 + mask[1] * 100 + mask[2] * 10 + mask[3], 1010);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    glActiveTexture(GL_TEXTURE1);
    GLint filter = 0;
    glGetSamplerParameteriv(static_cast<GLuint>(Int(GL_SAMPLER_BINDING)), GL_TEXTURE_MAG_FILTER, &filter);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(filter, GL_LINEAR);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // Clear writes every channel whatever the masks say; the next draw gets them back.
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0), D3D_OK);
  }
  EXPECT_EQ(d->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->Clear(0, nullptr, 0, 0, 1, 0), D3DERR_INVALIDCALL);
  // Scenes do not nest, and Present waits for the end of one.
  EXPECT_EQ(d->EndScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->BeginScene(), D3D_OK);
  EXPECT_EQ(d->BeginScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->EndScene(), D3D_OK);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

// In a window of its size the back buffer uses the window's depth and stencil buffers when they
// hold what was asked for; else it lives in a framebuffer of ours with a depth buffer of its own.
TEST(Clear, DepthAndStencilOnlyWhenAskedFor) {
  for (int side : {320, 16}) {
    TestWindow window(side, side);
    for (D3DFORMAT format : {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D32}) {
      SCOPED_TRACE(std::to_string(side) + " window, format " + std::to_string(format));
      D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 16, 16);
      pp.EnableAutoDepthStencil = TRUE;
      pp.AutoDepthStencilFormat = format;
      Device d;
      MakeDevice(window.handle(), pp, d);
      bool stencil = format == D3DFMT_D24S8;
      EXPECT_EQ(d.gl()->HasStencilBuffer(), stencil);
      ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_ZBUFFER | (stencil ? D3DCLEAR_STENCIL : 0), 0, 0.5f, 0x5A), D3D_OK);
      EXPECT_EQ(d->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1, 0), stencil ? D3D_OK : D3DERR_INVALIDCALL);
      ASSERT_TRUE(d.gl()->PrepareDraw());
      EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << "ZENABLE starts TRUE with a depth buffer";
      bool window = d.gl()->DrawsIntoWindow();
      EXPECT_TRUE(side == 16 || !window) << "a window of another size";
      GLint bits[2] = {};  // depth, stencil
      glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, window ? GL_DEPTH : GL_DEPTH_ATTACHMENT,
                                            GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &bits[0]);
      glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, window ? GL_STENCIL : GL_DEPTH_ATTACHMENT,
                                            GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE, &bits[1]);
      glGetError();  // a window without a stencil buffer has no size to tell
      int want = format == D3DFMT_D16 ? 16 : 24;
      EXPECT_TRUE(window || format == D3DFMT_D32 ? bits[0] >= want : bits[0] == want) << bits[0];
      EXPECT_GE(bits[1], stencil ? 8 : 0);
      float depth = 0;
      glReadPixels(3, 3, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
      EXPECT_NEAR(depth, 0.5f, 1.0f / 65535) << "the depth buffer was cleared to z";
    }
  }
}

TEST(Surfaces, HoldTheirDeviceWhichHoldsItsDirect3DAndLockOnceWhenPlain) {
  TestWindow window;
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 48, 36);
  IDirect3DDevice9* device = nullptr;
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window.handle(), D3DCREATE_MIXED_VERTEXPROCESSING, &pp, &device),
            D3D_OK);
  EXPECT_EQ(d3d->Release(), 1u) << "the device keeps a reference";
  IDirect3DSurface9* back = nullptr;
  ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(back->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(std::vector<UINT>({desc.Width, desc.Height, desc.Format, desc.Usage, desc.Pool}),
            std::vector<UINT>({48, 36, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT}));
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(back->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
  Ref<IDirect3DSurface9> s;
  EXPECT_EQ(device->GetBackBuffer(0, 1, D3DBACKBUFFER_TYPE_MONO, s.out()), D3DERR_INVALIDCALL);
  for (D3DPOOL pool : {D3DPOOL_SYSTEMMEM, D3DPOOL_SCRATCH, D3DPOOL_DEFAULT}) {
    ASSERT_EQ(device->CreateOffscreenPlainSurface(7, 5, D3DFMT_A8R8G8B8, pool, s.out(), nullptr), D3D_OK);
    ASSERT_EQ(s->LockRect(&locked, nullptr, 0), D3D_OK);
    EXPECT_GE(locked.Pitch, 28);
    static_cast<std::uint32_t*>(locked.pBits)[2 * locked.Pitch / 4 + 3] = 0xCAFEF00D;
    EXPECT_EQ(s->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(s->UnlockRect(), D3D_OK);
    EXPECT_EQ(s->UnlockRect(), D3DERR_INVALIDCALL);
    RECT part{3, 2, 5, 4};
    ASSERT_EQ(s->LockRect(&locked, &part, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<std::uint32_t*>(locked.pBits), 0xCAFEF00Du) << "the locked part starts at its top left";
    s->UnlockRect();
  }
  HANDLE shared = nullptr;
  EXPECT_EQ(device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, s.out(), &shared),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device->CreateOffscreenPlainSurface(4, 4, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, s.out(), nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, s.out(), nullptr),
            D3DERR_INVALIDCALL);
  // The window goes first; the device still draws and presents into its SDL window.
  ASSERT_TRUE(DestroyWindow(window.handle()));
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1, 0), D3D_OK);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(FrontBuffer(device, 48, 36).at(0, 0), kRed);
  EXPECT_EQ(device->Release(), 1u) << "the back buffer holds the device";
  EXPECT_EQ(back->Release(), 0u);  // the device and its Direct3D go with it; LeakSanitizer checks
}

// Run with MESA_GL_VERSION_OVERRIDE=3.1: the driver then offers no OpenGL 3.3 core context.
TEST(WithoutGl33, CreateDeviceFailsCleanly) {
  ASSERT_NE(std::getenv("MESA_GL_VERSION_OVERRIDE"), nullptr) << "set MESA_GL_VERSION_OVERRIDE=3.1";
  TestWindow window;
  EXPECT_EQ(Create(window.handle(), Windowed(window.handle())), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(Create(window.handle(), FullScreen(window.handle(), 64, 64)), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(SDL_GetWindowFlags(zr::win32::SdlWindowOf(window.handle())) & SDL_WINDOW_FULLSCREEN, 0u)
      << "a failed full-screen device leaves the window as it was";
}
