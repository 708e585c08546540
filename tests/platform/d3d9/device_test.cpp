// The device: creation and its checks, reference counting, states, scenes, clearing and surfaces.
#include <win32_internal.h>

#include <bit>
#include <cstdlib>

#include "d3d9_test_support.h"

using namespace d3d9test;

namespace {

constexpr D3DCOLOR kRed = D3DCOLOR_XRGB(0xFF, 0, 0);
constexpr D3DCOLOR kBlue = D3DCOLOR_XRGB(0, 0, 0xFF);

HRESULT Create(HWND focus, D3DPRESENT_PARAMETERS pp, DWORD flags = D3DCREATE_SOFTWARE_VERTEXPROCESSING,
               D3DDEVTYPE type = D3DDEVTYPE_HAL) {
  Ref<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
  Ref<IDirect3DDevice9> device;
  HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, type, focus, flags, &pp, device.out());
  EXPECT_EQ(SUCCEEDED(hr), static_cast<bool>(device)) << "a device exactly when creation succeeds";
  return hr;
}

GLint Int(GLenum what) {
  GLint v = 0;
  glGetIntegerv(what, &v);
  return v;
}

}  // namespace

TEST(Direct3D, CountsReferencesAndRefusesOtherSdkVersions) {
  EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION + 1), nullptr);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  void* same = nullptr;
  EXPECT_EQ(d3d->QueryInterface(IID_IUnknown, &same), S_OK);
  EXPECT_EQ(same, static_cast<IUnknown*>(d3d));
  EXPECT_EQ(d3d->QueryInterface(IID_IDirect3DDevice9, &same), E_NOINTERFACE);
  EXPECT_EQ(same, nullptr);
  EXPECT_EQ(d3d->Release(), 1u);
  EXPECT_EQ(d3d->Release(), 0u);
}

TEST(CreateDevice, ChecksItsArgumentsAndPresentParameters) {
  TestWindow window;
  HWND w = window.handle();
  D3DPRESENT_PARAMETERS pp = Windowed(w);
  Ref<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
  Ref<IDirect3DDevice9> device;
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, w, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, w, D3DCREATE_HARDWARE_VERTEXPROCESSING, nullptr, device.out()),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d->CreateDevice(1, D3DDEVTYPE_HAL, w, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, device.out()),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(Create(w, pp, 0), D3DERR_INVALIDCALL) << "no vertex processing named";
  EXPECT_EQ(Create(w, pp, D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DDEVTYPE_SW), D3DERR_INVALIDCALL);
  EXPECT_EQ(Create(w, pp, D3DCREATE_MIXED_VERTEXPROCESSING, D3DDEVTYPE_REF), D3D_OK);
  EXPECT_EQ(Create(nullptr, Windowed(nullptr)), D3DERR_INVALIDCALL);
  HWND unknown = reinterpret_cast<HWND>(0x7777);
  EXPECT_EQ(Create(unknown, Windowed(unknown)), D3DERR_INVALIDCALL);
  EXPECT_EQ(Create(w, Windowed(nullptr)), D3D_OK) << "the focus window serves when no device window is named";

  struct Case {
    const char* what;
    void (*change)(D3DPRESENT_PARAMETERS&);
    HRESULT expected;
  };
  const Case cases[] = {
      {"16-bit colour", [](auto& p) { p.BackBufferFormat = D3DFMT_R5G6B5; }, D3DERR_INVALIDCALL},
      {"A8R8G8B8", [](auto& p) { p.BackBufferFormat = D3DFMT_A8R8G8B8; }, D3D_OK},
      {"full screen, format unknown", [](auto& p) { p.Windowed = FALSE, p.BackBufferWidth = 64, p.BackBufferHeight = 64; },
       D3DERR_INVALIDCALL},
      {"full screen, no width",
       [](auto& p) { p.Windowed = FALSE, p.BackBufferFormat = D3DFMT_X8R8G8B8, p.BackBufferHeight = 64; },
       D3DERR_INVALIDCALL},
      {"depth of unknown format", [](auto& p) { p.EnableAutoDepthStencil = TRUE; }, D3DERR_INVALIDCALL},
      {"depth of a colour format",
       [](auto& p) { p.EnableAutoDepthStencil = TRUE, p.AutoDepthStencilFormat = D3DFMT_X8R8G8B8; },
       D3DERR_INVALIDCALL},
      {"depth format without depth", [](auto& p) { p.AutoDepthStencilFormat = D3DFMT_X8R8G8B8; }, D3D_OK},
      {"interval 3", [](auto& p) { p.PresentationInterval = 3; }, D3DERR_INVALIDCALL},
      {"no swap effect", [](auto& p) { p.SwapEffect = static_cast<D3DSWAPEFFECT>(0); }, D3DERR_INVALIDCALL},
      {"4 back buffers", [](auto& p) { p.BackBufferCount = 4; }, D3DERR_INVALIDCALL},
      {"refresh rate when windowed", [](auto& p) { p.FullScreen_RefreshRateInHz = 60; }, D3DERR_INVALIDCALL},
      {"multisampling", [](auto& p) { p.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES; }, D3DERR_INVALIDCALL},
  };
  for (const Case& c : cases) {
    D3DPRESENT_PARAMETERS changed = Windowed(w);
    c.change(changed);
    EXPECT_EQ(Create(w, changed), c.expected) << c.what;
  }
}

