#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_d3dx9.h"
#include "fake_platform.h"
#include "graphics/zr_Font.h"

using ::testing::ElementsAre;

namespace {

IDirect3DDevice9* kDevice = reinterpret_cast<IDirect3DDevice9*>(0x5150);

class Font : public ::testing::Test {
 protected:
  void SetUp() override { p.Reset(); }
  std::vector<std::string> Draws(size_t arg) const {
    std::vector<std::string> out;
    for (const fake::Call& c : p.CallsTo("ID3DXFont::DrawTextA")) out.push_back(c.Arg(arg));
    return out;
  }
  fake::Platform& p = fake::Platform::Get();
  zr_FontDesc arial{0, 0, 0, 0, 0, false, "Arial"};
};

TEST_F(Font, DescriptionFieldsGoToTheirPlaces) {
  zr_Font f;
  f.Initialise(kDevice, zr_FontDesc{7, FW_BOLD, 24, DEFAULT_CHARSET, FIXED_PITCH | FF_MODERN, true, "Mono"});
  const D3DXFONT_DESCA& d = fake::d3dx9::Get().lastFontDesc;
  EXPECT_EQ(d.Height, 24);
  EXPECT_EQ(d.Width, 7u);
  EXPECT_EQ(d.Weight, static_cast<UINT>(FW_BOLD));
  EXPECT_EQ(d.MipLevels, 1u);
  EXPECT_EQ(d.Italic, TRUE);
  EXPECT_EQ(d.CharSet, DEFAULT_CHARSET);
  EXPECT_EQ(d.PitchAndFamily, FIXED_PITCH | FF_MODERN);
  EXPECT_STREQ(d.FaceName, "Mono");
}

TEST_F(Font, FaceNamesAreCutTo31CharactersAndMayBeNull) {
  const std::string exact(31, 'e');
  zr_Font a;
  a.Initialise(kDevice, zr_FontDesc{0, 0, 0, 0, 0, false, exact.c_str()});
  EXPECT_EQ(std::string(fake::d3dx9::Get().lastFontDesc.FaceName), exact);
  const std::string longer = exact + "TAIL";
  zr_Font b;
  b.Initialise(kDevice, zr_FontDesc{0, 0, 0, 0, 0, false, longer.c_str()});
  EXPECT_EQ(std::string(fake::d3dx9::Get().lastFontDesc.FaceName), exact);
  zr_Font c;
  c.Initialise(kDevice, zr_FontDesc{0, 0, 0, 0, 0, false, nullptr});
  EXPECT_STREQ(fake::d3dx9::Get().lastFontDesc.FaceName, "");
}

TEST_F(Font, OpenRectangleIsMeasuredFirstThenTheTextIsCentredInIt) {
  zr_Font f;
  f.Initialise(kDevice, arial);
  f.RenderText("Leben", 10, 10, 0, 0, 0xFFFFFF00);
  EXPECT_THAT(Draws(4), ElementsAre(std::to_string(DT_CALCRECT), std::to_string(DT_CENTER)));
  EXPECT_THAT(Draws(3), ElementsAre("10,10,0,0", "10,10,50,26"));  // the fake measures 8 x 16 per character
  EXPECT_THAT(Draws(0), ElementsAre("<null>", "<null>"));
  EXPECT_THAT(Draws(2), ElementsAre("-1", "-1"));
  EXPECT_THAT(Draws(5), ElementsAre(std::to_string(0xFFFFFF00u), std::to_string(0xFFFFFF00u)));

  p.Reset();
  f.RenderText("x", 0, 0, 100, 40, 0x80FF0000);
  EXPECT_THAT(Draws(3), ElementsAre("0,0,100,40"));
}

TEST_F(Font, TextsAreNeverFormatsAndAreCutTo255Characters) {
  zr_Font f;
  f.Initialise(kDevice, arial);
  f.RenderText("100% %s %n", 0, 0, 10, 10, 0);
  EXPECT_EQ(Draws(1)[0], "100% %s %n");
  std::string longText(300, 'x');
  f.RenderText(longText.c_str(), 0, 0, 10, 10, 0);
  EXPECT_EQ(Draws(1)[1], std::string(255, 'x'));
  f.RenderText(nullptr, 0, 0, 10, 10, 0);
  EXPECT_EQ(Draws(1)[2], "");
}

TEST_F(Font, NothingIsDrawnWithoutAFont) {
  zr_Font before;
  before.RenderText("x", 0, 0, 0, 0, 0);
  before.OnLostDevice();
  before.OnResetDevice();
  EXPECT_TRUE(p.Calls().empty());

  p.ResultForCall("D3DXCreateFontIndirectA", 1, E_OUTOFMEMORY);
  zr_Font failed;
  failed.Initialise(kDevice, arial);
  failed.RenderText("x", 0, 0, 0, 0, 0);
  EXPECT_EQ(p.CountOf("ID3DXFont::DrawTextA"), 0u);
}

TEST_F(Font, ASecondInitialiseReplacesTheFirstFontAndLossIsForwarded) {
  {
    zr_Font f;
    f.Initialise(kDevice, arial);
    f.Initialise(kDevice, arial);
    EXPECT_EQ(p.CountOf("ID3DXFont::Release"), 1u);
    f.OnLostDevice();
    f.OnResetDevice();
  }
  EXPECT_EQ(p.CountOf("ID3DXFont::Release"), 2u);
  EXPECT_EQ(p.CountOf("ID3DXFont::OnLostDevice"), 1u);
  EXPECT_EQ(p.CountOf("ID3DXFont::OnResetDevice"), 1u);
}

}  // namespace
