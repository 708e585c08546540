// The device: creation and its checks, reference counting, states, scenes, clearing and surfaces.
#include <bit>

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

}  // namespace

TEST(Direct3D, RefusesOtherSdkVersions) {
  EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION + 1), nullptr);
  EXPECT_EQ(Direct3DCreate9(0), nullptr);
}

TEST(Direct3D, CountsReferencesAndAnswersForItsInterfaces) {
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  EXPECT_EQ(d3d->AddRef(), 2u);
  void* same = nullptr;
  EXPECT_EQ(d3d->QueryInterface(IID_IUnknown, &same), S_OK);
  EXPECT_EQ(same, static_cast<IUnknown*>(d3d));
  EXPECT_EQ(d3d->QueryInterface(IID_IDirect3D9, &same), S_OK);
  void* none = &same;
  EXPECT_EQ(d3d->QueryInterface(IID_IDirect3DDevice9, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(d3d->Release(), 3u);
  EXPECT_EQ(d3d->Release(), 2u);
  EXPECT_EQ(d3d->Release(), 1u);
  EXPECT_EQ(d3d->Release(), 0u);
}

TEST(CreateDevice, ChecksItsArguments) {
  TestWindow window;
  HWND w = window.handle();
  Ref<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
  D3DPRESENT_PARAMETERS pp = Windowed(w);
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, w, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, nullptr),
            D3DERR_INVALIDCALL);
  Ref<IDirect3DDevice9> device;
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, w, D3DCREATE_HARDWARE_VERTEXPROCESSING, nullptr, device.out()),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d->CreateDevice(1, D3DDEVTYPE_HAL, w, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, device.out()),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(Create(w, pp, 0), D3DERR_INVALIDCALL) << "no vertex processing named";
  EXPECT_EQ(Create(w, pp, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_SOFTWARE_VERTEXPROCESSING),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(Create(w, pp, D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DDEVTYPE_SW), D3DERR_INVALIDCALL);
  EXPECT_EQ(Create(w, pp, D3DCREATE_MIXED_VERTEXPROCESSING, D3DDEVTYPE_REF), D3D_OK);

  D3DPRESENT_PARAMETERS noWindow = Windowed(nullptr);
  EXPECT_EQ(Create(nullptr, noWindow), D3DERR_INVALIDCALL);
  EXPECT_EQ(Create(reinterpret_cast<HWND>(0x7777), Windowed(reinterpret_cast<HWND>(0x7777))), D3DERR_INVALIDCALL);
  EXPECT_EQ(Create(w, noWindow), D3D_OK) << "the focus window serves when no device window is named";
}

