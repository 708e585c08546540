#include "font_face.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zr::d3dx9 {

namespace {

// One FreeType library for the whole process: faces come and go with their fonts, the library
// stays, as fontconfig's configuration does.
FT_Library SharedLibrary() {
  static FT_Library library = [] {
    FT_Library made = nullptr;
    return FT_Init_FreeType(&made) == 0 ? made : nullptr;
  }();
  return library;
}

int Round26_6(FT_Pos value) { return static_cast<int>((value + 32) >> 6); }
int Ceil26_6(FT_Pos value) { return static_cast<int>((value + 63) >> 6); }

// What a Windows character set asks of a face: the letters of some languages (as fontconfig names
// them), or a symbol font. The sets that name no script (ANSI, DEFAULT, OEM, MAC) ask nothing and
// leave the choice to the other fields.
struct Script {
  std::vector<const char*> languages;
  bool symbol = false;
  bool AsksSomething() const { return symbol || !languages.empty(); }
};

Script ScriptOf(BYTE charSet) {
  switch (charSet) {
    case SYMBOL_CHARSET: return Script{{}, true};
    case SHIFTJIS_CHARSET: return Script{{"ja"}};
    case HANGUL_CHARSET:
    case JOHAB_CHARSET: return Script{{"ko"}};
    case GB2312_CHARSET: return Script{{"zh-cn"}};
    case CHINESEBIG5_CHARSET: return Script{{"zh-tw"}};
    case GREEK_CHARSET: return Script{{"el"}};
    case TURKISH_CHARSET: return Script{{"tr"}};
    case VIETNAMESE_CHARSET: return Script{{"vi"}};
    case HEBREW_CHARSET: return Script{{"he"}};
    case ARABIC_CHARSET: return Script{{"ar"}};
    case BALTIC_CHARSET: return Script{{"lt", "lv", "et"}};
    case RUSSIAN_CHARSET: return Script{{"ru"}};
    case THAI_CHARSET: return Script{{"th"}};
    case EASTEUROPE_CHARSET: return Script{{"pl", "cs", "sk", "hu", "sl", "hr"}};
    default: return Script{};
  }
}

// Whether a font (a pattern from the font list) has every language of the script, or is a symbol
// font when that is asked: fontconfig's own judgement, the one `fc-list :lang=xx` shows.
bool Covers(FcPattern* font, const Script& script) {
  if (script.symbol) {
    FcBool symbol = FcFalse;
    if (FcPatternGetBool(font, FC_SYMBOL, 0, &symbol) != FcResultMatch || !symbol) return false;
  }
  if (script.languages.empty()) return true;
  FcLangSet* languages = nullptr;
  if (FcPatternGetLangSet(font, FC_LANG, 0, &languages) != FcResultMatch || languages == nullptr) return false;
  for (const char* language : script.languages)
    if (FcLangSetHasLang(languages, reinterpret_cast<const FcChar8*>(language)) != FcLangEqual) return false;
  return true;
}

// The fontconfig pattern of a description: face name, weight, slant, spacing, the generic family
// of PitchAndFamily as a fallback, and the languages of the character set.
FcPattern* PatternOf(const D3DXFONT_DESCA& desc, const Script& script) {
  FcPattern* pattern = FcPatternCreate();
  std::string face(desc.FaceName, strnlen(desc.FaceName, LF_FACESIZE));
  if (!face.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
  switch (desc.PitchAndFamily & 0xF0) {
    case FF_ROMAN: FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("serif")); break;
    case FF_MODERN: FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("monospace")); break;
    case FF_SCRIPT: FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("cursive")); break;
    case FF_DECORATIVE: FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("fantasy")); break;
    default: FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif")); break;
  }
  if ((desc.PitchAndFamily & 0x03) == FIXED_PITCH) FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
  int weight = desc.Weight == 0 ? FW_NORMAL : static_cast<int>(std::min<UINT>(desc.Weight, 1000));
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(pattern, FC_SLANT, desc.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  // Set before the defaults, the script's languages stand in for the locale's: among faces that
  // are otherwise alike, one that writes them comes first.
  for (const char* language : script.languages)
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language));
  if (script.symbol) FcPatternAddBool(pattern, FC_SYMBOL, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  return pattern;
}

// The font for a pattern. A character set that names a script is honoured as the platform's font
// mapper does, above the face name: fontconfig ranks a language below the family, so the fonts
// are taken in its order of preference and the first that writes the script wins, the named face
// itself when it does. When no installed face writes it, fontconfig's first choice stands.
FcPattern* ChooseFont(FcPattern* pattern, const Script& script) {
  FcResult result = FcResultNoMatch;
  if (!script.AsksSomething()) return FcFontMatch(nullptr, pattern, &result);
  FcFontSet* sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
  if (sorted == nullptr || sorted->nfont == 0) {
    if (sorted != nullptr) FcFontSetDestroy(sorted);
    return FcFontMatch(nullptr, pattern, &result);
  }
  FcPattern* chosen = sorted->fonts[0];
  for (int i = 0; i < sorted->nfont; ++i) {
    if (Covers(sorted->fonts[i], script)) {
      chosen = sorted->fonts[i];
      break;
    }
  }
  FcPattern* match = FcFontRenderPrepare(nullptr, pattern, chosen);
  FcFontSetDestroy(sorted);
  return match;
}

}  // namespace

