// The device: creation and its checks, scenes, references, device loss, Reset, presentation
// intervals.
#include <win32_internal.h>
#include <win32_testing.h>

#include <chrono>
#include <cstdlib>

#include "ff_test_support.h"
#include "frame_pacer.h"

using namespace d3d9test;
namespace hooks = zr::win32::testing;

namespace {

HRESULT Create(HWND focus, D3DPRESENT_PARAMETERS pp, DWORD flags = D3DCREATE_SOFTWARE_VERTEXPROCESSING,
               D3DDEVTYPE type = D3DDEVTYPE_HAL) {
  Ref<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
  Ref<IDirect3DDevice9> device;
  HRESULT hr = d3d->CreateDevice(0, type, focus, flags, &pp, device.out());
  EXPECT_EQ(SUCCEEDED(hr), static_cast<bool>(device)) << "a device exactly when creation succeeds";
  return hr;
}

}  // namespace

TEST(CreateDevice, ChecksItsArgumentsAndWritesBackWhatTookEffect) {
  EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION + 1), nullptr);
  TestWindow window;
  HWND w = window.handle();
  EXPECT_EQ(Create(w, Windowed(w), 0), D3DERR_INVALIDCALL) << "no vertex processing named";
  EXPECT_EQ(Create(nullptr, Windowed(nullptr)), D3DERR_INVALIDCALL);
  EXPECT_EQ(Create(reinterpret_cast<HWND>(0x7777), Windowed(nullptr)), D3DERR_INVALIDCALL);
  std::pair<const char*, void (*)(D3DPRESENT_PARAMETERS&)> refused[] = {
      {"16-bit colour", [](auto& p) { p.BackBufferFormat = D3DFMT_R5G6B5; }},
      {"full screen, no width", [](auto& p) { p = FullScreen(p.hDeviceWindow, 0, 64); }},
      {"depth of a colour format",
       [](auto& p) { p.EnableAutoDepthStencil = TRUE, p.AutoDepthStencilFormat = D3DFMT_X8R8G8B8; }},
      {"interval 3", [](auto& p) { p.PresentationInterval = 3; }},
      {"multisampling", [](auto& p) { p.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES; }},
  };
  for (auto [what, change] : refused) {
    D3DPRESENT_PARAMETERS changed = Windowed(w);
    change(changed);
    EXPECT_EQ(Create(w, changed), D3DERR_INVALIDCALL) << what;
  }
  // The focus window serves when no device window is named; 0 x 0 takes the client area.
  D3DPRESENT_PARAMETERS pp = Windowed(nullptr);
  Ref<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
  Device d;
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, w, D3DCREATE_MIXED_VERTEXPROCESSING, &pp, d.device.out()), D3D_OK);
  EXPECT_EQ(std::vector<UINT>({pp.BackBufferWidth, pp.BackBufferHeight, pp.BackBufferCount, pp.BackBufferFormat}),
            std::vector<UINT>({320, 240, 1, D3DFMT_X8R8G8B8}));
  EXPECT_EQ(d->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1, 0), D3DERR_INVALIDCALL) << "no depth buffer";
  EXPECT_EQ(d->EndScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->BeginScene(), D3D_OK);
  EXPECT_EQ(d->BeginScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL) << "inside the scene";
  EXPECT_EQ(d->EndScene(), D3D_OK);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST(CreateDevice, TheDeviceHoldsItsDirect3DTheBackBufferTheDeviceAndTheWindowMayGoFirst) {
  TestWindow window;
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 48, 36);
  IDirect3DDevice9* device = nullptr;
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window.handle(), D3DCREATE_MIXED_VERTEXPROCESSING, &pp, &device),
            D3D_OK);
  EXPECT_EQ(d3d->Release(), 1u) << "the device keeps a reference";
  IDirect3DSurface9* back = nullptr;
  ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  ASSERT_TRUE(DestroyWindow(window.handle()));
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1, 0), D3D_OK);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(FrontBuffer(device, 48, 36).at(47, 35), kRed);
  EXPECT_EQ(device->Release(), 1u) << "the back buffer holds the device";
  EXPECT_EQ(back->Release(), 0u);  // the device and its Direct3D go with it; LeakSanitizer checks
}

TEST(DeviceLoss, AFullScreenDeviceIsLostWhileItsWindowIsInTheBackgroundOrMinimised) {
  TestWindow window;
  hooks::SetFocus(window.handle(), true);
  Device d;
  D3DPRESENT_PARAMETERS pp = FullScreen(window.handle(), 64, 48);
  ASSERT_NO_FATAL_FAILURE(MakeDevice(window.handle(), pp, d));
  EXPECT_EQ(d->TestCooperativeLevel(), D3D_OK);
  hooks::SetFocus(window.handle(), false);
  EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1, 0), D3D_OK) << "drawing goes on without effect";
  EXPECT_EQ(d->Reset(&pp), D3DERR_DEVICELOST) << "the window is still in the background";
  hooks::SetFocus(window.handle(), true);
  EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET) << "only Reset brings it back";
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0), D3D_OK);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(FrontBuffer(d.device.get(), 64, 48).at(20, 10), kGreen) << "the red one drawn while lost never showed";
  hooks::SetFocus(window.handle(), false);  // however briefly
  hooks::SetFocus(window.handle(), true);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  hooks::SetMinimised(window.handle(), true);
  EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICELOST);
  hooks::SetMinimised(window.handle(), false);
  EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  D3DPRESENT_PARAMETERS windowed = Windowed(window.handle(), 32, 32);
  ASSERT_EQ(d->Reset(&windowed), D3D_OK);
  hooks::SetFocus(window.handle(), false);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK) << "windowed, the focus does not matter";
}

