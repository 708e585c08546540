// Device loss and Reset.
#include <win32_testing.h>

#include "d3d9_test_support.h"

using namespace d3d9test;
namespace hooks = zr::win32::testing;

TEST(DeviceLoss, AFullScreenDeviceIsLostWhenItsWindowIsDeactivatedOrMinimisedHoweverBriefly) {
  TestWindow window;
  hooks::SetFocus(window.handle(), true);
  Device d;
  D3DPRESENT_PARAMETERS pp = FullScreen(window.handle(), 64, 48);
  ASSERT_NO_FATAL_FAILURE(MakeDevice(window.handle(), pp, d));
  EXPECT_EQ(d->TestCooperativeLevel(), D3D_OK);
  hooks::SetFocus(window.handle(), false);
  EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  // Drawing goes on without complaint and without effect.
  EXPECT_EQ(d->BeginScene(), D3D_OK);
  EXPECT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1, 0), D3D_OK);
  EXPECT_EQ(d->EndScene(), D3D_OK);
  EXPECT_FALSE(d.gl()->PrepareDraw());
  EXPECT_EQ(d->Reset(&pp), D3DERR_DEVICELOST) << "the window is still in the background";
  hooks::SetFocus(window.handle(), true);
  EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET) << "only Reset brings it back";
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  EXPECT_EQ(d->TestCooperativeLevel(), D3D_OK);
  ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0), D3D_OK);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(FrontBuffer(d.device.get(), 64, 48).at(20, 10), kGreen) << "the red one drawn while lost never showed";

  // A brief deactivation is a loss too, and so is a minimisation.
  hooks::SetFocus(window.handle(), false);
  hooks::SetFocus(window.handle(), true);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  hooks::SetMinimised(window.handle(), true);
  EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICELOST);
  hooks::SetMinimised(window.handle(), false);
  EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST(DeviceLoss, AWindowedDeviceIgnoresTheFocus) {
  TestWindow window;
  hooks::SetFocus(window.handle(), true);
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 32, 32), d);
  hooks::SetFocus(window.handle(), false);
  EXPECT_EQ(d->TestCooperativeLevel(), D3D_OK);
  hooks::SetMinimised(window.handle(), true);
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  hooks::SetMinimised(window.handle(), false);
}

TEST(Reset, IsRefusedWhileADefaultPoolResourceOrALiveDeviceObjectRemains) {
  TestWindow window;
  Device d;
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 32, 32);
  MakeDevice(window.handle(), pp, d);
  Ref<IDirect3DSurface9> surface;
  ASSERT_EQ(d->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, surface.out(), nullptr), D3D_OK);
  ASSERT_EQ(d->Reset(&pp), D3D_OK) << "system memory survives a Reset";
  ASSERT_EQ(d->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, surface.out(), nullptr), D3D_OK);
  EXPECT_EQ(d->Reset(&pp), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET) << "a failed Reset leaves the device lost";
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  ASSERT_EQ(d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, surface.out()), D3D_OK);
  EXPECT_EQ(d->Reset(&pp), D3DERR_INVALIDCALL) << "the back buffer is a DEFAULT-pool render target";
  surface.reset();
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  EXPECT_EQ(d->TestCooperativeLevel(), D3D_OK);
  // D3DX objects with device resources must have been told of the loss.
  int sprite = 0;
  int font = 0;
  d.gl()->RegisterDeviceObject(&sprite);
  d.gl()->RegisterDeviceObject(&font);
  d.gl()->DeviceObjectLost(&sprite);
  EXPECT_EQ(d->Reset(&pp), D3DERR_INVALIDCALL) << "the font was not told";
  d.gl()->DeviceObjectLost(&font);
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  d.gl()->DeviceObjectReset(&sprite);
  EXPECT_EQ(d->Reset(&pp), D3DERR_INVALIDCALL) << "the sprite is live again";
  d.gl()->UnregisterDeviceObject(&sprite);
  EXPECT_EQ(d->Reset(&pp), D3D_OK);
  EXPECT_EQ(d->Reset(nullptr), D3DERR_INVALIDCALL);
  pp.BackBufferFormat = D3DFMT_R5G6B5;
  EXPECT_EQ(d->Reset(&pp), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
}

TEST(Reset, MakesTheNewBackBufferWhereItFitsAndRestoresTheDefaultStates) {
  TestWindow window(80, 60);
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 32, 32), d);
  d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  d->SetRenderState(D3DRS_FOGEND, 7);
  d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  D3DVIEWPORT9 v{1, 1, 8, 8, 0, 1};
  d->SetViewport(&v);
  d->BeginScene();
  for (UINT width : {40u, 80u}) {  // with depth in a framebuffer; without, in the window
    SCOPED_TRACE(width);
    D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), width, 60);
    pp.EnableAutoDepthStencil = width == 40;
    pp.AutoDepthStencilFormat = D3DFMT_D24X8;
    ASSERT_EQ(d->Reset(&pp), D3D_OK);
    EXPECT_EQ(d.gl()->DrawsIntoWindow(), width == 80);
    std::pair<D3DRENDERSTATETYPE, DWORD> defaults[] = {
        {D3DRS_ZENABLE, width == 40 ? D3DZB_TRUE : D3DZB_FALSE}, {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_CULLMODE, D3DCULL_CCW}, {D3DRS_ZFUNC, D3DCMP_LESSEQUAL}, {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_COLORWRITEENABLE, 0xF}, {D3DRS_LIGHTING, TRUE}, {D3DRS_FOGEND, 0x3F800000 /* 1.0f */}};
    for (auto [state, value] : defaults) {
      DWORD got = 0xDEADBEEF;
      EXPECT_EQ(d->GetRenderState(state, &got), D3D_OK);
      EXPECT_EQ(got, value) << "render state " << state;
    }
    DWORD filter = 0;
    d->GetSamplerState(0, D3DSAMP_MAGFILTER, &filter);
    EXPECT_EQ(filter, static_cast<DWORD>(D3DTEXF_POINT));
    d->GetViewport(&v);
    EXPECT_EQ(std::vector<DWORD>({v.X, v.Y, v.Width, v.Height}), std::vector<DWORD>({0, 0, width, 60}));
    EXPECT_EQ(d->BeginScene(), D3D_OK) << "Reset ends the scene";
    d->EndScene();
    EXPECT_EQ(d->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1, 0), width == 40 ? D3D_OK : D3DERR_INVALIDCALL);
    ExpectAll(FrontBuffer(d.device.get(), width, 60), kBlack, "nothing presented since Reset");
    D3DRECT left{0, 0, 10, 60};
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
    d->Clear(1, &left, D3DCLEAR_TARGET, kRed, 1, 0);
    ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    Picture p = FrontBuffer(d.device.get(), width, 60);
    EXPECT_EQ(std::vector<std::uint32_t>({p.at(9, 59), p.at(10, 0), p.at(static_cast<int>(width) - 1, 59)}),
              std::vector<std::uint32_t>({kRed, kBlue, kBlue}));
  }
}
