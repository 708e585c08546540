// A small vector painter for the game's pictures: shapes given as signed distance functions,
// filled with anti-aliased edges in premultiplied colour, and written out as RGBA PNG files.
//
// Only +, -, *, / and sqrt feed the output bytes (IEEE exact, the same at every optimisation
// level), and every colour is rounded once, at the end.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pic {

struct V2 {
  double x = 0, y = 0;
};
inline V2 operator+(V2 a, V2 b) { return {a.x + b.x, a.y + b.y}; }
inline V2 operator-(V2 a, V2 b) { return {a.x - b.x, a.y - b.y}; }
inline V2 operator*(V2 a, double s) { return {a.x * s, a.y * s}; }
inline double dot(V2 a, V2 b) { return a.x * b.x + a.y * b.y; }
inline double cross(V2 a, V2 b) { return a.x * b.y - a.y * b.x; }
inline double length(V2 a) { return std::sqrt(dot(a, a)); }

// Turns p by the angle of the unit vector dir (clockwise on screen, where y points down).
inline V2 rotate(V2 p, V2 dir) { return {p.x * dir.x - p.y * dir.y, p.x * dir.y + p.y * dir.x}; }
// n unit vectors at equal steps round the circle, the first along +x, for n = 8, 12, 16, 24, 32
// or 48. They come from decimal constants rather than the maths library, so that they are the
// same bits on every machine and at every optimisation level.
std::vector<V2> directions(int n);

inline double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
inline double lerp(double a, double b, double t) { return a + (b - a) * t; }
// 0 below e0, 1 above e1, a smooth S between.
inline double smoothstep(double e0, double e1, double v) {
  const double t = clamp01((v - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

// Straight (not premultiplied) colour, each channel 0..1.
struct Rgba {
  double r = 0, g = 0, b = 0, a = 1;
};
Rgba hex(uint32_t rgb, double alpha = 1);
Rgba mix(Rgba a, Rgba b, double t);
Rgba with_alpha(Rgba c, double alpha);
// Darker towards 0, lighter towards 2 (1 is the colour itself).
Rgba shade(Rgba c, double amount);

// Signed distances, negative inside, in the units of the point.
double sd_circle(V2 p, V2 centre, double radius);
// Close to the true distance for moderate eccentricity, exact on the axes.
double sd_ellipse(V2 p, V2 centre, double rx, double ry);
double sd_box(V2 p, V2 centre, V2 half, double corner_radius = 0);
// A segment with round ends whose radius goes from ra at a to rb at b.
double sd_capsule(V2 p, V2 a, V2 b, double ra, double rb);
double sd_polygon(V2 p, std::span<const V2> points);
inline double sd_union(double a, double b) { return std::min(a, b); }
inline double sd_cut(double a, double b) { return std::max(a, -b); }

// Maps the drawing's own coordinates to pixels: pixel = origin + scale * point, with x mirrored
// about `mirror_width` first when `mirrored` is set.
struct Frame {
  V2 origin{0, 0};
  double scale = 1;
  bool mirrored = false;
  double mirror_width = 0;
  V2 to_local(V2 pixel) const;
};

enum class Blend { Over, Add };

class Canvas {
 public:
  Canvas(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }

  // Fills where sdf(point) < 0, smoothing a one-pixel edge. paint(point, distance) gives the
  // colour at a local point; distance is sdf's value there (in local units).
  template <class Sdf, class Paint>
  void fill(const Frame& f, const Sdf& sdf, const Paint& paint, Blend blend = Blend::Over) {
    for (int y = clip_y0_; y < clip_y1_; ++y)
      for (int x = clip_x0_; x < clip_x1_; ++x) {
        const V2 local = f.to_local({x + 0.5, y + 0.5});
        const double d = sdf(local);
        const double coverage = clamp01(0.5 - d * f.scale);
        if (coverage <= 0) continue;
        put(x, y, paint(local, d), coverage, blend);
      }
  }
  // The same with a single colour.
  template <class Sdf>
  void fill(const Frame& f, const Sdf& sdf, Rgba colour, Blend blend = Blend::Over) {
    fill(f, sdf, [colour](V2, double) { return colour; }, blend);
  }
  // A soft halo outside (and inside) the shape: alpha falls from `colour.a` at the edge to 0 at
  // `reach` local units away, as (1 - d/reach)^2.
  template <class Sdf>
  void glow(const Frame& f, const Sdf& sdf, Rgba colour, double reach, Blend blend = Blend::Add) {
    fill(
        f, [&](V2 p) { return sdf(p) - reach; },
        [&](V2, double d) {
          const double t = clamp01(-d / reach);
          return with_alpha(colour, colour.a * t * t);
        },
        blend);
  }

  // Limits fill and glow to the pixels x0 <= x < x1, y0 <= y < y1 (and the canvas); no
  // arguments lift the limit.
  void clip(int x0, int y0, int x1, int y1);
  void clip() { clip(0, 0, width_, height_); }
  // Limits them to the pixels within `radius` local units of a local point.
  void clip_around(const Frame& f, V2 centre, double radius);

  // Composites one colour at a pixel with the given coverage.
  void put(int x, int y, Rgba colour, double coverage, Blend blend = Blend::Over);
  // Lays another canvas over this one with its top-left corner at (x, y).
  void draw(const Canvas& other, int x, int y);
  // Straight colour at a pixel.
  Rgba at(int x, int y) const;

  // Rounds to 8-bit straight RGBA. Fully transparent pixels take the colour of their nearest
  // visible neighbours, so that filtering at the edges does not darken them.
  std::vector<uint8_t> rgba8() const;

 private:
  struct Premul {
    double r = 0, g = 0, b = 0, a = 0;
  };
  int width_, height_;
  int clip_x0_ = 0, clip_y0_ = 0, clip_x1_, clip_y1_;
  std::vector<Premul> px_;
};

// Writes 8-bit RGBA rows (width * height * 4 bytes) as a PNG file with no time stamp; false and
// a message on standard error when it cannot.
bool write_png(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);

}  // namespace pic
