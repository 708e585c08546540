// The game's icon for desktops: the program's own icon resource, written as PNG files in the sizes
// of the icon theme's folders, <folder>/<n>x<n>/apps/<name>.png. Each pixel of a size is the
// area-weighted mean of the resource's pixels under it (in premultiplied colour), so the doubled
// sizes keep the hard edges of the 32 x 32 picture and the others are its faithful reductions.
#include <win32_resources.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "canvas.h"

namespace {

constexpr int kSizes[] = {16, 32, 48, 64, 128, 256};

struct Pixel {
  double r = 0, g = 0, b = 0, a = 0;  // premultiplied, 0..1
};

// The resource's pixels; rows shorter than the width leave the rest clear.
std::vector<Pixel> Decode(const IconResource& icon) {
  std::vector<Pixel> pixels(static_cast<std::size_t>(icon.width) * icon.height);
  for (int y = 0; y < icon.height; ++y)
    for (int x = 0; x < icon.width && icon.rows[y][x] != '\0'; ++x) {
      const char c = icon.rows[y][x];
      const int index = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (index < 0 || index >= icon.paletteSize) continue;
      const DWORD argb = icon.palette[index];
      const double a = (argb >> 24) / 255.0;
      pixels[static_cast<std::size_t>(y) * icon.width + x] = {a * ((argb >> 16) & 0xFF) / 255.0,
                                                               a * ((argb >> 8) & 0xFF) / 255.0,
                                                               a * (argb & 0xFF) / 255.0, a};
    }
  return pixels;
}

// The overlap of [a0, a1) with [b0, b1).
double Overlap(double a0, double a1, double b0, double b1) { return std::max(0.0, std::min(a1, b1) - std::max(a0, b0)); }

std::vector<uint8_t> Resize(const std::vector<Pixel>& source, int width, int height, int size) {
  std::vector<uint8_t> rgba(static_cast<std::size_t>(size) * size * 4);
  const double sx = static_cast<double>(width) / size, sy = static_cast<double>(height) / size;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      Pixel sum;
      for (int v = static_cast<int>(y * sy); v < height && v < (y + 1) * sy; ++v)
        for (int u = static_cast<int>(x * sx); u < width && u < (x + 1) * sx; ++u) {
          const double w = Overlap(x * sx, (x + 1) * sx, u, u + 1) * Overlap(y * sy, (y + 1) * sy, v, v + 1);
          const Pixel& p = source[static_cast<std::size_t>(v) * width + u];
          sum = {sum.r + w * p.r, sum.g + w * p.g, sum.b + w * p.b, sum.a + w * p.a};
        }
      const double area = sx * sy, a = sum.a / area;
      auto byte = [](double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
      uint8_t* out = &rgba[(static_cast<std::size_t>(y) * size + x) * 4];
      if (a > 0) {
        out[0] = byte(sum.r / sum.a), out[1] = byte(sum.g / sum.a), out[2] = byte(sum.b / sum.a);
      }
      out[3] = byte(a);
    }
  return rgba;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <folder> <name>\n", argv[0]);
    return 2;
  }
  if (g_programResources.iconCount < 1) {
    std::fprintf(stderr, "make_icons: the program has no icon\n");
    return 1;
  }
  const IconResource& icon = g_programResources.icons[0];
  const std::vector<Pixel> pixels = Decode(icon);
  bool ok = true;
  for (int size : kSizes) {
    const std::filesystem::path folder =
        std::filesystem::path(argv[1]) / (std::to_string(size) + "x" + std::to_string(size)) / "apps";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    ok = pic::write_png((folder / (std::string(argv[2]) + ".png")).string(), size, size,
                        Resize(pixels, icon.width, icon.height, size)) && ok;
  }
  return ok ? 0 : 1;
}
