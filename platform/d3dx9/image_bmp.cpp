// BMP files: the headers checked against the data, then the pixels, each read bounded by the data.
#include "image_bmp.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <new>

namespace zr::d3dx9::bmp {
namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr unsigned kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;
constexpr std::uint32_t kOpaqueBlack = 0xFF000000;

unsigned Le16(const std::uint8_t* p) { return p[0] | (unsigned{p[1]} << 8); }
std::uint32_t Le32(const std::uint8_t* p) { return Le16(p) | (std::uint32_t{Le16(p + 2)} << 16); }

bool KnownInfoHeader(std::uint32_t bytes) {
  switch (bytes) {
    case 12: case 16: case 40: case 52: case 56: case 64: case 108: case 124: return true;
    default: return false;
  }
}

bool BitCountAllowed(unsigned bits, unsigned compression, bool core, bool os2) {
  switch (compression) {
    case kRgb: return bits == 1 || bits == 4 || bits == 8 || bits == 24 || (!core && (bits == 16 || bits == 32));
    case kRle8: return bits == 8;
    case kRle4: return bits == 4;
    // OS/2 2.x uses 3 and 4 for Huffman 1D and RLE24.
    case kBitFields: case kAlphaBitFields: return !os2 && (bits == 16 || bits == 32);
    default: return false;  // JPEG, PNG and the unknown
  }
}

// One run of contiguous bits within a pixel of `bits` bits; 0 selects nothing.
bool MaskSound(std::uint32_t mask, unsigned bits) {
  if (mask == 0) return true;
  if (bits < 32 && (mask >> bits) != 0) return false;
  const std::uint32_t run = mask >> std::countr_zero(mask);
  return (run & (run + 1)) == 0;
}

// A mask's field of a pixel, scaled from its width to 8 bits by rounding.
struct Field {
  explicit Field(std::uint32_t mask)
      : mask(mask), shift(mask == 0 ? 0 : std::countr_zero(mask)), top(mask >> shift) {}
  std::uint32_t operator()(std::uint32_t pixel) const {
    const std::uint32_t value = (pixel & mask) >> shift;
    if (top == 0xFF || top == 0) return value;
    return static_cast<std::uint32_t>((std::uint64_t{value} * 255 + top / 2) / top);
  }
  std::uint32_t mask;
  int shift;
  std::uint32_t top;
};

class Pixels {
 public:
  Pixels(const Header& header, std::vector<std::uint32_t>* argb) : header_(header), argb_(*argb) {}
  // The row the file's `stored`-th row of pixels lands on.
  std::uint32_t* Row(std::uint32_t stored) {
    const std::uint32_t row = header_.topDown ? stored : header_.height - 1 - stored;
    return argb_.data() + std::size_t{row} * header_.width;
  }

