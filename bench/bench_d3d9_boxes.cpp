// Boxes of the engine's kind on the fixed-function pipeline (llvmpipe), two numbers:
//
// 1. Boxes per frame at 60 frames per second. Each box is one DrawIndexedPrimitive of 8 vertices
//    and 12 triangles (the engine's box: a MANAGED vertex buffer of format 0x152, a DEFAULT
//    16-bit index buffer) with its own world matrix, lit by a point light and the ambient colour,
//    textured (a 64x64 texture with mip levels, stage 0 modulating it with the lit colour), about
//    30 pixels across, at random places and angles in a 1024x768 window with a depth buffer.
//    Frames are finished one by one (Clear, the draws, Present, glFinish); the count is found by
//    doubling and then halving the step until the median frame time meets 1/60 s.
// 2. The processor time of one draw as zr_MainObject::Render makes it: SetTexture, SetFVF,
//    SetStreamSource, SetIndices, SetTransform, SetMaterial, three SetSamplerState,
//    DrawIndexedPrimitive, SetIndices(null), SetStreamSource(null). Measured on the calling
//    thread (CLOCK_THREAD_CPUTIME_ID, which includes llvmpipe's vertex work done there at the
//    draw, not its rasteriser threads) over many draws of boxes a few pixels large, and as wall
//    time per draw including the frame's flush.
//
// With --sizes=1 it also times that many boxes at other sizes, to show what filling pixels costs.
//
//   bench_d3d9_boxes [--seconds=0.5] [--max=20000] [--draws=20000] [--sizes=0]
#include <d3dx9.h>
#include <epoxy/gl.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "d3d9_bench_support.h"
#include "d3d9_testing.h"

using namespace d3d9bench;

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

struct Vertex {
  float x, y, z, nx, ny, nz;
  D3DCOLOR colour;
  float u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr std::uint16_t kBoxIndices[36] = {0, 1, 2, 3, 2, 1, 5, 4, 7, 7, 4, 6, 5, 7, 3, 5, 3, 1,
                                           0, 4, 5, 1, 0, 5, 6, 4, 2, 2, 4, 0, 3, 7, 2, 7, 6, 2};

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : (v[(v.size() - 1) / 2] + v[v.size() / 2]) / 2;
}

