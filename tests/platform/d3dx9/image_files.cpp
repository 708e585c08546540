#include "image_files.h"

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace imagetest {
namespace {

void Append(void* out, void* data, int size) {
  static_cast<Bytes*>(out)->insert(static_cast<Bytes*>(out)->end(), static_cast<std::uint8_t*>(data),
                                   static_cast<std::uint8_t*>(data) + size);
}

Bytes Samples(int channels, const Pixels& pixels) {
  Bytes out;
  for (std::uint32_t p : pixels) {
    std::uint8_t a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (channels == 1) out.push_back(g);
    if (channels == 2) out.insert(out.end(), {g, a});
    if (channels >= 3) out.insert(out.end(), {r, g, b});
    if (channels == 4) out.push_back(a);
  }
  return out;
}

void AppendChunk(Bytes* png, const char* type, const Bytes& data) {
  auto be32 = [png](std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) png->push_back((v >> shift) & 0xFF);
  };
  be32(static_cast<std::uint32_t>(data.size()));
  std::size_t from = png->size();
  png->insert(png->end(), type, type + 4);
  png->insert(png->end(), data.begin(), data.end());
  be32(static_cast<std::uint32_t>(crc32(0, png->data() + from, static_cast<uInt>(png->size() - from))));
}

}  // namespace

Bytes Write(Kind kind, int width, int height, int channels, const Pixels& pixels) {
  if (pixels.size() != static_cast<std::size_t>(width) * height) throw std::invalid_argument("pixel count");
  Bytes s = Samples(channels, pixels), out;
  stbi_write_tga_with_rle = kind == Kind::kTgaRle;
  int ok = kind == Kind::kPng   ? stbi_write_png_to_func(Append, &out, width, height, channels, s.data(), 0)
           : kind == Kind::kBmp ? stbi_write_bmp_to_func(Append, &out, width, height, channels, s.data())
           : kind == Kind::kJpg ? stbi_write_jpg_to_func(Append, &out, width, height, channels, s.data(), 95)
                                : stbi_write_tga_to_func(Append, &out, width, height, channels, s.data());
  if (!ok) throw std::runtime_error("stb_image_write failed");
  return out;
}

void Put16(Bytes* b, std::size_t at, std::uint16_t v) {
  (*b)[at] = v & 0xFF;
  (*b)[at + 1] = v >> 8;
}

void Put32(Bytes* b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

Bytes ClassicBmp32(int width, int height, const Pixels& pixels) {
  Bytes b(54 + pixels.size() * 4, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(&b, 2, static_cast<std::uint32_t>(b.size()));
  Put32(&b, 10, 54);
  Put32(&b, 14, 40);
  Put32(&b, 18, width);
  Put32(&b, 22, height);
  Put16(&b, 26, 1);
  Put16(&b, 28, 32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) Put32(&b, 54 + ((height - 1 - y) * width + x) * 4, pixels[y * width + x]);
  return b;
}

Bytes PalettePng(int width, int height, const Pixels& palette, const Bytes& indices) {
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

Bytes PngClaiming(std::uint32_t width, std::uint32_t height) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, header;
  for (std::uint32_t v : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8) header.push_back((v >> shift) & 0xFF);
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA
  AppendChunk(&png, "IHDR", header);
  std::uint64_t rows = std::uint64_t{height} * (1 + std::uint64_t{width} * 4);
  Bytes raw(rows < (1u << 20) ? rows : (1u << 20), 0);
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(size);
  if (compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size())) != Z_OK) throw std::runtime_error("zlib");
  packed.resize(size);
  AppendChunk(&png, "IDAT", packed);
  AppendChunk(&png, "IEND", {});
  return png;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot write " + path);
  std::size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  if (written != bytes.size()) throw std::runtime_error("short write " + path);
}

}  // namespace imagetest
