// The duel's rules, screens, start-up and frame sequence against the recording fake.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "Application.h"
#include "Duel.h"
#include "Game.h"
#include "GameObjects.h"
#include "Screens.h"
#include "fake_com.h"
#include "fake_d3dx9.h"
#include "fake_dinput8.h"
#include "fake_dmusic.h"
#include "fake_platform.h"
#include "fake_win32.h"
#include "game_fixture.h"
#include "scratch_directory.h"

using ::testing::ElementsAre;

namespace {

class Game : public ::testing::Test {
 protected:
  void SetUp() override {
    p.Reset();
    AddGameFiles();
    mainWindow = reinterpret_cast<HWND>(0x99);
    graphics.Init(mainWindow, false, 16, false, 1024, 768, "error.log");
    ASSERT_EQ(StartGame(reinterpret_cast<HINSTANCE>(0x400000)), 0);
    ResetDuel();
    for (auto& k : keyboard.keys) k = 0;
    framesPerSecond = 60;
    deviceLost = false;
    emblemAngle = 0;
    emblemAlpha = 0;
    emblemAlphaStep = 1;
    p.Reset();
  }
  void TearDown() override { RebuildGlobals(); }

  // A key held: in the record for UpdateDuel, and on the fake keyboard for the game frame's read.
  void Hold(int key, bool held = true) {
    keyboard.keys[key] = held ? 0x80 : 0;
    fake::dinput8::Get().keys[key] = held ? 0x80 : 0;
  }
  int Active() const {
    int n = 0;
    for (const Shot& s : shots) n += s.active ? 1 : 0;
    return n;
  }
  std::vector<std::string> DrawnTextures() const {
    std::vector<std::string> out;
    for (const fake::Call& c : p.CallsTo("ID3DXSprite::Draw")) out.push_back(c.Arg(1));
    return out;
  }

