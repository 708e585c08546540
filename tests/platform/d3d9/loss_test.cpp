// Device loss and Reset.
#include <win32_testing.h>

#include "d3d9_test_support.h"

using namespace d3d9test;
namespace hooks = zr::win32::testing;

namespace {

constexpr D3DCOLOR kGreen = D3DCOLOR_XRGB(0, 0xFF, 0);

// A full-screen device on a focused window.
void FullScreenDevice(TestWindow& window, Device& d, UINT w = 64, UINT h = 48) {
  hooks::SetFocus(window.handle(), true);
  MakeDevice(window.handle(), FullScreen(window.handle(), w, h), d);
}

}  // namespace

TEST(DeviceLoss, AFullScreenDeviceIsLostWhenItsWindowLosesTheFocus) {
  TestWindow window;
  Device d;
  ASSERT_NO_FATAL_FAILURE(FullScreenDevice(window, d));
  EXPECT_EQ(d.device->TestCooperativeLevel(), D3D_OK);
  ASSERT_EQ(d.device->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0), D3D_OK);
  ASSERT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

  hooks::SetFocus(window.handle(), false);
  EXPECT_EQ(d.device->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  // Drawing goes on without complaint and without effect.
  EXPECT_EQ(d.device->BeginScene(), D3D_OK);
  EXPECT_EQ(d.device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0xFF, 0, 0), 1, 0), D3D_OK);
  EXPECT_EQ(d.device->EndScene(), D3D_OK);
  EXPECT_FALSE(d.gl()->PrepareDraw());
  D3DPRESENT_PARAMETERS pp = FullScreen(window.handle(), 64, 48);
  EXPECT_EQ(d.device->Reset(&pp), D3DERR_DEVICELOST) << "the window is still in the background";

  hooks::SetFocus(window.handle(), true);
  EXPECT_EQ(d.device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(d.device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET) << "only Reset brings it back";

  ASSERT_EQ(d.device->Reset(&pp), D3D_OK);
  EXPECT_EQ(d.device->TestCooperativeLevel(), D3D_OK);
  ASSERT_EQ(d.device->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0), D3D_OK);
  EXPECT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(FrontBuffer(d.device.get(), 64, 48)[100], kGreen) << "the cleared picture while lost never showed";
}

