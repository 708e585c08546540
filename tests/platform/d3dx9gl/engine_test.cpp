// The engine's graphics classes on the real platform, where the recording fake cannot follow: a frame
// of an animation strip, text given only a right edge, the depth its Clear leaves, the screenshot.
#include "ff_test_support.h"
#include "graphics/zr_DirectXGraphics.h"
#include "graphics/zr_Font.h"
#include "graphics/zr_Sprite.h"
#include "graphics/zr_TextureManager.h"
#include "image_file.h"
#include "scratch_directory.h"

using namespace d3d9test;

TEST(Engine, DrawsOneFrameOfAStripTextGivenOnlyARightEdgeAndClearsDepthToTheFarPlane) {
  ScratchDirectory dir;
  std::vector<std::uint32_t> strip;  // three frames of 16 x 8 side by side: red, green, blue
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 48; ++x) strip.push_back(x < 16 ? kRed : x < 32 ? kGreen : kBlue);
  WritePng("strip.png", 48, 8, strip);
  TestWindow window(320, 240);
  zr_DirectXGraphics graphics;
  graphics.Init(window.handle(), true, 16, false, 320, 240, "log.txt");
  IDirect3DDevice9* device = graphics.GetDevice();
  ASSERT_NE(device, nullptr);
  zr_TextureManager textures;
  textures.Initialise(device);
  zr_Sprite sprite;
  sprite.CreateSprite(device, &textures, "strip.png", D3DXSPRITE_ALPHABLEND, D3DPOOL_MANAGED, 0);
  sprite.SetAnimatedRect(3, 16, 8);
  sprite.SetAnimated(true);
  sprite.IncreaseAnimationStep();
  zr_Font font;
  font.Initialise(device, zr_FontDesc{0, FW_NORMAL, 0, ANSI_CHARSET, DEFAULT_PITCH | FF_DONTCARE, false, "Arial"});
  const D3DCOLOR background = D3DCOLOR_XRGB(0, 0, 0x40);
  graphics.Clear(background, 0, 0, 0, 0);
  graphics.BeginScene();
  sprite.Render(10, 20);
  font.RenderText("Leben Links", 100, 200, 320, 0, D3DCOLOR_XRGB(0xFF, 0xFF, 0));
  fftest::DrawScreenQuad(device, 200, 20, 240, 60, kRed, 0.5f);  // with the depth test the device starts with
  Picture p = BackBuffer(device, 320, 240);
  EXPECT_EQ(graphics.Present(), D3D_OK);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
      ASSERT_EQ(p.at(x, y), x >= 10 && x < 26 && y >= 20 && y < 28 ? kGreen : background) << "the second frame, at " << x << "," << y;
  Ink text = InkOf(p, background, 100);
  EXPECT_TRUE(text.count > 100 && text.left >= 100) << "the line is drawn from its left edge down";
  for (int i = 320 * 100; i < 320 * 240; ++i) ASSERT_EQ(fftest::Channel(p.pixels[i], 16), fftest::Channel(p.pixels[i], 8)) << "yellow";
  EXPECT_EQ(p.at(220, 40), kRed) << "the depth buffer was cleared to 1";
  // The engine's screenshot, its first, taken while the next frame is drawn: the picture presented
  // in the top left of a 1024 x 768 bitmap.
  graphics.Clear(kRed, 0, 0, 0, 0);
  graphics.BeginScene();
  sprite.Render(30, 30);
  fftest::DrawScreenQuad(device, 0, 0, 320, 240, kBlue, 0.5f);
  graphics.CreateScreenshot("shot.bmp");
  zr::d3dx9::Image shot;
  ASSERT_EQ(zr::d3dx9::DecodeImageFile("shot.bmp", &shot), D3D_OK);
  ASSERT_EQ(shot.width * 10000 + shot.height, 10240768u);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) ASSERT_EQ(shot.argb[y * 1024 + x], p.at(x, y)) << x << "," << y;
}

// The game's kind of frame (a turned, fading picture with transparent and soft-edged texels, a
// figure, the status line) looks the same, pixel for pixel, after a device reset, which sets none
// of zr_DirectXGraphics' states again: sprites and text set their own at each Begin.
TEST(Engine, AFrameLooksTheSameAfterAResetThatSetsNoStatesAgain) {
  ScratchDirectory dir;
  std::vector<std::uint32_t> emblem = Gradient(40, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      int edge = std::min({x, y, 39 - x, 29 - y});  // clear corners, a soft rim, holes
      std::uint32_t alpha = (x + y) % 7 == 0 || edge == 0 ? 0 : edge < 4 ? 0x40u * edge : 0xFF;
      emblem[y * 40 + x] = alpha << 24 | (emblem[y * 40 + x] & 0xFFFFFF);
    }
  WritePng("emblem.png", 40, 30, emblem);
  WritePng("figure.png", 8, 12, Gradient(8, 12));
  TestWindow window(160, 120);
  zr_DirectXGraphics graphics;
  graphics.Init(window.handle(), true, 16, false, 160, 120, "log.txt");
  IDirect3DDevice9* device = graphics.GetDevice();
  ASSERT_NE(device, nullptr);
  zr_TextureManager textures;
  textures.Initialise(device);
  zr_Sprite turning, figure;
  turning.CreateSprite(device, &textures, "emblem.png", D3DXSPRITE_ALPHABLEND, D3DPOOL_MANAGED, 0);
  figure.CreateSprite(device, &textures, "figure.png", D3DXSPRITE_ALPHABLEND, D3DPOOL_MANAGED, 0);
  turning.SetRotation(0.7f);
  turning.SetAlpha(170);
  zr_Font font;
  font.Initialise(device, zr_FontDesc{0, FW_NORMAL, 0, ANSI_CHARSET, DEFAULT_PITCH | FF_DONTCARE, false, "Arial"});
  auto frame = [&] {
    graphics.Clear(0xFF000000, 0, 0, 0, 0);
    graphics.BeginScene();
    figure.Render(5, 60);
    turning.Render(60, 40);
    font.RenderText("Leben Links: 100", 10, 10, 0, 0, 0xFFFFFF00);
    Picture p = BackBuffer(device, 160, 120);
    EXPECT_EQ(graphics.Present(), D3D_OK);
    return p;
  };
  const Picture before = frame();
  ASSERT_GT(InkOf(before, kBlack, 35).count, 700);
  figure.OnLostDevice(), turning.OnLostDevice(), font.OnLostDevice();
  graphics.RestoreObject();
  font.OnResetDevice(), turning.OnResetDevice(), figure.OnResetDevice();
  DWORD magnification = 0;
  ASSERT_TRUE(device->GetSamplerState(0, D3DSAMP_MAGFILTER, &magnification) == D3D_OK && magnification == D3DTEXF_POINT)
      << "the device was reset";
  const Picture after = frame();
  int differ = 0;
  for (std::size_t i = 0; i < after.pixels.size(); ++i) differ += after.pixels[i] != before.pixels[i];
  EXPECT_EQ(differ, 0);
}