 private:
  const Header& header_;
  std::vector<std::uint32_t>& argb_;
};

std::size_t Stride(const Header& header) {
  return static_cast<std::size_t>((std::uint64_t{header.width} * header.bits + 31) / 32 * 4);
}

void ReadPalette(const std::uint8_t* data, const Header& header, std::uint32_t (&palette)[256]) {
  std::fill(std::begin(palette), std::end(palette), kOpaqueBlack);  // an index past the entries
  const std::uint8_t* entry = data + header.paletteOffset;
  for (unsigned i = 0; i < header.paletteEntries; ++i, entry += header.paletteEntryBytes)
    palette[i] = kOpaqueBlack | (std::uint32_t{entry[2]} << 16) | (std::uint32_t{entry[1]} << 8) | entry[0];
}

void DecodeIndexed(const std::uint8_t* data, const Header& header, std::vector<std::uint32_t>* argb) {
  std::uint32_t palette[256];
  ReadPalette(data, header, palette);
  Pixels pixels(header, argb);
  const unsigned bits = header.bits, perByte = 8 / bits, lowMask = (1u << bits) - 1;
  const std::size_t stride = Stride(header);
  for (std::uint32_t r = 0; r < header.height; ++r) {
    const std::uint8_t* in = data + header.pixelOffset + r * stride;
    std::uint32_t* out = pixels.Row(r);
    for (std::uint32_t x = 0; x < header.width; ++x) {
      const unsigned shift = 8 - bits * (x % perByte + 1);
      out[x] = palette[(in[x / perByte] >> shift) & lowMask];
    }
  }
}

void DecodeFields(const std::uint8_t* data, const Header& header, std::vector<std::uint32_t>* argb) {
  const Field red(header.masks[0]), green(header.masks[1]), blue(header.masks[2]), alpha(header.masks[3]);
  const unsigned bytes = header.bits / 8;
  const std::size_t stride = Stride(header);
  Pixels pixels(header, argb);
  std::uint32_t anyAlpha = 0;
  for (std::uint32_t r = 0; r < header.height; ++r) {
    const std::uint8_t* in = data + header.pixelOffset + r * stride;
    std::uint32_t* out = pixels.Row(r);
    for (std::uint32_t x = 0; x < header.width; ++x, in += bytes) {
      std::uint32_t v = 0;
      for (unsigned b = 0; b < bytes; ++b) v |= std::uint32_t{in[b]} << (8 * b);
      const std::uint32_t a = alpha.mask == 0 ? 0xFF : alpha(v);
      anyAlpha |= a;
      out[x] = (a << 24) | (red(v) << 16) | (green(v) << 8) | blue(v);
    }
  }
  if (header.zeroAlphaOpaque && anyAlpha == 0)
    for (std::uint32_t& p : *argb) p |= kOpaqueBlack;
}

// RLE8 and RLE4: pairs of a count and a value (a run), or of 0 and an escape: 0 end of line, 1 end
// of the bitmap, 2 a delta (right, up), 3..255 that many pixels as they are, padded to 16 bits.
// Runs past the end of a row are cut there; the stream ends at the last row or the data's end.
void DecodeRle(const std::uint8_t* data, std::size_t size, const Header& header, std::vector<std::uint32_t>* argb) {
  std::uint32_t palette[256];
  ReadPalette(data, header, palette);
  Pixels pixels(header, argb);
  const bool rle4 = header.compression == kRle4;
  const std::uint32_t width = header.width;
  const std::uint8_t* in = data + header.pixelOffset;
  std::size_t left = size - header.pixelOffset;
  std::uint32_t x = 0, y = 0;  // y counts rows in the stream's order
  std::uint32_t* row = pixels.Row(0);
  while (y < header.height && left >= 2) {
    const unsigned count = in[0], value = in[1];
    in += 2;
    left -= 2;
    if (count > 0) {
      const unsigned n = std::min<std::uint32_t>(count, width - x);
      for (unsigned i = 0; i < n; ++i) row[x + i] = palette[rle4 ? (i % 2 == 0 ? value >> 4 : value & 15) : value];
      x += n;
    } else if (value == 0 || value == 2) {
      std::uint32_t right = 0, up = 1;
      if (value == 2) {
        if (left < 2) break;
        right = in[0];
        up = in[1];
        in += 2;
        left -= 2;
      }
      x = value == 0 ? 0 : std::min(x + right, width);
      y += up;
      if (up != 0 && y < header.height) row = pixels.Row(y);
    } else if (value == 1) {
      break;
    } else {
      const std::size_t bytes = rle4 ? (value + 1) / 2 : value;
      const std::size_t present = std::min(bytes, left);
      const unsigned n = std::min<std::uint32_t>(rle4 ? std::min<std::size_t>(value, 2 * present) : present, width - x);
      for (unsigned i = 0; i < n; ++i) row[x + i] = palette[rle4 ? (i % 2 == 0 ? in[i / 2] >> 4 : in[i / 2] & 15) : in[i]];
      x += n;
      const std::size_t used = std::min(bytes + bytes % 2, left);
      in += used;
      left -= used;
    }
  }
}

}  // namespace

