// Faces, glyphs and DrawText's layout with the fonts installed on this machine.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "font_face.h"

namespace {

using zr::d3dx9::FontFace;

const char* kStatusLine = "Velkor Engine Framerate:60 Leben Links: 100 / Rechts 99";

std::unique_ptr<FontFace> Open(const char* face, INT height = 0, UINT width = 0, UINT weight = 0, BOOL italic = FALSE,
                               BYTE charSet = ANSI_CHARSET) {
  D3DXFONT_DESCA desc{};
  desc.Height = height, desc.Width = width, desc.Weight = weight, desc.Italic = italic, desc.CharSet = charSet;
  std::strncpy(desc.FaceName, face, LF_FACESIZE - 1);
  std::unique_ptr<FontFace> font;
  EXPECT_EQ(FontFace::Open(desc, &font), D3D_OK);
  return font;
}

int Width(FontFace& font, const char* text) {
  RECT r{0, 0, 0, 0};
  return font.Layout(text, -1, r, DT_CALCRECT).bounds.right;
}

TEST(FontFace, ArialIsLiberationSansStylesPickTheirFilesAndScriptsTheirFaces) {
  EXPECT_EQ(Open("Arial")->Family(), "Liberation Sans");
  EXPECT_NE(Open("Arial")->File().find("LiberationSans-Regular"), std::string::npos);
  EXPECT_NE(Open("Arial", 0, 0, FW_BOLD)->File().find("LiberationSans-Bold"), std::string::npos);
  EXPECT_NE(Open("Arial", 0, 0, 0, TRUE)->File().find("LiberationSans-Italic"), std::string::npos);
  EXPECT_FALSE(Open("No Such Face At All")->Family().empty()) << "an unknown name still gives a font";
  // Liberation Sans writes Cyrillic, so the name decides; it has no Arabic letters, and DejaVu
  // Sans (fonts-dejavu-core) has: the script wins over the name.
  EXPECT_EQ(Open("Arial", 0, 0, 0, FALSE, RUSSIAN_CHARSET)->Family(), "Liberation Sans");
  auto arabic = Open("Arial", 0, 0, 0, FALSE, ARABIC_CHARSET);
  EXPECT_TRUE(arabic->HasGlyph(U'\u0627') && !Open("Arial")->HasGlyph(U'\u0627')) << arabic->Family();
}

// With no font configured at all, opening fails rather than handing out nothing.
TEST(FontFace, WithoutAnyFontOpeningFailsWithInvalidData) {
  ASSERT_TRUE(FcInit());
  FcConfig* installed = FcConfigReference(nullptr);
  FcConfig* empty = FcConfigCreate();
  ASSERT_TRUE(FcConfigSetCurrent(empty));
  FcConfigDestroy(empty);  // the current configuration keeps it
  D3DXFONT_DESCA desc{};
  std::strcpy(desc.FaceName, "Arial");
  std::unique_ptr<FontFace> font;
  EXPECT_EQ(FontFace::Open(desc, &font), D3DXERR_INVALIDDATA);
  EXPECT_FALSE(font);
  FcConfigSetCurrent(installed);
  FcConfigDestroy(installed);
}

TEST(FontFace, HeightsFollowThePlatformsSigns) {
  auto byDefault = Open("Arial"), em16 = Open("Arial", -16);
  EXPECT_NEAR(Width(*byDefault, kStatusLine), 409, 6) << "16 pixels: as measured in Liberation Sans";
  EXPECT_EQ(Width(*byDefault, kStatusLine), Width(*em16, kStatusLine));
  EXPECT_NEAR(Open("Arial", 20)->LineHeight(), 20, 1) << "above 0 the cell";
  EXPECT_GT(Open("Arial", -20)->LineHeight(), 21) << "below 0 the em";
  EXPECT_GT(Width(*Open("Arial", -16, 20), "mmmm"), Width(*em16, "mmmm") * 3 / 2);
}

TEST(FontFace, LayoutMeasuresKeepsTheCornerAndCentresEachLine) {
  auto font = Open("Arial");
  zr::d3dx9::TextLayout measured = font->Layout(kStatusLine, -1, RECT{10, 10, 0, 0}, DT_CALCRECT);
  EXPECT_EQ(std::vector<LONG>({measured.bounds.left, measured.bounds.top, measured.bounds.bottom, measured.height}),
            std::vector<LONG>({10, 10, 10 + font->LineHeight(), font->LineHeight()}));
  // Two lines: twice the height; each line centred on its own.
  RECT box{0, 0, 200, 100};
  zr::d3dx9::TextLayout two = font->Layout("i\r\nwwwwww", -1, box, DT_CENTER);
  EXPECT_EQ(two.height, 2 * font->LineHeight());
  int narrow = Width(*font, "i"), wide = Width(*font, "wwwwww");
  EXPECT_EQ(std::vector<LONG>({two.bounds.left, two.bounds.right}),
            std::vector<LONG>({(200 - wide) / 2, (200 - wide) / 2 + wide}));
  EXPECT_TRUE(two.glyphs.front().x >= (200 - narrow) / 2 && two.glyphs.front().x < (200 + narrow) / 2);
  EXPECT_EQ(font->Layout("i\nwwwwww", -1, box, DT_SINGLELINE).height, font->LineHeight());
  EXPECT_EQ(font->Layout("", -1, box, DT_CENTER).height, 0);
  EXPECT_EQ(font->Layout("abc", 1, RECT{0, 0, 0, 0}, DT_CALCRECT).bounds.right, Width(*font, "a"));
}

TEST(FontFace, TextIsUtf8WithLatin1ForStrayBytes) {
  EXPECT_EQ(zr::d3dx9::DecodeText("Gr\xC3\xBC\xC3\x9F" "e M\xFC" "ller \xC3", -1), U"Gr\u00FC\u00DFe M\u00FCller \u00C3");
  EXPECT_EQ(zr::d3dx9::DecodeText("\xED\xA0\x80", 2), U"\u00ED\u00A0") << "a surrogate is no character";
}

}  // namespace
