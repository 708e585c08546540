#include "texture.h"

#include <algorithm>
#include <new>

#include "gl_device.h"
#include "surface.h"

namespace zr::d3d9 {

namespace {

bool Lockable(D3DPOOL pool, DWORD usage) { return pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC) != 0; }

bool Drawable(D3DPOOL pool) { return pool == D3DPOOL_DEFAULT || pool == D3DPOOL_MANAGED; }

}  // namespace

UINT FullMipChain(UINT width, UINT height) {
  UINT levels = 1;
  while (width > 1 || height > 1) {
    width = std::max(width / 2, 1u);
    height = std::max(height / 2, 1u);
    ++levels;
  }
  return levels;
}

HRESULT GlTexture::Create(GlDevice* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, IDirect3DTexture9** texture) {
  if (texture == nullptr) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  UINT largest = std::min<UINT>(kMaxTextureSide, static_cast<UINT>(std::max(device->MaxTextureSize(), 1)));
  if (width == 0 || height == 0 || width > largest || height > largest) return D3DERR_INVALIDCALL;
  if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;
  if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED && pool != D3DPOOL_SYSTEMMEM && pool != D3DPOOL_SCRATCH)
    return D3DERR_INVALIDCALL;
  if ((usage & ~static_cast<DWORD>(D3DUSAGE_DYNAMIC | D3DUSAGE_AUTOGENMIPMAP)) != 0) return D3DERR_INVALIDCALL;
  // As on the platform: a managed texture cannot be dynamic; mip levels are made only where GL
  // holds the texture, and then the application sees one level.
  if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  bool autogen = (usage & D3DUSAGE_AUTOGENMIPMAP) != 0;
  if (autogen && (!Drawable(pool) || levels > 1)) return D3DERR_INVALIDCALL;
  UINT full = FullMipChain(width, height);
  if (levels > full) return D3DERR_INVALIDCALL;
  if (levels == 0) levels = autogen ? 1 : full;

  auto* t = new (std::nothrow) GlTexture(device, usage, format, pool);
  if (t == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = t->Allocate(width, height, levels);
  if (FAILED(hr)) {
    t->Release();
    return hr;
  }
  *texture = t;
  return D3D_OK;
}

