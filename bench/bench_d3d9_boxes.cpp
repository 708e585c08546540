// Engine boxes (zr_Box) on the fixed-function pipeline (llvmpipe), two numbers:
//
// 1. Boxes per frame at 60 frames per second. Each box is a zr_Box drawn with zr_Box::Render at
//    its own position and angles: one DrawIndexedPrimitive of 8 vertices and 12 triangles from a
//    MANAGED vertex buffer of format 0x152 and a DEFAULT 16-bit index buffer, lit by a point
//    light and the ambient colour, textured through the texture manager (a 64x64 image file with
//    its mip levels, stage 0 modulating it with the lit colour as the samples set it), about 30
//    pixels across, at random places and angles in a 1024x768 window with a depth buffer.
//    Frames are finished one by one (Clear, the draws, Present, glFinish); the count is found by
//    doubling and then halving the step until the median frame time meets 1/60 s.
// 2. The processor time of one zr_MainObject::Render (the texture manager's look-up, the world
//    matrix, SetTexture, SetFVF, SetStreamSource, SetIndices, SetTransform, SetMaterial, three
//    SetSamplerState, DrawIndexedPrimitive, SetIndices(null), SetStreamSource(null)). Measured on
//    the calling thread (CLOCK_THREAD_CPUTIME_ID, which includes llvmpipe's vertex work done there
//    at the draw, not its rasteriser threads) over many draws of boxes a few pixels large, and as
//    wall time per draw including the frame's flush.
//
// With --sizes=1 it also times that many boxes at other sizes, to show what filling pixels costs.
//
//   bench_d3d9_boxes [--seconds=0.5] [--max=20000] [--draws=20000] [--sizes=0]
#include <d3dx9.h>
#include <epoxy/gl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "d3d9_bench_support.h"
#include "d3d9_testing.h"
#include "graphics/zr_TextureManager.h"
#include "objects3d/zr_Box.h"

using namespace d3d9bench;

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kTextureSide = 64;
constexpr UINT kMipLevels = 7;  // 64x64 down to 1x1

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// A 64x64 24-bit bitmap of colour ramps with a checker in blue, for the texture manager to load.
bool WriteTexture(const std::string& path) {
  const std::uint32_t row = kTextureSide * 3, pixels = row * kTextureSide;
  std::vector<std::uint8_t> file(54 + pixels);
  auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  file[0] = 'B', file[1] = 'M';
  put(2, static_cast<std::uint32_t>(file.size()), 4), put(10, 54, 4), put(14, 40, 4);
  put(18, kTextureSide, 4), put(22, kTextureSide, 4), put(26, 1, 2), put(28, 24, 2), put(34, pixels, 4);
  for (std::uint32_t y = 0; y < kTextureSide; ++y)  // bottom row first
    for (std::uint32_t x = 0; x < kTextureSide; ++x) {
      std::uint8_t* p = &file[54 + (kTextureSide - 1 - y) * row + x * 3];
      p[0] = ((x / 8 + y / 8) & 1) ? 0xFF : 0x40;
      p[1] = static_cast<std::uint8_t>(y * 255 / kTextureSide);
      p[2] = static_cast<std::uint8_t>(x * 255 / kTextureSide);
    }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(file.data(), 1, file.size(), f) == file.size();
  return std::fclose(f) == 0 && written;
}

class Boxes {
 public:
  explicit Boxes(zr_TextureManager& textures) : textures_(textures) {}

  bool Make(IDirect3DDevice9* d, const std::string& texture) {
    device_ = d;
    box_.SetSize(d, 1, 1, 1);
    box_.Initialise(d, &textures_);
    box_.CreateTexture(texture.c_str(), D3DPOOL_MANAGED, kMipLevels, D3DX_FILTER_TRIANGLE);
    if (!box_.Initialised() || !box_.GetTextureState()) return false;
    material_.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};
    material_.Ambient = D3DCOLORVALUE{0.4f, 0.4f, 0.4f, 1};
    box_.SetMaterial(&material_);
    // The scene: camera, point light, ambient colour, as zr_Scene sets them; stage 0 modulates
    // the texture with the lit colour, as the samples set it after the boxes' Initialise.
    D3DXVECTOR3 eye(0, 0, -10), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX view, projection;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, static_cast<float>(kWidth) / kHeight, 1.0f, 100.0f);
    d->SetTransform(D3DTS_VIEW, &view);
    d->SetTransform(D3DTS_PROJECTION, &projection);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = D3DCOLORVALUE{1, 1, 1, 0};
    light.Position = D3DVECTOR{0, 0, 0};
    light.Range = 100000.0f;
    light.Attenuation0 = 1.0f;
    d->SetLight(0, &light);
    d->LightEnable(0, TRUE);
    d->SetRenderState(D3DRS_LIGHTING, TRUE);
    d->SetRenderState(D3DRS_AMBIENT, 0x00F0F0F0);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    return true;
  }

  // `count` boxes of side `side`, centred on their positions, at random places in front of the
  // camera and random angles.
  void Place(int count, float side, unsigned seed) {
    const float h = side / 2;
    D3DXVECTOR3 c[8];
    for (int k = 0; k < 8; ++k) c[k] = D3DXVECTOR3((k & 2) ? h : -h, (k & 1) ? h : -h, (k & 4) ? h : -h);
    box_.SetSizeEx(device_, box_.GetBoxVertex(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]));
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    places_.resize(static_cast<std::size_t>(count));
    for (Placement& p : places_) {
      const float z = 6.0f * unit(random);  // 10 to 16 from the camera
      const float halfHeight = (10.0f + z) * 0.41421f;
      const float rx = 6.2832f * unit(random), ry = 6.2832f * unit(random);
      const float x = (2 * unit(random) - 1) * halfHeight * kWidth / kHeight * 0.9f;
      const float y = (2 * unit(random) - 1) * halfHeight * 0.9f;
      p.rotation = D3DXVECTOR3(rx, ry, 0);
      p.position = D3DXVECTOR3(x, y, z);
    }
  }

  // Every placed box, drawn by the engine.
  void DrawAll() {
    for (const Placement& p : places_) box_.Render(device_, p.position, p.rotation);
  }

  // A finished frame of all placed boxes.
  void Frame() {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0x20, 0x30, 0x40), 1, 0);
    device_->BeginScene();
    DrawAll();
    device_->EndScene();
    device_->Present(nullptr, nullptr, nullptr, nullptr);
    glFinish();
  }

  std::size_t Count() const { return places_.size(); }

 private:
  struct Placement {
    D3DXVECTOR3 position, rotation;
  };
  zr_TextureManager& textures_;
  IDirect3DDevice9* device_ = nullptr;
  zr_Box box_;
  D3DMATERIAL9 material_{};
  std::vector<Placement> places_;
};

