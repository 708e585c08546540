// ID3DXFont: measuring, drawing in colour, clipping, atlas pages, Reset, a font that cannot be
// had; and a screenshot of sprites and text.
#include <climits>
#include <cstring>

#include "gl_test_support.h"
#include "image_file.h"
#include "scratch_directory.h"

using namespace d3d9test;
using namespace gltest;

namespace {

constexpr const char* kStatus = "Velkor Engine Framerate:60 Leben Links: 100 / Rechts 99";

D3DXFONT_DESCA Arial(int height) {
  D3DXFONT_DESCA d{};
  d.Height = height;
  d.Weight = FW_NORMAL;
  d.MipLevels = 1;
  std::strcpy(d.FaceName, "Arial");
  return d;
}

HRESULT MakeFont(IDirect3DDevice9* device, int height, Ref<ID3DXFont>& out) {
  D3DXFONT_DESCA desc = Arial(height);
  return D3DXCreateFontIndirectA(device, &desc, out.out());
}

// Where a picture differs from its background.
struct Ink {
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;  // inclusive
  int count = 0;
};
Ink InkOf(const Picture& p, D3DCOLOR background) {
  Ink ink;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (p.at(x, y) != background) {
        ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
        ++ink.count;
      }
  return ink;
}

struct Scene {
  Scene(int width, int height) : t(Where::kWindow, static_cast<UINT>(width), static_cast<UINT>(height)), w(width), h(height) {}
  void Clear(D3DCOLOR c = kBlack) { ASSERT_EQ(t.d->Clear(0, nullptr, D3DCLEAR_TARGET, c, 1, 0), D3D_OK); }
  Picture Read() { return BackBuffer(t.d.device.get(), static_cast<UINT>(w), static_cast<UINT>(h)); }
  IDirect3DDevice9* device() { return t.d.device.get(); }
  Target t;
  int w, h;
};

}  // namespace

TEST(Font, TheMeasuredRectangleBoundsEveryPixelDrawn) {
  Scene s(480, 80);
  Ref<ID3DXFont> font;
  ASSERT_EQ(MakeFont(s.device(), 0, font), D3D_OK);
  for (const char* text : {kStatus, "Leben\nLinks: 100\n\tgy"}) {
    SCOPED_TRACE(text);
    RECT r{7, 9, 7, 9};
    INT height = font->DrawTextA(nullptr, text, -1, &r, DT_CALCRECT, kWhite);
    EXPECT_EQ(height, r.bottom - r.top);
    EXPECT_EQ(std::vector<LONG>({r.left, r.top}), std::vector<LONG>({7, 9})) << "the corner stays";
    ASSERT_GT(r.right - r.left, 50);
    ASSERT_NO_FATAL_FAILURE(s.Clear());
    EXPECT_EQ(s.Read().pixels, std::vector<std::uint32_t>(480 * 80, kBlack)) << "measuring draws nothing";
    RECT drawn = r;
    EXPECT_EQ(font->DrawTextA(nullptr, text, -1, &drawn, DT_LEFT | DT_NOCLIP, kWhite), height);
    Ink ink = InkOf(s.Read(), kBlack);
    ASSERT_GT(ink.count, 100);
    EXPECT_GE(ink.left, r.left);
    EXPECT_GE(ink.top, r.top);
    EXPECT_LT(ink.right, r.right);
    EXPECT_LT(ink.bottom, r.bottom);
    EXPECT_LE(ink.left, r.left + 2) << "and fits it closely";
    EXPECT_GE(ink.right, r.right - 4);
  }
  RECT r{0, 0, 0, 0};
  EXPECT_EQ(font->DrawTextA(nullptr, kStatus, 6, &r, DT_CALCRECT, kWhite), font->DrawTextA(nullptr, "Velkor", -1, &r, DT_CALCRECT, kWhite));
}

TEST(Font, DrawsInItsColourAndAlphaOverWhatIsThere) {
  Scene s(480, 40);
  Ref<ID3DXFont> font;
  ASSERT_EQ(MakeFont(s.device(), 0, font), D3D_OK);
  auto draw = [&](D3DCOLOR background, D3DCOLOR colour) {
    s.Clear(background);
    RECT r{4, 4, 476, 36};
    // Glyphs that overlap (kerned pairs) blend twice; these do not.
    EXPECT_GT(font->DrawTextA(nullptr, "Leben Links: 100", -1, &r, DT_LEFT, colour), 0);
    return s.Read();
  };
  Picture full = draw(kBlack, D3DCOLOR_ARGB(0xFF, 0, 0xFF, 0));
  Picture half = draw(kBlack, D3DCOLOR_ARGB(0x80, 0, 0xFF, 0));
  Picture over = draw(kRed, D3DCOLOR_ARGB(0x80, 0, 0xFF, 0));
  int most = 0;
  for (std::size_t i = 0; i < full.pixels.size(); ++i) {
    std::uint32_t f = full.pixels[i];
    ASSERT_EQ(f & 0xFFFF00FF, 0xFF000000) << "green only, at " << i;
    int g = Channel(f, 8);
    most = std::max(most, g);
    // Coverage times the colour's alpha: half as much green; over red, the red lets through the rest.
    ASSERT_NEAR(Channel(half.pixels[i], 8), g * 128 / 255, 1) << i;
    ASSERT_NEAR(Channel(over.pixels[i], 8), g * 128 / 255, 1) << i;
    ASSERT_NEAR(Channel(over.pixels[i], 16), 255 - g * 128 / 255, 1) << i;
  }
  EXPECT_EQ(most, 255) << "some texels are fully covered";
}

