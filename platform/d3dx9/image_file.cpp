// Reading image files: the file into memory once, its format by content, its size checked before
// any pixels are allocated, then PNG through libpng's simplified API and the rest through stb_image.
#include "image_file.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

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
  bool alpha = false;  // an alpha channel, or for PNG a transparent colour
  stb::Header stbHeader;
};

bool StartsWith(const std::uint8_t* data, std::size_t size, const std::uint8_t* magic, std::size_t length) {
  return size >= length && std::memcmp(data, magic, length) == 0;
}

constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t kBmpSignature[] = {'B', 'M'};
constexpr std::uint8_t kJpgSignature[] = {0xFF, 0xD8, 0xFF};
constexpr std::size_t kTgaHeaderBytes = 18;

// PNG, BMP and JPG by their signatures. TGA has none, but its second byte (the colour map type)
// is 0 or 1, which no BMP or JPG has: stb, which tries JPG and BMP before TGA, then decodes each
// file as the format told here and checked below.
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

std::uint32_t Le32(const std::uint8_t* p) { return Le16(p) | (std::uint32_t{Le16(p + 2)} << 16); }

// stb sizes a BMP's palette from the gap between its header and its pixels, and with no room for
// one entry it reads indices into a palette it never filled.
bool BmpPaletteSound(const std::uint8_t* data, std::size_t size) {
  if (size < 30) return false;
  std::int64_t offset = Le32(data + 10), header = Le32(data + 14);
  if (header == 12) return Le16(data + 24) >= 24 || (offset - 14 - 24) / 3 >= 1;
  return size >= 32 && (Le16(data + 28) >= 16 || (offset - 14 - header) / 4 >= 1);
}

unsigned Be16(const std::uint8_t* p) { return (unsigned{p[0]} << 8) | p[1]; }
std::uint32_t Be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// libpng's simplified reader stops after the pixels; a file is whole only if its chunks lead to
// an IEND chunk (which has no data, so its CRC is fixed).
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

struct PngControl {
  png_image image;
  PngControl() {
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
  }
  ~PngControl() { png_image_free(&image); }
  PngControl(const PngControl&) = delete;
  PngControl& operator=(const PngControl&) = delete;
};

HRESULT ProbeImage(const std::uint8_t* data, std::size_t size, const ImageLimits& limits, Probe* probe) {
  if (size == 0 || size > limits.maxFileBytes) return D3DXERR_INVALIDDATA;
  Probe p;
  if (!SniffFormat(data, size, &p.fileFormat)) return D3DXERR_INVALIDDATA;
  // Checks of the file's structure come first: stb already parses Huffman tables for a header.
  if (p.fileFormat == D3DXIFF_PNG && !PngEndsWithIend(data, size)) return D3DXERR_INVALIDDATA;
  if (p.fileFormat == D3DXIFF_JPG && !JpegSegmentsSound(data, size)) return D3DXERR_INVALIDDATA;
  if (p.fileFormat == D3DXIFF_TGA && !TgaPixelsPresent(data, size)) return D3DXERR_INVALIDDATA;
  if (p.fileFormat == D3DXIFF_BMP && !BmpPaletteSound(data, size)) return D3DXERR_INVALIDDATA;
  if (p.fileFormat == D3DXIFF_PNG) {
    PngControl png;
    if (png_image_begin_read_from_memory(&png.image, data, size) == 0) return D3DXERR_INVALIDDATA;
    p.width = png.image.width;
    p.height = png.image.height;
    p.alpha = (png.image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
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
  PngControl png;
  if (png_image_begin_read_from_memory(&png.image, data, size) == 0) return D3DXERR_INVALIDDATA;
  if (png.image.width != probe.width || png.image.height != probe.height) return D3DXERR_INVALIDDATA;
  // Bytes B, G, R, A in memory are 0xAARRGGBB as a little-endian word; A, R, G, B as a big-endian one.
  png.image.format = std::endian::native == std::endian::little ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
  try {
    argb->resize(std::size_t{probe.width} * probe.height);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  auto stride = static_cast<png_int_32>(probe.width * 4);
  if (png_image_finish_read(&png.image, nullptr, argb->data(), stride, nullptr) == 0) return D3DXERR_INVALIDDATA;
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
  } else {
    stb::Result r = stb::Decode(data, size, probe.stbHeader, StbAllocationCap(probe), &image.argb);
    if (r == stb::Result::kOutOfMemory) return E_OUTOFMEMORY;
    if (r != stb::Result::kOk) return D3DXERR_INVALIDDATA;
  }
  bool alpha = probe.alpha;
  // stb makes a 32-bit BMP whose alpha bytes are all 0 opaque; such a file has no alpha channel.
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