TEST(DeviceLoss, EvenABriefDeactivationOrAMinimisationLosesIt) {
  TestWindow window;
  Device d;
  ASSERT_NO_FATAL_FAILURE(FullScreenDevice(window, d));
  hooks::SetFocus(window.handle(), false);
  hooks::SetFocus(window.handle(), true);
  EXPECT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(d.device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  D3DPRESENT_PARAMETERS pp = FullScreen(window.handle(), 64, 48);
  ASSERT_EQ(d.device->Reset(&pp), D3D_OK);

  hooks::SetMinimised(window.handle(), true);
  EXPECT_EQ(d.device->TestCooperativeLevel(), D3DERR_DEVICELOST);
  hooks::SetMinimised(window.handle(), false);
  EXPECT_EQ(d.device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  ASSERT_EQ(d.device->Reset(&pp), D3D_OK);
  EXPECT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST(DeviceLoss, AWindowedDeviceIgnoresTheFocus) {
  TestWindow window;
  hooks::SetFocus(window.handle(), true);
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 32, 32), d);
  hooks::SetFocus(window.handle(), false);
  EXPECT_EQ(d.device->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  hooks::SetMinimised(window.handle(), true);
  EXPECT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  hooks::SetMinimised(window.handle(), false);
}

TEST(Reset, IsRefusedWhileADefaultPoolSurfaceLives) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 32, 32), d);
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 32, 32);
  Ref<IDirect3DSurface9> system;
  ASSERT_EQ(d.device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, system.out(), nullptr),
            D3D_OK);
  ASSERT_EQ(d.device->Reset(&pp), D3D_OK) << "system memory survives a Reset";

  Ref<IDirect3DSurface9> video;
  ASSERT_EQ(d.device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, video.out(), nullptr),
            D3D_OK);
  EXPECT_EQ(d.device->Reset(&pp), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET) << "a failed Reset leaves the device lost";
  EXPECT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  video.reset();
  ASSERT_EQ(d.device->Reset(&pp), D3D_OK);
  EXPECT_EQ(d.device->TestCooperativeLevel(), D3D_OK);

  Ref<IDirect3DSurface9> back;
  ASSERT_EQ(d.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
  EXPECT_EQ(d.device->Reset(&pp), D3DERR_INVALIDCALL) << "the back buffer is a DEFAULT-pool render target";
  back.reset();
  EXPECT_EQ(d.device->Reset(&pp), D3D_OK);
  EXPECT_EQ(d.device->Reset(nullptr), D3DERR_INVALIDCALL);
  pp.BackBufferFormat = D3DFMT_R5G6B5;
  EXPECT_EQ(d.device->Reset(&pp), D3DERR_INVALIDCALL);
  EXPECT_EQ(d.device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
}

TEST(Reset, WaitsForRegisteredObjectsToBeToldOfTheLoss) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 32, 32), d);
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 32, 32);
  int sprite = 0;
  int font = 0;
  d.gl()->RegisterDeviceObject(&sprite);
  d.gl()->RegisterDeviceObject(&font);
  d.gl()->DeviceObjectLost(&sprite);
  EXPECT_EQ(d.device->Reset(&pp), D3DERR_INVALIDCALL) << "the font was not told";
  d.gl()->DeviceObjectLost(&font);
  ASSERT_EQ(d.device->Reset(&pp), D3D_OK);
  d.gl()->DeviceObjectReset(&sprite);
  EXPECT_EQ(d.device->Reset(&pp), D3DERR_INVALIDCALL) << "the sprite is live again";
  d.gl()->UnregisterDeviceObject(&sprite);
  EXPECT_EQ(d.device->Reset(&pp), D3D_OK);
}

TEST(Reset, MakesTheNewBackBufferAndRestoresTheDefaultStates) {
  TestWindow window(200, 150);
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 32, 32), d);
  d.device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  d.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  d.device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  D3DVIEWPORT9 v{1, 1, 8, 8, 0, 1};
  d.device->SetViewport(&v);
  d.device->BeginScene();

  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 80, 60);
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D24X8;
  ASSERT_EQ(d.device->Reset(&pp), D3D_OK);
  DWORD value = 0;
  d.device->GetRenderState(D3DRS_ALPHABLENDENABLE, &value);
  EXPECT_EQ(value, static_cast<DWORD>(FALSE));
  d.device->GetRenderState(D3DRS_CULLMODE, &value);
  EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_CCW));
  d.device->GetRenderState(D3DRS_ZENABLE, &value);
  EXPECT_EQ(value, static_cast<DWORD>(D3DZB_TRUE)) << "the new parameters ask for depth";
  d.device->GetSamplerState(0, D3DSAMP_MAGFILTER, &value);
  EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_POINT));
  d.device->GetViewport(&v);
  EXPECT_EQ(v.X * 1000000 + v.Width * 1000 + v.Height, 80060u) << "the viewport covers the new back buffer";
  EXPECT_EQ(d.device->BeginScene(), D3D_OK) << "Reset ends the scene";
  d.device->EndScene();
  EXPECT_EQ(d.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1, 0), D3D_OK);

  pp = Windowed(window.handle(), 0, 0);
  ASSERT_EQ(d.device->Reset(&pp), D3D_OK);
  RECT client{};
  GetClientRect(window.handle(), &client);
  EXPECT_EQ(pp.BackBufferWidth, static_cast<UINT>(client.right)) << "0 by 0 takes the client area";
  EXPECT_EQ(d.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1, 0), D3DERR_INVALIDCALL) << "no depth any more";
  d.device->GetRenderState(D3DRS_ZENABLE, &value);
  EXPECT_EQ(value, static_cast<DWORD>(D3DZB_FALSE));
}
