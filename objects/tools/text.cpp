#include "text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <filesystem>

namespace pic {

namespace {

// Code points of a UTF-8 string; a broken sequence gives U+FFFD.
std::vector<char32_t> decode(std::string_view s) {
  std::vector<char32_t> out;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    char32_t c = n == 1 ? b : b & (0x7F >> n);
    for (int k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.push_back(c);
    i += n;
  }
  return out;
}

// The installed faces first, in a fixed order, so that the pictures do not depend on how
// fontconfig is set up; fontconfig's choice only when none of them is there.
std::string find_font(bool bold) {
  const char* fixed[] = {
      bold ? "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf"
           : "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
      bold ? "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf"
           : "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
      bold ? "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
           : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
  };
  for (const char* path : fixed)
    if (std::filesystem::exists(path)) return path;
  std::string found;
  if (FcInit()) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(
        bold ? "Liberation Sans:bold" : "Liberation Sans"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
      FcChar8* file = nullptr;
      if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch)
        found = reinterpret_cast<const char*>(file);
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    FcFini();
  }
  return found;
}

}  // namespace

Font::Font(bool bold) : path_(find_font(bold)) {
  FT_Library library = nullptr;
  if (path_.empty() || FT_Init_FreeType(&library) != 0) return;
  library_ = library;
  FT_Face face = nullptr;
  if (FT_New_Face(library, path_.c_str(), 0, &face) != 0) {
    std::fprintf(stderr, "%s: FreeType cannot open this font\n", path_.c_str());
    return;
  }
  face_ = face;
}

Font::~Font() {
  if (face_ != nullptr) FT_Done_Face(static_cast<FT_Face>(face_));
  if (library_ != nullptr) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

int Font::measure(std::string_view text, int pixels) const {
  auto face = static_cast<FT_Face>(face_);
  FT_Set_Pixel_Sizes(face, 0, pixels);
  long pen = 0;
  FT_UInt previous = 0;
  for (char32_t c : decode(text)) {
    const FT_UInt glyph = FT_Get_Char_Index(face, c);
    if (previous != 0 && FT_HAS_KERNING(face)) {
      FT_Vector k;
      if (FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &k) == 0) pen += k.x;
    }
    if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) == 0) pen += face->glyph->advance.x;
    previous = glyph;
  }
  return static_cast<int>((pen + 32) >> 6);
}

Mask Font::render(std::string_view text, int pixels, int margin) const {
  auto face = static_cast<FT_Face>(face_);
  FT_Set_Pixel_Sizes(face, 0, pixels);
  const int ascender = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
  const int descender = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
  Mask m;
  m.width = measure(text, pixels) + 2 * margin + 2;
  m.height = ascender + descender + 2 * margin;
  m.v.assign(static_cast<size_t>(m.width) * m.height, 0);
  long pen = static_cast<long>(margin) << 6;
  FT_UInt previous = 0;
  for (char32_t c : decode(text)) {
    const FT_UInt glyph = FT_Get_Char_Index(face, c);
    if (previous != 0 && FT_HAS_KERNING(face)) {
      FT_Vector k;
      if (FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &k) == 0) pen += k.x;
    }
    previous = glyph;
    if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const int left = static_cast<int>((pen + 32) >> 6) + slot->bitmap_left;
    const int top = margin + ascender - slot->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row)
      for (unsigned col = 0; col < bitmap.width; ++col) {
        const int x = left + static_cast<int>(col), y = top + static_cast<int>(row);
        if (x < 0 || y < 0 || x >= m.width || y >= m.height) continue;
        double& v = m.v[static_cast<size_t>(y) * m.width + x];
        v = std::max(v, bitmap.buffer[row * bitmap.pitch + col] / 255.0);
      }
    pen += slot->advance.x;
  }
  return m;
}

Mask widen(const Mask& m, double radius) {
  // The brush: full inside the radius, its own edge soft over one pixel.
  const int r = static_cast<int>(radius + 1);
  std::vector<double> brush;
  for (int dy = -r; dy <= r; ++dy)
    for (int dx = -r; dx <= r; ++dx)
      brush.push_back(clamp01(radius + 0.5 - std::sqrt(static_cast<double>(dx * dx + dy * dy))));
  Mask out = m;
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x) {
      double best = 0;
      const double* w = brush.data();
      for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx, ++w)
          if (*w > 0) best = std::max(best, m.at(x + dx, y + dy) * *w);
      out.v[static_cast<size_t>(y) * m.width + x] = best;
    }
  return out;
}

Mask blur(const Mask& m, int radius) {
  Mask a = m, b = m;
  const double n = 2 * radius + 1;
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < m.height; ++y)
      for (int x = 0; x < m.width; ++x) {
        double s = 0;
        for (int k = -radius; k <= radius; ++k) s += a.at(x + k, y);
        b.v[static_cast<size_t>(y) * m.width + x] = s / n;
      }
    for (int y = 0; y < m.height; ++y)
      for (int x = 0; x < m.width; ++x) {
        double s = 0;
        for (int k = -radius; k <= radius; ++k) s += b.at(x, y + k);
        a.v[static_cast<size_t>(y) * m.width + x] = s / n;
      }
  }
  return a;
}

}  // namespace pic
