// Fonts for ID3DXFont: a face chosen by fontconfig from a font description, glyphs rasterised by
// FreeType, and the layout of DrawText (line breaks, alignment, measuring). No OpenGL here: the
// drawing side puts the glyph bitmaps into its atlas and draws the placed glyphs.
#pragma once

#include <d3dx9.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace zr::d3dx9 {

// Height 0 in a font description: text 16 pixels high (the em size, as a height of -16 asks).
inline constexpr int kDefaultFontHeight = 16;

struct Glyph {
  std::uint32_t codepoint = 0;
  int width = 0;     // of the bitmap
  int height = 0;
  int left = 0;      // from the pen position to the bitmap's left edge
  int top = 0;       // from the baseline up to the bitmap's top edge
  int advance = 0;   // pen movement, pixels
  std::vector<std::uint8_t> coverage;  // width x height, top row first, 0 to 255
};

// A glyph placed by a layout: its bitmap's top-left corner in screen pixels.
struct PlacedGlyph {
  const Glyph* glyph;
  int x;
  int y;
};

struct TextLayout {
  std::vector<PlacedGlyph> glyphs;
  RECT bounds{};   // the rectangle the text occupies (DT_CALCRECT's answer)
  int height = 0;  // DrawText's result: the height of the text
};

class FontFace {
 public:
  // Finds and loads the face that fontconfig gives for the description; a CharSet that names a
  // script prefers a face that writes it, the named face when it does. Fails with
  // D3DXERR_INVALIDDATA when no font file can be loaded.
  static HRESULT Open(const D3DXFONT_DESCA& desc, std::unique_ptr<FontFace>* face);
  ~FontFace();
  FontFace(const FontFace&) = delete;
  FontFace& operator=(const FontFace&) = delete;

  // The family and file fontconfig chose ("Liberation Sans" for "Arial" where it is installed).
  const std::string& Family() const { return family_; }
  const std::string& File() const { return file_; }
  int Ascent() const { return ascent_; }
  int Descent() const { return descent_; }
  int LineHeight() const { return ascent_ + descent_; }

  // Whether the face has a glyph of its own for the character (not the missing-glyph box).
  bool HasGlyph(std::uint32_t codepoint) const;

  // The glyph of a character, rasterised once and kept.
  const Glyph& GlyphOf(std::uint32_t codepoint);

  // Lays out `count` bytes of `text` (-1: up to its NUL) in `rect` as DrawText does with `format`:
  // lines end at line feeds (carriage returns are dropped; DT_SINGLELINE joins the lines), each is
  // aligned left, centred or right; DT_VCENTER and DT_BOTTOM place a single line vertically. The
  // text is UTF-8; bytes that are not are taken as Latin-1. Clipping is the drawing side's.
  TextLayout Layout(const char* text, int count, const RECT& rect, DWORD format);

 private:
  FontFace() = default;
  int Kerning(std::uint32_t left, std::uint32_t right);

  void* face_ = nullptr;  // FT_Face
  std::string family_;
  std::string file_;
  int ascent_ = 0;
  int descent_ = 0;
  bool emboldened_ = false;
  bool slanted_ = false;
  std::unordered_map<std::uint32_t, Glyph> glyphs_;
};

// Decodes UTF-8, taking each byte that does not start a valid sequence as Latin-1.
std::u32string DecodeText(const char* text, int count);

}  // namespace zr::d3dx9