TEST(CreateDevice, ChecksPresentParameters) {
  TestWindow window;
  HWND w = window.handle();
  auto with = [&](auto change, D3DPRESENT_PARAMETERS pp) {
    change(pp);
    return Create(w, pp);
  };
  D3DPRESENT_PARAMETERS windowed = Windowed(w);
  D3DPRESENT_PARAMETERS full = FullScreen(w, 640, 480);
  EXPECT_EQ(with([](auto& p) { p.BackBufferFormat = D3DFMT_R5G6B5; }, windowed), D3DERR_INVALIDCALL);
  EXPECT_EQ(with([](auto& p) { p.BackBufferFormat = D3DFMT_A8R8G8B8; }, windowed), D3D_OK);
  EXPECT_EQ(with([](auto& p) { p.BackBufferFormat = D3DFMT_UNKNOWN; }, full), D3DERR_INVALIDCALL);
  EXPECT_EQ(with([](auto& p) { p.BackBufferWidth = 0; }, full), D3DERR_INVALIDCALL);
  EXPECT_EQ(with([](auto& p) { p.EnableAutoDepthStencil = TRUE; }, windowed), D3DERR_INVALIDCALL)
      << "depth with D3DFMT_UNKNOWN";
  EXPECT_EQ(with(
                [](auto& p) {
                  p.EnableAutoDepthStencil = TRUE;
                  p.AutoDepthStencilFormat = D3DFMT_X8R8G8B8;
                },
                windowed),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(with([](auto& p) { p.AutoDepthStencilFormat = D3DFMT_X8R8G8B8; }, windowed), D3D_OK)
      << "the depth format only matters when a depth buffer is asked for";
  EXPECT_EQ(with([](auto& p) { p.PresentationInterval = 3; }, windowed), D3DERR_INVALIDCALL);
  EXPECT_EQ(with([](auto& p) { p.SwapEffect = static_cast<D3DSWAPEFFECT>(0); }, windowed), D3DERR_INVALIDCALL);
  EXPECT_EQ(with([](auto& p) { p.BackBufferCount = 4; }, windowed), D3DERR_INVALIDCALL);
  EXPECT_EQ(with([](auto& p) { p.FullScreen_RefreshRateInHz = 60; }, windowed), D3DERR_INVALIDCALL);
  EXPECT_EQ(with([](auto& p) { p.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES; }, windowed), D3DERR_INVALIDCALL);
}

TEST(CreateDevice, WritesBackTheParametersAsTheyTookEffect) {
  TestWindow window(300, 200);
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle());
  Device d;
  MakeDevice(window.handle(), pp, d);
  RECT client{};
  ASSERT_TRUE(GetClientRect(window.handle(), &client));
  const D3DPRESENT_PARAMETERS& taken = d.gl()->PresentParameters();
  EXPECT_EQ(taken.BackBufferWidth, static_cast<UINT>(client.right));
  EXPECT_EQ(taken.BackBufferHeight, static_cast<UINT>(client.bottom));
  EXPECT_EQ(taken.BackBufferCount, 1u);
  EXPECT_EQ(taken.BackBufferFormat, D3DFMT_X8R8G8B8);

  Ref<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
  Ref<IDirect3DDevice9> device;
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window.handle(), D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                              device.out()),
            D3D_OK);
  EXPECT_EQ(pp.BackBufferWidth, static_cast<UINT>(client.right)) << "the caller's structure is filled in";
  EXPECT_EQ(pp.BackBufferHeight, static_cast<UINT>(client.bottom));
  EXPECT_EQ(pp.BackBufferCount, 1u);
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
  void* unknown = nullptr;
  EXPECT_EQ(device->QueryInterface(IID_IUnknown, &unknown), S_OK);
  EXPECT_EQ(device->Release(), 1u);
  // The window goes first; the device still draws and presents into its SDL window.
  ASSERT_TRUE(DestroyWindow(window.handle()));
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1, 0), D3D_OK);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(FrontBuffer(device, 64, 64)[0], kRed);
  EXPECT_EQ(device->Release(), 0u);
}

