// Image files for textures: PNG, BMP, JPG and TGA read into 32-bit ARGB pixels, resized with the
// D3DX filters, built into mip chains and colour-keyed.
//
// Safety: every entry point survives missing, empty, truncated, corrupt and lying files. The size
// an image claims is checked against ImageLimits before any pixel memory is allocated, and a file
// is read into memory once, up to ImageLimits::maxFileBytes, then decoded from there.
//
// Results:
//   D3D_OK                                     success
//   D3DERR_INVALIDCALL                         a null argument, an unknown filter, a size out of range
//   HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)   the file cannot be opened (missing, bad path, no access)
//   D3DXERR_INVALIDDATA                        anything else about the file: a directory or other non-file,
//                                              empty, too large, an unknown format, truncated, corrupt,
//                                              a size of 0 or over the limits
//   E_OUTOFMEMORY                              memory ran out below the limits
// Outputs are written only on success.
#pragma once

#include <d3dx9.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zr::d3dx9 {

// Largest width or height of an image.
inline constexpr UINT kMaxImageSide = 8192;
// Largest width * height: 64 MB of ARGB pixels.
inline constexpr UINT kMaxImagePixels = 16'777'216;
// Largest image file read.
inline constexpr std::size_t kMaxImageFileBytes = std::size_t{64} << 20;

struct ImageLimits {
  UINT maxSide = kMaxImageSide;
  UINT maxPixels = kMaxImagePixels;
  std::size_t maxFileBytes = kMaxImageFileBytes;
};

struct Image {
  UINT width = 0;
  UINT height = 0;
  // D3DFMT_A8R8G8B8 when the image has an alpha channel, D3DFMT_X8R8G8B8 otherwise (its alpha is 0xFF).
  D3DFORMAT format = D3DFMT_UNKNOWN;
  // 0xAARRGGBB, width * height of them, top row first.
  std::vector<std::uint32_t> argb;
  // What the file holds; after ResampleImage it still describes the source file.
  D3DXIMAGE_INFO info{};
};

// Describes an image file from its header: Width, Height, Depth 1, MipLevels 1, D3DRTYPE_TEXTURE,
// the file's format (told by content, not by name) and Format as Image::format. Grey images count
// as colour. A BMP that may have alpha (32 bits, an alpha mask, RLE) is decoded to see whether any
// alpha is below 0xFF: a plain 32-bit one whose alpha bytes are all 0 is opaque, an RLE one that
// writes every pixel too.
HRESULT ReadImageInfo(const char* path, D3DXIMAGE_INFO* info, const ImageLimits& limits = {});
HRESULT ReadImageInfoFromMemory(const void* data, std::size_t size, D3DXIMAGE_INFO* info,
                                const ImageLimits& limits = {});

// Decodes an image file to ARGB. PNG through libpng (CRCs checked, the stored samples: no gamma or
// colour transform), BMP through image_bmp.h, JPG and TGA through stb_image. What each accepts and
// refuses: README.md.
HRESULT DecodeImageFile(const char* path, Image* out, const ImageLimits& limits = {});
HRESULT DecodeImageMemory(const void* data, std::size_t size, Image* out, const ImageLimits& limits = {});

// Resizes `source` to width x height with a D3DX filter (the low 16 bits of `filter`):
//   D3DX_FILTER_NONE      copies into the top-left; what the source does not cover is 0x00000000
//   D3DX_FILTER_POINT     the nearest source pixel
//   D3DX_FILTER_LINEAR    bilinear between the four nearest; off the edge the image wraps, or is
//                         mirrored along an axis with D3DX_FILTER_MIRROR_U / _V
//   D3DX_FILTER_TRIANGLE, D3DX_FILTER_BOX, D3DX_DEFAULT
//                         the area average: each source pixel weighs by how much of it the
//                         destination pixel covers
// Channels are averaged as they are (not premultiplied) and rounded to nearest, halves up.
// D3DX_FILTER_DITHER is ignored. Sizes are 1 to kMaxImageSide, at most kMaxImagePixels in all.
// `out` keeps the source's format and info.
HRESULT ResampleImage(const Image& source, UINT width, UINT height, DWORD filter, Image* out);

// Levels of a full mip chain for a width x height image: down to 1x1.
UINT FullMipLevelCount(UINT width, UINT height);

// `chain` becomes `top` followed by levels each half the size of the one before (at least 1),
// made from it with `filter` (as ResampleImage; D3DX_DEFAULT is the box average). `levels` of 0
// or D3DX_DEFAULT make the full chain; more than the full chain are cut to it.
HRESULT BuildMipChain(const Image& top, UINT levels, DWORD filter, std::vector<Image>* chain);

// Turns every pixel equal to `colorKey` (0xAARRGGBB) into 0x00000000; a key of 0 changes nothing.
// Returns how many pixels changed.
std::size_t ApplyColorKey(Image* image, D3DCOLOR colorKey);

}  // namespace zr::d3dx9