  fake::Platform& p = fake::Platform::Get();
  ScratchDirectory dir;
};

TEST_F(Game, StartUpLoadsPicturesThenInputThenTimerThenSound) {
  RebuildGlobals();
  graphics.Init(mainWindow, false, 16, false, 1024, 768, "error.log");
  p.Reset();
  AddGameFiles();
  ASSERT_EQ(StartGame(reinterpret_cast<HINSTANCE>(0x400000)), 0);

  std::vector<std::string> loads;
  for (const fake::Call& c : p.CallsTo("D3DXCreateTextureFromFileExA")) loads.push_back(c.Arg(1));
  EXPECT_THAT(loads, ElementsAre(kTextures[0], kTextures[1], kTextures[2], kTextures[3], kTextures[4], kTextures[5]));
  EXPECT_EQ(fake::d3dx9::Get().lastFontDesc.Height, 0);
  EXPECT_STREQ(fake::d3dx9::Get().lastFontDesc.FaceName, "Arial");

  std::vector<std::string> order;
  for (const fake::Call& c : p.Calls()) {
    if (c.name == "D3DXCreateFontIndirectA" || c.name == "DirectInput8Create" || c.name == "QueryPerformanceCounter" ||
        c.name == "CoInitialize" || c.name == "IDirectMusicPerformance8::PlaySegmentEx")
      order.push_back(c.name);
    if (c.name == "IDirectInput8A::CreateDevice" || c.name == "IDirectMusicLoader8::LoadObjectFromFile")
      order.push_back(c.name + " " + c.args.back());
  }
  EXPECT_THAT(order, ElementsAre("D3DXCreateFontIndirectA", "DirectInput8Create",
                                 "IDirectInput8A::CreateDevice <null>", "IDirectInput8A::CreateDevice <null>",
                                 "QueryPerformanceCounter", "CoInitialize",
                                 "IDirectMusicLoader8::LoadObjectFromFile ../objects/sfx/open.mid",
                                 "IDirectMusicPerformance8::PlaySegmentEx",
                                 "IDirectMusicLoader8::LoadObjectFromFile ../objects/sfx/BFIRE.WAV"));
  auto devices = p.CallsTo("IDirectInput8A::CreateDevice");
  EXPECT_EQ(devices[0].Arg(0), "GUID_SysMouse");
  EXPECT_EQ(devices[1].Arg(0), "GUID_SysKeyboard");
}

TEST_F(Game, AFrameReadsTheMouseThenTheKeyboardThenDrawsThePlayScreen) {
  RunGameFrame();
  std::vector<std::string> order;
  for (const fake::Call& c : p.Calls())
    if (c.name == "IDirectInputDevice8A::GetDeviceData" || c.name == "IDirectInputDevice8A::GetDeviceState" ||
        c.name == "IDirect3DDevice9::Clear" || c.name == "IDirect3DDevice9::Present")
      order.push_back(c.name);
  EXPECT_THAT(order, ElementsAre("IDirectInputDevice8A::GetDeviceData", "IDirectInputDevice8A::GetDeviceState",
                                 "IDirect3DDevice9::Clear", "IDirect3DDevice9::Present"));
  // Three pictures and the status line, measured then drawn.
  EXPECT_THAT(DrawnTextures(), ElementsAre(kTextures[0], kTextures[1], kTextures[2]));
  EXPECT_EQ(p.CountOf("ID3DXFont::DrawTextA"), 2u);
}

TEST_F(Game, FiguresMoveByTheFrameRateAndStayOnScreen) {
  leftY = 100;
  Hold(DIK_W);
  UpdateDuel();
  EXPECT_EQ(leftY, 80);  // 1200 / 60
  leftY = 5;
  UpdateDuel();
  EXPECT_EQ(leftY, 0);
  Hold(DIK_W, false);
  Hold(DIK_S);
  leftY = 660;
  UpdateDuel();
  EXPECT_EQ(leftY, 668);
  Hold(DIK_W);
  leftY = 300;
  UpdateDuel();
  EXPECT_EQ(leftY, 300);  // up and down by the same step

  Hold(DIK_DOWN);
  rightY = 0;
  framesPerSecond = 1200;
  UpdateDuel();
  EXPECT_EQ(rightY, 1);
  framesPerSecond = 1201;
  UpdateDuel();
  EXPECT_EQ(rightY, 1);  // above 1200 frames per second nothing moves
  framesPerSecond = 0;
  UpdateDuel();
  EXPECT_EQ(rightY, 1);
}

TEST_F(Game, OneShotPerFrameTheRightFirstEveryOtherFrame) {
  Hold(DIK_RCONTROL);
  UpdateDuel();  // rightFireFirst becomes false: the right player fires from 895
  UpdateDuel();  // and from 880 in the next
  EXPECT_EQ(shots[0].x, 895);
  EXPECT_EQ(shots[1].x, 880);
  EXPECT_EQ(shots[0].direction, 2);
  EXPECT_EQ(shots[0].y, rightY + 40);

  ResetDuel();
  Hold(DIK_TAB);
  leftY = 200;
  UpdateDuel();
  UpdateDuel();
  UpdateDuel();
  EXPECT_EQ(shots[0].direction, 1);  // both held: left, right, left
  EXPECT_EQ(shots[0].x, 60);
  EXPECT_EQ(shots[0].y, 240);
  EXPECT_EQ(shots[1].direction, 2);
  EXPECT_EQ(shots[1].x, 880);
  EXPECT_EQ(shots[2].direction, 1);
  EXPECT_EQ(p.CountOf("IDirectMusicPerformance8::PlaySegmentEx"), 5u);
}

TEST_F(Game, TheThirtyFirstShotIsRefusedWithoutSound) {
  Hold(DIK_TAB);
  for (int i = 0; i < 30; ++i) UpdateDuel();
  EXPECT_EQ(Active(), 30);
  size_t sounds = p.CountOf("IDirectMusicPerformance8::PlaySegmentEx");
  EXPECT_EQ(sounds, 30u);
  UpdateDuel();
  EXPECT_EQ(Active(), 30);
  EXPECT_EQ(p.CountOf("IDirectMusicPerformance8::PlaySegmentEx"), sounds);
  // The shot sound is played by its exact name.
  EXPECT_EQ(p.CallsTo("IDirectMusicPerformance8::PlaySegmentEx")[0].Arg(0), "../objects/sfx/BFIRE.WAV");
}

TEST_F(Game, ShotsFlyAndRetireOneStepPastTheEdge) {
  Shot right{890, 0, 1, true};
  AdvanceShot(right);
  EXPECT_EQ(right.x, 910);
  EXPECT_TRUE(right.active);
  AdvanceShot(right);
  EXPECT_EQ(right.x, 910);
  EXPECT_FALSE(right.active);
  Shot left{5, 0, 2, true};
  AdvanceShot(left);
  EXPECT_EQ(left.x, -15);
  AdvanceShot(left);
  EXPECT_FALSE(left.active);
  framesPerSecond = 0;
  Shot frozen{100, 0, 1, true};
  AdvanceShot(frozen);
  EXPECT_EQ(frozen.x, 100);
}

TEST_F(Game, HitBandsAndZones) {
  struct Case {
    Shot shot;
    int figureY;
    bool hits;
  };
  const Case cases[] = {
      {{870, 140, 1, true}, 150, true},  {{870, 139, 1, true}, 150, false}, {{870, 140, 1, true}, 40, true},
      {{870, 140, 1, true}, 39, false},  {{869, 140, 1, true}, 150, false}, {{90, 140, 2, true}, 150, true},
      {{91, 140, 2, true}, 150, false},  {{90, 139, 2, true}, 150, false},  {{870, 140, 1, false}, 150, false},
  };
  for (const Case& c : cases) {
    ResetDuel();
    shots[0] = c.shot;
    leftY = rightY = c.figureY;
    ResolveHits();
    int lost = (kLives - livesLeft) + (kLives - livesRight);
    EXPECT_EQ(lost, c.hits ? 1 : 0) << c.shot.x << "," << c.shot.y << " at " << c.figureY;
    EXPECT_EQ(shots[0].active, c.shot.active && !c.hits);
    if (c.hits) {
      EXPECT_EQ(c.shot.direction == 1 ? livesRight : livesLeft, kLives - 1);
    }
  }
}

TEST_F(Game, TheStatusLineCarriesRateAndLivesAndNeverANegativeCount) {
  framesPerSecond = 57;
  livesRight = 99;
  DrawGameScreen();
  auto texts = p.CallsTo("ID3DXFont::DrawTextA");
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1].Arg(1), "Velkor Engine Framerate:57 Leben Links: 100 / Rechts 99");
  EXPECT_EQ(texts[0].Arg(3), "10,10,0,0");

  // Two hits in one frame take the last life and one more: the match is over and shows 0.
  p.Reset();
  livesRight = 1;
  shots[0] = Shot{880, rightY + 40, 1, true};
  shots[1] = Shot{880, rightY + 40, 1, true};
  DrawGameScreen();
  EXPECT_EQ(livesRight, -1);
  EXPECT_TRUE(MatchOver());
  EXPECT_EQ(p.CallsTo("ID3DXFont::DrawTextA")[1].Arg(1), "Velkor Engine Framerate:57 Leben Links: 100 / Rechts 0");
  p.Reset();
  RunGameFrame();
  EXPECT_THAT(DrawnTextures(), ElementsAre(kTextures[4]));
}

