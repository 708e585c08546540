// Faces, glyphs and DrawText layout with the fonts installed on this machine.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "font_face.h"

namespace {

using zr::d3dx9::FontFace;

const char* kStatusLine = "Velkor Engine Framerate:60 Leben Links: 100 / Rechts 99";

std::unique_ptr<FontFace> Open(const char* face, INT height = 0, UINT width = 0, UINT weight = 0, BOOL italic = FALSE) {
  D3DXFONT_DESCA desc{};
  desc.Height = height;
  desc.Width = width;
  desc.Weight = weight;
  desc.Italic = italic;
  std::strncpy(desc.FaceName, face, LF_FACESIZE - 1);
  std::unique_ptr<FontFace> font;
  EXPECT_EQ(FontFace::Open(desc, &font), D3D_OK);
  return font;
}

std::unique_ptr<FontFace> OpenWithCharSet(const char* face, BYTE charSet) {
  D3DXFONT_DESCA desc{};
  desc.CharSet = charSet;
  std::strncpy(desc.FaceName, face, LF_FACESIZE - 1);
  std::unique_ptr<FontFace> font;
  EXPECT_EQ(FontFace::Open(desc, &font), D3D_OK);
  return font;
}

// Whether fontconfig lists any installed font that writes the language.
bool AnyFontWrites(const char* language) {
  FcInit();
  FcPattern* asked = FcPatternCreate();
  FcPatternAddString(asked, FC_LANG, reinterpret_cast<const FcChar8*>(language));
  FcObjectSet* fields = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fonts = FcFontList(nullptr, asked, fields);
  bool any = fonts != nullptr && fonts->nfont > 0;
  if (fonts != nullptr) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(fields);
  FcPatternDestroy(asked);
  return any;
}

int Width(FontFace& font, const char* text) {
  RECT r{0, 0, 0, 0};
  return font.Layout(text, -1, r, DT_CALCRECT).bounds.right;
}

TEST(FontFace, ArialIsLiberationSansAndStylesPickTheirFiles) {
  auto regular = Open("Arial");
  ASSERT_TRUE(regular);
  EXPECT_EQ(regular->Family(), "Liberation Sans");
  EXPECT_NE(regular->File().find("LiberationSans-Regular"), std::string::npos);
  EXPECT_NE(Open("Arial", 0, 0, FW_BOLD)->File().find("LiberationSans-Bold"), std::string::npos);
  EXPECT_NE(Open("Arial", 0, 0, 0, TRUE)->File().find("LiberationSans-Italic"), std::string::npos);
  // An empty or unknown name still gives a font.
  EXPECT_FALSE(Open("")->Family().empty());
  EXPECT_FALSE(Open("No Such Face At All")->Family().empty());
}

TEST(FontFace, ACharSetThatNamesAScriptPrefersAFaceThatWritesIt) {
  EXPECT_EQ(OpenWithCharSet("Arial", ANSI_CHARSET)->Family(), "Liberation Sans");
  EXPECT_EQ(OpenWithCharSet("Arial", DEFAULT_CHARSET)->Family(), "Liberation Sans");
  // Liberation Sans writes Cyrillic itself, so the name still decides.
  auto cyrillic = OpenWithCharSet("Arial", RUSSIAN_CHARSET);
  EXPECT_EQ(cyrillic->Family(), "Liberation Sans");
  EXPECT_TRUE(cyrillic->HasGlyph(U'\u0416'));
  EXPECT_TRUE(OpenWithCharSet("No Such Face At All", RUSSIAN_CHARSET)->HasGlyph(U'\u0416'));

  // It has no Arabic letters, and DejaVu Sans (fonts-dejavu-core) has: the script wins over the
  // name. Where no installed face writes Arabic, the named face stands.
  auto arabic = OpenWithCharSet("Arial", ARABIC_CHARSET);
  ASSERT_TRUE(arabic);
  if (AnyFontWrites("ar")) {
    EXPECT_NE(arabic->Family(), "Liberation Sans");
    EXPECT_TRUE(arabic->HasGlyph(U'\u0627'));  // alef
    EXPECT_TRUE(arabic->HasGlyph(U'\u0628'));  // beh
    EXPECT_TRUE(arabic->HasGlyph(U'A'));
  } else {
    EXPECT_EQ(arabic->Family(), "Liberation Sans");
  }
  EXPECT_FALSE(OpenWithCharSet("Arial", ANSI_CHARSET)->HasGlyph(U'\u0627'));
}

TEST(FontFace, HeightsFollowThePlatformsSigns) {
  auto byDefault = Open("Arial");
  auto em16 = Open("Arial", -16);
  EXPECT_EQ(Width(*byDefault, kStatusLine), Width(*em16, kStatusLine));
  // The status line measured at 16 pixels in Liberation Sans: about 409 pixels.
  EXPECT_NEAR(Width(*em16, kStatusLine), 409, 6);

  auto cell20 = Open("Arial", 20);
  EXPECT_NEAR(cell20->LineHeight(), 20, 1);
  auto em20 = Open("Arial", -20);
  EXPECT_GT(em20->LineHeight(), cell20->LineHeight());

  auto wide = Open("Arial", -16, 20);
  EXPECT_GT(Width(*wide, "mmmm"), Width(*em16, "mmmm") * 3 / 2);
}

TEST(FontFace, LayoutMeasuresKeepsTheCornerAndCentresLines) {
  auto font = Open("Arial");
  RECT open{10, 10, 0, 0};
  zr::d3dx9::TextLayout measured = font->Layout(kStatusLine, -1, open, DT_CALCRECT);
  EXPECT_EQ(measured.bounds.left, 10);
  EXPECT_EQ(measured.bounds.top, 10);
  EXPECT_EQ(measured.height, font->LineHeight());
  EXPECT_EQ(measured.bounds.bottom, 10 + font->LineHeight());

  // Drawn in its own measured rectangle, the text fills it and every glyph stays inside.
  zr::d3dx9::TextLayout drawn = font->Layout(kStatusLine, -1, measured.bounds, DT_CENTER);
  ASSERT_FALSE(drawn.glyphs.empty());
  for (const auto& g : drawn.glyphs) {
    EXPECT_GE(g.x, measured.bounds.left);
    EXPECT_LE(g.x + g.glyph->width, measured.bounds.right);
    EXPECT_GE(g.y, measured.bounds.top);
    EXPECT_LE(g.y + g.glyph->height, measured.bounds.bottom);
  }

  // Two lines: twice the height; each line centred on its own.
  RECT box{0, 0, 200, 100};
  zr::d3dx9::TextLayout two = font->Layout("i\r\nwwwwww", -1, box, DT_CENTER);
  EXPECT_EQ(two.height, 2 * font->LineHeight());
  int narrow = Width(*font, "i");
  int wide = Width(*font, "wwwwww");
  EXPECT_EQ(two.bounds.left, (200 - wide) / 2);
  EXPECT_EQ(two.bounds.right, (200 - wide) / 2 + wide);
  EXPECT_GE(two.glyphs.front().x, (200 - narrow) / 2);
  EXPECT_LT(two.glyphs.front().x, (200 + narrow) / 2);
  EXPECT_EQ(font->Layout("i\nwwwwww", -1, box, DT_SINGLELINE).height, font->LineHeight());

  EXPECT_EQ(font->Layout("", -1, box, DT_CENTER).height, 0);
  EXPECT_EQ(font->Layout("abc", 1, RECT{0, 0, 0, 0}, DT_CALCRECT).bounds.right, Width(*font, "a"));
}

TEST(FontFace, TextIsUtf8WithLatin1ForStrayBytes) {
  EXPECT_EQ(zr::d3dx9::DecodeText("Gr\xC3\xBC\xC3\x9F" "e", -1), U"Gr\u00FC\u00DFe");
  EXPECT_EQ(zr::d3dx9::DecodeText("M\xFC" "ller", -1), U"M\u00FCller");
  EXPECT_EQ(zr::d3dx9::DecodeText("\xC3", -1), U"\u00C3");
  EXPECT_EQ(zr::d3dx9::DecodeText("ab", 5 - 4), U"a");
}

}  // namespace