TEST(CreateDevice, WritesBackTheParametersAsTheyTookEffect) {
  TestWindow window(300, 200);
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle());
  Ref<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
  Ref<IDirect3DDevice9> device;
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window.handle(), D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                              device.out()),
            D3D_OK);
  RECT client{};
  ASSERT_TRUE(GetClientRect(window.handle(), &client));
  EXPECT_EQ(pp.BackBufferWidth, static_cast<UINT>(client.right)) << "0 by 0 takes the client area";
  EXPECT_EQ(pp.BackBufferHeight, static_cast<UINT>(client.bottom));
  EXPECT_EQ(pp.BackBufferCount, 1u);
  EXPECT_EQ(pp.BackBufferFormat, D3DFMT_X8R8G8B8);
}

TEST(Device, HoldsItsDirect3DAndItsWindow) {
  TestWindow window;
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 64, 64);
  IDirect3DDevice9* device = nullptr;
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window.handle(), D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
            D3D_OK);
  EXPECT_EQ(d3d->Release(), 1u) << "the device keeps a reference";
  IDirect3D9* again = nullptr;
  ASSERT_EQ(device->GetDirect3D(&again), D3D_OK);
  EXPECT_EQ(again, d3d);
  EXPECT_EQ(again->Release(), 1u);
  // The window goes first; the device still draws and presents into its SDL window.
  ASSERT_TRUE(DestroyWindow(window.handle()));
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1, 0), D3D_OK);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(FrontBuffer(device, 64, 64)[0], kRed);
  EXPECT_EQ(device->Release(), 0u);
}

