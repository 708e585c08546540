// Faces, glyphs and DrawText's layout with the fonts installed on this machine (no OpenGL).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "font_face.h"

namespace {

using zr::d3dx9::FontFace;

std::unique_ptr<FontFace> Open(const char* face, INT height = 0, UINT weight = 0) {
  D3DXFONT_DESCA desc{height, 0, weight, 0, FALSE, 0, 0, 0, 0, ""};
  std::strncpy(desc.FaceName, face, LF_FACESIZE - 1);
  std::unique_ptr<FontFace> font;
  EXPECT_EQ(FontFace::Open(desc, &font), D3D_OK);
  return font;
}

int Width(FontFace& font, const char* text) { return font.Layout(text, -1, RECT{}, DT_CALCRECT).bounds.right; }

// The game's and the samples' fonts: Arial, regular and bold, at the default height of 16 pixels.
TEST(FontFace, ArialIsLiberationSansInItsWeightAtSixteenPixels) {
  auto regular = Open("Arial");
  EXPECT_EQ(regular->Family(), "Liberation Sans");
  EXPECT_NE(Open("Arial", 0, FW_BOLD)->File().find("LiberationSans-Bold"), std::string::npos);
  EXPECT_EQ(regular->LineHeight(), Open("Arial", -16)->LineHeight());
  EXPECT_NEAR(Open("Arial", 20)->LineHeight(), 20, 1) << "above 0 the cell height";
}

TEST(FontFace, LayoutMeasuresFromTheCornerCentresEachLineAndReadsUtf8) {
  auto font = Open("Arial");
  zr::d3dx9::TextLayout measured = font->Layout("Leben", -1, RECT{10, 10, 0, 0}, DT_CALCRECT);
  EXPECT_EQ(std::vector<LONG>({measured.bounds.left, measured.bounds.top, measured.bounds.bottom, measured.height}),
            std::vector<LONG>({10, 10, 10 + font->LineHeight(), font->LineHeight()}));
  zr::d3dx9::TextLayout two = font->Layout("i\r\nwwwwww", -1, RECT{0, 0, 200, 100}, DT_CENTER);
  int narrow = Width(*font, "i"), wide = Width(*font, "wwwwww");
  EXPECT_EQ(std::vector<LONG>({two.height, two.bounds.left, two.bounds.right}),
            std::vector<LONG>({2 * font->LineHeight(), (200 - wide) / 2, (200 - wide) / 2 + wide}));
  EXPECT_TRUE(two.glyphs.front().x >= (200 - narrow) / 2 && two.glyphs.front().x < (200 + narrow) / 2);
  EXPECT_EQ(font->Layout("i\nw", -1, RECT{}, DT_SINGLELINE).height, font->LineHeight());
  EXPECT_EQ(font->Layout("abc", 1, RECT{}, DT_CALCRECT).bounds.right, Width(*font, "a"));
  EXPECT_EQ(zr::d3dx9::DecodeText("Gr\xC3\xBC\xC3\x9F" "e M\xFC" "ller \xC3", -1), U"Gr\u00FC\u00DFe M\u00FCller \u00C3");
}

}  // namespace
