// The engine's graphics classes on the real platform: zr_DirectXGraphics, zr_TextureManager,
// zr_Sprite and zr_Font draw a picture file and the status line into a screenshot; a sprite is
// placed, turned and blended pixel for pixel; a picture that cannot be read ends the game at its
// first draw.
#include <gtest/gtest.h>

#include "d3d9_test_support.h"
#include "errorfile/zr_ErrorException.h"
#include "graphics/zr_DirectXGraphics.h"
#include "graphics/zr_Font.h"
#include "graphics/zr_Sprite.h"
#include "graphics/zr_TextureManager.h"
#include "image_file.h"
#include "image_files.h"
#include "scratch_directory.h"

namespace d3d9test {
// The windows of the shared support come with its tests on both targets, which are not run here.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(OnBothTargets);
}  // namespace d3d9test

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr D3DCOLOR kBackground = D3DCOLOR_XRGB(0, 0, 0x40);
constexpr D3DCOLOR kYellow = D3DCOLOR_XRGB(0xFF, 0xFF, 0);

// 40 x 24: a transparent border two texels wide around opaque texels each of its own colour.
imagetest::Pixels Ship() {
  imagetest::Pixels p;
  for (std::uint32_t y = 0; y < 24; ++y)
    for (std::uint32_t x = 0; x < 40; ++x) {
      bool border = x < 2 || y < 2 || x >= 38 || y >= 22;
      p.push_back(border ? 0x00FF00FFu : 0xFF000000u | (x * 6) << 16 | (y * 10) << 8 | 0x80);
    }
  return p;
}

// 64 x 32, opaque, each texel of its own colour, so that a pixel tells which texel it shows.
constexpr int kPictureWidth = 64;
constexpr int kPictureHeight = 32;
std::uint32_t PictureTexel(int x, int y) {
  return 0xFF000000u | static_cast<std::uint32_t>(x * 4) << 16 | static_cast<std::uint32_t>(y * 8) << 8 | 0x80;
}
imagetest::Pixels Picture64x32() {
  imagetest::Pixels p;
  for (int y = 0; y < kPictureHeight; ++y)
    for (int x = 0; x < kPictureWidth; ++x) p.push_back(PictureTexel(x, y));
  return p;
}

}  // namespace

TEST(Engine, ASpriteCoversItsPixelsTurnsClockwiseAboutItsCentreAndBlendsItsAlpha) {
  ScratchDirectory dir;
  imagetest::WriteFile("picture.png",
                       imagetest::Write(imagetest::Kind::kPng, kPictureWidth, kPictureHeight, 4, Picture64x32()));
  d3d9test::TestWindow window(kWidth, kHeight);
  zr_DirectXGraphics graphics;
  graphics.Init(window.handle(), true, 16, false, kWidth, kHeight, "log.txt");
  IDirect3DDevice9* device = graphics.GetDevice();
  ASSERT_NE(device, nullptr);
  zr_TextureManager textures;
  textures.Initialise(device);
  zr_Sprite sprite;
  sprite.CreateSprite(device, &textures, "picture.png", D3DXSPRITE_ALPHABLEND, D3DPOOL_MANAGED, 0);
  const std::uint32_t background = kBackground & 0xFFFFFF;
  // Draws the sprite at (10, 20) on the background and reads the back buffer.
  auto draw = [&] {
    graphics.Clear(kBackground, 0, 0, 0, 0);
    graphics.BeginScene();
    sprite.Render(10, 20);
    d3d9test::Picture p = d3d9test::BackBuffer(device, kWidth, kHeight);
    EXPECT_EQ(graphics.Present(), D3D_OK);
    return p;
  };

  // Unturned: x 10..73, y 20..51, each pixel its texel.
  d3d9test::Picture p = draw();
  ASSERT_EQ(p.width * 10000 + p.height, kWidth * 10000 + kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      bool inside = x >= 10 && x <= 73 && y >= 20 && y <= 51;
      ASSERT_EQ(p.at(x, y) & 0xFFFFFF, inside ? PictureTexel(x - 10, y - 20) & 0xFFFFFF : background) << x << "," << y;
    }

  // A quarter turn about the centre (42, 36): clockwise on the screen, the picture's top row
  // becomes the right column, read downwards. It covers x 26..57, y 4..67, and each pixel centre
  // falls on a texel centre.
  sprite.SetRotation(static_cast<float>(D3DX_PI / 2));
  p = draw();
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      bool inside = x >= 26 && x <= 57 && y >= 4 && y <= 67;
      // Screen (x, y) from the centre is the picture's (y, -x) from its centre.
      int tx = y - 36 + kPictureWidth / 2;
      int ty = 42 - 1 - x + kPictureHeight / 2;
      ASSERT_EQ(p.at(x, y) & 0xFFFFFF, inside ? PictureTexel(tx, ty) & 0xFFFFFF : background) << x << "," << y;
    }

  // Alpha 128 unturned: each pixel halfway between its texel and the background.
  sprite.SetRotation(0.0f);
  sprite.SetAlpha(128);
  p = draw();
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      std::uint32_t got = p.at(x, y) & 0xFFFFFF;
      if (!(x >= 10 && x <= 73 && y >= 20 && y <= 51)) {
        ASSERT_EQ(got, background) << x << "," << y;
        continue;
      }
      std::uint32_t texel = PictureTexel(x - 10, y - 20);
      for (int shift : {0, 8, 16}) {
        int source = static_cast<int>((texel >> shift) & 0xFF);
        int behind = static_cast<int>((background >> shift) & 0xFF);
        int want = (source * 128 + behind * 127 + 127) / 255;
        ASSERT_NEAR(static_cast<int>((got >> shift) & 0xFF), want, 2) << x << "," << y << " channel " << shift;
      }
    }
}

