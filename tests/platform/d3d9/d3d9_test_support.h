// Windows, devices, textures and read-backs for the tests of the real graphics backend.
#pragma once

#include <d3d9.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "gl_device.h"

namespace d3d9test {

constexpr D3DCOLOR kRed = D3DCOLOR_XRGB(0xFF, 0, 0), kGreen = D3DCOLOR_XRGB(0, 0xFF, 0), kBlue = D3DCOLOR_XRGB(0, 0, 0xFF);
constexpr D3DCOLOR kBlack = D3DCOLOR_XRGB(0, 0, 0), kWhite = D3DCOLOR_XRGB(0xFF, 0xFF, 0xFF);

// A shown window with a width x height client area, destroyed at the end.
struct TestWindow {
  explicit TestWindow(int width = 320, int height = 240);
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
// Where a picture differs from `background`: the bounds (inclusive) and the count.
struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
};
Ink InkOf(const Picture& p, D3DCOLOR background, int fromRow = 0);

// A MANAGED texture of `width` x `height` whose level 0 holds `pixels`, top row first.
IDirect3DTexture9* MakeTexture(IDirect3DDevice9* device, int width, int height, const std::vector<std::uint32_t>& pixels,
                               D3DFORMAT format = D3DFMT_A8R8G8B8);
// Every texel of its own opaque colour: red from x, green from y, blue 0x40.
std::vector<std::uint32_t> Gradient(int width, int height);
// A PNG file of 0xAARRGGBB pixels, with or without its alpha channel.
void WritePng(const char* name, int width, int height, const std::vector<std::uint32_t>& pixels, bool alpha = true);

// Where the back buffer lives: in the window (of its size) or in a framebuffer of ours (a larger one).
enum class Where { kWindow, kFramebuffer };
class OnBothTargets : public testing::TestWithParam<Where> {};

// A window and a windowed X8R8G8B8 device of w x h living `where`, with a D24S8 depth buffer (in a
// framebuffer of ours then: the window has no stencil) or none.
struct Scene {
  explicit Scene(UINT w = 64, UINT h = 64, bool depth = true, Where where = Where::kWindow);
  IDirect3DDevice9* operator->() const { return d.device.get(); }
  IDirect3DDevice9* get() const { return d.device.get(); }
  Picture Back() const { return BackBuffer(get(), pp.BackBufferWidth, pp.BackBufferHeight); }
  void Clear(D3DCOLOR c) const {
    d->Clear(0, nullptr, D3DCLEAR_TARGET | (pp.EnableAutoDepthStencil ? D3DCLEAR_ZBUFFER : 0), c, 1, 0);
  }
  TestWindow window;
  D3DPRESENT_PARAMETERS pp{};
  Device d;
};

}  // namespace d3d9test