TEST(States, StartAtTheirDocumentedDefaultsAndKeepWhatIsSet) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 64, 64), d);
  const std::pair<D3DRENDERSTATETYPE, DWORD> defaults[] = {
      {D3DRS_ZENABLE, D3DZB_FALSE},  // no depth buffer was asked for
      {D3DRS_ZWRITEENABLE, TRUE},          {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
      {D3DRS_ALPHATESTENABLE, FALSE},      {D3DRS_ALPHAREF, 0},
      {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},    {D3DRS_ALPHABLENDENABLE, FALSE},
      {D3DRS_SRCBLEND, D3DBLEND_ONE},      {D3DRS_DESTBLEND, D3DBLEND_ZERO},
      {D3DRS_CULLMODE, D3DCULL_CCW},       {D3DRS_LIGHTING, TRUE},
      {D3DRS_FILLMODE, D3DFILL_SOLID},     {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
      {D3DRS_COLORWRITEENABLE, 0xF},       {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
      {D3DRS_FOGEND, std::bit_cast<DWORD>(1.0f)}, {D3DRS_POINTSIZE_MAX, std::bit_cast<DWORD>(64.0f)},
      {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
  };
  for (auto [state, value] : defaults) {
    DWORD v = 0xDEADBEEF;
    EXPECT_EQ(d.device->GetRenderState(state, &v), D3D_OK);
    EXPECT_EQ(v, value) << "render state " << state;
  }
  for (DWORD sampler : {0u, 15u, 256u, 260u}) {
    DWORD min = 0, mip = 9, address = 0;
    d.device->GetSamplerState(sampler, D3DSAMP_MINFILTER, &min);
    d.device->GetSamplerState(sampler, D3DSAMP_MIPFILTER, &mip);
    d.device->GetSamplerState(sampler, D3DSAMP_ADDRESSV, &address);
    EXPECT_EQ(min, static_cast<DWORD>(D3DTEXF_POINT));
    EXPECT_EQ(mip, static_cast<DWORD>(D3DTEXF_NONE));
    EXPECT_EQ(address, static_cast<DWORD>(D3DTADDRESS_WRAP));
  }

  std::uint64_t serial = d.gl()->StateSerial();
  EXPECT_EQ(d.device->SetRenderState(D3DRS_ALPHAREF, 0x80), D3D_OK);
  EXPECT_NE(d.gl()->StateSerial(), serial) << "backends see that a state changed";
  EXPECT_EQ(d.gl()->RenderState(D3DRS_ALPHAREF), 0x80u);
  DWORD v = 0;
  for (DWORD bad : {0u, 6u, 138u, 153u, 196u, 210u}) {
    EXPECT_EQ(d.device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(bad), 1), D3DERR_INVALIDCALL) << bad;
    EXPECT_EQ(d.device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(bad), &v), D3DERR_INVALIDCALL) << bad;
  }
  EXPECT_EQ(d.device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(129), 1), D3D_OK) << "D3DRS_WRAP1";
  EXPECT_EQ(d.device->SetSamplerState(3, D3DSAMP_MINFILTER, D3DTEXF_LINEAR), D3D_OK);
  EXPECT_EQ(d.device->GetSamplerState(3, D3DSAMP_MINFILTER, &v), D3D_OK);
  EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_LINEAR));
  EXPECT_EQ(d.device->GetSamplerState(2, D3DSAMP_MINFILTER, &v), D3D_OK);
  EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_POINT)) << "samplers are separate";
  EXPECT_EQ(d.device->SetSamplerState(16, D3DSAMP_MINFILTER, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(14), 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->GetSamplerState(0, D3DSAMP_ADDRESSU, nullptr), D3DERR_INVALIDCALL);
}

TEST(States, PrepareDrawCarriesThemToGlAndClearLeavesNoTrace) {
  TestWindow window;
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 64, 48);
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D24S8;
  Device d;
  MakeDevice(window.handle(), pp, d);
  D3DVIEWPORT9 v{8, 4, 32, 16, 0.25f, 0.75f};
  ASSERT_EQ(d.device->SetViewport(&v), D3D_OK);
  d.device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  d.device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  d.device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  d.device->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
  d.device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  d.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  d.device->SetRenderState(D3DRS_COLORWRITEENABLE, 0x5);
  d.device->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "first draw" : "after a Clear");
    ASSERT_TRUE(d.gl()->PrepareDraw());
    EXPECT_EQ(static_cast<GLuint>(Int(GL_FRAMEBUFFER_BINDING)), d.gl()->BackBufferFramebuffer());
    GLint view[4] = {};
    glGetIntegerv(GL_VIEWPORT, view);
    EXPECT_EQ(view[0] * 1000 + view[1], 8004) << "D3D's Y is GL's y: rows are stored top first";
    EXPECT_EQ(view[2] * 1000 + view[3], 32016);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(Int(GL_BLEND_SRC_RGB), GL_SRC_ALPHA);
    EXPECT_EQ(Int(GL_BLEND_DST_ALPHA), GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(Int(GL_DEPTH_FUNC), GL_GREATER);
    EXPECT_EQ(Int(GL_DEPTH_WRITEMASK), GL_FALSE);
    EXPECT_EQ(Int(GL_CULL_FACE_MODE), GL_FRONT) << "D3D's clockwise faces are GL's front faces";
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
    // Clear writes every channel and depth whatever the masks say; the next draw gets them back.
    ASSERT_EQ(d.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1, 0), D3D_OK);
  }
}

