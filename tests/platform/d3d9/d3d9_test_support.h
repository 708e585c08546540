// Windows and devices for the tests of the real Direct3D 9 backend.
#pragma once

#include <d3d9.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <vector>

#include "gl_device.h"

namespace d3d9test {

// A registered window class and one window of it, shown; destroyed at the end.
class TestWindow {
 public:
  TestWindow(int width = 320, int height = 240, DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  ~TestWindow();
  HWND handle() const { return handle_; }

 private:
  HWND handle_ = nullptr;
};

D3DPRESENT_PARAMETERS Windowed(HWND window, UINT width = 0, UINT height = 0);
D3DPRESENT_PARAMETERS FullScreen(HWND window, UINT width, UINT height);

// Owns a reference and releases it at the end.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p) : p_(p) {}
  ~Ref() { reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  void reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }
  T* release() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  T** out() {
    reset();
    return &p_;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// A Direct3D object and a device made with `pp`; the test fails when creation does.
struct Device {
  Ref<IDirect3D9> d3d;
  Ref<IDirect3DDevice9> device;
  zr::d3d9::GlDevice* gl() const { return static_cast<zr::d3d9::GlDevice*>(device.get()); }
};
void MakeDevice(HWND window, D3DPRESENT_PARAMETERS pp, Device& out);

// What was last presented, read through GetFrontBufferData into a fresh SYSTEMMEM surface:
// pixels as 0xAARRGGBB, row by row from the top.
std::vector<std::uint32_t> FrontBuffer(IDirect3DDevice9* device, UINT width, UINT height);

}  // namespace d3d9test
