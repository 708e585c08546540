// stb_image, built once here with JPG and TGA only, no stdio, and its symbols private to this
// file. Data reach it through callbacks that notice when it asks for bytes past the end: stb reads
// zeros there and reports success, so a truncated file would otherwise pass.
//
// This file is compiled with -ftrivial-auto-var-init=zero (see CMakeLists.txt): stb leaves local
// arrays unset on some bad input, and would otherwise copy stack garbage into the image.
#include "image_stb.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

// What stb may allocate at once, for the call under way on this thread, and whether memory ran out
// below that.
thread_local std::size_t t_allocationCap = 0;
thread_local bool t_outOfMemory = false;

// Zeroed: on some bad input stb reads memory it never wrote (a progressive JPEG's coefficients
// when no scan set them), and the image would then depend on what the heap held before.
void* CappedMalloc(std::size_t size) {
  if (size > t_allocationCap) return nullptr;
  void* p = std::calloc(1, size);
  if (p == nullptr) t_outOfMemory = true;
  return p;
}

// Only formats left out here (PNG, GIF) reallocate.
[[maybe_unused]] void* CappedRealloc(void* pointer, std::size_t size) {
  if (size > t_allocationCap) return nullptr;
  void* p = std::realloc(pointer, size);
  if (p == nullptr) t_outOfMemory = true;
  return p;
}

}  // namespace

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#define STBI_NO_FAILURE_STRINGS
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#define STBI_MAX_DIMENSIONS 65536
#define STBI_MALLOC(size) CappedMalloc(size)
#define STBI_REALLOC(pointer, size) CappedRealloc(pointer, size)
#define STBI_FREE(pointer) std::free(pointer)
#include <stb/stb_image.h>

namespace zr::d3dx9::stb {
namespace {

// Header parsing allocates stb's decoder state (the JPEG one is about 18 KB) and nothing else.
constexpr std::size_t kHeaderAllocationCap = std::size_t{1} << 20;

struct Source {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position = 0;
  bool wantedMore = false;  // stb asked for bytes past the end
};

// stb refills its buffer by asking for a whole buffer's worth; a short answer is normal, an empty
// one means it needed a byte that is not there. A bulk read it cannot complete is truncation too.
int Read(void* user, char* buffer, int count) {
  auto* source = static_cast<Source*>(user);
  if (count <= 0) return 0;
  std::size_t left = source->size - source->position;
  std::size_t n = static_cast<std::size_t>(count) < left ? static_cast<std::size_t>(count) : left;
  if (n == 0) source->wantedMore = true;
  std::memcpy(buffer, source->data + source->position, n);
  source->position += n;
  return static_cast<int>(n);
}

void Skip(void* user, int count) {
  auto* source = static_cast<Source*>(user);
  if (count <= 0) return;
  std::size_t left = source->size - source->position;
  if (static_cast<std::size_t>(count) > left) {
    source->wantedMore = true;
    source->position = source->size;
  } else {
    source->position += static_cast<std::size_t>(count);
  }
}

int AtEnd(void* user) {
  auto* source = static_cast<Source*>(user);
  return source->position >= source->size ? 1 : 0;
}

constexpr stbi_io_callbacks kCallbacks{Read, Skip, AtEnd};

class CapScope {
 public:
  explicit CapScope(std::size_t cap) {
    t_allocationCap = cap;
    t_outOfMemory = false;
  }
  ~CapScope() { t_allocationCap = 0; }
  CapScope(const CapScope&) = delete;
  CapScope& operator=(const CapScope&) = delete;
};

struct StbFree {
  void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

}  // namespace

Result ReadHeader(const std::uint8_t* data, std::size_t size, Header* header) {
  if (data == nullptr || size == 0 || header == nullptr) return Result::kInvalid;
  CapScope cap(kHeaderAllocationCap);
  Source source{data, size};
  Header h;
  if (stbi_info_from_callbacks(&kCallbacks, &source, &h.width, &h.height, &h.channels) == 0) return Result::kInvalid;
  if (source.wantedMore) return Result::kInvalid;
  if (h.width <= 0 || h.height <= 0 || h.channels < 1 || h.channels > 4) return Result::kInvalid;
  *header = h;
  return Result::kOk;
}

Result Decode(const std::uint8_t* data, std::size_t size, const Header& expected, std::size_t maxAllocation,
              std::vector<std::uint32_t>* argb) {
  if (data == nullptr || size == 0 || argb == nullptr || expected.width <= 0 || expected.height <= 0)
    return Result::kInvalid;
  std::unique_ptr<stbi_uc, StbFree> pixels;
  int width = 0, height = 0, channels = 0;
  Source source{data, size};
  {
    CapScope cap(maxAllocation);
    pixels.reset(stbi_load_from_callbacks(&kCallbacks, &source, &width, &height, &channels, 4));
    if (pixels == nullptr) return t_outOfMemory ? Result::kOutOfMemory : Result::kInvalid;
  }
  if (source.wantedMore || width != expected.width || height != expected.height || channels != expected.channels)
    return Result::kInvalid;
  std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  try {
    argb->resize(count);
  } catch (const std::bad_alloc&) {
    return Result::kOutOfMemory;
  }
  const stbi_uc* p = pixels.get();
  for (std::size_t i = 0; i < count; ++i, p += 4) {
    (*argb)[i] = (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  }
  return Result::kOk;
}

}  // namespace zr::d3dx9::stb
