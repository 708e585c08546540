#include "surface.h"

#include <cstring>

#include "gl_device.h"

namespace zr::d3d9 {

HRESULT SurfaceBase::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDirect3DResource9 || iid == IID_IDirect3DSurface9) {
    *object = static_cast<IDirect3DSurface9*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT SurfaceBase::GetDevice(IDirect3DDevice9** device) {
  if (device == nullptr) return D3DERR_INVALIDCALL;
  device_->AddRef();
  *device = device_;
  return D3D_OK;
}

MemorySurface::MemorySurface(GlDevice* device, UINT width, UINT height, D3DFORMAT format, D3DPOOL pool)
    : SurfaceBase(device), width_(width), height_(height), format_(format), pool_(pool),
      pixels_(static_cast<std::size_t>(width) * height * 4, 0) {
  device_->AddRef();
  if (pool_ == D3DPOOL_DEFAULT) device_->AddDefaultPoolResource(this);
}

MemorySurface::~MemorySurface() {
  if (pool_ == D3DPOOL_DEFAULT) device_->RemoveDefaultPoolResource(this);
  device_->Release();
}

ULONG MemorySurface::AddRef() { return ++refs_; }

ULONG MemorySurface::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT MemorySurface::GetDesc(D3DSURFACE_DESC* desc) {
  if (desc == nullptr) return D3DERR_INVALIDCALL;
  *desc = D3DSURFACE_DESC{};
  desc->Format = format_;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = 0;
  desc->Pool = pool_;
  desc->MultiSampleType = D3DMULTISAMPLE_NONE;
  desc->Width = width_;
  desc->Height = height_;
  return D3D_OK;
}

HRESULT MemorySurface::LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD) {
  if (lockedRect == nullptr || locked_) return D3DERR_INVALIDCALL;
  LONG left = 0;
  LONG top = 0;
  if (rect != nullptr) {
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
        rect->right > static_cast<LONG>(width_) || rect->bottom > static_cast<LONG>(height_))
      return D3DERR_INVALIDCALL;
    left = rect->left;
    top = rect->top;
  }
  locked_ = true;
  lockedRect->Pitch = Pitch();
  lockedRect->pBits = pixels_.data() + static_cast<std::size_t>(top) * Pitch() + static_cast<std::size_t>(left) * 4;
  return D3D_OK;
}

HRESULT MemorySurface::UnlockRect() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  return D3D_OK;
}

ULONG BackBufferSurface::AddRef() {
  if (refs_++ == 0) {
    device_->AddRef();
    device_->AddDefaultPoolResource(this);
  }
  return refs_;
}

ULONG BackBufferSurface::Release() {
  if (refs_ == 0) return 0;
  ULONG left = --refs_;
  if (left == 0) {
    device_->RemoveDefaultPoolResource(this);
    device_->Release();  // may destroy the device, and this surface with it
  }
  return left;
}

HRESULT BackBufferSurface::GetDesc(D3DSURFACE_DESC* desc) {
  if (desc == nullptr) return D3DERR_INVALIDCALL;
  const D3DPRESENT_PARAMETERS& pp = device_->PresentParameters();
  *desc = D3DSURFACE_DESC{};
  desc->Format = pp.BackBufferFormat;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = D3DUSAGE_RENDERTARGET;
  desc->Pool = D3DPOOL_DEFAULT;
  desc->MultiSampleType = pp.MultiSampleType;
  desc->MultiSampleQuality = pp.MultiSampleQuality;
  desc->Width = pp.BackBufferWidth;
  desc->Height = pp.BackBufferHeight;
  return D3D_OK;
}

// Back buffers are not lockable: the device is never asked for D3DPRESENTFLAG_LOCKABLE_BACKBUFFER.
HRESULT BackBufferSurface::LockRect(D3DLOCKED_RECT*, const RECT*, DWORD) { return D3DERR_INVALIDCALL; }
HRESULT BackBufferSurface::UnlockRect() { return D3DERR_INVALIDCALL; }

HRESULT ReadSurfacePixels(IDirect3DSurface9* surface, const RECT& rect, void* bits, int pitch) {
  if (surface == nullptr || bits == nullptr) return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC desc{};
  if (auto* back = dynamic_cast<BackBufferSurface*>(surface)) {
    back->GetDesc(&desc);
    if (rect.left < 0 || rect.top < 0 || rect.left >= rect.right || rect.top >= rect.bottom ||
        rect.right > static_cast<LONG>(desc.Width) || rect.bottom > static_cast<LONG>(desc.Height))
      return D3DERR_INVALIDCALL;
    return back->Device()->ReadBackBuffer(rect, bits, pitch);
  }
  auto* memory = dynamic_cast<MemorySurface*>(surface);
  if (memory == nullptr) return E_NOINTERFACE;
  if (memory->Locked() || rect.left < 0 || rect.top < 0 || rect.left >= rect.right || rect.top >= rect.bottom ||
      rect.right > static_cast<LONG>(memory->Width()) || rect.bottom > static_cast<LONG>(memory->Height()))
    return D3DERR_INVALIDCALL;
  std::size_t rowBytes = static_cast<std::size_t>(rect.right - rect.left) * 4;
  bool opaque = memory->Format() == D3DFMT_X8R8G8B8;
  for (LONG y = rect.top; y < rect.bottom; ++y) {
    const std::uint8_t* from = memory->Bits() + static_cast<std::size_t>(y) * memory->Pitch() + rect.left * 4;
    auto* to = static_cast<std::uint8_t*>(bits) + static_cast<std::ptrdiff_t>(y - rect.top) * pitch;
    std::memcpy(to, from, rowBytes);
    if (opaque)
      for (std::size_t x = 3; x < rowBytes; x += 4) to[x] = 0xFF;
  }
  return D3D_OK;
}

}  // namespace zr::d3d9
