// The first stage of reading a .X file: its header, and for the compressed forms the MSZIP blocks
// inflated into the token stream that follows the header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "xfile.h"

namespace zr::d3dx9::xfile::detail {

enum class Encoding { kText, kBinary };

// The token stream of a file: `data`/`size` point into the caller's bytes, or into `inflated`
// for a compressed file.
struct TokenStream {
  Encoding encoding = Encoding::kText;
  bool doubles = false;  // float size 0064: binary float lists hold 8-byte doubles
  std::vector<std::uint8_t> inflated;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

inline constexpr std::size_t kHeaderBytes = 16;
// MSZIP blocks hold at most 32 KiB of uncompressed data each.
inline constexpr std::size_t kMszipBlockBytes = 32768;

// Checks the header and, for tzip and bzip, inflates the blocks. `stream` must not move while
// its data points into `inflated`: it is filled in place.
HRESULT OpenTokenStream(const std::uint8_t* file, std::size_t size, const Limits& limits, TokenStream* stream);

// The MSZIP part of a compressed file (what follows the header): the total size of the file as if
// it were not compressed (header included), then blocks of a 16-bit uncompressed size, a 16-bit
// size of what follows ("CK" and the deflate data), "CK" and raw deflate data, each block using the
// one before as its dictionary.
HRESULT InflateMszip(const std::uint8_t* data, std::size_t size, std::size_t maxBytes, std::vector<std::uint8_t>* out);

}  // namespace zr::d3dx9::xfile::detail
