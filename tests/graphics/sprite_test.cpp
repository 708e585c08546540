#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "errorfile/zr_ErrorException.h"
#include "fake_d3dx9.h"
#include "fake_platform.h"
#include "graphics/zr_Sprite.h"
#include "scratch_directory.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

IDirect3DDevice9* kDevice = reinterpret_cast<IDirect3DDevice9*>(0x5150);

// Where the sprite's transform puts a texel of the image (pixel coordinates within the image).
D3DXVECTOR3 Place(const zr_Sprite& sprite, float u, float v) {
  D3DXVECTOR3 local(u - sprite.Centre().x, v - sprite.Centre().y, 0), out;
  D3DXVec3TransformCoord(&out, &local, &fake::d3dx9::Get().lastSpriteTransform);
  return out;
}

class Sprite : public ::testing::Test {
 protected:
  void SetUp() override {
    p.Reset();
    fake::d3dx9::AddImage("ship.png", 64, 32);
    fake::d3dx9::AddImage("odd.png", 75, 33);
    manager.Initialise(kDevice);
  }
  std::string DrawArg(size_t i) const { return p.CallsTo("ID3DXSprite::Draw").back().Arg(i); }

  fake::Platform& p = fake::Platform::Get();
  ScratchDirectory dir;
  zr_TextureManager manager;
};

TEST_F(Sprite, CreationLoadsTheTextureAndCentresOnTheImage) {
  zr_Sprite s;
  s.CreateSprite(kDevice, &manager, "odd.png", D3DXSPRITE_ALPHABLEND, D3DPOOL_MANAGED, 0);
  EXPECT_THAT(p.Names(), ElementsAre("D3DXCreateSprite", "D3DXGetImageInfoFromFileA", "D3DXCreateTextureFromFileExA",
                                     "D3DXGetImageInfoFromFileA"));
  fake::Call load = p.CallsTo("D3DXCreateTextureFromFileExA")[0];
  EXPECT_EQ(load.Arg(4), "1");  // one mip level
  EXPECT_EQ(load.Arg(8), "1");  // D3DX_FILTER_NONE
  EXPECT_EQ(s.Centre(), D3DXVECTOR3(37, 16, 0));
  EXPECT_EQ(s.Position(), D3DXVECTOR3(37, 16, 0));
  EXPECT_EQ(s.Scaling(), D3DXVECTOR3(1, 1, 1));
}

TEST_F(Sprite, RenderPlacesTheTopLeftCornerAndTurnsAboutTheCentre) {
  zr_Sprite s;
  s.CreateSprite(kDevice, &manager, "ship.png", D3DXSPRITE_ALPHABLEND, D3DPOOL_MANAGED, 0);
  p.Reset();
  s.Render(10, 20);
  EXPECT_THAT(p.Names(), ElementsAre("ID3DXSprite::Begin", "ID3DXSprite::SetTransform", "ID3DXSprite::Draw",
                                     "ID3DXSprite::End"));
  EXPECT_EQ(p.Calls()[0].Arg(1), "16");
  EXPECT_THAT(p.Calls()[2].args,
              ElementsAre("#1", "ship.png", "<null>", "32,16,0", "<null>", std::to_string(0xFFFFFFFFu)));
  EXPECT_EQ(s.Position(), D3DXVECTOR3(42, 36, 0));
  EXPECT_EQ(Place(s, 0, 0), D3DXVECTOR3(10, 20, 0));
  EXPECT_EQ(Place(s, 64, 32), D3DXVECTOR3(74, 52, 0));

  // A quarter turn: the corners move about the centre (42, 36), clockwise on a y-down screen.
  s.SetRotation(static_cast<float>(M_PI / 2));
  s.Render(10, 20);
  D3DXVECTOR3 topLeft = Place(s, 0, 0);
  EXPECT_NEAR(topLeft.x, 42 + 16, 1e-4);
  EXPECT_NEAR(topLeft.y, 36 - 32, 1e-4);
  D3DXVECTOR3 centre = Place(s, 32, 16);
  EXPECT_NEAR(centre.x, 42, 1e-4);
  EXPECT_NEAR(centre.y, 36, 1e-4);
}

TEST_F(Sprite, TransformIsRotationThenTranslationThenScaling) {
  zr_Sprite s;
  s.CreateSprite(kDevice, &manager, "ship.png", 0, D3DPOOL_MANAGED, 0);
  s.Scale(0.5f, 0.5f);  // factors add: 1.5
  EXPECT_EQ(s.Scaling(), D3DXVECTOR3(1.5f, 1.5f, 1));
  s.SetRotation(0.3f);
  s.Render(10, 20);
  D3DXMATRIX r, t, sc, expected;
  D3DXMatrixRotationZ(&r, 0.3f);
  D3DXMatrixTranslation(&t, 42, 36, 0);
  D3DXMatrixScaling(&sc, 1.5f, 1.5f, 1);
  D3DXMatrixMultiply(&expected, &r, &t);
  D3DXMatrixMultiply(&expected, &expected, &sc);
  EXPECT_EQ(fake::d3dx9::Get().lastSpriteTransform, expected);
  // The scale also moves the position: the centre lands at 1.5 x (42, 36).
  D3DXVECTOR3 centre = Place(s, 32, 16);
  EXPECT_NEAR(centre.x, 63, 1e-4);
  EXPECT_NEAR(centre.y, 54, 1e-4);
}

