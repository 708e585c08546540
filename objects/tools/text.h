// Text for the pictures: lines rendered by FreeType into coverage masks, which can be widened
// for outlines and blurred for shadows before they are painted onto a canvas.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "canvas.h"

namespace pic {

// Coverage 0..1 per pixel.
struct Mask {
  int width = 0, height = 0;
  std::vector<double> v;
  double at(int x, int y) const {
    return x < 0 || y < 0 || x >= width || y >= height ? 0 : v[static_cast<size_t>(y) * width + x];
  }
};

// The largest coverage within `radius` pixels (a round brush): an outline's shape.
Mask widen(const Mask& m, double radius);
// A box blur run three times, close to a Gaussian of the given radius.
Mask blur(const Mask& m, int radius);

// Paints a mask with its top-left corner at (x, y); paint(mx, my) gives the colour at a mask
// pixel.
template <class Paint>
void paint_mask(Canvas& canvas, const Mask& m, int x0, int y0, const Paint& paint) {
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x) {
      const double c = m.v[static_cast<size_t>(y) * m.width + x];
      if (c > 0) canvas.put(x0 + x, y0 + y, paint(x, y), c);
    }
}

class Font {
 public:
  // Opens the first font file found of the bold sans faces the project installs.
  explicit Font(bool bold);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  bool ok() const { return face_ != nullptr; }
  const std::string& path() const { return path_; }

  // One line of UTF-8 text at an em of `pixels`, with `margin` empty pixels around it. The
  // baseline lies at margin + the face's ascender.
  Mask render(std::string_view text, int pixels, int margin) const;
  // The advance width of a line, in pixels.
  int measure(std::string_view text, int pixels) const;

 private:
  void* library_ = nullptr;  // FT_Library
  void* face_ = nullptr;     // FT_Face
  std::string path_;
};

}  // namespace pic