TEST(Reset, IsRefusedWhileADefaultPoolResourceRemainsAndAFailureLeavesTheDeviceLost) {
  Target t(Where::kWindow, 32, 32);
  D3DPRESENT_PARAMETERS pp = Windowed(t.window.handle(), 32, 32);
  Ref<IDirect3DSurface9> surface;
  ASSERT_EQ(t.d->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, surface.out(), nullptr), D3D_OK);
  ASSERT_EQ(t.d->Reset(&pp), D3D_OK) << "system memory survives a Reset";
  ASSERT_EQ(t.d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, surface.out()), D3D_OK);
  EXPECT_EQ(t.d->Reset(&pp), D3DERR_INVALIDCALL) << "the back buffer is a DEFAULT-pool render target";
  EXPECT_EQ(t.d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET) << "a failed Reset leaves the device lost";
  EXPECT_EQ(t.d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  surface.reset();
  pp.BackBufferFormat = D3DFMT_R5G6B5;
  EXPECT_EQ(t.d->Reset(&pp), D3DERR_INVALIDCALL);
  pp.BackBufferFormat = D3DFMT_UNKNOWN;
  ASSERT_EQ(t.d->Reset(&pp), D3D_OK);
  EXPECT_EQ(t.d->TestCooperativeLevel(), D3D_OK);
}

// Every state reads after Reset as after creation, whatever was set in between, and drawing
// shows the defaults took effect in GL; the new back buffer lives where it fits.
TEST(Reset, RestoresEveryStateAndMakesTheNewBackBufferWhereItFits) {
  TestWindow window(80, 60);
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 80, 60), d);
  auto everything = [&] {
    std::vector<std::uint64_t> all;
    auto get = [&](auto call) {  // the result and a checksum of what was read
      std::uint8_t bytes[sizeof(D3DLIGHT9)] = {};
      HRESULT hr = call(bytes);
      std::uint32_t sum = 0;
      for (std::uint8_t b : bytes) sum = sum * 31 + b;
      all.push_back(static_cast<std::uint64_t>(hr) << 32 | sum);
    };
    for (DWORD s = 0; s < 256; ++s)
      get([&](void* v) { return d->GetRenderState(static_cast<D3DRENDERSTATETYPE>(s), static_cast<DWORD*>(v)); });
    for (DWORD t = 0; t < 14 * 16; ++t)
      get([&](void* v) { return d->GetSamplerState(t / 14, static_cast<D3DSAMPLERSTATETYPE>(t % 14), static_cast<DWORD*>(v)); });
    for (DWORD t = 0; t < 33 * 8; ++t)
      get([&](void* v) {
        return d->GetTextureStageState(t / 33, static_cast<D3DTEXTURESTAGESTATETYPE>(t % 33), static_cast<DWORD*>(v));
      });
    for (auto state : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE0})
      get([&](void* m) { return d->GetTransform(state, static_cast<D3DMATRIX*>(m)); });
    get([&](void* m) { return d->GetMaterial(static_cast<D3DMATERIAL9*>(m)); });
    get([&](void* l) { return d->GetLight(0, static_cast<D3DLIGHT9*>(l)); });
    get([&](void* v) { return d->GetFVF(static_cast<DWORD*>(v)); });
    get([&](void* t) { return d->GetTexture(0, static_cast<IDirect3DBaseTexture9**>(t)); });
    return all;
  };
  const std::vector<std::uint64_t> created = everything();
  for (DWORD s = 0; s < 256; ++s) d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(s), 2);
  for (DWORD type = 1; type < 14; ++type) d->SetSamplerState(3, static_cast<D3DSAMPLERSTATETYPE>(type), 3);
  for (DWORD type = 1; type < 33; ++type) d->SetTextureStageState(1, static_cast<D3DTEXTURESTAGESTATETYPE>(type), 3);
  D3DXMATRIX shift;
  D3DXMatrixTranslation(&shift, 3, 3, 0);  // each would move the square below off the middle
  for (auto state : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE0}) d->SetTransform(state, &shift);
  D3DMATERIAL9 material{};
  material.Diffuse = material.Ambient = material.Emissive = {1, 1, 1, 1};
  d->SetMaterial(&material);
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL, light.Diffuse = {1, 1, 1, 1}, light.Direction = {0, 0, 1};
  d->SetLight(0, &light);
  d->LightEnable(0, TRUE);
  d->SetFVF(D3DFVF_XYZ);
  Ref<IDirect3DTexture9> texture(MakeTexture(d.device.get(), 1, 1, {kRed}));
  d->SetTexture(0, texture.get());
  D3DVIEWPORT9 view{1, 1, 8, 8, 0, 1};
  d->SetViewport(&view);
  d->BeginScene();
  for (UINT width : {40u, 80u}) {  // with depth in a framebuffer; without, in the window
    SCOPED_TRACE(width);
    D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), width, 60);
    pp.EnableAutoDepthStencil = width == 40;
    pp.AutoDepthStencilFormat = D3DFMT_D24X8;
    ASSERT_EQ(d->Reset(&pp), D3D_OK);
    EXPECT_EQ(d.gl()->DrawsIntoWindow(), width == 80);
    std::vector<std::uint64_t> after = everything();
    if (width == 40) after[D3DRS_ZENABLE] = created[D3DRS_ZENABLE];  // TRUE with a depth buffer
    EXPECT_TRUE(after == created);
    EXPECT_EQ(d.gl()->RenderState(D3DRS_ZENABLE), width == 40 ? DWORD{D3DZB_TRUE} : DWORD{D3DZB_FALSE});
    d->GetViewport(&view);
    EXPECT_EQ(std::vector<DWORD>({view.X, view.Y, view.Width, view.Height}), std::vector<DWORD>({0, 0, width, 60}));
    EXPECT_EQ(d->BeginScene(), D3D_OK) << "Reset ends the scene";
    d->EndScene();
    ExpectAll(FrontBuffer(d.device.get(), width, 60), kBlack, "nothing presented since Reset");
    // A lit square of white vertices: black with the default material and no light; the emissive
    // colour with one. The default transforms are identities.
    d->Clear(0, nullptr, D3DCLEAR_TARGET | (width == 40 ? D3DCLEAR_ZBUFFER : 0), kBlue, 1, 0);
    fftest::Draw(d.device.get(), fftest::Square(kWhite, 0.5f, 0.5f), fftest::kLitFvf);
    EXPECT_EQ(BackBuffer(d.device.get(), width, 60).at(width / 2, 30), kBlack);
    D3DMATERIAL9 green{};
    green.Emissive = {0, 1, 0, 1};
    d->SetMaterial(&green);
    fftest::Draw(d.device.get(), fftest::Square(kWhite, 0.5f, 0.5f), fftest::kLitFvf);
    D3DRECT left{0, 0, 10, 60};
    d->Clear(1, &left, D3DCLEAR_TARGET, kRed, 1, 0);
    ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    Picture p = FrontBuffer(d.device.get(), width, 60);
    EXPECT_EQ(std::vector<std::uint32_t>({p.at(9, 59), p.at(10, 0), p.at(width / 2, 30)}),
              std::vector<std::uint32_t>({kRed, kBlue, kGreen}));
  }
}