TEST(States, StartAtTheirDocumentedDefaults) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 64, 64), d);
  auto rs = [&](D3DRENDERSTATETYPE s) {
    DWORD v = 0xDEADBEEF;
    EXPECT_EQ(d.device->GetRenderState(s, &v), D3D_OK);
    return v;
  };
  EXPECT_EQ(rs(D3DRS_ZENABLE), static_cast<DWORD>(D3DZB_FALSE)) << "no depth buffer was asked for";
  EXPECT_EQ(rs(D3DRS_ZWRITEENABLE), static_cast<DWORD>(TRUE));
  EXPECT_EQ(rs(D3DRS_ZFUNC), static_cast<DWORD>(D3DCMP_LESSEQUAL));
  EXPECT_EQ(rs(D3DRS_ALPHATESTENABLE), static_cast<DWORD>(FALSE));
  EXPECT_EQ(rs(D3DRS_ALPHAREF), 0u);
  EXPECT_EQ(rs(D3DRS_ALPHAFUNC), static_cast<DWORD>(D3DCMP_ALWAYS));
  EXPECT_EQ(rs(D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(FALSE));
  EXPECT_EQ(rs(D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_ONE));
  EXPECT_EQ(rs(D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_ZERO));
  EXPECT_EQ(rs(D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_CCW));
  EXPECT_EQ(rs(D3DRS_LIGHTING), static_cast<DWORD>(TRUE));
  EXPECT_EQ(rs(D3DRS_FILLMODE), static_cast<DWORD>(D3DFILL_SOLID));
  EXPECT_EQ(rs(D3DRS_SHADEMODE), static_cast<DWORD>(D3DSHADE_GOURAUD));
  EXPECT_EQ(rs(D3DRS_COLORWRITEENABLE), 0xFu);
  EXPECT_EQ(rs(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
  EXPECT_EQ(rs(D3DRS_STENCILMASK), 0xFFFFFFFFu);
  EXPECT_EQ(rs(D3DRS_FOGEND), std::bit_cast<DWORD>(1.0f));
  EXPECT_EQ(rs(D3DRS_POINTSIZE_MAX), std::bit_cast<DWORD>(64.0f));
  EXPECT_EQ(rs(D3DRS_DIFFUSEMATERIALSOURCE), static_cast<DWORD>(D3DMCS_COLOR1));
  for (DWORD sampler : {0u, 7u, 15u, 256u, 260u}) {
    auto ss = [&](D3DSAMPLERSTATETYPE t) {
      DWORD v = 0xDEADBEEF;
      EXPECT_EQ(d.device->GetSamplerState(sampler, t, &v), D3D_OK);
      return v;
    };
    EXPECT_EQ(ss(D3DSAMP_MINFILTER), static_cast<DWORD>(D3DTEXF_POINT));
    EXPECT_EQ(ss(D3DSAMP_MAGFILTER), static_cast<DWORD>(D3DTEXF_POINT));
    EXPECT_EQ(ss(D3DSAMP_MIPFILTER), static_cast<DWORD>(D3DTEXF_NONE));
    EXPECT_EQ(ss(D3DSAMP_ADDRESSU), static_cast<DWORD>(D3DTADDRESS_WRAP));
    EXPECT_EQ(ss(D3DSAMP_ADDRESSW), static_cast<DWORD>(D3DTADDRESS_WRAP));
    EXPECT_EQ(ss(D3DSAMP_MAXANISOTROPY), 1u);
  }
  D3DVIEWPORT9 v{};
  ASSERT_EQ(d.device->GetViewport(&v), D3D_OK);
  EXPECT_EQ(v.Width, 64u);
  EXPECT_EQ(v.Height, 64u);
  EXPECT_EQ(v.MaxZ, 1.0f);
}

TEST(States, ZEnableDefaultsOnWithAnAutomaticDepthBuffer) {
  TestWindow window;
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 64, 64);
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D16;
  Device d;
  MakeDevice(window.handle(), pp, d);
  DWORD z = 0;
  ASSERT_EQ(d.device->GetRenderState(D3DRS_ZENABLE, &z), D3D_OK);
  EXPECT_EQ(z, static_cast<DWORD>(D3DZB_TRUE));
}

TEST(States, KeepWhatIsSetAndRefuseUnknownNumbers) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 64, 64), d);
  std::uint64_t serial = d.gl()->StateSerial();
  EXPECT_EQ(d.device->SetRenderState(D3DRS_ALPHAREF, 0x80), D3D_OK);
  EXPECT_NE(d.gl()->StateSerial(), serial) << "backends see that a state changed";
  EXPECT_EQ(d.device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA), D3D_OK);
  DWORD v = 0;
  EXPECT_EQ(d.device->GetRenderState(D3DRS_ALPHAREF, &v), D3D_OK);
  EXPECT_EQ(v, 0x80u);
  EXPECT_EQ(d.gl()->RenderState(D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_SRCALPHA));
  for (DWORD bad : {0u, 1u, 6u, 138u, 153u, 196u, 210u, 0x7FFFFFFFu}) {
    EXPECT_EQ(d.device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(bad), 1), D3DERR_INVALIDCALL) << bad;
    EXPECT_EQ(d.device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(bad), &v), D3DERR_INVALIDCALL) << bad;
  }
  EXPECT_EQ(d.device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(129), 1), D3D_OK) << "D3DRS_WRAP1";
  EXPECT_EQ(d.device->GetRenderState(D3DRS_ZENABLE, nullptr), D3DERR_INVALIDCALL);

  EXPECT_EQ(d.device->SetSamplerState(3, D3DSAMP_MINFILTER, D3DTEXF_LINEAR), D3D_OK);
  EXPECT_EQ(d.device->GetSamplerState(3, D3DSAMP_MINFILTER, &v), D3D_OK);
  EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_LINEAR));
  EXPECT_EQ(d.device->GetSamplerState(2, D3DSAMP_MINFILTER, &v), D3D_OK);
  EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_POINT)) << "samplers are separate";
  EXPECT_EQ(d.device->SetSamplerState(16, D3DSAMP_MINFILTER, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->SetSamplerState(261, D3DSAMP_MINFILTER, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(0), 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(14), 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->GetSamplerState(0, D3DSAMP_ADDRESSU, nullptr), D3DERR_INVALIDCALL);
}

TEST(States, PrepareDrawCarriesThemToGl) {
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
  d.device->SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  ASSERT_TRUE(d.gl()->PrepareDraw());

  GLint i = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &i);
  EXPECT_EQ(static_cast<GLuint>(i), d.gl()->BackBufferFramebuffer());
  GLint view[4] = {};
  glGetIntegerv(GL_VIEWPORT, view);
  EXPECT_EQ(view[0], 8);
  EXPECT_EQ(view[1], 4);
  EXPECT_EQ(view[2], 32);
  EXPECT_EQ(view[3], 16);
  GLfloat range[2] = {};
  glGetFloatv(GL_DEPTH_RANGE, range);
  EXPECT_FLOAT_EQ(range[0], 0.25f);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  glGetIntegerv(GL_BLEND_SRC_RGB, &i);
  EXPECT_EQ(i, GL_SRC_ALPHA);
  glGetIntegerv(GL_BLEND_DST_RGB, &i);
  EXPECT_EQ(i, GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  glGetIntegerv(GL_DEPTH_FUNC, &i);
  EXPECT_EQ(i, GL_GREATER);
  GLboolean b[4] = {};
  glGetBooleanv(GL_DEPTH_WRITEMASK, b);
  EXPECT_FALSE(b[0]);
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  glGetIntegerv(GL_CULL_FACE_MODE, &i);
  EXPECT_EQ(i, GL_FRONT);
  glGetBooleanv(GL_COLOR_WRITEMASK, b);
  EXPECT_TRUE(b[0]);
  EXPECT_FALSE(b[1]);
  EXPECT_TRUE(b[2]);
  EXPECT_FALSE(b[3]);
  glGetIntegerv(GL_SAMPLER_BINDING, &i);  // unit 0 is active
  GLint filter = 0;
  glGetSamplerParameteriv(static_cast<GLuint>(i), GL_TEXTURE_MAG_FILTER, &filter);
  EXPECT_EQ(filter, GL_NEAREST);
  glActiveTexture(GL_TEXTURE1);
  glGetIntegerv(GL_SAMPLER_BINDING, &i);
  glActiveTexture(GL_TEXTURE0);
  glGetSamplerParameteriv(static_cast<GLuint>(i), GL_TEXTURE_MAG_FILTER, &filter);
  EXPECT_EQ(filter, GL_LINEAR);
  glGetSamplerParameteriv(static_cast<GLuint>(i), GL_TEXTURE_WRAP_S, &filter);
  EXPECT_EQ(filter, GL_CLAMP_TO_EDGE);

  // A Clear in between must not leave its own masks behind for the next draw.
  ASSERT_EQ(d.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1, 0), D3D_OK);
  ASSERT_TRUE(d.gl()->PrepareDraw());
  glGetBooleanv(GL_COLOR_WRITEMASK, b);
  EXPECT_FALSE(b[1]);
  glGetBooleanv(GL_DEPTH_WRITEMASK, b);
  EXPECT_FALSE(b[0]);
  EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(Viewport, MustLieInsideTheBackBuffer) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 64, 48), d);
  D3DVIEWPORT9 v{0, 0, 65, 48, 0, 1};
  EXPECT_EQ(d.device->SetViewport(&v), D3DERR_INVALIDCALL);
  v = {10, 10, 54, 38, 0, 1};
  EXPECT_EQ(d.device->SetViewport(&v), D3D_OK);
  v = {10, 10, 55, 38, 0, 1};
  EXPECT_EQ(d.device->SetViewport(&v), D3DERR_INVALIDCALL);
  v = {0, 0, 8, 8, 0, 1.5f};
  EXPECT_EQ(d.device->SetViewport(&v), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->SetViewport(nullptr), D3DERR_INVALIDCALL);
  D3DVIEWPORT9 got{};
  ASSERT_EQ(d.device->GetViewport(&got), D3D_OK);
  EXPECT_EQ(got.X, 10u);
  EXPECT_EQ(got.Width, 54u);
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