HRESULT FontFace::Open(const D3DXFONT_DESCA& desc, std::unique_ptr<FontFace>* out) {
  if (out == nullptr) return D3DERR_INVALIDCALL;
  out->reset();
  FT_Library library = SharedLibrary();
  if (library == nullptr || !FcInit()) return E_FAIL;

  const Script script = ScriptOf(desc.CharSet);
  FcPattern* pattern = PatternOf(desc, script);
  FcPattern* match = ChooseFont(pattern, script);
  FcPatternDestroy(pattern);
  if (match == nullptr) return D3DXERR_INVALIDDATA;
  FcChar8* file = nullptr;
  FcChar8* family = nullptr;
  int index = 0;
  int weight = FC_WEIGHT_REGULAR;
  int slant = FC_SLANT_ROMAN;
  FcPatternGetString(match, FC_FILE, 0, &file);
  FcPatternGetString(match, FC_FAMILY, 0, &family);
  FcPatternGetInteger(match, FC_INDEX, 0, &index);
  FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
  FcPatternGetInteger(match, FC_SLANT, 0, &slant);

  std::unique_ptr<FontFace> font(new FontFace);
  if (file != nullptr) font->file_ = reinterpret_cast<const char*>(file);
  if (family != nullptr) font->family_ = reinterpret_cast<const char*>(family);
  FcPatternDestroy(match);

  FT_Face face = nullptr;
  if (font->file_.empty() || FT_New_Face(library, font->file_.c_str(), index, &face) != 0) return D3DXERR_INVALIDDATA;
  font->face_ = face;
  if (!FT_IS_SCALABLE(face)) return D3DXERR_INVALIDDATA;

  // Heights as the platform reads them: above 0 the cell (ascent + descent), below 0 the em, 0 the
  // default em.
  const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const double unitsPerEm = face->units_per_EM > 0 ? face->units_per_EM : 2048;
  double cellPerEm = os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0
                         ? (os2->usWinAscent + os2->usWinDescent) / unitsPerEm
                         : (face->ascender - face->descender) / unitsPerEm;
  if (cellPerEm <= 0) cellPerEm = 1.0;
  double em = desc.Height > 0 ? desc.Height / cellPerEm : desc.Height < 0 ? -static_cast<double>(desc.Height)
                                                                          : kDefaultFontHeight;
  em = std::clamp(em, 1.0, 1024.0);
  double emWidth = em;
  if (desc.Width > 0 && os2 != nullptr && os2->xAvgCharWidth > 0)
    emWidth = std::clamp(desc.Width / (os2->xAvgCharWidth / unitsPerEm), 1.0, 4096.0);
  if (FT_Set_Char_Size(face, static_cast<FT_F26Dot6>(emWidth * 64), static_cast<FT_F26Dot6>(em * 64), 72, 72) != 0)
    return D3DXERR_INVALIDDATA;

  if (os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
    font->ascent_ = static_cast<int>(std::ceil(os2->usWinAscent * em / unitsPerEm));
    font->descent_ = static_cast<int>(std::ceil(os2->usWinDescent * em / unitsPerEm));
  } else {
    font->ascent_ = Ceil26_6(face->size->metrics.ascender);
    font->descent_ = Ceil26_6(-face->size->metrics.descender);
  }
  // What the file lacks of the weight or slant asked for is made up by FreeType.
  font->emboldened_ = desc.Weight >= FW_SEMIBOLD && weight < FC_WEIGHT_DEMIBOLD;
  font->slanted_ = desc.Italic && slant == FC_SLANT_ROMAN;
  *out = std::move(font);
  return D3D_OK;
}

FontFace::~FontFace() {
  if (face_ != nullptr) FT_Done_Face(static_cast<FT_Face>(face_));
}