TEST(Viewport, MustLieInsideTheBackBuffer) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 64, 48), d);
  D3DVIEWPORT9 bad[] = {{0, 0, 65, 48, 0, 1}, {10, 10, 55, 38, 0, 1}, {0, 0, 8, 8, 0, 1.5f}, {0, 0, 0, 8, 0, 1}};
  for (D3DVIEWPORT9& v : bad) EXPECT_EQ(d.device->SetViewport(&v), D3DERR_INVALIDCALL) << v.Width;
  D3DVIEWPORT9 v{10, 10, 54, 38, 0, 1};
  EXPECT_EQ(d.device->SetViewport(&v), D3D_OK);
  D3DVIEWPORT9 got{};
  ASSERT_EQ(d.device->GetViewport(&got), D3D_OK);
  EXPECT_EQ(got.X + got.Width, 64u);
}

TEST(Scene, RefusesWrongNesting) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 32, 32), d);
  EXPECT_EQ(d.device->EndScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->BeginScene(), D3D_OK);
  EXPECT_EQ(d.device->BeginScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL) << "inside a scene";
  EXPECT_EQ(d.device->EndScene(), D3D_OK);
  EXPECT_EQ(d.device->EndScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST(Clear, FillsTheBackBufferWhichShowsAfterPresent) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 40, 30), d);
  for (std::uint32_t p : FrontBuffer(d.device.get(), 40, 30)) ASSERT_EQ(p, 0xFF000000u) << "black before Present";
  ASSERT_EQ(d.device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(0x40, 0x12, 0x34, 0x56), 1, 0), D3D_OK);
  EXPECT_EQ(FrontBuffer(d.device.get(), 40, 30)[0], 0xFF000000u) << "nothing shows before Present";
  ASSERT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  for (std::uint32_t p : FrontBuffer(d.device.get(), 40, 30)) ASSERT_EQ(p, 0xFF123456u) << "X8R8G8B8: alpha stays 1";
  // The next frame is drawn without touching what is shown.
  ASSERT_EQ(d.device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0), D3D_OK);
  EXPECT_EQ(FrontBuffer(d.device.get(), 40, 30)[5], 0xFF123456u);
  ASSERT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(FrontBuffer(d.device.get(), 40, 30)[5], kBlue);

  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 8, 8);
  pp.BackBufferFormat = D3DFMT_A8R8G8B8;
  Device a;
  MakeDevice(window.handle(), pp, a);
  a.device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(0x40, 0x10, 0x20, 0x30), 1, 0);
  a.device->Present(nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(FrontBuffer(a.device.get(), 8, 8)[9], 0x40102030u) << "A8R8G8B8 keeps its alpha";
}

TEST(Clear, RectanglesIncludeTheirTopLeftAndExcludeTheirBottomRight) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 40, 30), d);
  d.device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
  D3DRECT rects[2] = {{5, 3, 12, 9}, {30, 20, 100, 100}};  // the second reaches past the edge
  ASSERT_EQ(d.device->Clear(2, rects, D3DCLEAR_TARGET, kRed, 1, 0), D3D_OK);
  ASSERT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  std::vector<std::uint32_t> px = FrontBuffer(d.device.get(), 40, 30);
  ASSERT_EQ(px.size(), 1200u);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      bool inside = (x >= 5 && x < 12 && y >= 3 && y < 9) || (x >= 30 && y >= 20);
      ASSERT_EQ(px[y * 40 + x], inside ? kRed : kBlue) << "at " << x << "," << y;
    }
}