TEST(Clear, FillsTheWholeBackBufferWithTheColour) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 40, 30), d);
  std::vector<std::uint32_t> before = FrontBuffer(d.device.get(), 40, 30);
  ASSERT_EQ(before.size(), 1200u);
  for (std::uint32_t p : before) ASSERT_EQ(p, 0xFF000000u) << "black before any Present";

  ASSERT_EQ(d.device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0x12, 0x34, 0x56), 1, 0), D3D_OK);
  EXPECT_EQ(FrontBuffer(d.device.get(), 40, 30)[0], 0xFF000000u) << "nothing shows before Present";
  ASSERT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  for (std::uint32_t p : FrontBuffer(d.device.get(), 40, 30)) ASSERT_EQ(p, 0xFF123456u);

  // The next frame is drawn without touching what is shown.
  ASSERT_EQ(d.device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0), D3D_OK);
  EXPECT_EQ(FrontBuffer(d.device.get(), 40, 30)[5], 0xFF123456u);
  ASSERT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(FrontBuffer(d.device.get(), 40, 30)[5], kBlue);
}

TEST(Clear, KeepsAlphaOnlyInAnA8R8G8B8BackBuffer) {
  TestWindow window;
  Device d;
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 8, 8);
  pp.BackBufferFormat = D3DFMT_A8R8G8B8;
  MakeDevice(window.handle(), pp, d);
  d.device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(0x40, 0x10, 0x20, 0x30), 1, 0);
  d.device->Present(nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(FrontBuffer(d.device.get(), 8, 8)[9], 0x40102030u);

  Device x;
  MakeDevice(window.handle(), Windowed(window.handle(), 8, 8), x);
  x.device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(0x40, 0x10, 0x20, 0x30), 1, 0);
  x.device->Present(nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(FrontBuffer(x.device.get(), 8, 8)[9], 0xFF102030u);
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
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      bool inside = (x >= 5 && x < 12 && y >= 3 && y < 9) || (x >= 30 && y >= 20);
      ASSERT_EQ(px[y * 40 + x], inside ? kRed : kBlue) << "at " << x << "," << y;
    }
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
  ASSERT_EQ(d.device->Clear(1, &partly, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0xFF, 0), 1, 0), D3D_OK);
  ASSERT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  std::vector<std::uint32_t> px = FrontBuffer(d.device.get(), 40, 30);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      D3DCOLOR want = kBlue;
      if (x >= 10 && x < 30 && y >= 5 && y < 15) want = (x < 12 && y < 6) ? D3DCOLOR_XRGB(0, 0xFF, 0) : kRed;
      ASSERT_EQ(px[y * 40 + x], want) << "at " << x << "," << y;
    }
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
  EXPECT_EQ(none.device->Clear(0, nullptr, 0x10, 0, 1, 0), D3DERR_INVALIDCALL);

  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 16, 16);
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D16;
  Device d16;
  MakeDevice(window.handle(), pp, d16);
  EXPECT_TRUE(d16.gl()->HasDepthBuffer());
  EXPECT_FALSE(d16.gl()->HasStencilBuffer());
  EXPECT_EQ(d16.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.5f, 0), D3D_OK);
  EXPECT_EQ(d16.device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1, 0), D3DERR_INVALIDCALL);
  GLint bits = 0;
  glBindFramebuffer(GL_FRAMEBUFFER, d16.gl()->BackBufferFramebuffer());
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE,
                                        &bits);
  EXPECT_EQ(bits, 16);
  float depth = 0;
  glReadPixels(3, 3, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  EXPECT_NEAR(depth, 0.5f, 1.0f / 65535) << "the depth buffer was cleared to z";

  pp.AutoDepthStencilFormat = D3DFMT_D24S8;
  Device d24;
  MakeDevice(window.handle(), pp, d24);
  EXPECT_TRUE(d24.gl()->HasStencilBuffer());
  EXPECT_EQ(d24.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 0.25f, 0x5A), D3D_OK);
  glBindFramebuffer(GL_FRAMEBUFFER, d24.gl()->BackBufferFramebuffer());
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE,
                                        &bits);
  EXPECT_EQ(bits, 24);
  GLint stencil = 0;
  glReadPixels(3, 3, 1, 1, GL_STENCIL_INDEX, GL_INT, &stencil);
  EXPECT_EQ(stencil, 0x5A);

  pp.AutoDepthStencilFormat = D3DFMT_D32;
  Device d32;
  MakeDevice(window.handle(), pp, d32);
  EXPECT_TRUE(d32.gl()->HasDepthBuffer());
  EXPECT_EQ(d32.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1, 0), D3D_OK);
}

