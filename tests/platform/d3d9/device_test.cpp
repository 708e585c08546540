// The device: creation, device loss, Reset, presentation intervals.
#include <win32_internal.h>
#include <win32_testing.h>

#include <chrono>
#include <cstdlib>

#include "ff_test_support.h"

using namespace d3d9test;
namespace hooks = zr::win32::testing;

static HRESULT Create(HWND focus, D3DPRESENT_PARAMETERS pp) {
  Ref<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
  Ref<IDirect3DDevice9> device;
  HRESULT hr = d3d->CreateDevice(0, D3DDEVTYPE_HAL, focus, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, device.out());
  EXPECT_EQ(SUCCEEDED(hr), static_cast<bool>(device)) << "a device exactly when creation succeeds";
  return hr;
}

// The focus window serves when no device window is named; 0 x 0 takes the client area; REF is GL.
TEST(CreateDevice, WritesBackWhatTookEffect) {
  TestWindow window;
  D3DPRESENT_PARAMETERS pp = Windowed(nullptr);
  Ref<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
  Device d;
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, window.handle(), D3DCREATE_MIXED_VERTEXPROCESSING, &pp, d.device.out()), D3D_OK);
  EXPECT_EQ(std::vector<UINT>({pp.BackBufferWidth, pp.BackBufferHeight, pp.BackBufferCount, pp.BackBufferFormat}),
            std::vector<UINT>({320, 240, 1, D3DFMT_X8R8G8B8}));
  EXPECT_TRUE(d->BeginScene() == D3D_OK && d->BeginScene() == D3DERR_INVALIDCALL) << "scenes do not nest";
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
  pp = Windowed(window.handle(), 32, 32);
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  hooks::SetFocus(window.handle(), false);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK) << "windowed, the focus does not matter";
}

// Every state reads after Reset as after creation, whatever was set in between, and drawing
// shows the defaults took effect in GL; the new back buffer, of another size and with depth,
// lives in a framebuffer of ours.
TEST(Reset, RestoresEveryStateAndMakesTheNewBackBuffer) {
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
    for (DWORD s = 0; s < 256; ++s) get([&](void* v) { return d->GetRenderState(D3DRENDERSTATETYPE(s), (DWORD*)v); });
    for (DWORD t = 0; t < 14 * 16; ++t)
      get([&](void* v) { return d->GetSamplerState(t / 14, D3DSAMPLERSTATETYPE(t % 14), (DWORD*)v); });
    for (DWORD t = 0; t < 33 * 8; ++t)
      get([&](void* v) { return d->GetTextureStageState(t / 33, D3DTEXTURESTAGESTATETYPE(t % 33), (DWORD*)v); });
    for (auto state : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION}) get([&](void* m) { return d->GetTransform(state, (D3DMATRIX*)m); });
    get([&](void* m) { return d->GetMaterial(static_cast<D3DMATERIAL9*>(m)); });
    get([&](void* l) { return d->GetLight(0, static_cast<D3DLIGHT9*>(l)); });
    get([&](void* t) { return d->GetTexture(0, static_cast<IDirect3DBaseTexture9**>(t)); });
    return all;
  };
  const std::vector<std::uint64_t> created = everything();
  for (DWORD s = 0; s < 256; ++s) d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(s), 2);
  for (DWORD t = 1; t < 14; ++t) d->SetSamplerState(3, static_cast<D3DSAMPLERSTATETYPE>(t), 3);
  for (DWORD t = 1; t < 33; ++t) d->SetTextureStageState(1, static_cast<D3DTEXTURESTAGESTATETYPE>(t), 3);
  D3DXMATRIX shift;
  D3DXMatrixTranslation(&shift, 3, 3, 0);  // each would move the square below off the middle
  for (auto state : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION}) d->SetTransform(state, &shift);
  D3DMATERIAL9 material{{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, 1};
  D3DLIGHT9 light{D3DLIGHT_DIRECTIONAL, {1, 1, 1, 1}, {}, {}, {}, {0, 0, 1}, 0, 0, 0, 0, 0, 0, 0};
  d->SetMaterial(&material), d->SetLight(0, &light), d->LightEnable(0, TRUE);
  Ref<IDirect3DTexture9> texture(MakeTexture(d.device.get(), 1, 1, {kRed}));
  d->SetTexture(0, texture.get());
  D3DVIEWPORT9 view{1, 1, 8, 8, 0, 1};
  d->SetViewport(&view);
  d->BeginScene();
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 40, 60);
  pp.EnableAutoDepthStencil = TRUE, pp.AutoDepthStencilFormat = D3DFMT_D24X8;
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  EXPECT_FALSE(d.gl()->DrawsIntoWindow());
  EXPECT_EQ(d.gl()->RenderState(D3DRS_ZENABLE), DWORD{D3DZB_TRUE}) << "with a depth buffer";
  std::vector<std::uint64_t> after = everything();
  after[D3DRS_ZENABLE] = created[D3DRS_ZENABLE];
  EXPECT_TRUE(after == created);
  EXPECT_TRUE(d->GetViewport(&view) == D3D_OK && view.X == 0 && view.Width == 40 && view.Height == 60) << "the viewport";
  EXPECT_TRUE(d->BeginScene() == D3D_OK && d->EndScene() == D3D_OK) << "Reset ends the scene";
  // A lit square of white vertices: black with the default material and no light; the emissive
  // colour with one. The default transforms are identities.
  d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlue, 1, 0);
  fftest::Draw(d.device.get(), fftest::Square(kWhite, 0.5f, 0.5f), fftest::kLitFvf);
  EXPECT_EQ(BackBuffer(d.device.get(), 40, 60).at(20, 30), kBlack);
  D3DMATERIAL9 green{{}, {}, {}, {0, 1, 0, 1}, 0};
  d->SetMaterial(&green);
  fftest::Draw(d.device.get(), fftest::Square(kWhite, 0.5f, 0.5f), fftest::kLitFvf);
  ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  Picture p = FrontBuffer(d.device.get(), 40, 60);
  EXPECT_EQ(std::vector<std::uint32_t>({p.at(0, 59), p.at(20, 30)}), std::vector<std::uint32_t>({kBlue, kGreen}));
}

TEST(Pacing, PresentKeepsToTheDefaultIntervalAndTheImmediateOneNeverWaits) {
  Scene s(32, 32, false);
  EXPECT_FALSE(s.d.gl()->Pacer().TimerPaces()) << "immediate";
  s.pp.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
  ASSERT_EQ(s->Reset(&s.pp), D3D_OK);
  double seconds = static_cast<double>(s.d.gl()->Pacer().PeriodNanoseconds()) / 1e9;  // at least, per frame
  EXPECT_TRUE(s.d.gl()->Pacer().TimerPaces() && seconds > 1 / 200.0 && seconds < 1 / 20.0) << seconds;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) ASSERT_EQ(s->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 4 * seconds * 0.99);
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
