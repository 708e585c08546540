// Image files made in memory for the reader's tests (one test file includes this).
#pragma once

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace imagetest {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint32_t>;  // 0xAARRGGBB, top row first

enum class Kind { kPng, kBmp, kTga, kTgaRle, kJpg };

inline void Append(void* out, void* data, int size) {
  auto* bytes = static_cast<Bytes*>(out);
  bytes->insert(bytes->end(), static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
}

// The samples stb_image_write takes: 1 grey (from green), 2 grey and alpha, 3 RGB, 4 RGBA.
inline Bytes Samples(int channels, const Pixels& pixels) {
  Bytes out;
  for (std::uint32_t p : pixels) {
    std::uint8_t a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (channels <= 2) out.push_back(g);
    if (channels >= 3) out.insert(out.end(), {r, g, b});
    if (channels % 2 == 0) out.push_back(a);
  }
  return out;
}

// Through stb_image_write. Its 32-bit BMP has a V4 header with an alpha mask; JPG is quality 95.
inline Bytes Write(Kind kind, int width, int height, int channels, const Pixels& pixels) {
  Bytes s = Samples(channels, pixels), out;
  stbi_write_tga_with_rle = kind == Kind::kTgaRle;
  int ok = kind == Kind::kPng   ? stbi_write_png_to_func(Append, &out, width, height, channels, s.data(), 0)
           : kind == Kind::kBmp ? stbi_write_bmp_to_func(Append, &out, width, height, channels, s.data())
           : kind == Kind::kJpg ? stbi_write_jpg_to_func(Append, &out, width, height, channels, s.data(), 95)
                                : stbi_write_tga_to_func(Append, &out, width, height, channels, s.data());
  if (!ok) throw std::runtime_error("stb_image_write failed");
  return out;
}

inline void Put16(Bytes* b, std::size_t at, std::uint32_t v) {  // little-endian
  (*b)[at] = v & 0xFF;
  (*b)[at + 1] = (v >> 8) & 0xFF;
}
inline void Put32(Bytes* b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v);
  Put16(b, at + 2, v >> 16);
}

// A BMP with the classic 54-byte header (BITMAPINFOHEADER, BI_RGB, bottom-up) of `bits` per pixel:
// 32 from `pixels`, or 8 with `pixels` as the palette and `indices` as the rows.
inline Bytes ClassicBmp(int bits, int width, int height, const Pixels& pixels, const Bytes& indices = {}) {
  std::size_t palette = bits == 8 ? pixels.size() * 4 : 0, row = bits == 8 ? (width + 3) / 4 * 4 : width * 4;
  Bytes b(54 + palette + row * height, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(&b, 10, static_cast<std::uint32_t>(54 + palette));
  Put32(&b, 14, 40);
  Put32(&b, 18, width);
  Put32(&b, 22, height);
  Put32(&b, 26, 1 | bits << 16);  // one plane, then the bits per pixel
  for (std::size_t i = 0; i < palette / 4; ++i) Put32(&b, 54 + i * 4, pixels[i]);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::size_t at = 54 + palette + (height - 1 - y) * row + x * (bits / 8);
      if (bits == 8) b[at] = indices[y * width + x];
      else Put32(&b, at, pixels[y * width + x]);
    }
  return b;
}

// An 8-bit palette PNG through libpng; a palette alpha below 0xFF writes a tRNS chunk.
inline Bytes PalettePng(int width, int height, const Pixels& palette, const Bytes& indices) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGBA_COLORMAP;
  image.colormap_entries = static_cast<png_uint_32>(palette.size());
  Bytes colours = Samples(4, palette), out(4096);
  png_alloc_size_t size = out.size();
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, indices.data(), width, colours.data()))
    throw std::runtime_error("palette png");
  out.resize(size);
  return out;
}

inline void Be32(Bytes* b, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b->push_back((v >> shift) & 0xFF);
}

// An RGBA PNG of that size with CRCs valid and every pixel 0; rows past the first megabyte left out.
inline Bytes PngClaiming(std::uint32_t width, std::uint32_t height) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, header, packed;
  auto chunk = [&png](const char* type, const Bytes& data) {
    Be32(&png, static_cast<std::uint32_t>(data.size()));
    std::size_t from = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    Be32(&png, static_cast<std::uint32_t>(crc32(0, png.data() + from, static_cast<uInt>(png.size() - from))));
  };
  Be32(&header, width);
  Be32(&header, height);
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA
  chunk("IHDR", header);
  std::uint64_t rows = std::uint64_t{height} * (1 + std::uint64_t{width} * 4);
  Bytes raw(rows < (1u << 20) ? rows : (1u << 20), 0);
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  packed.resize(size);
  if (compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size())) != Z_OK)
    throw std::runtime_error("zlib");
  packed.resize(size);
  chunk("IDAT", packed);
  chunk("IEND", {});
  return png;
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || (!bytes.empty() && std::fwrite(bytes.data(), bytes.size(), 1, f) != 1))
    throw std::runtime_error("cannot write " + path);
  std::fclose(f);
}

}  // namespace imagetest
