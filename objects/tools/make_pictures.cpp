// Draws the game's pictures: the two duellists, the emblem, the shot and the two win screens.
// Usage: make_pictures <folder>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "canvas.h"
#include "figure.h"
#include "text.h"

namespace pic {
namespace {

constexpr int kFigurePixelsWide = 64;

Canvas duellist(const Palette& palette, int crest, bool facing_left) {
  Canvas c(kFigurePixelsWide, 100);
  Frame f;
  f.mirrored = facing_left;
  f.mirror_width = kFigureWidth;
  draw_figure(c, f, palette, crest);
  return c;
}

// A bolt of light, the same both ways: a white core in yellow, fading through orange to nothing
// at the edge of its 28 x 10 box.
Canvas shot() {
  Canvas c(28, 10);
  for (int y = 0; y < c.height(); ++y)
    for (int x = 0; x < c.width(); ++x) {
      // Elliptic distance from the middle: 0 there, 1 at the edge of the glow.
      const double dx = (x + 0.5 - 14) / 13.6, dy = (y + 0.5 - 5) / 4.9;
      const double e = std::sqrt(dx * dx + dy * dy);
      if (e >= 1) continue;
      // The core is flatter than the glow: measure it with the height stretched.
      const double core = std::sqrt(dx * dx * 1.2 + dy * dy * 5);
      Rgba col = mix(hex(0xFFFFFF), hex(0xFFE860), smoothstep(0.25, 0.6, core));
      col = mix(col, hex(0xFF9A20), smoothstep(0.5, 0.95, e));
      const double alpha = std::max((1 - e) * 2.4, 1 - smoothstep(0.5, 0.85, core));
      c.put(x, y, col, std::min(1.0, alpha));
    }
  return c;
}

// The emblem: a dark disc in a gold rim with a ring of glowing marks, an eight-pointed star of
// the players' two colours and a bold V in the middle, fading out at the edge.
Canvas emblem() {
  Canvas c(374, 360);
  const Frame f;
  const V2 centre{187, 180};
  const auto radius = [&](V2 p) { return length(p - centre); };
  const auto ring = [&](double r, double half_width) {
    return [=](V2 p) { return std::abs(radius(p) - r) - half_width; };
  };
  const Rgba gold = hex(0xF0B848), dark_gold = hex(0x6A4010), ink = hex(0x0A0610);
  // A ring of gold, bright along its middle and darker to both edges.
  const auto bevel = [&](double r, double half_width) {
    return [=](V2 p, double) {
      const double u = (radius(p) - r) / half_width;
      return mix(shade(gold, 1.25), dark_gold, std::min(1.0, u * u * 1.1));
    };
  };

  // Halo and body.
  c.glow(f, [&](V2 p) { return radius(p) - 160; }, hex(0xFF9E40, 0.5), 19);
  c.fill(f, [&](V2 p) { return radius(p) - 161; }, [&](V2 p, double) {
    const double t = radius(p) / 161;
    return mix(hex(0x2E1A4A, 0.96), hex(0x0C0716, 0.96), t * t);
  });

  // The rim and its studs.
  c.fill(f, ring(154, 9.5), ink);
  c.fill(f, ring(154, 8), bevel(154, 8));
  c.fill(f, ring(154, 0.6), with_alpha(dark_gold, 0.8));
  for (V2 d : directions(24)) {
    const V2 stud = centre + d * 154;
    c.clip_around(f, stud, 5);
    c.fill(f, [&](V2 p) { return sd_circle(p, stud, 3.4); }, ink);
    c.fill(f, [&](V2 p) { return sd_circle(p, stud, 2.5); }, [&](V2 p, double) {
      return mix(hex(0xFFF4C8), gold, clamp01(length(p - stud + V2{0.8, 0.8}) / 2.5));
    });
  }

  // The band of marks: long strokes and small diamonds by turns.
  const std::vector<V2> marks = directions(48);
  for (size_t k = 0; k < marks.size(); ++k) {
    const V2 d = marks[k];
    const auto shape = [&, k, d](V2 p) {
      if (k % 2 == 0) return sd_capsule(p, centre + d * 126, centre + d * 140, 1.6, 1.6);
      const V2 q = rotate(p - centre, {d.x, -d.y});  // into the mark's own axes
      return (std::abs(q.x - 133) + std::abs(q.y) * 1.8 - 4.5) * 0.6;
    };
    c.clip_around(f, centre + d * 133, 14);
    c.glow(f, shape, hex(0xFF8A20, 0.35), 5);
    c.fill(f, shape, k % 2 == 0 ? hex(0xFFC860) : hex(0xFF9A40));
  }
  c.clip();
  c.fill(f, ring(118.5, 4.2), ink);
  c.fill(f, ring(118.5, 3), bevel(118.5, 3));

  // The star: a gold one behind, then eight faceted points of red and blue.
  const std::vector<V2> points = directions(16);
  const auto kite = [&](V2 tip_dir, V2 left_dir, V2 right_dir, double tip, double waist) {
    return std::vector<V2>{centre, centre + left_dir * waist, centre + tip_dir * tip,
                           centre + right_dir * waist};
  };
  std::vector<std::vector<V2>> back, front;
  for (int k = 0; k < 16; ++k) {
    const V2 left = points[(k + 15) % 16], right = points[(k + 1) % 16];
    if (k % 2 == 1) back.push_back(kite(points[k], left, right, 96, 30));
    else front.push_back(kite(points[k], left, right, 114, 38));
  }
  c.clip_around(f, centre, 118);
  for (const auto& kp : back) c.fill(f, [&](V2 p) { return sd_polygon(p, kp) - 1.8; }, ink);
  for (const auto& kp : back)
    c.fill(f, [&](V2 p) { return sd_polygon(p, kp); }, [&](V2 p, double) {
      return mix(shade(gold, 1.15), dark_gold, clamp01(radius(p) / 100));
    });
  for (const auto& kp : front) c.fill(f, [&](V2 p) { return sd_polygon(p, kp) - 2; }, ink);
  for (size_t k = 0; k < front.size(); ++k) {
    const bool red = k % 2 == 0;
    const Rgba light = red ? hex(0xF0562E) : hex(0x4C90F8);
    const Rgba deep = red ? hex(0x8A1A12) : hex(0x183A92);
    const auto& kp = front[k];
    // Each point is two facets either side of its spine, one lit and one in shadow.
    const std::vector<V2> lit{kp[0], kp[1], kp[2]}, unlit{kp[0], kp[2], kp[3]};
    const auto facet = [&](const std::vector<V2>& tri, Rgba tone) {
      c.fill(f, [&](V2 p) { return sd_polygon(p, tri); }, [&](V2 p, double) {
        return mix(shade(tone, 1.2), tone, clamp01(radius(p) / 114));
      });
    };
    facet(lit, light);
    facet(unlit, mix(light, deep, 0.55));
    c.fill(f, [&](V2 p) { return sd_capsule(p, kp[0], kp[2], 0.7, 0.3); }, hex(0xFFE6C0, 0.7));
  }

  // The middle: a dark disc in a gold ring, and the V glowing over it.
  c.fill(f, [&](V2 p) { return radius(p) - 60; }, ink);
  c.fill(f, ring(55, 4.5), bevel(55, 4.5));
  c.fill(f, [&](V2 p) { return radius(p) - 50; }, [&](V2 p, double) {
    return mix(hex(0x3A2258), hex(0x120A20), clamp01(radius(p) / 50));
  });
  const std::vector<V2> vee{{-37, -30}, {-15, -30}, {0, 12}, {15, -30}, {37, -30}, {9, 36}, {-9, 36}};
  std::vector<V2> v;
  for (V2 q : vee) v.push_back(centre + q + V2{0, -2});
  const auto vsdf = [&](V2 p) { return sd_polygon(p, v); };
  c.glow(f, vsdf, hex(0xFFB040, 0.6), 12);
  c.fill(f, [&](V2 p) { return vsdf(p) - 2.6; }, ink);
  c.fill(f, vsdf, [&](V2 p, double d) {
    const double t = clamp01((p.y - centre.y + 32) / 68);
    Rgba col = mix(hex(0xFFF2B0), hex(0xE07A18), t);
    if (p.x > centre.x) col = shade(col, 0.86);  // the right arm in shadow
    return mix(shade(col, 1.4), col, smoothstep(-2.2, -1.0, -d));
  });
  return c;
}

struct Winner {
  const char* title;
  Palette palette;
  int crest;
  bool facing_left;
  Rgba light;  // the title's bright end and the key names
  Rgba deep;   // the panel's tint
};

// Paints one line of text centred on x at the given top, with a dark outline and a soft shadow;
// colour(t) gives the fill from t = 0 at the top of the letters to 1 at the bottom.
template <class Colour>
void caption(Canvas& c, const Font& font, const std::string& text, int pixels, int centre_x,
             int top, double outline, const Colour& colour) {
  const int margin = 8;
  const Mask m = font.render(text, pixels, margin);
  const int x = centre_x - m.width / 2, y = top - margin;
  paint_mask(c, blur(widen(m, outline + 1), 3), x + 2, y + 3,
             [](int, int) { return hex(0x000000, 0.7); });
  if (outline > 0)
    paint_mask(c, widen(m, outline), x, y, [](int, int) { return hex(0x08060C); });
  paint_mask(c, m, x, y, [&](int, int my) {
    return colour(clamp01(static_cast<double>(my - margin) / (m.height - 2 * margin)));
  });
}

// A line made of parts in different colours, centred on x.
void line_of_parts(Canvas& c, const Font& font, const std::vector<std::pair<std::string, Rgba>>& parts,
                   int pixels, int centre_x, int top) {
  std::string whole;
  for (const auto& part : parts) whole += part.first;
  int x = centre_x - font.measure(whole, pixels) / 2;
  std::string before;
  for (const auto& [text, colour] : parts) {
    // Each part starts where the whole line up to it ends, so spacing stays the font's own.
    const int start = x + font.measure(before, pixels);
    caption(c, font, text, pixels, start + font.measure(text, pixels) / 2 + 1, top, 0,
            [&](double) { return colour; });
    before += text;
  }
}

// A win screen: a dark panel in the winner's colour, rays behind the winner, the title above and
// the keys below.
Canvas win_screen(const Winner& w, const Font& bold, const Font& regular) {
  const int width = 600, height = 500;
  Canvas c(width, height);
  const Frame f;
  const V2 middle{300, 250};
  const auto panel = [&](V2 p) { return sd_box(p, middle, {299, 249}, 26); };
  c.fill(f, panel, [&](V2 p, double) {
    const double t = p.y / height;
    return mix(shade(w.deep, 0.55), hex(0x07070C), t);
  });

  // Rays from behind the figure, kept inside the panel: every other one of 32 wedges, each
  // bounded by the two lines from the hub along its edges.
  const V2 hub{300, 232};
  const std::vector<V2> dirs = directions(32);
  const auto rays = [&](V2 p) {
    const V2 q = p - hub;
    double d = 1e9;
    for (size_t k = 0; k < dirs.size(); k += 2)
      d = std::min(d, std::max(-cross(dirs[k], q), cross(dirs[k + 1], q)));
    return std::max(d, panel(p) + 10);
  };
  c.fill(f, rays, [&](V2 p, double) {
    return with_alpha(w.light, 0.16 * (1 - clamp01(length(p - hub) / 330)));
  });
  c.glow(f, [&](V2 p) { return sd_circle(p, hub, 40); }, with_alpha(w.light, 0.35), 110);

  // The border: the player's colour with a bright inner line.
  c.fill(f, [&](V2 p) { return std::abs(panel(p) + 4) - 4; }, [&](V2 p, double) {
    return mix(shade(w.palette.armour, 1.15), shade(w.palette.armour, 0.6), p.y / height);
  });
  c.fill(f, [&](V2 p) { return std::abs(panel(p) + 10.5) - 1.2; }, with_alpha(w.palette.trim, 0.85));

  caption(c, bold, w.title, 54, 300, 34, 3,
          [&](double t) { return mix(shade(w.light, 1.35), w.palette.armour, t * 0.9); });

  // The winner, twice and a bit as large as in the game, on a pool of light.
  const double scale = 2.1;
  const V2 origin{300 - kFigureWidth * scale / 2, 118};
  c.fill(f, [&](V2 p) { return sd_ellipse(p, {300, 118 + 100 * scale - 3}, 88, 14); },
         [&](V2 p, double) {
           const double t = clamp01(length(V2{(p.x - 300) / 88, (p.y - 328) / 14}));
           return with_alpha(w.light, 0.55 * (1 - t * t));
         });
  Frame figure;
  figure.origin = origin;
  figure.scale = scale;
  figure.mirrored = w.facing_left;
  figure.mirror_width = kFigureWidth;
  draw_figure(c, figure, w.palette, w.crest);

  // The keys.
  c.fill(f, [&](V2 p) { return sd_box(p, {300, 362}, {200, 1.2}, 1.2); },
         [&](V2 p, double) { return with_alpha(w.light, 0.6 * (1 - std::abs(p.x - 300) / 200)); });
  const Rgba grey = hex(0xD8D8E0);
  line_of_parts(c, regular, {{"Leertaste", w.light}, {": neues Spiel", grey}}, 32, 300, 384);
  line_of_parts(c, regular, {{"Esc", w.light}, {": Beenden", grey}}, 32, 300, 432);
  return c;
}

bool save(const Canvas& c, const std::string& folder, const char* name) {
  return write_png(folder + "/" + name, c.width(), c.height(), c.rgba8());
}

}  // namespace
}  // namespace pic

int main(int argc, char** argv) {
  using namespace pic;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  bool ok = save(duellist(red_palette(), 0, false), folder, "velkor1.png");
  ok = save(duellist(blue_palette(), 1, true), folder, "velkor2.png") && ok;
  ok = save(shot(), folder, "shoot.PNG") && ok;
  ok = save(emblem(), folder, "emblem.PNG") && ok;
  const Font bold(true), regular(false);
  if (!bold.ok() || !regular.ok()) {
    std::fprintf(stderr, "make_pictures: no usable font (Liberation Sans or DejaVu Sans)\n");
    return 1;
  }
  const Winner left{"Spieler 1 gewinnt!", red_palette(), 0, false, hex(0xFFB060), hex(0xB02818)};
  const Winner right{"Spieler 2 gewinnt!", blue_palette(), 1, true, hex(0x80D8FF), hex(0x1C4CB0)};
  ok = save(win_screen(left, bold, regular), folder, "win_player_1.PNG") && ok;
  ok = save(win_screen(right, bold, regular), folder, "win_player_2.PNG") && ok;
  return ok ? 0 : 1;
}