TEST(Font, ClipsToTheRectangleUnlessToldNotTo) {
  Scene s(480, 40);
  Ref<ID3DXFont> font;
  ASSERT_EQ(MakeFont(s.device(), 0, font), D3D_OK);
  for (DWORD align : {DWORD{DT_LEFT}, DWORD{DT_CENTER}}) {
    SCOPED_TRACE(align);
    RECT r{40, 12, 200, 22};  // narrower and lower than the line
    s.Clear();
    RECT unclipped = r;
    font->DrawTextA(nullptr, kStatus, -1, &unclipped, align | DT_NOCLIP, kWhite);
    Picture whole = s.Read();
    s.Clear();
    RECT clipped = r;
    font->DrawTextA(nullptr, kStatus, -1, &clipped, align, kWhite);
    Picture part = s.Read();
    Ink outside = InkOf(whole, kBlack);
    EXPECT_TRUE(outside.right >= r.right && outside.bottom >= r.bottom && (align == DT_LEFT || outside.left < r.left))
        << "the text reaches past the rectangle";
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 480; ++x) {
        bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
        ASSERT_EQ(part.at(x, y), inside ? whole.at(x, y) : kBlack) << x << "," << y;
      }
    EXPECT_GT(InkOf(part, kBlack).count, 50);
  }
  RECT empty{50, 10, 50, 30};
  s.Clear();
  EXPECT_GT(font->DrawTextA(nullptr, kStatus, -1, &empty, DT_LEFT, kWhite), 0) << "measured, not drawn";
  EXPECT_EQ(InkOf(s.Read(), kBlack).count, 0);
}

TEST(Font, GlyphsOnManyAtlasPagesDrawAsOnOne) {
  Scene s(400, 160);
  std::string ascii;
  for (char c = '!'; c <= '~'; ++c) ascii += c;
  auto draw = [&](ID3DXFont* font, const char* text) {
    s.Clear();
    RECT r{2, 2, 398, 158};
    font->DrawTextA(nullptr, text, -1, &r, DT_LEFT | DT_NOCLIP, kWhite);
    return s.Read();
  };
  Ref<ID3DXFont> fresh;
  Ref<ID3DXFont> filled;
  ASSERT_EQ(MakeFont(s.device(), 140, fresh), D3D_OK);
  ASSERT_EQ(MakeFont(s.device(), 140, filled), D3D_OK);
  Picture first = draw(fresh.get(), "!~Wg");
  // 94 glyphs of about 80 x 100 texels need many 256 x 256 pages; '!' lands on the first, '~'
  // on the last.
  draw(filled.get(), ascii.c_str());
  Picture later = draw(filled.get(), "!~Wg");
  EXPECT_GT(InkOf(first, kBlack).count, 2000);
  EXPECT_EQ(first.pixels, later.pixels);
}

