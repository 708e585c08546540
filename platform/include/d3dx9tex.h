// D3DX 9 textures and surfaces: image files.
#pragma once

#include "d3d9.h"
#include "wingdi.h"

typedef enum _D3DXIMAGE_FILEFORMAT {
  D3DXIFF_BMP = 0,
  D3DXIFF_JPG = 1,
  D3DXIFF_TGA = 2,
  D3DXIFF_PNG = 3,
  D3DXIFF_DDS = 4,
  D3DXIFF_PPM = 5,
  D3DXIFF_DIB = 6,
  D3DXIFF_HDR = 7,
  D3DXIFF_PFM = 8,
  D3DXIFF_FORCE_DWORD = 0x7fffffff
} D3DXIMAGE_FILEFORMAT;

// Writes the surface (or the part `sourceRect` names) to the file `destFile`, named exactly so.
// Only D3DXIFF_BMP is written: a 32-bit Windows bitmap. `palette` must be null (no surface this
// program saves has one). D3DERR_INVALIDCALL for bad arguments and other formats, E_FAIL when the
// file cannot be written.
HRESULT WINAPI D3DXSaveSurfaceToFileA(LPCSTR destFile, D3DXIMAGE_FILEFORMAT destFormat, LPDIRECT3DSURFACE9 srcSurface,
                                      const PALETTEENTRY* srcPalette, const RECT* srcRect);
#define D3DXSaveSurfaceToFile D3DXSaveSurfaceToFileA
