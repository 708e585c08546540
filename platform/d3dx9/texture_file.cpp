// D3DXCreateTextureFromFileExA / D3DXCreateTextureFromFileA on the image reader (image_file.h)
// and the GL device's textures.
//
// - Width and height of 0, D3DX_DEFAULT, D3DX_DEFAULT_NONPOW2 or D3DX_FROM_FILE take the image's
//   own: GL 3.3 takes any size, so nothing is rounded up to a power of two. Other sizes resample
//   the image with `filter` (D3DX_DEFAULT: the box average).
// - Mip levels of 0 or D3DX_DEFAULT make the full chain with `mipFilter`; D3DX_FROM_FILE makes
//   one (image files here hold one level); more than the full chain are cut to it.
// - Format D3DFMT_UNKNOWN takes the image's (A8R8G8B8 with an alpha channel, else X8R8G8B8), and
//   A8R8G8B8 when the colour key made texels transparent; A8R8G8B8 and X8R8G8B8 may be asked
//   for; other formats are refused (D3DERR_INVALIDCALL).
// - The colour key (0xAARRGGBB; 0 for none) turns matching source pixels into transparent black
//   before any resampling. The palette is not used (null is fine). `srcInfo` describes the file.
// - A bad file (missing, truncated, corrupt, too large) fails with the image reader's result.
#include <d3dx9.h>

#include <vector>

#include "gl_device.h"
#include "image_file.h"
#include "texture.h"

namespace {

bool FromImage(UINT size) {
  return size == 0 || size == D3DX_DEFAULT || size == D3DX_DEFAULT_NONPOW2 || size == D3DX_FROM_FILE;
}

}  // namespace

HRESULT WINAPI D3DXCreateTextureFromFileExA(LPDIRECT3DDEVICE9 device, LPCSTR srcFile, UINT width, UINT height,
                                            UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                            DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                            PALETTEENTRY* /*palette*/, LPDIRECT3DTEXTURE9* texture) {
  if (texture == nullptr) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  auto* gl = dynamic_cast<zr::d3d9::GlDevice*>(device);
  if (gl == nullptr || srcFile == nullptr) return D3DERR_INVALIDCALL;
  if (format != D3DFMT_UNKNOWN && format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;

  zr::d3dx9::Image image;
  if (HRESULT hr = zr::d3dx9::DecodeImageFile(srcFile, &image); FAILED(hr)) return hr;
  bool keyed = zr::d3dx9::ApplyColorKey(&image, colorKey) > 0;
  UINT w = FromImage(width) ? image.width : width;
  UINT h = FromImage(height) ? image.height : height;
  if (w != image.width || h != image.height) {
    zr::d3dx9::Image resized;
    if (HRESULT hr = zr::d3dx9::ResampleImage(image, w, h, filter, &resized); FAILED(hr)) return hr;
    image = std::move(resized);
  }
  UINT full = zr::d3dx9::FullMipLevelCount(w, h);
  UINT levels = mipLevels == 0 || mipLevels == D3DX_DEFAULT ? full : mipLevels == D3DX_FROM_FILE ? 1 : mipLevels;
  if (levels > full) levels = full;
  if (usage & D3DUSAGE_AUTOGENMIPMAP) levels = 1;  // GL makes the rest
  if (format == D3DFMT_UNKNOWN) format = keyed ? D3DFMT_A8R8G8B8 : image.format;

  std::vector<zr::d3dx9::Image> chain;
  if (levels > 1) {
    if (HRESULT hr = zr::d3dx9::BuildMipChain(image, levels, mipFilter, &chain); FAILED(hr)) return hr;
  } else {
    chain.push_back(std::move(image));
  }

  IDirect3DTexture9* made = nullptr;
  if (HRESULT hr = gl->CreateTexture(w, h, levels, usage, format, pool, &made, nullptr); FAILED(hr)) return hr;
  auto* t = static_cast<zr::d3d9::GlTexture*>(made);
  for (UINT i = 0; i < levels; ++i) {
    if (HRESULT hr = t->WriteLevel(i, chain[i].argb.data()); FAILED(hr)) {
      made->Release();
      return hr;
    }
  }
  if (srcInfo != nullptr) *srcInfo = chain[0].info;
  *texture = made;
  return D3D_OK;
}

HRESULT WINAPI D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 device, LPCSTR srcFile, LPDIRECT3DTEXTURE9* texture) {
  return D3DXCreateTextureFromFileExA(device, srcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                      D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, texture);
}
