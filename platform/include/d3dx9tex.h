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

// Filters for resizing images and making mip levels, and the "default" sizes.
#define D3DX_FILTER_NONE (1 << 0)
#define D3DX_FILTER_POINT (2 << 0)
#define D3DX_FILTER_LINEAR (3 << 0)
#define D3DX_FILTER_TRIANGLE (4 << 0)
#define D3DX_FILTER_BOX (5 << 0)
#define D3DX_FILTER_MIRROR_U (1 << 16)
#define D3DX_FILTER_MIRROR_V (2 << 16)
#define D3DX_FILTER_MIRROR_W (4 << 16)
#define D3DX_FILTER_MIRROR (7 << 16)
#define D3DX_FILTER_DITHER (1 << 19)
#define D3DX_DEFAULT ((UINT)-1)
#define D3DX_DEFAULT_NONPOW2 ((UINT)-2)
#define D3DX_FROM_FILE ((UINT)-3)

typedef struct _D3DXIMAGE_INFO {
  UINT Width;
  UINT Height;
  UINT Depth;
  UINT MipLevels;
  D3DFORMAT Format;
  D3DRESOURCETYPE ResourceType;
  D3DXIMAGE_FILEFORMAT ImageFileFormat;
} D3DXIMAGE_INFO;

// Describes an image file (PNG, BMP, JPG or TGA) without decoding its pixels.
HRESULT WINAPI D3DXGetImageInfoFromFileA(LPCSTR srcFile, D3DXIMAGE_INFO* srcInfo);
#define D3DXGetImageInfoFromFile D3DXGetImageInfoFromFileA

// Creates a texture from an image file. Width, height and mip levels of 0 or D3DX_DEFAULT take the
// image's own (mip levels: a full chain); D3DX_FROM_FILE keeps the file's size. `filter` resizes
// the image when the texture's size differs, `mipFilter` makes the lower levels. `colorKey`
// (0xAARRGGBB, 0 for none) makes matching texels transparent black.
HRESULT WINAPI D3DXCreateTextureFromFileExA(LPDIRECT3DDEVICE9 device, LPCSTR srcFile, UINT width, UINT height,
                                            UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                            DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                            PALETTEENTRY* palette, LPDIRECT3DTEXTURE9* texture);
#define D3DXCreateTextureFromFileEx D3DXCreateTextureFromFileExA
HRESULT WINAPI D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 device, LPCSTR srcFile, LPDIRECT3DTEXTURE9* texture);
#define D3DXCreateTextureFromFile D3DXCreateTextureFromFileA

// Writes the surface (or the part `sourceRect` names) to the file `destFile`, named exactly so.
// Only D3DXIFF_BMP is written: a 32-bit Windows bitmap. `palette` must be null (no surface this
// program saves has one). D3DERR_INVALIDCALL for bad arguments and other formats, E_FAIL when the
// file cannot be written.
HRESULT WINAPI D3DXSaveSurfaceToFileA(LPCSTR destFile, D3DXIMAGE_FILEFORMAT destFormat, LPDIRECT3DSURFACE9 srcSurface,
                                      const PALETTEENTRY* srcPalette, const RECT* srcRect);
#define D3DXSaveSurfaceToFile D3DXSaveSurfaceToFileA
