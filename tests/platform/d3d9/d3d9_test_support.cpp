#include "d3d9_test_support.h"

#include "surface.h"

namespace d3d9test {

namespace {

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

Picture Read(IDirect3DSurface9* surface, UINT width, UINT height) {
  Picture p{static_cast<int>(width), static_cast<int>(height), std::vector<std::uint32_t>(width * height)};
  RECT all{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
  EXPECT_EQ(zr::d3d9::ReadSurfacePixels(surface, all, p.pixels.data(), static_cast<int>(width * 4)), D3D_OK);
  return p;
}

}  // namespace

TestWindow::TestWindow(int width, int height, DWORD style, int x, int y) {
  static bool registered = false;
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = Procedure;
  c.lpszClassName = "D3D9Test";
  if (!registered) registered = RegisterClassExA(&c) != 0;
  handle_ = CreateWindowExA(0, "D3D9Test", "d3d9 test", style, x, y, width, height, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(handle_, nullptr) << "no window: is SDL_VIDEODRIVER or DISPLAY set?";
}

D3DPRESENT_PARAMETERS Windowed(HWND window, UINT width, UINT height) {
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = width;
  pp.BackBufferHeight = height;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.hDeviceWindow = window;
  pp.Windowed = TRUE;
  pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  return pp;
}

D3DPRESENT_PARAMETERS FullScreen(HWND window, UINT width, UINT height) {
  D3DPRESENT_PARAMETERS pp = Windowed(window, width, height);
  pp.Windowed = FALSE;
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  return pp;
}

void MakeDevice(HWND window, D3DPRESENT_PARAMETERS pp, Device& out) {
  out.device.reset();
  *out.d3d.out() = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_EQ(out.d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                  out.device.out()),
            D3D_OK);
}

Picture FrontBuffer(IDirect3DDevice9* device, UINT width, UINT height) {
  Ref<IDirect3DSurface9> s;
  EXPECT_EQ(device->CreateOffscreenPlainSurface(width, height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, s.out(), nullptr),
            D3D_OK);
  EXPECT_EQ(device->GetFrontBufferData(0, s.get()), D3D_OK);
  return Read(s.get(), width, height);
}

Picture BackBuffer(IDirect3DDevice9* device, UINT width, UINT height) {
  Ref<IDirect3DSurface9> back;
  EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
  return Read(back.get(), width, height);
}

void ExpectAll(const Picture& p, D3DCOLOR colour, const char* what) {
  ASSERT_FALSE(p.pixels.empty()) << what;
  for (std::uint32_t pixel : p.pixels) ASSERT_EQ(pixel, colour) << what;
}

INSTANTIATE_TEST_SUITE_P(, OnBothTargets, testing::Values(Where::kWindow, Where::kFramebuffer),
                         [](const testing::TestParamInfo<Where>& where) {
                           return where.param == Where::kWindow ? "InTheWindow" : "InAFramebuffer";
                         });

Target::Target(Where where, UINT width, UINT height)
    : window(static_cast<int>(width) + (where == Where::kWindow ? 0 : 40),
             static_cast<int>(height) + (where == Where::kWindow ? 0 : 30)) {
  MakeDevice(window.handle(), Windowed(window.handle(), width, height), d);
  EXPECT_TRUE(d.device && d.gl()->DrawsIntoWindow() == (where == Where::kWindow));
}

}  // namespace d3d9test
