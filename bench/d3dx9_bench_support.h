// What the D3DX benchmarks share: a sprite picture written as a PNG file, a scratch folder, the
// game's device made by the engine's own class, and a frame pacer for SDL_Renderer that waits as
// the device's does.
#pragma once

#include <png.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "d3d9_bench_support.h"

namespace d3dx9bench {

inline constexpr int kWidth = 1024;
inline constexpr int kHeight = 768;
inline constexpr int kSprite = 32;

// A ball `side` texels across: opaque inside, its edge fading out over two texels, transparent
// corners (ARGB, top row first).
inline std::vector<std::uint32_t> BallPixels(int side = kSprite) {
  std::vector<std::uint32_t> p;
  double r = side / 2.0;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      double d = std::hypot(x + 0.5 - r, y + 0.5 - r);
      double a = std::clamp((r - d) / 2.0, 0.0, 1.0);
      auto alpha = static_cast<std::uint32_t>(a * 255 + 0.5);
      p.push_back(alpha << 24 | static_cast<std::uint32_t>(x * 255 / side) << 16 |
                  static_cast<std::uint32_t>(y * 255 / side) << 8 | 0xC0);
    }
  return p;
}

// Writes the ball as an RGBA PNG; false when it cannot.
inline bool WriteBallPng(const std::string& path, int side = kSprite) {
  std::vector<std::uint8_t> rgba;
  for (std::uint32_t p : BallPixels(side))
    rgba.insert(rgba.end(), {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
                             static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(p >> 24)});
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(side);
  image.height = static_cast<png_uint_32>(side);
  image.format = PNG_FORMAT_RGBA;
  return png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
}

// A fresh folder under the temporary one, removed with everything in it at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zr-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string File(const char* name) const { return (path_ / name).string(); }
  bool Made() const { return !path_.empty(); }

 private:
  std::filesystem::path path_;
};

// Paces frames to 60 a second as the device does at the default presentation interval where
// the swap does not wait: before each swap it sleeps until a deadline on CLOCK_MONOTONIC, and
// deadlines advance by whole periods; a frame more than a period late starts a new schedule.
class Pacer60 {
 public:
  void WaitForTurn() {
    if (deadline_ < 0) return;
    timespec until{static_cast<time_t>(deadline_ / 1'000'000'000LL), static_cast<long>(deadline_ % 1'000'000'000LL)};
    while (Now() < deadline_ && clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
    }
  }
  void Presented(std::int64_t swapStart) {
    deadline_ = deadline_ < 0 || swapStart >= deadline_ + kPeriod ? swapStart + kPeriod : deadline_ + kPeriod;
  }
  static std::int64_t Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
  }

 private:
  static constexpr std::int64_t kPeriod = 1'000'000'000LL / 60;
  std::int64_t deadline_ = -1;
};

}  // namespace d3dx9bench