Result ReadHeader(const std::uint8_t* data, std::size_t size, Header* header) {
  if (data == nullptr || header == nullptr || size < kFileHeaderBytes + 4 || data[0] != 'B' || data[1] != 'M')
    return Result::kInvalid;
  const std::uint32_t infoBytes = Le32(data + kFileHeaderBytes);
  if (!KnownInfoHeader(infoBytes) || size - kFileHeaderBytes < infoBytes) return Result::kInvalid;
  const std::uint8_t* info = data + kFileHeaderBytes;
  const bool core = infoBytes == 12, os2 = infoBytes == 16 || infoBytes == 64;
  Header h;
  std::int64_t width = 0, height = 0;
  unsigned planes = 0;
  std::uint32_t colours = 0;
  if (core) {
    width = Le16(info + 4);
    height = Le16(info + 6);
    planes = Le16(info + 8);
    h.bits = Le16(info + 10);
    h.paletteEntryBytes = 3;
  } else {
    width = static_cast<std::int32_t>(Le32(info + 4));
    height = static_cast<std::int32_t>(Le32(info + 8));
    planes = Le16(info + 12);
    h.bits = Le16(info + 14);
    if (infoBytes >= 40) {
      h.compression = Le32(info + 16);
      colours = Le32(info + 32);
    }
  }
  if (planes != 1 || width < 1 || height == 0 || height == std::numeric_limits<std::int32_t>::min())
    return Result::kInvalid;
  if (!BitCountAllowed(h.bits, h.compression, core, os2)) return Result::kInvalid;
  h.topDown = height < 0;
  h.width = static_cast<std::uint32_t>(width);
  h.height = static_cast<std::uint32_t>(height < 0 ? -height : height);

  std::size_t headersEnd = kFileHeaderBytes + infoBytes;
  if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
    if (infoBytes == 40) {  // the masks follow the header
      const unsigned count = h.compression == kAlphaBitFields ? 4 : 3;
      if (size - headersEnd < 4 * count) return Result::kInvalid;
      for (unsigned i = 0; i < count; ++i) h.masks[i] = Le32(data + headersEnd + 4 * i);
      headersEnd += 4 * count;
    } else {  // V2 and later hold them, the alpha one from V3 on
      for (unsigned i = 0; i < (infoBytes >= 56 ? 4u : 3u); ++i) h.masks[i] = Le32(info + 40 + 4 * i);
    }
    std::uint32_t seen = 0;
    for (std::uint32_t mask : h.masks) {
      if (!MaskSound(mask, h.bits) || (seen & mask) != 0) return Result::kInvalid;
      seen |= mask;
    }
  } else if (h.bits == 16) {
    h.masks[0] = 0x7C00, h.masks[1] = 0x3E0, h.masks[2] = 0x1F;
  } else if (h.bits >= 24) {
    h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
    if (h.bits == 32) h.masks[3] = 0xFF000000, h.zeroAlphaOpaque = true;
  }

  h.paletteOffset = headersEnd;
  h.pixelOffset = Le32(data + 10);
  if (h.pixelOffset < headersEnd || h.pixelOffset >= size) return Result::kInvalid;
  if (h.bits <= 8) {
    std::uint64_t entries = colours != 0 ? colours : 1u << h.bits;
    entries = std::min<std::uint64_t>({entries, 1u << h.bits, (h.pixelOffset - headersEnd) / h.paletteEntryBytes});
    if (entries == 0) return Result::kInvalid;
    h.paletteEntries = static_cast<unsigned>(entries);
  }
  const bool rle = h.compression == kRle8 || h.compression == kRle4;
  if (!rle && h.height > (size - h.pixelOffset) / Stride(h)) return Result::kInvalid;  // rows cut short
  h.mayHaveAlpha = rle || h.masks[3] != 0;
  *header = h;
  return Result::kOk;
}

Result Decode(const std::uint8_t* data, std::size_t size, const Header& header, std::vector<std::uint32_t>* argb) {
  // What ReadHeader checked and the reads below rely on, in case `header` is not from this data.
  const bool rle = header.compression == kRle8 || header.compression == kRle4;
  if (data == nullptr || argb == nullptr || header.width == 0 || header.height == 0 || header.pixelOffset >= size ||
      header.bits == 0 || header.bits > 32 ||
      (header.bits <= 8 && (header.paletteEntries > (1u << header.bits) || header.paletteEntryBytes < 3 ||
                            header.paletteOffset > header.pixelOffset ||
                            header.paletteEntries > (header.pixelOffset - header.paletteOffset) / header.paletteEntryBytes)) ||
      (!rle && header.height > (size - header.pixelOffset) / Stride(header)))
    return Result::kInvalid;
  std::vector<std::uint32_t> pixels;
  try {
    pixels.assign(std::size_t{header.width} * header.height, 0);  // what an RLE stream skips stays 0
  } catch (const std::bad_alloc&) {
    return Result::kOutOfMemory;
  }
  if (rle) DecodeRle(data, size, header, &pixels);
  else if (header.bits <= 8) DecodeIndexed(data, header, &pixels);
  else DecodeFields(data, header, &pixels);
  *argb = std::move(pixels);
  return Result::kOk;
}

}  // namespace zr::d3dx9::bmp