const Glyph& FontFace::GlyphOf(std::uint32_t codepoint) {
  auto found = glyphs_.find(codepoint);
  if (found != glyphs_.end()) return found->second;
  Glyph& glyph = glyphs_[codepoint];
  glyph.codepoint = codepoint;
  FT_Face face = static_cast<FT_Face>(face_);
  FT_UInt index = FT_Get_Char_Index(face, codepoint);
  if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return glyph;
  FT_GlyphSlot slot = face->glyph;
  if (emboldened_) FT_GlyphSlot_Embolden(slot);
  if (slanted_) FT_GlyphSlot_Oblique(slot);
  glyph.advance = Round26_6(slot->advance.x);
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  glyph.width = static_cast<int>(bitmap.width);
  glyph.height = static_cast<int>(bitmap.rows);
  glyph.left = slot->bitmap_left;
  glyph.top = slot->bitmap_top;
  glyph.coverage.resize(static_cast<size_t>(glyph.width) * glyph.height);
  for (int y = 0; y < glyph.height; ++y) {
    const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
    std::memcpy(glyph.coverage.data() + static_cast<size_t>(y) * glyph.width, row, glyph.width);
  }
  return glyph;
}

bool FontFace::HasGlyph(std::uint32_t codepoint) const {
  return FT_Get_Char_Index(static_cast<FT_Face>(face_), codepoint) != 0;
}

int FontFace::Kerning(std::uint32_t left, std::uint32_t right) {
  FT_Face face = static_cast<FT_Face>(face_);
  if (!FT_HAS_KERNING(face)) return 0;
  FT_Vector delta{};
  if (FT_Get_Kerning(face, FT_Get_Char_Index(face, left), FT_Get_Char_Index(face, right), FT_KERNING_DEFAULT,
                     &delta) != 0)
    return 0;
  return Round26_6(delta.x);
}

std::u32string DecodeText(const char* text, int count) {
  std::u32string out;
  if (text == nullptr) return out;
  size_t length = count < 0 ? std::strlen(text) : static_cast<size_t>(count);
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  for (size_t i = 0; i < length;) {
    unsigned char c = s[i];
    size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    char32_t value = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    bool valid = n != 0 && i + n <= length;
    for (size_t k = 1; valid && k < n; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) valid = false;
      else value = (value << 6) | (s[i + k] & 0x3F);
    }
    static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (value < kSmallest[n] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))) valid = false;
    if (!valid) {
      out.push_back(c);  // Latin-1
      ++i;
    } else {
      out.push_back(value);
      i += n;
    }
  }
  return out;
}

TextLayout FontFace::Layout(const char* text, int count, const RECT& rect, DWORD format) {
  TextLayout layout;
  std::u32string chars = DecodeText(text, count);
  // Lines of characters.
  std::vector<std::u32string> lines(1);
  for (char32_t c : chars) {
    if (c == U'\r') continue;
    if (c == U'\n') {
      if (format & DT_SINGLELINE) continue;
      lines.emplace_back();
      continue;
    }
    lines.back().push_back(c);
  }
  if (chars.empty()) {
    layout.bounds = RECT{rect.left, rect.top, rect.left, rect.top};
    return layout;
  }
  std::vector<int> widths;
  int widest = 0;
  for (const std::u32string& line : lines) {
    int width = 0;
    char32_t previous = 0;
    for (char32_t c : line) {
      if (previous != 0) width += Kerning(previous, c);
      width += GlyphOf(c == U'\t' ? U' ' : c).advance * (c == U'\t' && (format & DT_EXPANDTABS) ? 8 : 1);
      previous = c;
    }
    widths.push_back(width);
    widest = std::max(widest, width);
  }
  const int lineHeight = LineHeight();
  const int total = lineHeight * static_cast<int>(lines.size());
  int top = rect.top;
  if ((format & DT_SINGLELINE) && (format & DT_VCENTER)) top = rect.top + ((rect.bottom - rect.top) - total) / 2;
  else if ((format & DT_SINGLELINE) && (format & DT_BOTTOM)) top = rect.bottom - total;
  layout.height = total;

  int boundsLeft = rect.left;
  int boundsRight = rect.left + widest;
  for (size_t l = 0; l < lines.size(); ++l) {
    int x = rect.left;
    if (format & DT_CENTER) x = rect.left + ((rect.right - rect.left) - widths[l]) / 2;
    else if (format & DT_RIGHT) x = rect.right - widths[l];
    if (!(format & DT_CALCRECT)) {
      boundsLeft = l == 0 ? x : std::min(boundsLeft, x);
      boundsRight = l == 0 ? x + widths[l] : std::max(boundsRight, x + widths[l]);
    }
    const int baseline = top + static_cast<int>(l) * lineHeight + ascent_;
    char32_t previous = 0;
    for (char32_t c : lines[l]) {
      if (previous != 0) x += Kerning(previous, c);
      previous = c;
      const Glyph& g = GlyphOf(c == U'\t' ? U' ' : c);
      if (c != U'\t' && g.width > 0 && g.height > 0) layout.glyphs.push_back(PlacedGlyph{&g, x + g.left, baseline - g.top});
      x += g.advance * (c == U'\t' && (format & DT_EXPANDTABS) ? 8 : 1);
    }
  }
  layout.bounds = RECT{boundsLeft, top, boundsRight, top + total};
  return layout;
}

}  // namespace zr::d3dx9
