// Reading image files: the file into memory once, its format by content, its size checked before
// any pixels are allocated, then PNG through libpng's sequential reader, BMP through our own reader
// (image_bmp.h) and JPG and TGA through stb_image.
#include "image_file.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <new>
#include <utility>

#include "image_bmp.h"
#include "image_stb.h"

namespace zr::d3dx9 {
namespace {

const HRESULT kFileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

// ---------------------------------------------------------------------------------------------
// The file

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads a whole regular file of 1 to `maxBytes` bytes. Opening does not wait (a FIFO would block
// until a writer came); anything but a regular file is refused after it opens.
HRESULT ReadWholeFile(const char* path, std::size_t maxBytes, std::vector<std::uint8_t>* bytes) {
  FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.get() < 0) return kFileNotFound;
  struct stat status {};
  if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return D3DXERR_INVALIDDATA;
  if (status.st_size < 0 || static_cast<std::uint64_t>(status.st_size) > maxBytes) return D3DXERR_INVALIDDATA;

  // The size is a hint: the file may change while it is read. One byte more than allowed tells
  // a file that grew past the limit.
  std::vector<std::uint8_t> data;
  std::size_t used = 0;
  try {
    std::size_t capacity = static_cast<std::size_t>(status.st_size) + 1;
    if (capacity < 4096) capacity = 4096;
    if (capacity > maxBytes + 1) capacity = maxBytes + 1;
    data.resize(capacity);
    for (;;) {
      if (used == data.size()) {
        if (data.size() > maxBytes) break;
        std::size_t grown = data.size() * 2;
        data.resize(grown > maxBytes + 1 ? maxBytes + 1 : grown);
      }
      ssize_t n = ::read(file.get(), data.data() + used, data.size() - used);
      if (n < 0) {
        if (errno == EINTR) continue;
        return D3DXERR_INVALIDDATA;
      }
      if (n == 0) break;
      used += static_cast<std::size_t>(n);
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (used == 0 || used > maxBytes) return D3DXERR_INVALIDDATA;
  data.resize(used);
  *bytes = std::move(data);
  return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// What the data hold

struct Probe {
  D3DXIMAGE_FILEFORMAT fileFormat = D3DXIFF_BMP;
  UINT width = 0;
  UINT height = 0;
  bool alpha = false;  // an alpha channel, for PNG a transparent colour, for BMP that it may have one
  stb::Header stbHeader;
  bmp::Header bmpHeader;
};

bool StartsWith(const std::uint8_t* data, std::size_t size, const std::uint8_t* magic, std::size_t length) {
  return size >= length && std::memcmp(data, magic, length) == 0;
}

constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t kBmpSignature[] = {'B', 'M'};
constexpr std::uint8_t kJpgSignature[] = {0xFF, 0xD8, 0xFF};
constexpr std::size_t kTgaHeaderBytes = 18;

// PNG, BMP and JPG by their signatures. TGA has none, but its second byte (the colour map type)
// is 0 or 1, which no BMP or JPG has: stb, which tries JPG before TGA, then decodes each file as
// the format told here and checked below.
bool SniffFormat(const std::uint8_t* data, std::size_t size, D3DXIMAGE_FILEFORMAT* format) {
  if (StartsWith(data, size, kPngSignature, sizeof kPngSignature)) *format = D3DXIFF_PNG;
  else if (StartsWith(data, size, kBmpSignature, sizeof kBmpSignature)) *format = D3DXIFF_BMP;
  else if (StartsWith(data, size, kJpgSignature, sizeof kJpgSignature)) *format = D3DXIFF_JPG;
  else if (size >= kTgaHeaderBytes && data[1] <= 1) *format = D3DXIFF_TGA;
  else return false;
  return true;
}

bool SizeAllowed(std::uint64_t width, std::uint64_t height, const ImageLimits& limits) {
  return width >= 1 && height >= 1 && width <= limits.maxSide && height <= limits.maxSide &&
         width * height <= limits.maxPixels;
}

unsigned Le16(const std::uint8_t* p) { return p[0] | (unsigned{p[1]} << 8); }

// stb reads the rows of an uncompressed true-colour or grey TGA in bulk and leaves what is missing
// unwritten, so their length is checked here.
bool TgaPixelsPresent(const std::uint8_t* data, std::size_t size) {
  if (size < kTgaHeaderBytes) return false;
  unsigned colourMapType = data[1], imageType = data[2];
  if (colourMapType != 0 || (imageType != 2 && imageType != 3)) return true;
  std::uint64_t bytesPerPixel = (data[16] + 7u) / 8u;
  std::uint64_t needed =
      kTgaHeaderBytes + data[0] + std::uint64_t{Le16(data + 12)} * std::uint64_t{Le16(data + 14)} * bytesPerPixel;
  return size >= needed;
}

unsigned Be16(const std::uint8_t* p) { return (unsigned{p[0]} << 8) | p[1]; }
std::uint32_t Be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// A PNG file is whole only if its chunks lead to an IEND chunk (which has no data, so its CRC is
// fixed). Checked before libpng reads anything: png_read_end then checks the chunks on the way.
bool PngEndsWithIend(const std::uint8_t* data, std::size_t size) {
  constexpr std::uint8_t kIend[] = {'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  std::size_t at = sizeof kPngSignature;
  while (size - at >= 12) {
    std::uint32_t length = Be32(data + at);
    if (length == 0 && std::memcmp(data + at + 4, kIend, sizeof kIend) == 0) return true;
    if (length > size - at - 12) return false;
    at += 12 + std::size_t{length};
  }
  return false;
}

// Walks a JPEG's segments from SOI to EOI, through the entropy-coded data after each SOS, and
// refuses what stb_image (2.27) would mishandle or accept quietly:
// - a Huffman table of more than 256 codes (stb writes past its tables);
// - a file that ends before EOI (stb decodes the rest as grey);
// - less entropy-coded data than one bit per 8 x 8 block of every component, the least any
//   encoding needs: a frame header claiming far more pixels than the data hold. A smaller lie
//   still decodes, its missing blocks grey, as libjpeg does with a warning.
bool JpegSegmentsSound(const std::uint8_t* data, std::size_t size) {
  std::uint64_t blocks = 0, entropyBytes = 0;
  std::size_t at = 2;  // past SOI
  for (;;) {
    if (at >= size || data[at] != 0xFF) return false;
    while (at < size && data[at] == 0xFF) ++at;  // fill bytes
    if (at >= size) return false;
    std::uint8_t marker = data[at++];
    if (marker == 0xD9) return entropyBytes * 8 >= blocks;             // EOI
    if (marker == 0x00 || marker == 0xD8) return false;                 // not a marker here
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (size - at < 2) return false;
    std::size_t length = Be16(data + at);
    if (length < 2 || length > size - at) return false;
    const std::uint8_t* segment = data + at + 2;
    std::size_t left = length - 2;
    at += length;
    if (marker == 0xC4) {  // DHT: tables of class/id, 16 counts, then the symbols
      while (left > 0) {
        if (left < 17) return false;
        std::size_t codes = 0;
        for (int i = 1; i <= 16; ++i) codes += segment[i];
        if (codes > 256 || left - 17 < codes) return false;
        segment += 17 + codes;
        left -= 17 + codes;
      }
    } else if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
      // SOF: precision, height, width, then id and sampling factors (h << 4 | v) per component.
      if (left < 6) return false;
      std::uint64_t height = Be16(segment + 1), width = Be16(segment + 3);
      unsigned components = segment[5];
      if (left < 6 + 3 * std::size_t{components}) return false;
      unsigned hMax = 1, vMax = 1;
      for (unsigned c = 0; c < components; ++c) {
        hMax = std::max(hMax, unsigned{segment[7 + 3 * c]} >> 4);
        vMax = std::max(vMax, unsigned{segment[7 + 3 * c]} & 15u);
      }
      for (unsigned c = 0; c < components; ++c) {
        unsigned h = unsigned{segment[7 + 3 * c]} >> 4, v = unsigned{segment[7 + 3 * c]} & 15u;
        std::uint64_t w = (width * h + hMax - 1) / hMax, t = (height * v + vMax - 1) / vMax;
        blocks += ((w + 7) / 8) * ((t + 7) / 8);
      }
    } else if (marker == 0xDA) {  // SOS: entropy-coded data until a marker other than RSTn
      while (at < size) {
        if (data[at] != 0xFF) {
          ++at;
          ++entropyBytes;
          continue;
        }
        std::size_t next = at + 1;
        while (next < size && data[next] == 0xFF) ++next;
        if (next >= size) return false;
        std::uint8_t byte = data[next];
        if (byte == 0x00 || (byte >= 0xD0 && byte <= 0xD7)) {
          entropyBytes += byte == 0x00 ? 1 : 0;
          at = next + 1;
          continue;
        }
        at = next - 1;  // the 0xFF before the marker
        break;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// PNG through libpng's sequential reader, giving the stored samples: no gamma or colour transform
// (gAMA, cHRM, sRGB, iCCP and every other ancillary chunk but tRNS are skipped unread, their CRCs
// still checked), palettes and transparent colours expanded, grey to RGB, 16-bit samples cut to
// their high byte.
//
// libpng reports an error by longjmp to the setjmp of the function that called it. Those
// functions (PngReadHeader, PngReadPixels) and the callbacks libpng calls keep only plain data in
// their frames, so the jump skips no destructor; libpng's structures and the pixels are owned by
// the caller's frame, which no jump crosses.

struct PngSource {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position;
};

void PngReadBytes(png_structp png, png_bytep out, std::size_t count) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (count > source->size - source->position) png_error(png, "truncated");
  std::memcpy(out, source->data + source->position, count);
  source->position += count;
}

[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

// libpng's read and info structures over the bytes of a file.
class PngReader {
 public:
  PngReader(const std::uint8_t* data, std::size_t size) : source_{data, size, 0} {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (png_ != nullptr) info_ = png_create_info_struct(png_);
  }
  ~PngReader() { png_destroy_read_struct(&png_, &info_, nullptr); }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;
  bool Created() const { return png_ != nullptr && info_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  PngSource* source() { return &source_; }

 private:
  PngSource source_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

struct PngHeader {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  bool alpha = false;  // an alpha channel or a transparent colour
};

// Reads the chunks before the pixels. A CRC error in any chunk is an error.
bool PngReadHeader(png_structp png, png_infop info, PngSource* source, PngHeader* header) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_set_read_fn(png, source, PngReadBytes);
  png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);  // all but IHDR PLTE tRNS IDAT IEND
  png_read_info(png, info);
  header->width = png_get_image_width(png, info);
  header->height = png_get_image_height(png, info);
  header->alpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) != 0 ||
                  png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  return true;
}

// Reads the pixels into `rows` (each `width` 32-bit pixels: B, G, R, A in memory, which is
// 0xAARRGGBB as a little-endian word; A, R, G, B on a big-endian machine), then the chunks up to IEND.
bool PngReadPixels(png_structp png, png_infop info, png_bytepp rows, png_uint_32 width) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_set_expand(png);  // palette to RGB, transparent colours to alpha, grey of 1, 2 or 4 bits to 8
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  if constexpr (std::endian::native == std::endian::little) {
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  } else {
    png_set_swap_alpha(png);
    png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != std::size_t{width} * 4) return false;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  return true;
}

HRESULT ProbeImage(const std::uint8_t* data, std::size_t size, const ImageLimits& limits, Probe* probe) {
  if (size == 0 || size > limits.maxFileBytes) return D3DXERR_INVALIDDATA;
  Probe p;
  if (!SniffFormat(data, size, &p.fileFormat)) return D3DXERR_INVALIDDATA;
  // Checks of the file's structure come first: stb already parses Huffman tables for a header.
  if (p.fileFormat == D3DXIFF_PNG && !PngEndsWithIend(data, size)) return D3DXERR_INVALIDDATA;
  if (p.fileFormat == D3DXIFF_JPG && !JpegSegmentsSound(data, size)) return D3DXERR_INVALIDDATA;
  if (p.fileFormat == D3DXIFF_TGA && !TgaPixelsPresent(data, size)) return D3DXERR_INVALIDDATA;
  if (p.fileFormat == D3DXIFF_PNG) {
    PngReader png(data, size);
    if (!png.Created()) return E_OUTOFMEMORY;
    PngHeader header;
    if (!PngReadHeader(png.png(), png.info(), png.source(), &header)) return D3DXERR_INVALIDDATA;
    p.width = header.width;
    p.height = header.height;
    p.alpha = header.alpha;
  } else if (p.fileFormat == D3DXIFF_BMP) {
    if (bmp::ReadHeader(data, size, &p.bmpHeader) != bmp::Result::kOk) return D3DXERR_INVALIDDATA;
    p.width = p.bmpHeader.width;
    p.height = p.bmpHeader.height;
    p.alpha = p.bmpHeader.mayHaveAlpha;
  } else {
    stb::Result r = stb::ReadHeader(data, size, &p.stbHeader);
    if (r == stb::Result::kOutOfMemory) return E_OUTOFMEMORY;
    if (r != stb::Result::kOk) return D3DXERR_INVALIDDATA;
    p.width = static_cast<UINT>(p.stbHeader.width);
    p.height = static_cast<UINT>(p.stbHeader.height);
    p.alpha = p.fileFormat != D3DXIFF_JPG && (p.stbHeader.channels == 2 || p.stbHeader.channels == 4);
  }
  if (!SizeAllowed(p.width, p.height, limits)) return D3DXERR_INVALIDDATA;
  *probe = p;
  return D3D_OK;
}

D3DXIMAGE_INFO MakeInfo(const Probe& probe, D3DFORMAT format) {
  D3DXIMAGE_INFO info{};
  info.Width = probe.width;
  info.Height = probe.height;
  info.Depth = 1;
  info.MipLevels = 1;
  info.Format = format;
  info.ResourceType = D3DRTYPE_TEXTURE;
  info.ImageFileFormat = probe.fileFormat;
  return info;
}

// ---------------------------------------------------------------------------------------------
// Pixels

HRESULT DecodePng(const std::uint8_t* data, std::size_t size, const Probe& probe, std::vector<std::uint32_t>* argb) {
  PngReader png(data, size);
  if (!png.Created()) return E_OUTOFMEMORY;
  PngHeader header;
  if (!PngReadHeader(png.png(), png.info(), png.source(), &header)) return D3DXERR_INVALIDDATA;
  if (header.width != probe.width || header.height != probe.height) return D3DXERR_INVALIDDATA;
  std::vector<png_bytep> rows;
  try {
    argb->resize(std::size_t{probe.width} * probe.height);
    rows.resize(probe.height);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  for (UINT y = 0; y < probe.height; ++y)
    rows[y] = reinterpret_cast<png_bytep>(argb->data() + std::size_t{y} * probe.width);
  if (!PngReadPixels(png.png(), png.info(), rows.data(), probe.width)) return D3DXERR_INVALIDDATA;
  return D3D_OK;
}

// Room for stb's largest block: the RGBA result, or a JPEG's coefficients padded to whole blocks.
std::size_t StbAllocationCap(const Probe& probe) {
  return 4 * (std::size_t{probe.width} + 16) * (std::size_t{probe.height} + 16) + (std::size_t{1} << 20);
}

bool AnyTranslucent(const std::vector<std::uint32_t>& argb) {
  for (std::uint32_t pixel : argb)
    if ((pixel >> 24) != 0xFF) return true;
  return false;
}

HRESULT DecodeProbed(const std::uint8_t* data, std::size_t size, const Probe& probe, Image* out) {
  Image image;
  image.width = probe.width;
  image.height = probe.height;
  if (probe.fileFormat == D3DXIFF_PNG) {
    HRESULT hr = DecodePng(data, size, probe, &image.argb);
    if (FAILED(hr)) return hr;
  } else if (probe.fileFormat == D3DXIFF_BMP) {
    bmp::Result r = bmp::Decode(data, size, probe.bmpHeader, &image.argb);
    if (r == bmp::Result::kOutOfMemory) return E_OUTOFMEMORY;
    if (r != bmp::Result::kOk) return D3DXERR_INVALIDDATA;
  } else {
    stb::Result r = stb::Decode(data, size, probe.stbHeader, StbAllocationCap(probe), &image.argb);
    if (r == stb::Result::kOutOfMemory) return E_OUTOFMEMORY;
    if (r != stb::Result::kOk) return D3DXERR_INVALIDDATA;
  }
  bool alpha = probe.alpha;
  // A BMP has alpha if some pixel is translucent: its alpha bytes or fields say so (a plain 32-bit
  // one whose alpha bytes are all 0 reads opaque), or its RLE stream leaves pixels unwritten.
  if (alpha && probe.fileFormat == D3DXIFF_BMP) alpha = AnyTranslucent(image.argb);
  image.format = alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
  image.info = MakeInfo(probe, image.format);
  *out = std::move(image);
  return D3D_OK;
}

}  // namespace

HRESULT ReadImageInfoFromMemory(const void* data, std::size_t size, D3DXIMAGE_INFO* info, const ImageLimits& limits) {
  if (data == nullptr || info == nullptr) return D3DERR_INVALIDCALL;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  Probe probe;
  HRESULT hr = ProbeImage(bytes, size, limits, &probe);
  if (FAILED(hr)) return hr;
  if (probe.fileFormat == D3DXIFF_BMP && probe.alpha) {
    Image image;
    hr = DecodeProbed(bytes, size, probe, &image);
    if (FAILED(hr)) return hr;
    *info = image.info;
    return D3D_OK;
  }
  *info = MakeInfo(probe, probe.alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8);
  return D3D_OK;
}

HRESULT ReadImageInfo(const char* path, D3DXIMAGE_INFO* info, const ImageLimits& limits) {
  if (path == nullptr || info == nullptr) return D3DERR_INVALIDCALL;
  std::vector<std::uint8_t> bytes;
  HRESULT hr = ReadWholeFile(path, limits.maxFileBytes, &bytes);
  if (FAILED(hr)) return hr;
  return ReadImageInfoFromMemory(bytes.data(), bytes.size(), info, limits);
}

HRESULT DecodeImageMemory(const void* data, std::size_t size, Image* out, const ImageLimits& limits) {
  if (data == nullptr || out == nullptr) return D3DERR_INVALIDCALL;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  Probe probe;
  HRESULT hr = ProbeImage(bytes, size, limits, &probe);
  if (FAILED(hr)) return hr;
  return DecodeProbed(bytes, size, probe, out);
}

HRESULT DecodeImageFile(const char* path, Image* out, const ImageLimits& limits) {
  if (path == nullptr || out == nullptr) return D3DERR_INVALIDCALL;
  std::vector<std::uint8_t> bytes;
  HRESULT hr = ReadWholeFile(path, limits.maxFileBytes, &bytes);
  if (FAILED(hr)) return hr;
  return DecodeImageMemory(bytes.data(), bytes.size(), out, limits);
}

}  // namespace zr::d3dx9