TEST(Clear, StaysInsideTheViewport) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 40, 30), d);
  d.device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
  D3DVIEWPORT9 v{10, 5, 20, 10, 0, 1};
  ASSERT_EQ(d.device->SetViewport(&v), D3D_OK);
  ASSERT_EQ(d.device->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1, 0), D3D_OK);
  D3DRECT partly{0, 0, 12, 6};
  ASSERT_EQ(d.device->Clear(1, &partly, D3DCLEAR_TARGET, 0xFF00FF00, 1, 0), D3D_OK);
  ASSERT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  std::vector<std::uint32_t> px = FrontBuffer(d.device.get(), 40, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      D3DCOLOR want = kBlue;
      if (x >= 10 && x < 30 && y >= 5 && y < 15) want = (x < 12 && y < 6) ? 0xFF00FF00 : kRed;
      ASSERT_EQ(px[y * 40 + x], want) << "at " << x << "," << y;
    }
}

TEST(Clear, DepthAndStencilOnlyWhenTheBufferExists) {
  TestWindow window;
  Device none;
  MakeDevice(window.handle(), Windowed(window.handle(), 16, 16), none);
  EXPECT_FALSE(none.gl()->HasDepthBuffer());
  EXPECT_EQ(none.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(none.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_STENCIL, 0, 1, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(none.device->Clear(0, nullptr, 0, 0, 1, 0), D3DERR_INVALIDCALL);

  struct Case {
    D3DFORMAT format;
    GLint depthBits;  // 0: at least 24
    bool stencil;
  };
  for (Case c : {Case{D3DFMT_D16, 16, false}, Case{D3DFMT_D24S8, 24, true}, Case{D3DFMT_D32, 0, false}}) {
    SCOPED_TRACE(c.format);
    D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 16, 16);
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = c.format;
    Device d;
    MakeDevice(window.handle(), pp, d);
    EXPECT_EQ(d.gl()->HasStencilBuffer(), c.stencil);
    DWORD flags = D3DCLEAR_ZBUFFER | (c.stencil ? D3DCLEAR_STENCIL : 0);
    ASSERT_EQ(d.device->Clear(0, nullptr, flags, 0, 0.5f, 0x5A), D3D_OK);
    EXPECT_EQ(d.device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1, 0), c.stencil ? D3D_OK : D3DERR_INVALIDCALL);
    glBindFramebuffer(GL_FRAMEBUFFER, d.gl()->BackBufferFramebuffer());
    GLint bits = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE,
                                          &bits);
    EXPECT_TRUE(c.depthBits == 0 ? bits >= 24 : bits == c.depthBits) << bits << " bits";
    float depth = 0;
    glReadPixels(3, 3, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_NEAR(depth, 0.5f, 1.0f / 65535) << "the depth buffer was cleared to z";
  }
}

