// JPG and TGA through stb_image, compiled here with those two formats only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zr::d3dx9::stb {

struct Header {
  int width = 0;
  int height = 0;
  int channels = 0;  // 1 grey, 2 grey and alpha, 3 colour, 4 colour and alpha
};

enum class Result { kOk, kInvalid, kOutOfMemory };

// Reads the header of a JPG or TGA image in memory. kInvalid when stb rejects it or it ends
// before its header does.
Result ReadHeader(const std::uint8_t* data, std::size_t size, Header* header);

// Decodes to 0xAARRGGBB pixels, top row first. kInvalid when the data is corrupt, needs bytes
// past its end, or turns out another size than `expected`. stb allocates nothing larger than
// `maxAllocation` bytes at once.
Result Decode(const std::uint8_t* data, std::size_t size, const Header& expected, std::size_t maxAllocation,
              std::vector<std::uint32_t>* argb);

}  // namespace zr::d3dx9::stb