class Boxes {
 public:
  bool Make(IDirect3DDevice9* d) {
    device_ = d;
    // A centred box of side 1, as the engine builds one (eight corners, normals along z).
    Vertex v[8];
    for (int k = 0; k < 8; ++k) {
      float x = (k & 2) ? 0.5f : -0.5f, y = (k & 1) ? 0.5f : -0.5f, z = (k & 4) ? 0.5f : -0.5f;
      v[k] = {x, y, z, 0, 0, (k & 4) ? -1.0f : 1.0f, 0xFFBCB6B1, x + 0.5f, y + 0.5f};
    }
    void* p = nullptr;
    if (d->CreateVertexBuffer(sizeof v, D3DUSAGE_WRITEONLY, kFvf, D3DPOOL_MANAGED, &vb_, nullptr) != D3D_OK ||
        vb_->Lock(0, 0, &p, 0) != D3D_OK)
      return false;
    std::memcpy(p, v, sizeof v);
    vb_->Unlock();
    if (d->CreateIndexBuffer(sizeof kBoxIndices, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib_, nullptr) !=
            D3D_OK ||
        ib_->Lock(0, 0, &p, 0) != D3D_OK)
      return false;
    std::memcpy(p, kBoxIndices, sizeof kBoxIndices);
    ib_->Unlock();
    if (d->CreateTexture(64, 64, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture_, nullptr) != D3D_OK) return false;
    for (DWORD level = 0; level < texture_->GetLevelCount(); ++level) {
      D3DLOCKED_RECT r{};
      if (texture_->LockRect(level, &r, nullptr, 0) != D3D_OK) return false;
      UINT side = std::max(64u >> level, 1u);
      for (UINT y = 0; y < side; ++y)
        for (UINT x = 0; x < side; ++x)
          static_cast<std::uint32_t*>(r.pBits)[y * static_cast<UINT>(r.Pitch) / 4 + x] =
              0xFF000000u | (x * 255 / side) << 16 | (y * 255 / side) << 8 | (((x / 8 + y / 8) & 1) ? 0xFF : 0x40);
      texture_->UnlockRect(level);
    }
    // The scene: camera, point light, ambient colour; and the material.
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
    material_.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};
    material_.Ambient = D3DCOLORVALUE{0.4f, 0.4f, 0.4f, 1};
    return true;
  }
  ~Boxes() {
    for (IUnknown* u : {static_cast<IUnknown*>(vb_), static_cast<IUnknown*>(ib_), static_cast<IUnknown*>(texture_)})
      if (u != nullptr) u->Release();
  }

  // World matrices of `count` boxes of side `side` at random places in front of the camera.
  void Place(int count, float side, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    worlds_.resize(static_cast<std::size_t>(count));
    for (D3DXMATRIX& w : worlds_) {
      float z = 6.0f * unit(random);  // 10 to 16 from the camera
      float halfHeight = (10.0f + z) * 0.41421f;
      D3DXMATRIX scale, rx, ry, move;
      D3DXMatrixScaling(&scale, side, side, side);
      D3DXMatrixRotationX(&rx, 6.2832f * unit(random));
      D3DXMatrixRotationY(&ry, 6.2832f * unit(random));
      D3DXMatrixTranslation(&move, (2 * unit(random) - 1) * halfHeight * kWidth / kHeight * 0.9f,
                            (2 * unit(random) - 1) * halfHeight * 0.9f, z);
      w = scale * rx * ry * move;
    }
  }

  // One box as zr_MainObject::Render draws it.
  void Draw(const D3DXMATRIX& world) {
    IDirect3DDevice9* d = device_;
    d->SetTexture(0, texture_);
    d->SetFVF(kFvf);
    d->SetStreamSource(0, vb_, 0, sizeof(Vertex));
    d->SetIndices(ib_);
    d->SetTransform(D3DTS_WORLD, &world);
    d->SetMaterial(&material_);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 12);
    d->SetIndices(nullptr);
    d->SetStreamSource(0, nullptr, 0, 0);
  }

  // A finished frame of all placed boxes.
  void Frame() {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0x20, 0x30, 0x40), 1, 0);
    device_->BeginScene();
    for (const D3DXMATRIX& w : worlds_) Draw(w);
    device_->EndScene();
    device_->Present(nullptr, nullptr, nullptr, nullptr);
    glFinish();
  }

  const std::vector<D3DXMATRIX>& Worlds() const { return worlds_; }

 private:
  IDirect3DDevice9* device_ = nullptr;
  IDirect3DVertexBuffer9* vb_ = nullptr;
  IDirect3DIndexBuffer9* ib_ = nullptr;
  IDirect3DTexture9* texture_ = nullptr;
  D3DMATERIAL9 material_{};
  std::vector<D3DXMATRIX> worlds_;
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
  int status = 0;
  {
    Boxes boxes;
    if (!boxes.Make(device)) {
      std::printf("no buffers\n");
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
        for (const D3DXMATRIX& world : boxes.Worlds()) boxes.Draw(world);
        cpu += ThreadSeconds() - c;
        device->Present(nullptr, nullptr, nullptr, nullptr);
        glFinish();
        wall += Seconds() - w;
        drawn += static_cast<int>(boxes.Worlds().size());
      }
      std::printf("one draw as zr_MainObject::Render makes it (SetTexture..DrawIndexedPrimitive, 12 calls): "
                  "%.2f us of the calling thread's processor time, %.2f us wall with the frame's flush "
                  "(%d draws of boxes a few pixels large)\n",
                  cpu / drawn * 1e6, wall / drawn * 1e6, drawn);
    }
  }
  device->Release();
  d3d->Release();
  DestroyWindow(window);
  return status;
}