TEST(BackBuffer, IsARenderTargetThatCannotBeLockedAndHoldsTheDevice) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 48, 36), d);
  IDirect3DSurface9* back = nullptr;
  ASSERT_EQ(d.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(back->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Width * 1000 + desc.Height, 48036u);
  EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(desc.Usage, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
  EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(back->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
  Ref<IDirect3DSurface9> again;
  EXPECT_EQ(d.device->GetBackBuffer(0, 1, D3DBACKBUFFER_TYPE_MONO, again.out()), D3DERR_INVALIDCALL);
  ASSERT_EQ(d.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, again.out()), D3D_OK);
  EXPECT_EQ(again.get(), back);
  again.reset();
  IDirect3DDevice9* device = d.device.release();
  EXPECT_EQ(device->Release(), 1u) << "the surface holds the device";
  EXPECT_EQ(back->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(back->Release(), 0u);  // the device goes with it; LeakSanitizer checks the rest
}

TEST(OffscreenSurface, LocksItsMemoryOnce) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 16, 16), d);
  for (D3DPOOL pool : {D3DPOOL_SYSTEMMEM, D3DPOOL_SCRATCH, D3DPOOL_DEFAULT}) {
    Ref<IDirect3DSurface9> s;
    ASSERT_EQ(d.device->CreateOffscreenPlainSurface(7, 5, D3DFMT_A8R8G8B8, pool, s.out(), nullptr), D3D_OK);
    D3DLOCKED_RECT whole{};
    ASSERT_EQ(s->LockRect(&whole, nullptr, 0), D3D_OK);
    EXPECT_GE(whole.Pitch, 28);
    static_cast<std::uint32_t*>(whole.pBits)[2 * whole.Pitch / 4 + 3] = 0xCAFEF00D;
    D3DLOCKED_RECT twice{};
    EXPECT_EQ(s->LockRect(&twice, nullptr, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(s->UnlockRect(), D3D_OK);
    EXPECT_EQ(s->UnlockRect(), D3DERR_INVALIDCALL);
    RECT part{3, 2, 5, 4};
    ASSERT_EQ(s->LockRect(&twice, &part, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<std::uint32_t*>(twice.pBits), 0xCAFEF00Du) << "the locked part starts at its top left";
    s->UnlockRect();
  }
  Ref<IDirect3DSurface9> s;
  HANDLE shared = nullptr;
  EXPECT_EQ(d.device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, s.out(), &shared),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->CreateOffscreenPlainSurface(4, 4, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, s.out(), nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, s.out(), nullptr),
            D3DERR_INVALIDCALL);
}

TEST(FrontBufferData, FillsTheTopLeftOfASystemMemoryA8R8G8B8Surface) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 20, 10), d);
  d.device->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1, 0);
  D3DRECT corner{19, 9, 20, 10};
  d.device->Clear(1, &corner, D3DCLEAR_TARGET, kBlue, 1, 0);
  ASSERT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

  Ref<IDirect3DSurface9> s;
  for (auto [format, pool] : {std::pair{D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM}, std::pair{D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH}}) {
    ASSERT_EQ(d.device->CreateOffscreenPlainSurface(20, 10, format, pool, s.out(), nullptr), D3D_OK);
    EXPECT_EQ(d.device->GetFrontBufferData(0, s.get()), D3DERR_INVALIDCALL);
  }
  EXPECT_EQ(d.device->GetFrontBufferData(0, nullptr), D3DERR_INVALIDCALL);

  ASSERT_EQ(d.device->CreateOffscreenPlainSurface(25, 12, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, s.out(), nullptr), D3D_OK);
  EXPECT_EQ(d.device->GetFrontBufferData(1, s.get()), D3DERR_INVALIDCALL);
  D3DLOCKED_RECT l{};
  ASSERT_EQ(s->LockRect(&l, nullptr, 0), D3D_OK);
  for (int i = 0; i < 25 * 12; ++i) static_cast<std::uint32_t*>(l.pBits)[i] = 0x01020304;
  s->UnlockRect();
  ASSERT_EQ(d.device->GetFrontBufferData(0, s.get()), D3D_OK);
  ASSERT_EQ(s->LockRect(&l, nullptr, D3DLOCK_READONLY), D3D_OK);
  const auto* px = static_cast<const std::uint32_t*>(l.pBits);
  EXPECT_EQ(px[0], kRed);
  EXPECT_EQ(px[9 * 25 + 19], kBlue) << "bottom right of the picture";
  EXPECT_EQ(px[9 * 25 + 20], 0x01020304u) << "right of the picture: left alone";
  EXPECT_EQ(px[10 * 25 + 0], 0x01020304u) << "below the picture: left alone";
  s->UnlockRect();
  for (std::uint32_t p : FrontBuffer(d.device.get(), 5, 3)) EXPECT_EQ(p, kRed) << "a smaller surface";
}

// Run with MESA_GL_VERSION_OVERRIDE=3.1: the driver then offers no OpenGL 3.3 core context.
TEST(WithoutGl33, CreateDeviceFailsCleanly) {
  ASSERT_NE(std::getenv("MESA_GL_VERSION_OVERRIDE"), nullptr) << "set MESA_GL_VERSION_OVERRIDE=3.1";
  TestWindow window;
  EXPECT_EQ(Create(window.handle(), Windowed(window.handle())), D3DERR_NOTAVAILABLE);
  TestWindow again;
  EXPECT_EQ(Create(again.handle(), FullScreen(again.handle(), 64, 64)), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(SDL_GetWindowFlags(zr::win32::SdlWindowOf(again.handle())) & SDL_WINDOW_FULLSCREEN, 0u)
      << "a failed full-screen device leaves the window as it was";
}
