// The header of a .X file and the MSZIP framing of its compressed forms, inflated with zlib's raw
// inflate (each block a raw deflate stream whose dictionary is the output before it).
#include "xfile_stream.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "xfile_errors.h"

namespace zr::d3dx9::xfile::detail {
namespace {

unsigned Le16(const std::uint8_t* p) { return p[0] | (unsigned{p[1]} << 8); }
std::uint32_t Le32(const std::uint8_t* p) { return Le16(p) | (std::uint32_t{Le16(p + 2)} << 16); }

bool Is(const std::uint8_t* p, const char* word) { return std::memcmp(p, word, 4) == 0; }

class Inflater {
 public:
  Inflater() { std::memset(&z_, 0, sizeof z_); }
  ~Inflater() {
    if (ready_) inflateEnd(&z_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  HRESULT Init() {
    int r = inflateInit2(&z_, -MAX_WBITS);
    if (r == Z_MEM_ERROR) return E_OUTOFMEMORY;
    if (r != Z_OK) return DXFILEERR_BADFILE;
    ready_ = true;
    return S_OK;
  }
  z_stream& z() { return z_; }

 private:
  z_stream z_;
  bool ready_ = false;
};

}  // namespace

HRESULT InflateMszip(const std::uint8_t* data, std::size_t size, std::size_t maxBytes, std::vector<std::uint8_t>* out) {
  if (size < 4) return DXFILEERR_BADFILE;
  std::uint32_t total = Le32(data);
  if (total < kHeaderBytes) return DXFILEERR_BADFILE;
  std::size_t payload = total - kHeaderBytes;
  if (payload > maxBytes) return DXFILEERR_BADFILE;
  // A block takes at least 7 bytes (two sizes, "CK", one byte of deflate data) and gives at most
  // 32 KiB: a larger total cannot be true.
  std::size_t maxBlocks = (size - 4) / 7;
  if (payload > maxBlocks * kMszipBlockBytes) return DXFILEERR_BADFILE;

  Inflater inflater;
  if (HRESULT hr = inflater.Init(); FAILED(hr)) return hr;
  z_stream& z = inflater.z();
  std::vector<std::uint8_t> result;
  try {
    result.reserve(std::min<std::size_t>(payload, std::size_t{1} << 20));
    std::size_t at = 4;
    while (result.size() < payload) {
      if (size - at < 4) return DXFILEERR_BADFILE;
      std::size_t plain = Le16(data + at), packed = Le16(data + at + 2);
      at += 4;
      if (plain == 0 || plain > kMszipBlockBytes || plain > payload - result.size()) return DXFILEERR_BADFILE;
      if (packed < 3 || packed > size - at) return DXFILEERR_BADFILE;
      if (data[at] != 'C' || data[at + 1] != 'K') return DXFILEERR_BADFILE;
      if (inflateReset(&z) != Z_OK) return DXFILEERR_BADFILE;
      if (!result.empty()) {
        std::size_t window = std::min(result.size(), kMszipBlockBytes);
        if (inflateSetDictionary(&z, result.data() + result.size() - window, static_cast<uInt>(window)) != Z_OK) {
          return DXFILEERR_BADFILE;
        }
      }
      std::size_t old = result.size();
      result.resize(old + plain);
      z.next_in = const_cast<Bytef*>(data + at + 2);
      z.avail_in = static_cast<uInt>(packed - 2);
      z.next_out = result.data() + old;
      z.avail_out = static_cast<uInt>(plain);
      int r = inflate(&z, Z_NO_FLUSH);
      if (r == Z_MEM_ERROR) return E_OUTOFMEMORY;
      // A block must give exactly its declared size, whether or not its last deflate block is
      // marked final.
      if (r != Z_STREAM_END && r != Z_OK && r != Z_BUF_ERROR) return DXFILEERR_BADFILE;
      if (z.avail_out != 0) return DXFILEERR_BADFILE;
      at += packed;
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *out = std::move(result);
  return S_OK;
}

HRESULT OpenTokenStream(const std::uint8_t* file, std::size_t size, const Limits& limits, TokenStream* stream) {
  if (size > limits.maxFileBytes) return DXFILEERR_BADFILE;
  if (size < kHeaderBytes || !Is(file, "xof ")) return DXFILEERR_BADFILETYPE;
  if (!Is(file + 4, "0302") && !Is(file + 4, "0303")) return DXFILEERR_BADFILEVERSION;
  bool compressed;
  if (Is(file + 8, "txt ")) {
    stream->encoding = Encoding::kText;
    compressed = false;
  } else if (Is(file + 8, "bin ")) {
    stream->encoding = Encoding::kBinary;
    compressed = false;
  } else if (Is(file + 8, "tzip")) {
    stream->encoding = Encoding::kText;
    compressed = true;
  } else if (Is(file + 8, "bzip")) {
    stream->encoding = Encoding::kBinary;
    compressed = true;
  } else {
    return DXFILEERR_BADFILECOMPRESSIONTYPE;
  }
  if (Is(file + 12, "0032")) stream->doubles = false;
  else if (Is(file + 12, "0064")) stream->doubles = true;
  else return DXFILEERR_BADFILEFLOATSIZE;

  if (!compressed) {
    stream->data = file + kHeaderBytes;
    stream->size = size - kHeaderBytes;
    return S_OK;
  }
  if (HRESULT hr = InflateMszip(file + kHeaderBytes, size - kHeaderBytes, limits.maxDecompressedBytes,
                                &stream->inflated);
      FAILED(hr)) {
    return hr;
  }
  stream->data = stream->inflated.data();
  stream->size = stream->inflated.size();
  return S_OK;
}

}  // namespace zr::d3dx9::xfile::detail
