#include "canvas.h"

#include <png.h>

#include <cstdio>

namespace pic {

Rgba hex(uint32_t rgb, double alpha) {
  return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha};
}

Rgba mix(Rgba a, Rgba b, double t) {
  return {lerp(a.r, b.r, t), lerp(a.g, b.g, t), lerp(a.b, b.b, t), lerp(a.a, b.a, t)};
}

Rgba with_alpha(Rgba c, double alpha) { return {c.r, c.g, c.b, alpha}; }

Rgba shade(Rgba c, double amount) {
  if (amount <= 1) return {c.r * amount, c.g * amount, c.b * amount, c.a};
  const double t = amount - 1;
  return {lerp(c.r, 1, t), lerp(c.g, 1, t), lerp(c.b, 1, t), c.a};
}

std::vector<V2> directions(int n) {
  V2 step;
  switch (n) {
    case 8: step = {0.70710678118654752, 0.70710678118654752}; break;
    case 12: step = {0.86602540378443865, 0.5}; break;
    case 16: step = {0.92387953251128676, 0.38268343236508977}; break;
    case 24: step = {0.96592582628906829, 0.25881904510252076}; break;
    case 32: step = {0.98078528040323043, 0.19509032201612826}; break;
    case 48: step = {0.99144486137381041, 0.13052619222005159}; break;
    default: return {};
  }
  std::vector<V2> out{{1, 0}};
  while (static_cast<int>(out.size()) < n) out.push_back(rotate(out.back(), step));
  return out;
}

double sd_circle(V2 p, V2 centre, double radius) { return length(p - centre) - radius; }

double sd_ellipse(V2 p, V2 centre, double rx, double ry) {
  const V2 q{(p.x - centre.x) / rx, (p.y - centre.y) / ry};
  const double k = length(q);
  if (k == 0) return -std::min(rx, ry);
  // First-order distance: the implicit function over the length of its gradient.
  const V2 gradient{q.x / (k * rx), q.y / (k * ry)};
  return (k - 1) / length(gradient);
}

double sd_box(V2 p, V2 centre, V2 half, double corner_radius) {
  const V2 q{std::abs(p.x - centre.x) - half.x + corner_radius,
             std::abs(p.y - centre.y) - half.y + corner_radius};
  const V2 outside{std::max(q.x, 0.0), std::max(q.y, 0.0)};
  return length(outside) + std::min(std::max(q.x, q.y), 0.0) - corner_radius;
}

double sd_capsule(V2 p, V2 a, V2 b, double ra, double rb) {
  const V2 ab = b - a;
  const double t = clamp01(dot(p - a, ab) / dot(ab, ab));
  return length(p - (a + ab * t)) - lerp(ra, rb, t);
}

double sd_polygon(V2 p, std::span<const V2> points) {
  double best = dot(p - points[0], p - points[0]);
  bool inside = false;
  for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
    const V2 e = points[j] - points[i];
    const V2 w = p - points[i];
    const V2 nearest = w - e * clamp01(dot(w, e) / dot(e, e));
    best = std::min(best, dot(nearest, nearest));
    // Each edge that a ray along +x from p crosses flips inside and outside.
    const bool c1 = p.y >= points[i].y, c2 = p.y < points[j].y, c3 = cross(e, w) > 0;
    if ((c1 && c2 && c3) || (!c1 && !c2 && !c3)) inside = !inside;
  }
  const double d = std::sqrt(best);
  return inside ? -d : d;
}

V2 Frame::to_local(V2 pixel) const {
  V2 p = (pixel - origin) * (1 / scale);
  if (mirrored) p.x = mirror_width - p.x;
  return p;
}

Canvas::Canvas(int width, int height)
    : width_(width),
      height_(height),
      clip_x1_(width),
      clip_y1_(height),
      px_(static_cast<size_t>(width) * height) {}

