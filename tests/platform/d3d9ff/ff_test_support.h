// Buffers, cameras and expected colours for the tests of the device's fixed-function pipeline.
#pragma once

#include <d3dx9.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "d3d9_test_support.h"

namespace fftest {

using d3d9test::Device;
using d3d9test::Picture;
using d3d9test::Ref;
using d3d9test::Scene;

struct LitVertex {  // FVF 0x152, as the engine's objects have it
  float x, y, z, nx, ny, nz;
  D3DCOLOR colour;
  float u, v;
};
constexpr DWORD kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
struct ScreenVertex {
  float x, y, z, rhw;
  D3DCOLOR colour;
  float u, v;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// Buffers holding `v`, written through one lock; the caller owns the reference (keep it in a Ref).
template <class V>
IDirect3DVertexBuffer9* Vertices(IDirect3DDevice9* d, const std::vector<V>& v, DWORD fvf, D3DPOOL pool = D3DPOOL_MANAGED) {
  IDirect3DVertexBuffer9* b = nullptr;
  void* p = nullptr;
  EXPECT_EQ(d->CreateVertexBuffer(static_cast<UINT>(v.size() * sizeof(V)), 0, fvf, pool, &b, nullptr), D3D_OK);
  if (b != nullptr && b->Lock(0, 0, &p, 0) == D3D_OK) std::memcpy(p, v.data(), v.size() * sizeof(V)), b->Unlock();
  return b;
}
template <class I>
IDirect3DIndexBuffer9* Indices(IDirect3DDevice9* d, const std::vector<I>& v, D3DPOOL pool = D3DPOOL_MANAGED) {
  IDirect3DIndexBuffer9* b = nullptr;
  void* p = nullptr;
  D3DFORMAT format = sizeof(I) == 4 ? D3DFMT_INDEX32 : D3DFMT_INDEX16;
  EXPECT_EQ(d->CreateIndexBuffer(static_cast<UINT>(v.size() * sizeof(I)), 0, format, pool, &b, nullptr), D3D_OK);
  if (b != nullptr && b->Lock(0, 0, &p, 0) == D3D_OK) std::memcpy(p, v.data(), v.size() * sizeof(I)), b->Unlock();
  return b;
}

// Draws `v`, a triangle fan in format `fvf`, from a MANAGED buffer.
template <class V>
void Draw(IDirect3DDevice9* d, const std::vector<V>& v, DWORD fvf) {
  Ref<IDirect3DVertexBuffer9> vb{Vertices(d, v, fvf)};
  d->SetFVF(fvf);
  d->SetStreamSource(0, vb.get(), 0, sizeof(V));
  ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, static_cast<UINT>(v.size() - 2)), D3D_OK);
}
// Screen pixels (x0, y0) to (x1, y1) at depth z, texture coordinates 0..1 over them.
inline void DrawScreenQuad(IDirect3DDevice9* d, float x0, float y0, float x1, float y1, D3DCOLOR c, float z = 0.5f) {
  Draw(d, std::vector<ScreenVertex>{{x0, y0, z, 1, c, 0, 0}, {x1, y0, z, 1, c, 1, 0}, {x1, y1, z, 1, c, 1, 1},
                                    {x0, y1, z, 1, c, 0, 1}},
       kScreenFvf);
}
// A square at z facing -z, from (-half, -half) to (half, half), clockwise, textured over it.
inline std::vector<LitVertex> Square(D3DCOLOR colour, float half = 0.5f, float z = 0) {
  std::vector<LitVertex> s;
  for (auto [x, y] : {std::pair{-1.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, -1.0f}, {-1.0f, -1.0f}})
    s.push_back({x * half, y * half, z, 0, 0, -1, colour, (x + 1) / 2, (1 - y) / 2});
  return s;
}

// A camera at `eye` looking at `at` (y up), a quarter-turn field of view, near 1, far 100.
struct Camera {
  D3DXMATRIX view, projection;
  Camera(D3DXVECTOR3 eye, D3DXVECTOR3 at) {
    D3DXVECTOR3 up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, 1.0f, 1.0f, 100.0f);
  }
  void Set(IDirect3DDevice9* d) const {
    d->SetTransform(D3DTS_VIEW, &view);
    d->SetTransform(D3DTS_PROJECTION, &projection);
  }
  // The pixel of `p` a point lands on.
  std::uint32_t At(const Picture& p, const D3DXVECTOR3& point, const D3DXMATRIX& world) const {
    D3DXMATRIX all = world * view * projection;
    D3DXVECTOR3 ndc;
    D3DXVec3TransformCoord(&ndc, &point, &all);
    return p.at(static_cast<int>(std::lround((ndc.x + 1) / 2 * static_cast<float>(p.width))),
                static_cast<int>(std::lround((1 - ndc.y) / 2 * static_cast<float>(p.height))));
  }
};

// Colours as lighting computes them, and as the back buffer stores them.
struct Rgb {
  float r = 0, g = 0, b = 0;
  Rgb operator+(const Rgb& o) const { return {r + o.r, g + o.g, b + o.b}; }
  Rgb operator*(const Rgb& o) const { return {r * o.r, g * o.g, b * o.b}; }
  Rgb operator*(float f) const { return {r * f, g * f, b * f}; }
};
inline Rgb RgbOf(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b}; }
inline Rgb RgbOf(D3DCOLOR c) { return {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f}; }
inline D3DCOLOR Stored(const Rgb& c) {
  auto channel = [](float f) { return static_cast<DWORD>(std::lround(std::clamp(f, 0.0f, 1.0f) * 255.0f)); };
  return 0xFF000000u | channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b);
}
inline int Channel(std::uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); }
// Whether red, green and blue differ by at most `tolerance`.
inline bool Near(std::uint32_t a, std::uint32_t b, int tolerance = 2) {
  return std::abs(Channel(a, 0) - Channel(b, 0)) <= tolerance && std::abs(Channel(a, 8) - Channel(b, 8)) <= tolerance &&
         std::abs(Channel(a, 16) - Channel(b, 16)) <= tolerance;
}
inline D3DCOLORVALUE Value(float r, float g, float b, float a = 1.0f) { return D3DCOLORVALUE{r, g, b, a}; }

}  // namespace fftest