TEST(Engine, DrawsAPictureFileAndTheStatusLineIntoAScreenshot) {
  ScratchDirectory dir;
  imagetest::WriteFile("ship.png", imagetest::Write(imagetest::Kind::kPng, 40, 24, 4, Ship()));
  d3d9test::TestWindow window(kWidth, kHeight);
  zr_DirectXGraphics graphics;
  graphics.Init(window.handle(), true, 16, false, kWidth, kHeight, "log.txt");
  IDirect3DDevice9* device = graphics.GetDevice();
  ASSERT_NE(device, nullptr);
  zr_TextureManager textures;
  textures.Initialise(device);
  zr_Sprite ship;
  ship.CreateSprite(device, &textures, "ship.png", D3DXSPRITE_ALPHABLEND, D3DPOOL_MANAGED, 0);
  zr_Font font;
  font.Initialise(device, zr_FontDesc{0, FW_NORMAL, 0, ANSI_CHARSET, DEFAULT_PITCH | FF_DONTCARE, false, "Arial"});

  graphics.Clear(kBackground, 0, 0, 0, 0);
  graphics.BeginScene();
  ship.Render(100, 80);
  font.RenderText("Velkor Engine Framerate:60 Leben Links: 100 / Rechts 99", 0, 200, kWidth, 220, kYellow);
  ASSERT_EQ(graphics.Present(), D3D_OK);
  graphics.CreateScreenshot("shot.bmp");

  zr::d3dx9::Image shot;
  ASSERT_EQ(zr::d3dx9::DecodeImageFile("shot.bmp", &shot), D3D_OK);
  ASSERT_EQ(shot.width * 10000 + shot.height, 1024u * 10000 + 768u) << "the engine saves 1024 x 768";
  const imagetest::Pixels texels = Ship();
  int text = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      std::uint32_t got = shot.argb[static_cast<std::size_t>(y) * 1024 + x] & 0xFFFFFF;
      int tx = x - 100;
      int ty = y - 80;
      if (tx >= 0 && tx < 40 && ty >= 0 && ty < 24) {
        // Linear filtering at scale 1 samples each texel whole; the transparent border is dropped.
        std::uint32_t texel = texels[static_cast<std::size_t>(ty) * 40 + tx];
        ASSERT_EQ(got, (texel >> 24) != 0 ? texel & 0xFFFFFF : kBackground & 0xFFFFFF) << x << "," << y;
      } else if (y >= 200 && y < 220) {
        if (got != (kBackground & 0xFFFFFF)) {
          ++text;
          ASSERT_NEAR(static_cast<int>(got >> 16), static_cast<int>((got >> 8) & 0xFF), 1) << "yellow at " << x << "," << y;
        }
      } else {
        ASSERT_EQ(got, kBackground & 0xFFFFFF) << x << "," << y << ": nothing outside the sprite and the line";
      }
    }
  EXPECT_GT(text, 300) << "the status line is there";

  // A picture that cannot be read leaves no texture; drawing it raises the game's error report.
  zr_Sprite missing;
  missing.CreateSprite(device, &textures, "missing.png", D3DXSPRITE_ALPHABLEND, D3DPOOL_MANAGED, 0);
  EXPECT_NE(dir.Read(kErrorLogFile).find("missing.png"), std::string::npos);
  graphics.BeginScene();
  EXPECT_THROW(missing.Render(0, 0), zr_ErrorException);
}