TEST(Pacing, PresentKeepsToTheIntervalAndImmediateNeverWaits) {
  for (UINT interval : {D3DPRESENT_INTERVAL_DEFAULT, D3DPRESENT_INTERVAL_TWO, D3DPRESENT_INTERVAL_IMMEDIATE}) {
    SCOPED_TRACE(interval);
    TestWindow window(32, 32);
    Device d;
    D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 32, 32);
    pp.PresentationInterval = interval;
    MakeDevice(window.handle(), pp, d);
    const zr::d3d9::FramePacer& pacer = d.gl()->Pacer();
    EXPECT_EQ(pacer.TimerPaces(), interval != D3DPRESENT_INTERVAL_IMMEDIATE);
    if (!pacer.TimerPaces()) continue;
    double hz = 1e9 / static_cast<double>(pacer.PeriodNanoseconds());  // frames per second at most
    EXPECT_TRUE(interval == D3DPRESENT_INTERVAL_TWO ? hz <= 40.0 : hz > 20.0) << hz;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 4 / hz * 0.99);
  }
}

TEST(Pacing, AStallStartsAFreshScheduleAndASwapThatPacesIsTrustedUntilItStops) {
  using zr::d3d9::FramePacer;
  FramePacer pacer;
  pacer.Configure(1, 100.0, false);
  std::int64_t t = FramePacer::Now();
  pacer.Presented(t, t);
  // A tenth of a second later (a stall) the next frame still waits a whole period: no burst to
  // catch up with the nine frames missed.
  pacer.Presented(t + 100'000'000, t + 100'000'000);
  pacer.WaitForTurn();
  EXPECT_GE(FramePacer::Now(), t + 110'000'000);
  pacer.Configure(1, 100.0, true);
  t = 1'000'000'000;
  for (int i = 0; i < 16; ++i, t += 10'000'000) pacer.Presented(t, t + 8'000'000);  // swaps wait 8 of 10 ms
  EXPECT_FALSE(pacer.TimerPaces()) << "the swap paces on its own";
  for (int i = 0; i < 16; ++i, t += 2'000'000) pacer.Presented(t, t + 100'000);  // then stops waiting
  EXPECT_TRUE(pacer.TimerPaces());
  for (int i = 0; i < 16; ++i, t += 10'000'000) pacer.Presented(t, t + 8'000'000);
  EXPECT_TRUE(pacer.TimerPaces()) << "a swap that failed to pace once is not trusted again";
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
