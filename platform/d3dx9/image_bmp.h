// BMP files read from memory into 0xAARRGGBB pixels: every header from the 12-byte core one to V5,
// palettes of 1, 4 and 8 bits, 16, 24 and 32 bits plain or with bit-field masks, RLE8 and RLE4,
// bottom-up and top-down. Every read is bounded by the data; nothing is allocated but the pixels.
//
// Accepted:
//   headers of 12 (core: 16-bit sizes, 3-byte palette entries), 16 and 64 (OS/2 2.x), 40, 52, 56,
//   108 (V4) and 124 (V5) bytes; one plane;
//   1, 4, 8 bits with a palette of biClrUsed entries (or 2^bits), as many of them as fit between
//   the header and the pixels; an index past them reads opaque black;
//   16 bits (x-5-5-5, or bit fields), 24 bits (B, G, R), 32 bits (B, G, R and an alpha byte used
//   only if some pixel's is not 0, or bit fields);
//   BI_BITFIELDS and BI_ALPHABITFIELDS for 16 and 32 bits, masks after a 40-byte header or in a V2+
//   one: each a run of contiguous bits within the pixel, none sharing a bit; each field scaled from
//   its width to 8 bits by rounding; alpha from an alpha mask as it is;
//   BI_RLE8 (8 bits) and BI_RLE4 (4 bits): pixels the stream never writes (passed by a delta or an
//   end of line, or left when the data end) are transparent black 0x00000000.
// Refused (kInvalid): other headers, planes, bit counts and compressions (JPEG, PNG, OS/2 Huffman
// and RLE24 among them), a palette image with no room for one entry, pixel data starting inside the
// headers or at the end of the file, uncompressed rows that the file does not hold whole, a width
// below 1 or a height of 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zr::d3dx9::bmp {

struct Header {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  // Only the pixels tell whether the image has alpha: a plain 32-bit image whose alpha bytes are
  // not all 0, an alpha mask, an RLE stream that leaves pixels unwritten.
  bool mayHaveAlpha = false;

  // The layout, for Decode.
  bool topDown = false;
  unsigned bits = 0;
  unsigned compression = 0;
  std::size_t pixelOffset = 0;
  std::size_t paletteOffset = 0;
  unsigned paletteEntries = 0;
  unsigned paletteEntryBytes = 4;
  std::uint32_t masks[4] = {};  // red, green, blue, alpha, for 16 and 32 bits
  bool zeroAlphaOpaque = false;  // plain 32 bits: alpha bytes that are all 0 mean none
};

enum class Result { kOk, kInvalid, kOutOfMemory };

// Reads and checks the headers of a BMP file (which starts with "BM").
Result ReadHeader(const std::uint8_t* data, std::size_t size, Header* header);

// Decodes the pixels that `header` (from ReadHeader on the same data) describes, top row first.
Result Decode(const std::uint8_t* data, std::size_t size, const Header& header, std::vector<std::uint32_t>* argb);

}  // namespace zr::d3dx9::bmp