TEST_F(Game, TheEmblemTurnsAndPulsesOneStepPerPlayFrame) {
  std::vector<int> alphas;
  for (int frame = 0; frame < 512; ++frame) {
    DrawGameScreen();
    alphas.push_back(emblemAlpha);
  }
  EXPECT_EQ(alphas[0], 1);
  EXPECT_EQ(alphas[254], 255);
  EXPECT_EQ(alphas[255], 254);
  EXPECT_EQ(alphas[508], 1);
  EXPECT_EQ(alphas[509], 0);
  EXPECT_EQ(alphas[510], 1);
  EXPECT_NEAR(emblemAngle, 512.0f / 60.0f, 1e-3);
  // The emblem is the third picture; its alpha of one frame shows in the next, so the very first
  // frame shows it at the sprite's own start value, opaque.
  auto draws = p.CallsTo("ID3DXSprite::Draw");
  EXPECT_EQ(draws[2].Arg(5), std::to_string(0xFFFFFFFFu));
  EXPECT_EQ(draws[5].Arg(5), std::to_string(0x01FFFFFFu));
  EXPECT_EQ(draws[8].Arg(5), std::to_string(0x02FFFFFFu));

  // Without a measured rate the emblem does not turn, but it still fades.
  framesPerSecond = 0;
  const float angle = emblemAngle;
  const int alpha = emblemAlpha;
  const int step = emblemAlphaStep;
  DrawGameScreen();
  EXPECT_EQ(emblemAngle, angle);
  EXPECT_EQ(emblemAlpha, alpha + step);
}

TEST_F(Game, ThirtyShotsAreThirtyDrawsOfTheShotPicture) {
  for (int i = 0; i < kShotCount; ++i) shots[i] = Shot{300 + i, 300, 1, true};
  DrawGameScreen();
  std::vector<std::string> drawn = DrawnTextures();
  ASSERT_EQ(drawn.size(), 33u);
  for (size_t i = 3; i < drawn.size(); ++i) EXPECT_EQ(drawn[i], kTextures[3]);
}