GlTexture::GlTexture(GlDevice* device, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : device_(device), usage_(usage), format_(format), pool_(pool) {
  device_->AddRef();
  if (pool_ == D3DPOOL_DEFAULT) device_->AddDefaultPoolResource(this);
}

GlTexture::~GlTexture() {
  device_->ForgetTexture(this);
  if (name_ != 0) {
    // Quads the device holds back may still sample this texture (a sprite that was told not to
    // keep references): they go with it, undrawn. Nothing draws from a release.
    device_->DropHeldDrawingOf(name_);
    if (device_->MakeCurrent()) glDeleteTextures(1, &name_);
  }
  if (pool_ == D3DPOOL_DEFAULT) device_->RemoveDefaultPoolResource(this);
  device_->Release();  // may destroy the device
}

HRESULT GlTexture::Allocate(UINT width, UINT height, UINT levels) {
  bool inMemory = Lockable(pool_, usage_);
  try {
    levels_.resize(levels);
    for (UINT i = 0; i < levels; ++i) {
      Level& l = levels_[i];
      l.width = std::max(width >> i, 1u);
      l.height = std::max(height >> i, 1u);
      if (inMemory) l.pixels.assign(static_cast<std::size_t>(l.width) * l.height, 0u);
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (!Drawable(pool_)) return D3D_OK;

  if (!device_->MakeCurrent()) return D3DERR_DRIVERINTERNALERROR;
  while (glGetError() != GL_NO_ERROR) {
  }
  glLevels_ = (usage_ & D3DUSAGE_AUTOGENMIPMAP) ? static_cast<GLint>(FullMipChain(width, height))
                                                : static_cast<GLint>(levels);
  glGenTextures(1, &name_);
  glBindTexture(GL_TEXTURE_2D, name_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, glLevels_ - 1);
  if (format_ == D3DFMT_X8R8G8B8) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  for (GLint i = 0; i < glLevels_; ++i) {
    auto w = static_cast<GLsizei>(std::max(width >> i, 1u));
    auto h = static_cast<GLsizei>(std::max(height >> i, 1u));
    // Levels with a copy in memory start as that copy (zero); the others' contents are undefined.
    const void* data = i < static_cast<GLint>(levels_.size()) && !levels_[i].pixels.empty() ? levels_[i].pixels.data()
                                                                                            : nullptr;
    glTexImage2D(GL_TEXTURE_2D, i, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, data);
  }
  return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

void GlTexture::Upload(UINT level, const RECT& rect, const std::uint32_t* first, UINT rowLength) {
  if (name_ == 0 || !device_->MakeCurrent()) return;
  glBindTexture(GL_TEXTURE_2D, name_);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(rowLength));
  glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), rect.left, rect.top, rect.right - rect.left,
                  rect.bottom - rect.top, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, first);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  if (level == 0 && (usage_ & D3DUSAGE_AUTOGENMIPMAP)) RemakeMipChain();
}

void GlTexture::RemakeMipChain() { glGenerateMipmap(GL_TEXTURE_2D); }

HRESULT GlTexture::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDirect3DResource9 || iid == IID_IDirect3DBaseTexture9 ||
      iid == IID_IDirect3DTexture9) {
    *object = static_cast<IDirect3DTexture9*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG GlTexture::AddRef() { return ++refs_; }

ULONG GlTexture::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT GlTexture::GetDevice(IDirect3DDevice9** device) {
  if (device == nullptr) return D3DERR_INVALIDCALL;
  device_->AddRef();
  *device = device_;
  return D3D_OK;
}

HRESULT GlTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (desc == nullptr || level >= levels_.size()) return D3DERR_INVALIDCALL;
  *desc = D3DSURFACE_DESC{};
  desc->Format = format_;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = usage_;
  desc->Pool = pool_;
  desc->MultiSampleType = D3DMULTISAMPLE_NONE;
  desc->Width = levels_[level].width;
  desc->Height = levels_[level].height;
  return D3D_OK;
}

HRESULT GlTexture::LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) {
  if (lockedRect == nullptr || level >= levels_.size() || !Lockable(pool_, usage_)) return D3DERR_INVALIDCALL;
  Level& l = levels_[level];
  if (l.locked) return D3DERR_INVALIDCALL;
  RECT r{0, 0, static_cast<LONG>(l.width), static_cast<LONG>(l.height)};
  if (rect != nullptr) {
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
        rect->right > r.right || rect->bottom > r.bottom)
      return D3DERR_INVALIDCALL;
    r = *rect;
  }
  l.locked = true;
  l.readOnly = (flags & D3DLOCK_READONLY) != 0;
  l.lockRect = r;
  lockedRect->Pitch = static_cast<INT>(l.width * 4);
  lockedRect->pBits = l.pixels.data() + static_cast<std::size_t>(r.top) * l.width + static_cast<std::size_t>(r.left);
  return D3D_OK;
}

HRESULT GlTexture::UnlockRect(UINT level) {
  if (level >= levels_.size() || !levels_[level].locked) return D3DERR_INVALIDCALL;
  Level& l = levels_[level];
  l.locked = false;
  if (!l.readOnly && name_ != 0) {
    // Quads held back that sample this texture were drawn before the change.
    device_->FlushHeldDrawing();
    const RECT& r = l.lockRect;
    Upload(level, r, l.pixels.data() + static_cast<std::size_t>(r.top) * l.width + static_cast<std::size_t>(r.left),
           l.width);
  }
  return D3D_OK;
}

HRESULT GlTexture::WriteLevel(UINT level, const std::uint32_t* argb) {
  if (argb == nullptr || level >= levels_.size() || levels_[level].locked) return D3DERR_INVALIDCALL;
  Level& l = levels_[level];
  if (!l.pixels.empty()) std::copy_n(argb, static_cast<std::size_t>(l.width) * l.height, l.pixels.begin());
  if (name_ != 0) {
    device_->FlushHeldDrawing();
    Upload(level, RECT{0, 0, static_cast<LONG>(l.width), static_cast<LONG>(l.height)}, argb, l.width);
  }
  return D3D_OK;
}

}  // namespace zr::d3d9
