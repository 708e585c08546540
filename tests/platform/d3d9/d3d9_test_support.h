// Windows and devices for the tests of the real Direct3D 9 backend.
#pragma once

#include <d3d9.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "gl_device.h"

namespace d3d9test {

constexpr D3DCOLOR kRed = D3DCOLOR_XRGB(0xFF, 0, 0), kGreen = D3DCOLOR_XRGB(0, 0xFF, 0);
constexpr D3DCOLOR kBlue = D3DCOLOR_XRGB(0, 0, 0xFF), kBlack = D3DCOLOR_XRGB(0, 0, 0);

// A shown window of a registered class with a width x height client area, destroyed at the end.
struct TestWindow {
  explicit TestWindow(int width = 320, int height = 240, DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE, int x = 0,
                      int y = 0);
  ~TestWindow() { DestroyWindow(handle_); }
  HWND handle() const { return handle_; }
  HWND handle_ = nullptr;
};

D3DPRESENT_PARAMETERS Windowed(HWND window, UINT width = 0, UINT height = 0);
D3DPRESENT_PARAMETERS FullScreen(HWND window, UINT width, UINT height);

// Owns one reference.
template <class T>
struct Ref {
  Ref() = default;
  explicit Ref(T* t) : p(t) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { reset(); }
  void reset() {
    if (T* t = std::exchange(p, nullptr)) t->Release();
  }
  T* release() { return std::exchange(p, nullptr); }
  T** out() { return reset(), &p; }
  T* get() const { return p; }
  T* operator->() const { return p; }
  explicit operator bool() const { return p != nullptr; }
  T* p = nullptr;
};

// A Direct3D object and a device made with `pp`; the test fails when creation does.
struct Device {
  Ref<IDirect3D9> d3d;
  Ref<IDirect3DDevice9> device;
  zr::d3d9::GlDevice* gl() const { return static_cast<zr::d3d9::GlDevice*>(device.get()); }
  IDirect3DDevice9* operator->() const { return device.get(); }
};
void MakeDevice(HWND window, D3DPRESENT_PARAMETERS pp, Device& out);

// Pixels as 0xAARRGGBB, row by row from the top.
struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};
// What was last presented (GetFrontBufferData), and what is being drawn (GetBackBuffer).
Picture FrontBuffer(IDirect3DDevice9* device, UINT width, UINT height);
Picture BackBuffer(IDirect3DDevice9* device, UINT width, UINT height);
void ExpectAll(const Picture& p, D3DCOLOR colour, const char* what);

// Where a test wants the back buffer: in the window (a window of the back buffer's size) or in
// a framebuffer of the device's own (a larger window).
enum class Where { kWindow, kFramebuffer };
class OnBothTargets : public testing::TestWithParam<Where> {};

// A window and a windowed X8R8G8B8 device on it with a width x height back buffer living `where`.
struct Target {
  Target(Where where, UINT width, UINT height);
  TestWindow window;
  Device d;
};

// Where the X server has the window: position on the screen and size (all 0 for a window that
// is not an X11 one). In x11_geometry.cpp, as X11's headers and gtest's do not mix.
SDL_Rect XWindowGeometry(SDL_Window* window);

}  // namespace d3d9test