void Canvas::clip(int x0, int y0, int x1, int y1) {
  clip_x0_ = std::clamp(x0, 0, width_);
  clip_y0_ = std::clamp(y0, 0, height_);
  clip_x1_ = std::clamp(x1, clip_x0_, width_);
  clip_y1_ = std::clamp(y1, clip_y0_, height_);
}

void Canvas::clip_around(const Frame& f, V2 centre, double radius) {
  const double x = f.mirrored ? f.mirror_width - centre.x : centre.x;
  const double px = f.origin.x + x * f.scale, py = f.origin.y + centre.y * f.scale, r = radius * f.scale;
  clip(static_cast<int>(std::floor(px - r)) - 1, static_cast<int>(std::floor(py - r)) - 1,
       static_cast<int>(std::ceil(px + r)) + 1, static_cast<int>(std::ceil(py + r)) + 1);
}

void Canvas::put(int x, int y, Rgba c, double coverage, Blend blend) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  Premul& d = px_[static_cast<size_t>(y) * width_ + x];
  const double a = clamp01(c.a) * clamp01(coverage);
  if (blend == Blend::Over) {
    d.r = c.r * a + d.r * (1 - a);
    d.g = c.g * a + d.g * (1 - a);
    d.b = c.b * a + d.b * (1 - a);
    d.a = a + d.a * (1 - a);
  } else {
    // Light added on top; what it lands on becomes as opaque as the light is strong.
    d.r = std::min(1.0, d.r + c.r * a);
    d.g = std::min(1.0, d.g + c.g * a);
    d.b = std::min(1.0, d.b + c.b * a);
    d.a = std::max(d.a, std::max({d.r, d.g, d.b}));
  }
}

void Canvas::draw(const Canvas& other, int x0, int y0) {
  for (int y = 0; y < other.height_; ++y)
    for (int x = 0; x < other.width_; ++x) {
      const Rgba c = other.at(x, y);
      if (c.a > 0) put(x0 + x, y0 + y, c, 1);
    }
}

Rgba Canvas::at(int x, int y) const {
  const Premul& p = px_[static_cast<size_t>(y) * width_ + x];
  if (p.a <= 0) return {0, 0, 0, 0};
  return {clamp01(p.r / p.a), clamp01(p.g / p.a), clamp01(p.b / p.a), clamp01(p.a)};
}

std::vector<uint8_t> Canvas::rgba8() const {
  const auto byte = [](double v) { return static_cast<uint8_t>(std::lround(clamp01(v) * 255)); };
  std::vector<uint8_t> out(px_.size() * 4);
  std::vector<bool> known(px_.size());
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) {
      const size_t i = static_cast<size_t>(y) * width_ + x;
      const Rgba c = at(x, y);
      out[i * 4 + 3] = byte(c.a);
      if (out[i * 4 + 3] == 0) continue;
      out[i * 4 + 0] = byte(c.r);
      out[i * 4 + 1] = byte(c.g);
      out[i * 4 + 2] = byte(c.b);
      known[i] = true;
    }
  // Spread colours into the transparent pixels, one ring of neighbours per round.
  for (int round = 0; round < 3; ++round) {
    std::vector<bool> next = known;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) {
        const size_t i = static_cast<size_t>(y) * width_ + x;
        if (known[i]) continue;
        int sum[3] = {0, 0, 0}, n = 0;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= width_ || ny >= height_) continue;
            const size_t j = static_cast<size_t>(ny) * width_ + nx;
            if (!known[j]) continue;
            for (int k = 0; k < 3; ++k) sum[k] += out[j * 4 + k];
            ++n;
          }
        if (n == 0) continue;
        for (int k = 0; k < 3; ++k) out[i * 4 + k] = static_cast<uint8_t>((sum[k] + n / 2) / n);
        next[i] = true;
      }
    known = std::move(next);
  }
  return out;
}

bool write_png(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::perror(path.c_str());
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    std::fprintf(stderr, "%s: cannot write the PNG\n", path.c_str());
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y)
    png_write_row(png, &rgba[static_cast<size_t>(y) * width * 4]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

}  // namespace pic
