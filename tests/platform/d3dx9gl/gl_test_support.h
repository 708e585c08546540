// Textures, sprites and text on the real GL device: helpers shared by the tests.
#pragma once

#include <d3dx9.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "d3d9_test_support.h"

namespace gltest {

using d3d9test::Picture;
using d3d9test::Ref;

constexpr D3DCOLOR kWhite = 0xFFFFFFFF;

// A texture of `width` x `height` whose level 0 holds `pixels` (0xAARRGGBB, top row first),
// written through LockRect (a DEFAULT-pool texture is made dynamic to be lockable).
inline void MakeTexture(IDirect3DDevice9* device, int width, int height, const std::vector<std::uint32_t>& pixels,
                        Ref<IDirect3DTexture9>& out, D3DFORMAT format = D3DFMT_A8R8G8B8,
                        D3DPOOL pool = D3DPOOL_MANAGED) {
  DWORD usage = pool == D3DPOOL_DEFAULT ? D3DUSAGE_DYNAMIC : 0;
  ASSERT_EQ(device->CreateTexture(static_cast<UINT>(width), static_cast<UINT>(height), 1, usage, format, pool,
                                  out.out(), nullptr),
            D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(out->LockRect(0, &locked, nullptr, 0), D3D_OK);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      static_cast<std::uint32_t*>(locked.pBits)[y * locked.Pitch / 4 + x] = pixels[static_cast<std::size_t>(y) * width + x];
  ASSERT_EQ(out->UnlockRect(0), D3D_OK);
}

// Every texel of its own colour, opaque: red from x, green from y, blue 0x40.
inline std::vector<std::uint32_t> Gradient(int width, int height) {
  std::vector<std::uint32_t> p;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      p.push_back(0xFF000040u | static_cast<std::uint32_t>((x * 255 / std::max(width - 1, 1)) << 16) |
                  static_cast<std::uint32_t>((y * 255 / std::max(height - 1, 1)) << 8));
  return p;
}

inline int Channel(std::uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); }

// Whether two colours differ by at most `tolerance` in every channel.
inline bool Near(std::uint32_t a, std::uint32_t b, int tolerance) {
  for (int shift : {0, 8, 16, 24})
    if (std::abs(Channel(a, shift) - Channel(b, shift)) > tolerance) return false;
  return true;
}

}  // namespace gltest
