// Image files made in memory for the reader's tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imagetest {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint32_t>;  // 0xAARRGGBB, top row first

enum class Kind { kPng, kBmp, kTga, kTgaRle, kJpg };

// Through stb_image_write, keeping `channels`: 1 grey (from green), 2 grey and alpha, 3 colour,
// 4 colour and alpha. Its 32-bit BMP has a V4 header with an alpha mask; JPG is quality 95.
Bytes Write(Kind kind, int width, int height, int channels, const Pixels& pixels);
// A 32-bit BMP with the classic 54-byte header (BITMAPINFOHEADER, BI_RGB, bottom-up).
Bytes ClassicBmp32(int width, int height, const Pixels& pixels);
// An 8-bit palette PNG through libpng; a palette alpha below 0xFF writes a tRNS chunk.
Bytes PalettePng(int width, int height, const Pixels& palette, const Bytes& indices);
// An RGBA PNG of that size, every pixel 0, CRCs valid; rows past the first megabyte left out.
Bytes PngClaiming(std::uint32_t width, std::uint32_t height);

void Put16(Bytes* b, std::size_t at, std::uint16_t v);  // little-endian
void Put32(Bytes* b, std::size_t at, std::uint32_t v);
void WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace imagetest
