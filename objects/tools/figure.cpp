#include "figure.h"

#include <array>
#include <functional>
#include <vector>

namespace pic {

Palette red_palette() {
  return {hex(0xD0361E), hex(0x7E1722), hex(0xF2B446), hex(0x58525E), hex(0xFFE070), hex(0x1C0606)};
}

Palette blue_palette() {
  return {hex(0x2E74E6), hex(0x183C86), hex(0xCDE9F4), hex(0x4A5666), hex(0x86F6FF), hex(0x050B1E)};
}

namespace {

using Sdf = std::function<double(V2)>;
using Paint = std::function<Rgba(V2, double)>;

struct Part {
  Sdf sdf;
  Paint paint;
  bool outlined = true;
};

// Light falls from the upper left of the drawing.
constexpr V2 kLight{0.6, 0.8};

// A plate lit across its extent, with a darker rim just inside its edge and a sheen on the lit
// side.
Paint plate(Rgba base, V2 centre, double size, double rim = 1.1) {
  return [=](V2 p, double d) {
    const double t = std::clamp(dot(p - centre, kLight) / size, -1.0, 1.0);  // -1 lit, 1 dark
    Rgba c = shade(base, t < 0 ? 1 - 0.45 * t : 1 - 0.38 * t);
    if (t < -0.45) c = shade(c, 1 + 0.3 * smoothstep(-0.45, -0.8, t));
    const double edge = smoothstep(-rim, 0, d);
    return mix(c, shade(base, 0.45), 0.75 * edge);
  };
}

// Cloth with soft vertical folds.
Paint folds(Rgba base) {
  return [=](V2 p, double d) {
    const double u = (p.x + p.y * 0.25) / 4.5;
    const double tri = std::abs(u - std::floor(u) - 0.5) * 2;  // 0..1 triangle wave
    Rgba c = shade(base, 0.8 + 0.45 * tri);
    return mix(c, shade(base, 0.5), 0.7 * smoothstep(-1.0, 0, d));
  };
}

Paint flat(Rgba c) {
  return [=](V2, double) { return c; };
}

Sdf poly(std::vector<V2> points) {
  return [points = std::move(points)](V2 p) { return sd_polygon(p, points); };
}
Sdf capsule(V2 a, V2 b, double ra, double rb) {
  return [=](V2 p) { return sd_capsule(p, a, b, ra, rb); };
}
Sdf circle(V2 c, double r) {
  return [=](V2 p) { return sd_circle(p, c, r); };
}
Sdf ellipse(V2 c, double rx, double ry) {
  return [=](V2 p) { return sd_ellipse(p, c, rx, ry); };
}
Sdf box(V2 c, V2 half, double r = 0) {
  return [=](V2 p) { return sd_box(p, c, half, r); };
}

}  // namespace

void draw_figure(Canvas& canvas, const Frame& frame, const Palette& pal, int crest) {
  const Rgba back_armour = shade(pal.armour, 0.72);
  const Rgba back_metal = shade(pal.metal, 0.8);
  std::vector<Part> parts;
  const auto add = [&](Sdf sdf, Paint paint, bool outlined = true) {
    parts.push_back({std::move(sdf), std::move(paint), outlined});
  };

  // Behind the body: the cape, the far arm and the far leg.
  add(poly({{17, 27}, {27, 28}, {19, 50}, {13, 82}, {2, 88}, {4, 62}, {9, 40}}), folds(pal.cloth));
  add(capsule({20, 30}, {15, 43}, 4.4, 3.8), plate(back_armour, {17, 36}, 6));
  add(capsule({15, 43}, {18, 53}, 3.6, 3.2), plate(back_metal, {16, 48}, 5));
  add(circle({18.5, 54.5}, 3.6), plate(back_metal, {18.5, 54.5}, 4));
  add(capsule({24, 62}, {21, 77}, 5.0, 4.3), plate(back_armour, {22, 69}, 7));
  add(capsule({21, 78}, {19, 92}, 4.4, 3.7), plate(back_armour, {20, 85}, 7));
  add(circle({21, 77}, 3.0), plate(shade(pal.metal, 1.2), {21, 77}, 3));
  add(poly({{13, 91}, {24, 89.5}, {27.5, 95}, {28.5, 99.6}, {12.5, 99.6}}),
      plate(back_metal, {20, 94}, 8));

  // The body.
  add(poly({{16, 27}, {40, 26}, {37, 55}, {20, 55}}), plate(pal.armour, {27, 38}, 15));
  add(poly({{23, 31}, {37, 30}, {35, 44}, {24, 44}}), plate(shade(pal.armour, 1.12), {29, 36}, 9, 0.9));
  add(box({28.5, 47.5}, {8.5, 1.0}, 0.8), flat(shade(pal.metal, 0.8)), false);
  add(box({28.5, 51.5}, {8.2, 1.0}, 0.8), flat(shade(pal.metal, 0.8)), false);
  add(poly({{19, 58}, {38, 58}, {40, 65}, {18, 65}}), plate(shade(pal.armour, 0.9), {28, 61}, 10));
  add(box({28.5, 57}, {10.5, 3}, 1), plate(pal.trim, {28.5, 57}, 6, 0.7));
  add(box({33, 57}, {2.6, 2.3}, 0.6), flat(pal.glow), false);

  // The near leg.
  add(capsule({33, 62}, {38, 77}, 5.3, 4.6), plate(pal.armour, {35, 69}, 7));
  add(capsule({38, 78}, {41, 92}, 4.8, 4.0), plate(pal.armour, {39, 85}, 7));
  add(circle({38, 77.5}, 3.2), plate(shade(pal.metal, 1.3), {38, 77.5}, 3));
  add(poly({{34.5, 90}, {45, 89.5}, {52, 95.5}, {53.5, 99.6}, {34.5, 99.6}}),
      plate(pal.metal, {43, 94}, 9));
  add(box({44, 98.6}, {9.6, 1.0}), flat(shade(pal.trim, 0.8)), false);

  // The head.
  add(box({27.5, 24}, {3.6, 3.2}), plate(pal.metal, {27.5, 24}, 4));
  if (crest == 0) {
    add(poly({{33, 6}, {28, 2.5}, {20, 4}, {12, 12}, {6, 25}, {15, 15.5}, {22, 10}, {29, 8.5}}),
        plate(pal.trim, {20, 9}, 10, 0.8));
  } else {
    add(capsule({33.5, 9}, {39, 0.8}, 2.6, 0.5), plate(pal.trim, {36, 5}, 5, 0.7));
    add(capsule({22.5, 9}, {15, 1.5}, 2.6, 0.5), plate(pal.trim, {19, 5}, 5, 0.7));
  }
  add(circle({28, 14}, 9), plate(pal.armour, {28, 14}, 9));
  add(poly({{28, 15}, {37.5, 13.5}, {36, 20.5}, {31, 23}, {26, 22.5}}), plate(pal.metal, {31, 18}, 6, 0.8));
  add(capsule({30.5, 12.8}, {36.8, 12.4}, 1.35, 1.2), flat(pal.glow), false);
  add(poly({{20, 6.5}, {24, 5.5}, {22, 21}, {19.5, 17}}), plate(shade(pal.trim, 0.85), {21, 12}, 6, 0.6));

  // The near arm and its cannon.
  add(capsule({34, 30}, {40.5, 39.5}, 4.6, 4.0), plate(pal.armour, {36, 34}, 6));
  add(box({51, 39}, {10, 4.4}, 2), plate(pal.metal, {51, 39}, 9));
  add(poly({{40, 33.5}, {55, 34.2}, {56, 37.6}, {40, 38.6}}), plate(pal.armour, {47, 35}, 7, 0.7));
  add(box({47, 39}, {1.2, 5.2}, 0.5), plate(pal.trim, {47, 39}, 4, 0.5));
  add(box({53.5, 39}, {1.2, 5.2}, 0.5), plate(pal.trim, {53.5, 39}, 4, 0.5));
  add(box({60.6, 39}, {2.0, 3.4}, 0.8), plate(pal.trim, {60.6, 39}, 4, 0.6));
  add(circle({40.5, 39.5}, 5.0), plate(pal.armour, {40.5, 39.5}, 5));
  // The shoulder guard: a dome with a gold ridge along its top and a stud.
  add(ellipse({35, 31}, 7.2, 5.6), plate(pal.armour, {34, 29}, 7));
  add(capsule({29.5, 28.4}, {40.5, 27.8}, 1.3, 1.0), plate(pal.trim, {35, 28}, 5, 0.4), false);
  add(circle({36.5, 32.2}, 1.1), flat(shade(pal.trim, 0.9)), false);

  // Nothing reaches further than the glows around the box.
  canvas.clip_around(frame, {kFigureWidth / 2, kFigureHeight / 2}, kFigureHeight / 2 + 8);

  // The silhouette's outline first, then the parts in order over it.
  const double outline = 1.15;
  for (const Part& part : parts)
    if (part.outlined)
      canvas.fill(frame, [&](V2 p) { return part.sdf(p) - outline; }, pal.outline);
  for (const Part& part : parts)
    canvas.fill(frame, [&](V2 p) { return part.sdf(p); }, [&](V2 p, double d) { return part.paint(p, d); });

  // Lights: visor, chest core and muzzle.
  const Rgba glow = with_alpha(pal.glow, 0.55);
  canvas.glow(frame, capsule({30.5, 12.8}, {36.8, 12.4}, 1.2, 1.1), glow, 3.5);
  canvas.fill(frame, circle({30.5, 37}, 2.8), pal.glow);
  canvas.fill(frame, circle({29.8, 36.3}, 1.1), hex(0xFFFFFF));
  canvas.glow(frame, circle({30.5, 37}, 2.5), glow, 4.5);
  canvas.fill(frame, ellipse({62.8, 39}, 1.3, 2.6), pal.glow);
  canvas.glow(frame, ellipse({62.8, 39}, 1.2, 2.4), with_alpha(pal.glow, 0.8), 4);
  canvas.clip();
}

}  // namespace pic