TEST(BackBuffer, IsARenderTargetThatCannotBeLocked) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 48, 36), d);
  Ref<IDirect3DSurface9> back;
  ASSERT_EQ(d.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(back->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Width, 48u);
  EXPECT_EQ(desc.Height, 36u);
  EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(desc.Usage, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
  EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
  EXPECT_EQ(back->GetType(), D3DRTYPE_SURFACE);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(back->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
  Ref<IDirect3DDevice9> owner;
  ASSERT_EQ(back->GetDevice(owner.out()), D3D_OK);
  EXPECT_EQ(owner.get(), d.device.get());
  Ref<IDirect3DSurface9> again;
  ASSERT_EQ(d.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, again.out()), D3D_OK);
  EXPECT_EQ(again.get(), back.get());
  EXPECT_EQ(d.device->GetBackBuffer(1, 0, D3DBACKBUFFER_TYPE_MONO, again.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->GetBackBuffer(0, 1, D3DBACKBUFFER_TYPE_MONO, again.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, nullptr), D3DERR_INVALIDCALL);
}

TEST(BackBuffer, KeepsTheDeviceAliveWhileHeld) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 16, 16), d);
  IDirect3DSurface9* back = nullptr;
  ASSERT_EQ(d.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  IDirect3DDevice9* device = d.device.release();
  EXPECT_EQ(device->Release(), 1u) << "the surface holds the device";
  D3DSURFACE_DESC desc{};
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
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(s->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Pool, pool);
    EXPECT_EQ(desc.Width, 7u);
    D3DLOCKED_RECT whole{};
    ASSERT_EQ(s->LockRect(&whole, nullptr, 0), D3D_OK);
    EXPECT_GE(whole.Pitch, 28);
    static_cast<std::uint32_t*>(whole.pBits)[2 * whole.Pitch / 4 + 3] = 0xCAFEF00D;
    D3DLOCKED_RECT twice{};
    EXPECT_EQ(s->LockRect(&twice, nullptr, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(s->UnlockRect(), D3D_OK);
    EXPECT_EQ(s->UnlockRect(), D3DERR_INVALIDCALL);
    RECT part{3, 2, 5, 4};
    D3DLOCKED_RECT sub{};
    ASSERT_EQ(s->LockRect(&sub, &part, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<std::uint32_t*>(sub.pBits), 0xCAFEF00Du) << "the locked part starts at its top left";
    s->UnlockRect();
    RECT outside{3, 2, 8, 4};
    EXPECT_EQ(s->LockRect(&sub, &outside, 0), D3DERR_INVALIDCALL);
  }
  Ref<IDirect3DSurface9> s;
  HANDLE shared = nullptr;
  EXPECT_EQ(d.device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, s.out(), &shared),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->CreateOffscreenPlainSurface(4, 4, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, s.out(), nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, s.out(), nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->CreateOffscreenPlainSurface(0, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, s.out(), nullptr),
            D3DERR_INVALIDCALL);
}

TEST(FrontBufferData, WantsASystemMemoryA8R8G8B8Surface) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 16, 16), d);
  Ref<IDirect3DSurface9> s;
  ASSERT_EQ(d.device->CreateOffscreenPlainSurface(16, 16, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, s.out(), nullptr), D3D_OK);
  EXPECT_EQ(d.device->GetFrontBufferData(0, s.get()), D3DERR_INVALIDCALL);
  ASSERT_EQ(d.device->CreateOffscreenPlainSurface(16, 16, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, s.out(), nullptr), D3D_OK);
  EXPECT_EQ(d.device->GetFrontBufferData(0, s.get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->GetFrontBufferData(0, nullptr), D3DERR_INVALIDCALL);
  Ref<IDirect3DSurface9> back;
  d.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, back.out());
  EXPECT_EQ(d.device->GetFrontBufferData(0, back.get()), D3DERR_INVALIDCALL);
  ASSERT_EQ(d.device->CreateOffscreenPlainSurface(16, 16, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, s.out(), nullptr), D3D_OK);
  EXPECT_EQ(d.device->GetFrontBufferData(1, s.get()), D3DERR_INVALIDCALL);
}

