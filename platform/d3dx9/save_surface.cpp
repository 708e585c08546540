// D3DXSaveSurfaceToFileA: surfaces to Windows bitmaps.
#include <d3dx9.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "surface.h"

namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The pixels of `rect` as A8R8G8B8 rows, top first: from the d3d9 backend's own surfaces
// directly, from any other surface through LockRect.
HRESULT ReadPixels(IDirect3DSurface9* surface, const D3DSURFACE_DESC& desc, const RECT& rect,
                   std::vector<std::uint8_t>& pixels) {
  int pitch = (rect.right - rect.left) * 4;
  pixels.assign(static_cast<std::size_t>(pitch) * static_cast<std::size_t>(rect.bottom - rect.top), 0);
  HRESULT hr = zr::d3d9::ReadSurfacePixels(surface, rect, pixels.data(), pitch);
  if (hr != E_NOINTERFACE) return hr;
  D3DLOCKED_RECT locked{};
  if (FAILED(surface->LockRect(&locked, &rect, D3DLOCK_READONLY))) return D3DERR_INVALIDCALL;
  for (LONG y = 0; y < rect.bottom - rect.top; ++y) {
    const auto* from = static_cast<const std::uint8_t*>(locked.pBits) + static_cast<std::ptrdiff_t>(y) * locked.Pitch;
    std::uint8_t* to = pixels.data() + static_cast<std::size_t>(y) * pitch;
    for (int x = 0; x < pitch; ++x) to[x] = (desc.Format == D3DFMT_X8R8G8B8 && x % 4 == 3) ? 0xFF : from[x];
  }
  surface->UnlockRect();
  return D3D_OK;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

HRESULT WINAPI D3DXSaveSurfaceToFileA(LPCSTR destFile, D3DXIMAGE_FILEFORMAT destFormat, LPDIRECT3DSURFACE9 srcSurface,
                                      const PALETTEENTRY* srcPalette, const RECT* srcRect) {
  if (destFile == nullptr || *destFile == '\0' || srcSurface == nullptr || srcPalette != nullptr)
    return D3DERR_INVALIDCALL;
  if (destFormat != D3DXIFF_BMP) return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC desc{};
  if (FAILED(srcSurface->GetDesc(&desc))) return D3DERR_INVALIDCALL;
  if (desc.Format != D3DFMT_A8R8G8B8 && desc.Format != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;
  RECT rect{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
  if (srcRect != nullptr) {
    if (srcRect->left < 0 || srcRect->top < 0 || srcRect->left >= srcRect->right || srcRect->top >= srcRect->bottom ||
        srcRect->right > rect.right || srcRect->bottom > rect.bottom)
      return D3DERR_INVALIDCALL;
    rect = *srcRect;
  }
  std::vector<std::uint8_t> pixels;
  if (HRESULT hr = ReadPixels(srcSurface, desc, rect, pixels); FAILED(hr)) return hr;

  // BITMAPFILEHEADER and BITMAPINFOHEADER (BI_RGB, 32 bits); rows bottom-up, each pixel stored
  // B, G, R, A as the surface holds it in memory.
  auto width = static_cast<std::uint32_t>(rect.right - rect.left);
  auto height = static_cast<std::uint32_t>(rect.bottom - rect.top);
  std::uint32_t imageBytes = width * height * 4;
  std::uint8_t header[54] = {'B', 'M'};
  Put32(header + 2, 54 + imageBytes);
  Put32(header + 10, 54);
  Put32(header + 14, 40);
  Put32(header + 18, width);
  Put32(header + 22, height);
  Put16(header + 26, 1);
  Put16(header + 28, 32);
  Put32(header + 30, 0);  // BI_RGB
  Put32(header + 34, imageBytes);
  Put32(header + 38, 2835);  // 72 dots per inch
  Put32(header + 42, 2835);

  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(destFile, "wb"));
  if (!file) return E_FAIL;
  bool written = std::fwrite(header, sizeof header, 1, file.get()) == 1;
  for (std::uint32_t y = height; written && y-- > 0;)
    written = std::fwrite(pixels.data() + static_cast<std::size_t>(y) * width * 4, width * 4, 1, file.get()) == 1;
  if (std::fclose(file.release()) != 0) written = false;
  if (!written) {
    std::remove(destFile);
    return E_FAIL;
  }
  return D3D_OK;
}