// The median time of finished frames of `count` boxes of side `side` over about `seconds`.
double FrameSeconds(Boxes& boxes, int count, double seconds, float side = 0.42f) {
  boxes.Place(count, side, 7);
  boxes.Frame();
  std::vector<double> times;
  double start = Seconds();
  while (times.size() < 3 || (Seconds() - start < seconds && times.size() < 200)) {
    double t = Seconds();
    boxes.Frame();
    times.push_back(Seconds() - t);
  }
  return Median(times);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = Option(argc, argv, "seconds", 0.5);
  int most = static_cast<int>(Option(argc, argv, "max", 20000));
  int draws = std::max(1, static_cast<int>(Option(argc, argv, "draws", 20000)));
  zr::d3d9::testing::SetPacing(false);
  HWND window = MakeWindow(kWidth, kHeight);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  IDirect3DDevice9* device = MakeDepthDevice(d3d, window, kWidth, kHeight);
  if (device == nullptr) {
    std::printf("no device\n");
    return 1;
  }
  // The texture as an image file in a folder of its own, loaded through the texture manager.
  char folder[] = "/tmp/zr-boxes-bench-XXXXXX";
  const std::string texture = mkdtemp(folder) != nullptr ? std::string(folder) + "/box.bmp" : std::string();
  int status = 0;
  {
    zr_TextureManager textures;
    textures.Initialise(device);
    Boxes boxes(textures);
    if (texture.empty() || !WriteTexture(texture) || !boxes.Make(device, texture)) {
      std::printf("no box or no texture\n");
      status = 1;
    } else {
      // 1. Boxes per frame at 60 fps.
      const double budget = 1.0 / 60;
      int low = 0;
      int high = 64;
      while (high <= most && FrameSeconds(boxes, high, seconds) <= budget) low = high, high *= 2;
      high = std::min(high, most + 1);
      while (high - low > std::max(1, low / 32)) {
        int middle = (low + high) / 2;
        (FrameSeconds(boxes, middle, seconds) <= budget ? low : high) = middle;
      }
      double atLow = low > 0 ? FrameSeconds(boxes, low, seconds) : 0;
      std::printf("boxes per frame at 60 fps (%dx%d, %s, lit, textured, 8 vertices / 12 triangles, about 30 px): "
                  "%d (median frame %.2f ms)%s\n",
                  kWidth, kHeight, VideoDriver(), low, atLow * 1000, low >= most ? " or more" : "");

      if (Option(argc, argv, "sizes", 0) != 0)
        for (float side : {0.08f, 0.2f, 0.42f, 0.8f})
          std::printf("  %d boxes of side %.2f: %.2f ms\n", low, side, FrameSeconds(boxes, low, seconds, side) * 1000);

      // 2. One draw's processor time: boxes a few pixels large, drawn `draws` times.
      boxes.Place(1000, 0.08f, 11);
      boxes.Frame();
      int drawn = 0;
      double cpu = 0;
      double wall = 0;
      while (drawn < draws) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0x20, 0x30, 0x40), 1, 0);
        double c = ThreadSeconds();
        double w = Seconds();
        boxes.DrawAll();
        cpu += ThreadSeconds() - c;
        device->Present(nullptr, nullptr, nullptr, nullptr);
        glFinish();
        wall += Seconds() - w;
        drawn += static_cast<int>(boxes.Count());
      }
      std::printf("one draw as zr_MainObject::Render makes it (SetTexture..DrawIndexedPrimitive, 12 calls): "
                  "%.2f us of the calling thread's processor time, %.2f us wall with the frame's flush "
                  "(%d draws of boxes a few pixels large)\n",
                  cpu / drawn * 1e6, wall / drawn * 1e6, drawn);
    }
  }
  if (!texture.empty()) {
    unlink(texture.c_str());
    rmdir(folder);
  }
  device->Release();
  d3d->Release();
  DestroyWindow(window);
  return status;
}