TEST_F(Sprite, AlphaUsesItsLowEightBits) {
  zr_Sprite s;
  s.CreateSprite(kDevice, &manager, "ship.png", 0, D3DPOOL_MANAGED, 0);
  const std::pair<int, unsigned> cases[] = {{128, 0x80FFFFFF}, {256, 0x00FFFFFF}, {-1, 0xFFFFFFFF}, {0x1234, 0x34FFFFFF}};
  for (auto [alpha, colour] : cases) {
    s.SetAlpha(alpha);
    s.Render(0, 0);
    EXPECT_EQ(DrawArg(5), std::to_string(colour)) << alpha;
  }
}

TEST_F(Sprite, AnimationStripCyclesAndStepsAreChecked) {
  zr_Sprite s;
  s.CreateSprite(kDevice, &manager, "ship.png", 0, D3DPOOL_MANAGED, 0);
  EXPECT_EQ(s.SetAnimationStep(1), 10);  // no strip yet
  s.SetAnimatedRect(4, 32, 32);
  EXPECT_EQ(s.AnimationRect().left, 0);
  EXPECT_EQ(s.AnimationRect().right, 32);
  std::vector<LONG> lefts;
  for (int i = 0; i < 9; ++i) {
    s.IncreaseAnimationStep();
    lefts.push_back(s.AnimationRect().left);
    EXPECT_LE(s.AnimationRect().right, 128);
  }
  EXPECT_THAT(lefts, ElementsAre(32, 64, 96, 0, 32, 64, 96, 0, 32));
  EXPECT_EQ(s.SetAnimationStep(4), 0);
  EXPECT_EQ(s.AnimationRect().left, 96);
  EXPECT_EQ(s.SetAnimationStep(5), 10);
  EXPECT_EQ(s.AnimationRect().left, 96);
  EXPECT_EQ(s.SetAnimationStep(2), 0);
  EXPECT_EQ(s.AnimationRect().left, 32);
  EXPECT_EQ(s.SetAnimationStep(-3), 0);
  EXPECT_EQ(s.AnimationRect().left, 0);

  s.SetAnimationStep(3);
  s.Render(0, 0);
  EXPECT_EQ(DrawArg(2), "<null>") << "not animated: the whole texture";
  s.SetAnimated(true);
  s.Render(0, 0);
  EXPECT_EQ(DrawArg(2), "64,0,96,32");
  s.SetRect(RECT{1, 2, 3, 4});
  s.RenderRect(0, 0);
  EXPECT_EQ(DrawArg(2), "1,2,3,4");
}

TEST_F(Sprite, RenderArgumentsWinOverSetXY) {
  zr_Sprite s;
  s.CreateSprite(kDevice, &manager, "ship.png", 0, D3DPOOL_MANAGED, 0);
  s.SetXY(500, 500);
  EXPECT_EQ(s.Position(), D3DXVECTOR3(500, 500, 0));
  s.Render(10, 20);
  EXPECT_EQ(Place(s, 0, 0), D3DXVECTOR3(10, 20, 0));
}

TEST_F(Sprite, AMissingPictureEndsInReport16) {
  zr_Sprite s;
  s.CreateSprite(kDevice, &manager, "missing.png", 0, D3DPOOL_MANAGED, 0);
  EXPECT_EQ(s.Centre(), D3DXVECTOR3(0, 0, 0));
  p.Reset();
  try {
    s.Render(0, 0);
    FAIL() << "no report";
  } catch (zr_ErrorException& e) {
    EXPECT_EQ(e.errorNumber, 16u);
    EXPECT_THAT(e.message, HasSubstr("Error by drawing the Sprite"));
  }
  EXPECT_EQ(p.CountOf("ID3DXSprite::End"), 0u);
  try {
    s.RenderRect(0, 0);
    FAIL() << "no report";
  } catch (zr_ErrorException& e) {
    EXPECT_THAT(e.message, HasSubstr("Error by drawing the zr_Sprite"));
  }
}

TEST_F(Sprite, UncreatedSpritesDoNothingAndDestructionDeletesTheTexture) {
  {
    zr_Sprite never;
    never.Render(1, 1);
    never.RenderRect(1, 1);
    never.OnLostDevice();
    never.OnResetDevice();
  }
  EXPECT_TRUE(p.Calls().empty());
  {
    zr_Sprite s;
    s.CreateSprite(kDevice, &manager, "ship.png", 0, D3DPOOL_MANAGED, 0);
    s.OnLostDevice();
    s.OnResetDevice();
    p.Reset();
  }
  EXPECT_THAT(p.Names(), ElementsAre("ID3DXSprite::Release", "IDirect3DTexture9::Release"));
  EXPECT_EQ(manager.GetTexture("ship.png"), nullptr);
}

}  // namespace
