// Resizing images with the D3DX filters, mip chains and colour keys.
//
// Every filter but NONE is separable: for each destination column (and row) a short list of
// source columns (rows) with weights. Rows are blended into one floating-point row, then columns
// out of that, so no intermediate image is ever held.
#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "image_file.h"

namespace zr::d3dx9 {
namespace {

enum class Kind { kNone, kPoint, kLinear, kArea };

bool ParseFilter(DWORD filter, Kind* kind) {
  if (filter == D3DX_DEFAULT) {
    *kind = Kind::kArea;  // D3DX's defaults: TRIANGLE for images, BOX for mip levels; both are area averages here
    return true;
  }
  switch (filter & 0xFFFF) {
    case D3DX_FILTER_NONE: *kind = Kind::kNone; return true;
    case D3DX_FILTER_POINT: *kind = Kind::kPoint; return true;
    case D3DX_FILTER_LINEAR: *kind = Kind::kLinear; return true;
    case D3DX_FILTER_TRIANGLE:
    case D3DX_FILTER_BOX: *kind = Kind::kArea; return true;
    default: return false;
  }
}

bool ValidImage(const Image& image) {
  return image.width >= 1 && image.height >= 1 && image.width <= kMaxImageSide && image.height <= kMaxImageSide &&
         std::size_t{image.width} * image.height <= kMaxImagePixels &&
         image.argb.size() == std::size_t{image.width} * image.height;
}

bool ValidSize(UINT width, UINT height) {
  return width >= 1 && height >= 1 && width <= kMaxImageSide && height <= kMaxImageSide &&
         std::size_t{width} * height <= kMaxImagePixels;
}

struct Tap {
  UINT source;
  float weight;
};

// For each destination index d, taps[first[d]] .. taps[first[d + 1]] - 1.
struct Axis {
  std::vector<std::size_t> first;
  std::vector<Tap> taps;
};

// Index i of a row of n, off the edge wrapped around or mirrored (..., 1, 0, 0, 1, ..., n-1, n-1, n-2, ...).
UINT Address(long long i, UINT n, bool mirror) {
  long long m = n;
  if (!mirror) return static_cast<UINT>(((i % m) + m) % m);
  long long period = 2 * m;
  long long r = ((i % period) + period) % period;
  return static_cast<UINT>(r < m ? r : period - 1 - r);
}

Axis MakeAxis(UINT sourceCount, UINT destCount, Kind kind, bool mirror) {
  Axis axis;
  axis.first.reserve(destCount + 1);
  for (UINT d = 0; d < destCount; ++d) {
    axis.first.push_back(axis.taps.size());
    switch (kind) {
      case Kind::kPoint: {
        // The source pixel under the destination pixel's centre.
        auto s = static_cast<UINT>((2ull * d + 1) * sourceCount / (2ull * destCount));
        axis.taps.push_back({std::min(s, sourceCount - 1), 1.0f});
        break;
      }
      case Kind::kLinear: {
        double centre = (d + 0.5) * sourceCount / destCount - 0.5;
        double left = std::floor(centre);
        auto f = static_cast<float>(centre - left);
        auto i = static_cast<long long>(left);
        if (f < 1.0f) axis.taps.push_back({Address(i, sourceCount, mirror), 1.0f - f});
        if (f > 0.0f) axis.taps.push_back({Address(i + 1, sourceCount, mirror), f});
        break;
      }
      default: {
        // In units of 1/destCount of a source pixel, destination pixel d covers [d*S, (d+1)*S).
        std::uint64_t lo = std::uint64_t{d} * sourceCount, hi = lo + sourceCount;
        for (std::uint64_t s = lo / destCount; s * destCount < hi; ++s) {
          std::uint64_t from = std::max(lo, s * destCount), to = std::min(hi, (s + 1) * destCount);
          axis.taps.push_back(
              {static_cast<UINT>(s), static_cast<float>(static_cast<double>(to - from) / sourceCount)});
        }
        break;
      }
    }
  }
  axis.first.push_back(axis.taps.size());
  return axis;
}

std::uint32_t Channel(float value) {
  float v = std::floor(value + 0.5f);
  return v <= 0.0f ? 0u : v >= 255.0f ? 255u : static_cast<std::uint32_t>(v);
}

void ResampleSeparable(const Image& source, const Axis& columns, const Axis& rows, Image* out) {
  std::vector<float> blended(std::size_t{source.width} * 4);
  for (UINT y = 0; y < out->height; ++y) {
    std::fill(blended.begin(), blended.end(), 0.0f);
    for (std::size_t t = rows.first[y]; t < rows.first[y + 1]; ++t) {
      const std::uint32_t* row = source.argb.data() + std::size_t{rows.taps[t].source} * source.width;
      float w = rows.taps[t].weight;
      for (UINT x = 0; x < source.width; ++x) {
        std::uint32_t p = row[x];
        float* b = &blended[std::size_t{x} * 4];
        b[0] += w * static_cast<float>(p >> 24);
        b[1] += w * static_cast<float>((p >> 16) & 0xFF);
        b[2] += w * static_cast<float>((p >> 8) & 0xFF);
        b[3] += w * static_cast<float>(p & 0xFF);
      }
    }
    std::uint32_t* target = out->argb.data() + std::size_t{y} * out->width;
    for (UINT x = 0; x < out->width; ++x) {
      float a = 0, r = 0, g = 0, b = 0;
      for (std::size_t t = columns.first[x]; t < columns.first[x + 1]; ++t) {
        const float* s = &blended[std::size_t{columns.taps[t].source} * 4];
        float w = columns.taps[t].weight;
        a += w * s[0];
        r += w * s[1];
        g += w * s[2];
        b += w * s[3];
      }
      target[x] = (Channel(a) << 24) | (Channel(r) << 16) | (Channel(g) << 8) | Channel(b);
    }
  }
}

void CopyTopLeft(const Image& source, Image* out) {
  UINT w = std::min(source.width, out->width), h = std::min(source.height, out->height);
  for (UINT y = 0; y < h; ++y) {
    const std::uint32_t* from = source.argb.data() + std::size_t{y} * source.width;
    std::copy(from, from + w, out->argb.data() + std::size_t{y} * out->width);
  }
}

HRESULT Resample(const Image& source, UINT width, UINT height, Kind kind, DWORD filter, Image* out) {
  Image result;
  result.width = width;
  result.height = height;
  result.format = source.format;
  result.info = source.info;
  try {
    if (width == source.width && height == source.height) {
      result.argb = source.argb;
    } else if (kind == Kind::kNone) {
      result.argb.assign(std::size_t{width} * height, 0u);
      CopyTopLeft(source, &result);
    } else {
      result.argb.resize(std::size_t{width} * height);
      Axis columns = MakeAxis(source.width, width, kind, (filter & D3DX_FILTER_MIRROR_U) != 0);
      Axis rows = MakeAxis(source.height, height, kind, (filter & D3DX_FILTER_MIRROR_V) != 0);
      ResampleSeparable(source, columns, rows, &result);
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *out = std::move(result);
  return D3D_OK;
}

}  // namespace

HRESULT ResampleImage(const Image& source, UINT width, UINT height, DWORD filter, Image* out) {
  Kind kind;
  if (out == nullptr || !ValidImage(source) || !ValidSize(width, height) || !ParseFilter(filter, &kind))
    return D3DERR_INVALIDCALL;
  return Resample(source, width, height, kind, filter, out);
}

UINT FullMipLevelCount(UINT width, UINT height) {
  UINT levels = 1;
  for (UINT side = std::max(width, height); side > 1; side /= 2) ++levels;
  return levels;
}

HRESULT BuildMipChain(const Image& top, UINT levels, DWORD filter, std::vector<Image>* chain) {
  Kind kind;
  if (chain == nullptr || !ValidImage(top) || !ParseFilter(filter, &kind)) return D3DERR_INVALIDCALL;
  UINT full = FullMipLevelCount(top.width, top.height);
  UINT count = (levels == 0 || levels == D3DX_DEFAULT || levels > full) ? full : levels;
  std::vector<Image> result;
  try {
    result.reserve(count);
    result.push_back(top);
    for (UINT level = 1; level < count; ++level) {
      const Image& above = result.back();
      Image next;
      HRESULT hr = Resample(above, std::max(1u, above.width / 2), std::max(1u, above.height / 2), kind, filter, &next);
      if (FAILED(hr)) return hr;
      result.push_back(std::move(next));
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *chain = std::move(result);
  return D3D_OK;
}

std::size_t ApplyColorKey(Image* image, D3DCOLOR colorKey) {
  if (image == nullptr || colorKey == 0) return 0;
  std::size_t changed = 0;
  for (std::uint32_t& pixel : image->argb) {
    if (pixel == colorKey) {
      pixel = 0;
      ++changed;
    }
  }
  return changed;
}

}  // namespace zr::d3dx9
