// Surfaces of the GL device: plain surfaces in CPU memory and the back buffer.
#pragma once

#include <d3d9.h>

#include <cstdint>
#include <vector>

namespace zr::d3d9 {

class GlDevice;

inline constexpr IID IID_IDirect3DResource9 = {0x05EEC05D, 0x8F7D, 0x4362, {0xB9, 0x99, 0xD1, 0xBA, 0xF3, 0x57, 0xC7, 0x04}};

class SurfaceBase : public IDirect3DSurface9 {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override;
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_SURFACE; }

 protected:
  explicit SurfaceBase(GlDevice* device) : device_(device) {}
  ~SurfaceBase() = default;
  GlDevice* device_;
};

// An offscreen plain surface: 32-bit pixels in CPU memory, in any pool. It holds a reference on
// its device, as every resource does.
class MemorySurface final : public SurfaceBase {
 public:
  MemorySurface(GlDevice* device, UINT width, UINT height, D3DFORMAT format, D3DPOOL pool);

  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* desc) override;
  HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE UnlockRect() override;

  UINT Width() const { return width_; }
  UINT Height() const { return height_; }
  D3DFORMAT Format() const { return format_; }
  D3DPOOL Pool() const { return pool_; }
  bool Locked() const { return locked_; }
  int Pitch() const { return static_cast<int>(width_ * 4); }
  std::uint8_t* Bits() { return pixels_.data(); }

 private:
  ~MemorySurface();
  ULONG refs_ = 1;
  UINT width_;
  UINT height_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  bool locked_ = false;
  std::vector<std::uint8_t> pixels_;
};

// The back buffer as GetBackBuffer hands it out. The device owns it; while the application
// holds references it holds one on the device, and it counts as a D3DPOOL_DEFAULT resource (a
// Reset would replace the buffer it describes).
class BackBufferSurface final : public SurfaceBase {
 public:
  explicit BackBufferSurface(GlDevice* device) : SurfaceBase(device) {}
  ~BackBufferSurface() = default;

  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* desc) override;
  HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE UnlockRect() override;

  GlDevice* Device() const { return device_; }

 private:
  ULONG refs_ = 0;
};

// Copies a rectangle of any surface of this backend as A8R8G8B8 rows, top row first (X8R8G8B8
// pixels read with alpha 0xFF). E_NOINTERFACE when the surface is not one of ours;
// D3DERR_INVALIDCALL for a rectangle outside it or a locked surface.
HRESULT ReadSurfacePixels(IDirect3DSurface9* surface, const RECT& rect, void* bits, int pitch);

}  // namespace zr::d3d9