TEST(FrontBufferData, FillsTheTopLeftOfASurfaceOfAnotherSize) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 20, 10), d);
  d.device->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1, 0);
  D3DRECT corner{19, 9, 20, 10};
  d.device->Clear(1, &corner, D3DCLEAR_TARGET, kBlue, 1, 0);
  ASSERT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

  Ref<IDirect3DSurface9> big;
  ASSERT_EQ(d.device->CreateOffscreenPlainSurface(25, 12, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, big.out(), nullptr),
            D3D_OK);
  D3DLOCKED_RECT l{};
  ASSERT_EQ(big->LockRect(&l, nullptr, 0), D3D_OK);
  for (int i = 0; i < 25 * 12; ++i) static_cast<std::uint32_t*>(l.pBits)[i] = 0x01020304;
  big->UnlockRect();
  ASSERT_EQ(d.device->GetFrontBufferData(0, big.get()), D3D_OK);
  ASSERT_EQ(big->LockRect(&l, nullptr, D3DLOCK_READONLY), D3D_OK);
  const auto* px = static_cast<const std::uint32_t*>(l.pBits);
  EXPECT_EQ(px[0], kRed);
  EXPECT_EQ(px[9 * 25 + 19], kBlue) << "bottom right of the picture";
  EXPECT_EQ(px[9 * 25 + 20], 0x01020304u) << "right of the picture: left alone";
  EXPECT_EQ(px[10 * 25 + 0], 0x01020304u) << "below the picture: left alone";
  big->UnlockRect();

  std::vector<std::uint32_t> small = FrontBuffer(d.device.get(), 5, 3);
  ASSERT_EQ(small.size(), 15u);
  for (std::uint32_t p : small) EXPECT_EQ(p, kRed);
}
