#include "d3d9_test_support.h"

#include <cstring>

namespace d3d9test {

namespace {

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

const char* ClassName() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSEXA c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = Procedure;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "D3D9Test";
    registered = RegisterClassExA(&c) != 0;
  }
  return "D3D9Test";
}

}  // namespace

TestWindow::TestWindow(int width, int height, DWORD style) {
  handle_ = CreateWindowExA(0, ClassName(), "d3d9 test", style, 0, 0, width, height, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  EXPECT_NE(handle_, nullptr) << "no window: is SDL_VIDEODRIVER or DISPLAY set?";
}

TestWindow::~TestWindow() {
  if (handle_ != nullptr) DestroyWindow(handle_);
}

D3DPRESENT_PARAMETERS Windowed(HWND window, UINT width, UINT height) {
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = width;
  pp.BackBufferHeight = height;
  pp.BackBufferFormat = D3DFMT_UNKNOWN;
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
  pp.BackBufferCount = 1;
  return pp;
}

void MakeDevice(HWND window, D3DPRESENT_PARAMETERS pp, Device& out) {
  out.device.reset();
  *out.d3d.out() = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_TRUE(out.d3d);
  ASSERT_EQ(out.d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                  out.device.out()),
            D3D_OK);
}

std::vector<std::uint32_t> FrontBuffer(IDirect3DDevice9* device, UINT width, UINT height) {
  std::vector<std::uint32_t> pixels;
  Ref<IDirect3DSurface9> surface;
  EXPECT_EQ(device->CreateOffscreenPlainSurface(width, height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, surface.out(),
                                                nullptr),
            D3D_OK);
  if (!surface) return pixels;
  EXPECT_EQ(device->GetFrontBufferData(0, surface.get()), D3D_OK);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  if (locked.pBits == nullptr) return pixels;
  pixels.resize(static_cast<std::size_t>(width) * height);
  for (UINT y = 0; y < height; ++y)
    std::memcpy(pixels.data() + static_cast<std::size_t>(y) * width,
                static_cast<const std::uint8_t*>(locked.pBits) + static_cast<std::size_t>(y) * locked.Pitch, width * 4);
  surface->UnlockRect();
  return pixels;
}

}  // namespace d3d9test