TEST(Font, ChecksItsArgumentsAndDescribesItself) {
  Scene s(64, 32);
  Ref<ID3DXFont> font;
  D3DXFONT_DESCA desc = Arial(20);
  desc.Weight = FW_BOLD;
  EXPECT_EQ(D3DXCreateFontIndirectA(nullptr, &desc, font.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateFontIndirectA(s.device(), nullptr, font.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateFontIndirectA(s.device(), &desc, nullptr), D3DERR_INVALIDCALL);
  ASSERT_EQ(D3DXCreateFontIndirectA(s.device(), &desc, font.out()), D3D_OK);
  D3DXFONT_DESCA got{};
  ASSERT_EQ(font->GetDescA(&got), D3D_OK);
  EXPECT_EQ(std::vector<UINT>({static_cast<UINT>(got.Height), got.Weight}), std::vector<UINT>({20, FW_BOLD}));
  EXPECT_STREQ(got.FaceName, "Arial");
  EXPECT_EQ(font->GetDescA(nullptr), D3DERR_INVALIDCALL);
  RECT r{0, 0, 64, 32};
  EXPECT_EQ(font->DrawTextA(nullptr, nullptr, -1, &r, 0, kWhite), 0);
  EXPECT_EQ(font->DrawTextA(nullptr, "x", -1, nullptr, 0, kWhite), 0);
  EXPECT_EQ(font->DrawTextA(nullptr, "x", 0, &r, 0, kWhite), 0);
  EXPECT_EQ(font->DrawTextA(nullptr, "", -1, &r, 0, kWhite), 0);
  // With a sprite of ours the text is drawn the same; a sprite of nothing known is refused.
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(s.device(), sprite.out()), D3D_OK);
  s.Clear();
  font->DrawTextA(nullptr, "Wg", -1, &r, DT_LEFT, kWhite);
  Picture alone = s.Read();
  s.Clear();
  sprite->Begin(D3DXSPRITE_ALPHABLEND);
  EXPECT_GT(font->DrawTextA(sprite.get(), "Wg", -1, &r, DT_LEFT, kWhite), 0);
  sprite->End();
  EXPECT_EQ(s.Read().pixels, alone.pixels);
  Ref<IDirect3DDevice9> owner;
  ASSERT_EQ(font->GetDevice(owner.out()), D3D_OK);
  EXPECT_EQ(owner.get(), s.device());
}

TEST(Font, ResetWaitsForOnLostDeviceAndTheFontDrawsAgainAfterOnResetDevice) {
  TestWindow window(200, 30);
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 200, 30);
  Device d;
  MakeDevice(window.handle(), pp, d);
  Ref<ID3DXFont> font;
  ASSERT_EQ(MakeFont(d.device.get(), 0, font), D3D_OK);
  auto draw = [&] {
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
    RECT r{0, 0, 200, 30};
    EXPECT_GT(font->DrawTextA(nullptr, "Leben Links", -1, &r, DT_LEFT, kWhite), 0);
    return BackBuffer(d.device.get(), 200, 30);
  };
  Picture before = draw();
  ASSERT_GT(InkOf(before, kBlack).count, 50);
  EXPECT_EQ(d->Reset(&pp), D3DERR_INVALIDCALL);
  ASSERT_EQ(font->OnLostDevice(), D3D_OK);
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  EXPECT_EQ(InkOf(draw(), kBlack).count, 0) << "nothing drawn between OnLostDevice and OnResetDevice";
  ASSERT_EQ(font->OnResetDevice(), D3D_OK);
  EXPECT_EQ(draw().pixels, before.pixels);
  EXPECT_EQ(d->Reset(&pp), D3DERR_INVALIDCALL);
}

// Run with FONTCONFIG_FILE naming a configuration without fonts (no_fonts.conf).
TEST(WithoutFonts, CreationFailsWithTheFacesResult) {
  ASSERT_NE(std::getenv("FONTCONFIG_FILE"), nullptr) << "set FONTCONFIG_FILE to no_fonts.conf";
  Scene s(32, 32);
  Ref<ID3DXFont> font;
  EXPECT_EQ(MakeFont(s.device(), 0, font), D3DXERR_INVALIDDATA);
  EXPECT_FALSE(font);
}

TEST(Screenshot, OfSpritesAndTextReadsBackWithTheSamePixels) {
  ScratchDirectory dir;
  Scene s(160, 60);
  Ref<IDirect3DTexture9> texture;
  ASSERT_NO_FATAL_FAILURE(MakeTexture(s.device(), 24, 16, Gradient(24, 16), texture));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(s.device(), sprite.out()), D3D_OK);
  Ref<ID3DXFont> font;
  ASSERT_EQ(MakeFont(s.device(), 0, font), D3D_OK);
  s.Clear(D3DCOLOR_XRGB(0x10, 0x20, 0x30));
  D3DXVECTOR3 at(5, 30, 0);
  sprite->Begin(D3DXSPRITE_ALPHABLEND);
  sprite->Draw(texture.get(), nullptr, nullptr, &at, 0xC0FFFFFF);
  sprite->End();
  RECT r{0, 0, 160, 24};
  font->DrawTextA(nullptr, "Rechts 99", -1, &r, DT_CENTER, D3DCOLOR_XRGB(0xFF, 0xFF, 0x00));
  Picture drawn = s.Read();
  ASSERT_EQ(s.t.d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  Ref<IDirect3DSurface9> shot;
  ASSERT_EQ(s.device()->CreateOffscreenPlainSurface(160, 60, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, shot.out(), nullptr),
            D3D_OK);
  ASSERT_EQ(s.device()->GetFrontBufferData(0, shot.get()), D3D_OK);
  ASSERT_EQ(D3DXSaveSurfaceToFileA("shot.bmp", D3DXIFF_BMP, shot.get(), nullptr, nullptr), D3D_OK);
  zr::d3dx9::Image bmp;
  ASSERT_EQ(zr::d3dx9::DecodeImageFile("shot.bmp", &bmp), D3D_OK);
  ASSERT_EQ(bmp.width * 1000 + bmp.height, 160060u);
  for (std::size_t i = 0; i < bmp.argb.size(); ++i)
    ASSERT_EQ(bmp.argb[i] & 0xFFFFFF, drawn.pixels[i] & 0xFFFFFF) << "at " << i % 160 << "," << i / 160;
  EXPECT_GT(InkOf(drawn, D3DCOLOR_XRGB(0x10, 0x20, 0x30)).count, 24 * 16);
}
