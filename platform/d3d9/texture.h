// Textures of the GL device: IDirect3DTexture9 in A8R8G8B8 or X8R8G8B8.
//
// Where the texels live, by pool:
//   D3DPOOL_MANAGED    a GL texture and a copy in memory (locks write the copy; UnlockRect
//                      uploads what was locked). Reset leaves it alone.
//   D3DPOOL_DEFAULT    a GL texture only; with D3DUSAGE_DYNAMIC a copy in memory as well, so that
//                      it can be locked. Counted as a DEFAULT-pool resource: Reset refuses to run
//                      while one lives.
//   D3DPOOL_SYSTEMMEM,
//   D3DPOOL_SCRATCH    memory only: lockable, never drawn (SetTexture refuses them).
// An X8R8G8B8 texture samples with alpha 1 whatever its memory holds (a GL swizzle). Rows are
// 0xAARRGGBB, top row first, the level's width apart; the GL texture holds them top row first
// too, so texture coordinate v is GL's t.
//
// D3DUSAGE_AUTOGENMIPMAP: one level as far as the application sees (GetLevelCount is 1); GL
// keeps the full chain and remakes it from level 0 after each unlock. D3DUSAGE_RENDERTARGET and
// D3DUSAGE_DEPTHSTENCIL are refused (D3DERR_INVALIDCALL): nothing here draws into textures.
//
// A texture holds a reference on its device, as every resource does, so the device (and its GL
// context) outlives it; a texture that goes is first unbound from the device's stages, and any
// drawing the device holds back that samples it is dropped, undrawn.
#pragma once

#include <d3d9.h>
#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

namespace zr::d3d9 {

class GlDevice;

// The largest width or height of a texture (GL's own limit may be lower).
inline constexpr UINT kMaxTextureSide = 8192;

// Levels of a full mip chain for a width x height texture: down to 1x1.
UINT FullMipChain(UINT width, UINT height);

class GlTexture final : public IDirect3DTexture9 {
 public:
  static HRESULT Create(GlDevice* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, IDirect3DTexture9** texture);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDirect3DResource9
  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override;
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_TEXTURE; }
  // IDirect3DBaseTexture9
  DWORD STDMETHODCALLTYPE GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
  // IDirect3DTexture9
  HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
  HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override;

  // --- For the drawing backends and D3DX ---
  GlDevice* Device() const { return device_; }
  // The GL texture; 0 for a texture in memory only.
  GLuint Name() const { return name_; }
  D3DPOOL Pool() const { return pool_; }
  D3DFORMAT Format() const { return format_; }
  DWORD Usage() const { return usage_; }
  UINT Width() const { return levels_[0].width; }
  UINT Height() const { return levels_[0].height; }
  // Replaces a whole level with width x height pixels (0xAARRGGBB, top row first), in any pool
  // and with no lock: D3DX fills the textures it makes this way. The level must not be locked.
  HRESULT WriteLevel(UINT level, const std::uint32_t* argb);

 private:
  struct Level {
    UINT width = 0;
    UINT height = 0;
    std::vector<std::uint32_t> pixels;  // empty when the level lives in GL only
    bool locked = false;
    bool readOnly = false;
    RECT lockRect{};
  };

  GlTexture(GlDevice* device, DWORD usage, D3DFORMAT format, D3DPOOL pool);
  ~GlTexture();
  HRESULT Allocate(UINT width, UINT height, UINT levels);
  // Uploads `rect` of a level from rows `rowLength` pixels apart.
  void Upload(UINT level, const RECT& rect, const std::uint32_t* first, UINT rowLength);
  void RemakeMipChain();

  ULONG refs_ = 1;
  GlDevice* device_;
  DWORD usage_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  GLuint name_ = 0;
  GLint glLevels_ = 0;  // levels GL holds (more than levels_ with AUTOGENMIPMAP)
  std::vector<Level> levels_;
};

}  // namespace zr::d3d9