TEST_F(Game, WinScreensRestartAndEscape) {
  livesRight = 0;
  livesLeft = 0;
  RunGameFrame();
  EXPECT_THAT(DrawnTextures(), ElementsAre(kTextures[4]));  // both at 0: player 1's screen

  p.Reset();
  livesRight = 3;
  leftY = 500;
  Hold(DIK_ESCAPE);
  RunGameFrame();
  EXPECT_THAT(DrawnTextures(), ElementsAre(kTextures[5]));
  EXPECT_EQ(p.CountOf("PostQuitMessage"), 1u);
  EXPECT_EQ(leftY, 500);  // nothing moves on a win screen

  // Space restarts and the same frame shows the play screen.
  p.Reset();
  Hold(DIK_ESCAPE, false);
  Hold(DIK_SPACE);
  shots[4].active = true;
  RunGameFrame();
  EXPECT_EQ(livesLeft, kLives);
  EXPECT_EQ(livesRight, kLives);
  EXPECT_EQ(leftY, 0);
  EXPECT_EQ(Active(), 0);
  EXPECT_THAT(DrawnTextures(), ElementsAre(kTextures[0], kTextures[1], kTextures[2]));
  // Space in play does nothing; Escape in play quits.
  livesLeft = 50;
  RunGameFrame();
  EXPECT_EQ(livesLeft, 50);
  Hold(DIK_ESCAPE);
  RunGameFrame();
  EXPECT_EQ(p.CountOf("PostQuitMessage"), 1u);
}

TEST_F(Game, ALostPresentIsNotedOnBothScreens) {
  p.ResultForAll("IDirect3DDevice9::Present", D3DERR_DEVICELOST);
  DrawGameScreen();
  EXPECT_TRUE(deviceLost);
  deviceLost = false;
  DrawWinScreen();
  EXPECT_TRUE(deviceLost);
  deviceLost = false;
  p.ResultForAll("IDirect3DDevice9::Present", E_FAIL);
  DrawGameScreen();
  EXPECT_FALSE(deviceLost);
}

TEST_F(Game, DeviceLossReleasesAndRestoresInTheirOrders) {
  ReleaseGameDeviceObjects();
  RestoreGameDeviceObjects();
  std::vector<std::string> order;
  for (const fake::Call& c : p.Calls()) order.push_back(c.name + " " + (c.args.empty() ? "" : c.args[0]));
  EXPECT_THAT(order, ElementsAre("ID3DXSprite::OnLostDevice #1", "ID3DXSprite::OnLostDevice #2",
                                 "ID3DXSprite::OnLostDevice #3", "ID3DXSprite::OnLostDevice #4",
                                 "ID3DXSprite::OnLostDevice #5", "ID3DXSprite::OnLostDevice #6",
                                 "ID3DXFont::OnLostDevice ", "ID3DXFont::OnResetDevice ",
                                 "ID3DXSprite::OnResetDevice #1", "ID3DXSprite::OnResetDevice #2",
                                 "ID3DXSprite::OnResetDevice #3", "ID3DXSprite::OnResetDevice #4",
                                 "ID3DXSprite::OnResetDevice #6", "ID3DXSprite::OnResetDevice #5"));
}

TEST_F(Game, TheProcessEndReleasesTexturesFirstTheDeviceLateAndSoundLast) {
  RebuildGlobals();
  std::vector<std::string> order;
  for (const fake::Call& c : p.Calls()) {
    if (c.name.find("Release") != std::string::npos || c.name == "CoUninitialize")
      order.push_back(c.name.substr(0, c.name.find("::")));
  }
  // Textures (six, by the manager), then the six sprite objects, then the input, the font, the
  // device and the Direct3D object, and the sound last.
  std::vector<std::string> expected(6, "IDirect3DTexture9");
  expected.insert(expected.end(), 6, "ID3DXSprite");
  expected.insert(expected.end(), {"IDirectInput8A", "IDirectInputDevice8A", "IDirectInputDevice8A", "ID3DXFont",
                                   "IDirect3DDevice9", "IDirect3D9", "IDirectMusicSegment8", "IDirectMusicSegment8",
                                   "IDirectMusicPerformance8", "IDirectMusicLoader8", "CoUninitialize"});
  EXPECT_EQ(order, expected);
  EXPECT_EQ(fake::LiveComObjects(), 0);
}

}  // namespace
