// The engine's graphics classes on the real platform, where the recording fake cannot follow: a
// frame of an animation strip read from a picture file, text given only a right edge, and the
// depth its Clear leaves, seen in the pixels they draw.
#include "ff_test_support.h"
#include "graphics/zr_DirectXGraphics.h"
#include "graphics/zr_Font.h"
#include "graphics/zr_Sprite.h"
#include "graphics/zr_TextureManager.h"
#include "scratch_directory.h"

using namespace d3d9test;

TEST(Engine, DrawsOneFrameOfAStripTextGivenOnlyARightEdgeAndClearsDepthToTheFarPlane) {
  ScratchDirectory dir;
  // Three frames of 16 x 8 side by side: red, green, blue.
  std::vector<std::uint32_t> strip;
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
  font.RenderText("Leben Links", 100, 200, 320, 0, kWhite);
  // A square in front of the far plane, drawn with the depth test the device starts with.
  fftest::DrawScreenQuad(device, 200, 20, 240, 60, kRed, 0.5f);
  Picture p = BackBuffer(device, 320, 240);
  EXPECT_EQ(graphics.Present(), D3D_OK);
  // The second frame exactly, 16 x 8 at (10, 20).
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) {
      bool inside = x >= 10 && x < 26 && y >= 20 && y < 28;
      ASSERT_EQ(p.at(x, y), inside ? kGreen : background) << x << "," << y;
    }
  Ink text = InkOf(p, background, 100);
  EXPECT_GT(text.count, 100) << "the line is drawn from its left edge down";
  EXPECT_GE(text.left, 100);
  EXPECT_EQ(p.at(220, 40), kRed) << "the depth buffer was cleared to 1";
}
