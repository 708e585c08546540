// A look at the picture on the game's screen: the front buffer read back through the device, as
// the engine's screenshot reads it, and counts of the pixels of a rectangle that pass a test.
#pragma once

#include <d3d9.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace duelscreen {

class FrontBuffer {
 public:
  FrontBuffer() = default;
  FrontBuffer(const FrontBuffer&) = delete;
  FrontBuffer& operator=(const FrontBuffer&) = delete;
  ~FrontBuffer() {
    if (surface_ != nullptr) surface_->Release();
  }

  bool Read(IDirect3DDevice9* device) {
    if (surface_ == nullptr &&
        device->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &surface_, nullptr) !=
            D3D_OK)
      return false;
    if (device->GetFrontBufferData(0, surface_) != D3D_OK) return false;
    D3DLOCKED_RECT locked{};
    if (surface_->LockRect(&locked, nullptr, D3DLOCK_READONLY) != D3D_OK) return false;
    for (int y = 0; y < kHeight; ++y)
      std::memcpy(&pixels_[y * kWidth], static_cast<const char*>(locked.pBits) + y * locked.Pitch, kWidth * 4);
    surface_->UnlockRect();
    return true;
  }

  // Pixels in [x0, x1) x [y0, y1) for which `test(r, g, b)` holds.
  template <class Test>
  int Count(int x0, int y0, int x1, int y1, Test test) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        std::uint32_t p = pixels_[y * kWidth + x];
        n += test((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF) ? 1 : 0;
      }
    return n;
  }

 private:
  static constexpr int kWidth = 1024;
  static constexpr int kHeight = 768;
  IDirect3DSurface9* surface_ = nullptr;
  std::vector<std::uint32_t> pixels_ = std::vector<std::uint32_t>(kWidth * kHeight);
};

// The status line's yellow, and anything brighter than the black background.
inline bool Yellow(unsigned r, unsigned g, unsigned b) { return r > 150 && g > 150 && b < 100; }
inline bool Lit(unsigned r, unsigned g, unsigned b) { return r + g + b > 60; }

}  // namespace duelscreen
