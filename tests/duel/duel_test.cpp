// The duel against the recording fake: its rules and screens, the game frame, WinMain's start-up,
// loop, frame timing and device recovery, and the sound player.
#include "Duel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>

#include "Application.h"
#include "Game.h"
#include "GameObjects.h"
#include "Screens.h"
#include "fake_com.h"
#include "fake_platform.h"
#include "fake_state.h"
#include "scratch_directory.h"

namespace {

const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(0x400000);
const std::string kTextures = "../objects/textures/", kMusic = "../objects/sfx/open.mid", kShot = kShotSound;
fake::Platform& P() { return fake::Platform::Get(); }

// The recorded calls picked, in order, joined by ", ". A pick is a call's name or its method's name
// ("Present" for "IDirect3DDevice9::Present"), with "/n" to show the call's argument n.
std::string Seen(const std::string& picks) {
  std::vector<std::pair<std::string, int>> wanted;
  std::istringstream in(picks);
  for (std::string pick; in >> pick;) {
    const size_t slash = pick.find('/');
    wanted.emplace_back(pick.substr(0, slash), slash == std::string::npos ? -1 : std::stoi(pick.substr(slash + 1)));
  }
  std::string out;
  for (const fake::Call& c : P().Calls())
    for (const auto& [name, arg] : wanted)
      if (c.name == name || c.name.ends_with("::" + name))
        out += (out.empty() ? "" : ", ") + name + (arg < 0 ? "" : " " + c.Arg(arg));
  return out;
}

// The game's pictures (40 x 100) and sounds, for the fake's loaders.
const char* const kPictures[] = {"velkor1.png", "velkor2.png",      "emblem.PNG",
                                 "shoot.PNG",   "win_player_1.PNG", "win_player_2.PNG"};
void AddGameFiles() {
  for (const char* picture : kPictures) fake::d3dx9::AddImage(kTextures + picture, 40, 100);
  fake::dmusic::Get().files = {kMusic, kShot, "a.wav"};
}

// The end of the process and a new one: the global objects destroyed in the reverse order of
// their definition, then made again.
template <typename... T>
void Renew(T&... objects) {
  (std::destroy_at(&objects), ...);
  (std::construct_at(&objects), ...);
}
void RebuildGlobals() {
  Renew(textureManager, scene, winPlayer2Sprite, winPlayer1Sprite, shotSprite, emblemSprite, rightPlayerSprite,
        leftPlayerSprite, input, font, graphics, sound);
}

// Lives, figures, flying shots and a posted quit, as one line.
std::string State() {
  std::string s = std::to_string(livesLeft) + "/" + std::to_string(livesRight) + " at " + std::to_string(leftY) + "/" +
                  std::to_string(rightY);
  for (const Shot& shot : shots)
    if (shot.active)
      s += " shot " + std::to_string(shot.x) + "," + std::to_string(shot.y) + "," + std::to_string(shot.direction);
  return s + (fake::win32::Get().quitPosted ? " quit" : "");
}

// The game started as WinMain starts it, at 60 frames per second.
class Duel : public ::testing::Test {
 protected:
  void SetUp() override {
    P().Reset();
    AddGameFiles();
    mainWindow = reinterpret_cast<HWND>(0x99);
    graphics.Init(mainWindow, false, 16, false, 1024, 768, "error.log");
    ASSERT_EQ(StartGame(kInstance), 0);
    std::tie(framesPerSecond, emblemAngle, emblemAlpha, emblemAlphaStep) = std::make_tuple(60, 0.0f, 0, 1);
    Fresh();
  }
  void TearDown() override { RebuildGlobals(); }

  // A new match with no key held and an empty record, which from now on notes every picture
  // drawn as "file x,y" at the place the game gave it, and the emblem's alpha.
  void Fresh() {
    ResetDuel();
    keyboard = {};
    P().Reset();
    drawn.clear();
    P().OnCall("ID3DXSprite::Draw", [this](const fake::Call& c) {
      const D3DXMATRIX& m = fake::d3dx9::Get().lastSpriteTransform;  // the centre is at (20, 50)
      const std::string file = c.Arg(1).substr(kTextures.size());
      drawn += (drawn.empty() ? "" : ", ") + file + " " + std::to_string(int(m._41) - 20) + "," +
               std::to_string(int(m._42) - 50);
      if (file == "emblem.PNG") emblemAlphas += " " + std::to_string(std::stoul(c.Arg(5)) >> 24);
    });
  }

  std::string drawn, emblemAlphas;
  ScratchDirectory dir;
};

TEST_F(Duel, KeysMoveTheFiguresFireAndQuit) {
  const std::tuple<std::vector<int>, int, int, int, int, std::string> cases[] = {
      // keys held, frames, frame rate, left and right figure before, state after
      {{DIK_W}, 1, 60, 200, 400, "100/100 at 180/400"},  {{DIK_S}, 1, 60, 200, 400, "100/100 at 220/400"},
      {{DIK_UP}, 1, 60, 200, 400, "100/100 at 200/380"}, {{DIK_DOWN}, 1, 60, 200, 400, "100/100 at 200/420"},
      {{DIK_W}, 1, 60, 5, 400, "100/100 at 0/400"},      {{DIK_S}, 1, 60, 660, 400, "100/100 at 668/400"},
      {{DIK_DOWN}, 1, 1200, 200, 0, "100/100 at 200/1"}, {{DIK_DOWN}, 1, 0, 200, 0, "100/100 at 200/0"},
      {{DIK_DOWN}, 1, 1201, 200, 0, "100/100 at 200/0"},  // too fast to move a whole pixel
      {{DIK_TAB}, 1, 60, 200, 400, "100/100 at 200/400 shot 60,240,1"},
      {{DIK_RCONTROL}, 2, 60, 200, 400, "100/100 at 200/400 shot 895,440,2 shot 880,440,2"},
      {{DIK_TAB, DIK_RCONTROL}, 3, 60, 200, 400, "100/100 at 200/400 shot 60,240,1 shot 880,440,2 shot 60,240,1"},
      {{DIK_SPACE, DIK_RETURN, DIK_LCONTROL, DIK_LEFT}, 1, 60, 200, 400, "100/100 at 200/400"},
      {{DIK_ESCAPE}, 1, 60, 200, 400, "100/100 at 200/400 quit"},
  };
  for (const auto& [keys, frames, fps, left, right, state] : cases) {
    Fresh();
    for (int key : keys) keyboard.keys[key] = 0x80;
    std::tie(framesPerSecond, leftY, rightY) = std::make_tuple(fps, left, right);
    for (int frame = 0; frame < frames; ++frame) UpdateDuel();
    EXPECT_EQ(State(), state);
    // Every shot fired (two commas each in the state) sounds once.
    EXPECT_EQ(P().CountOf("IDirectMusicPerformance8::PlaySegmentEx"), std::count(state.begin(), state.end(), ',') / 2);
  }
  Fresh();
  keyboard.keys[DIK_TAB] = 0x80;
  for (int frame = 0; frame < 31; ++frame) UpdateDuel();  // the 31st is refused, without a sound
  EXPECT_EQ(std::count_if(std::begin(shots), std::end(shots), [](const Shot& s) { return s.active; }), 30);
  EXPECT_EQ(P().CountOf("IDirectMusicPerformance8::PlaySegmentEx"), 30u);
}

TEST_F(Duel, AShotInAFiguresBandTakesALifeAndIsRetired) {
  // Shots 30 to 140 high hit the right figure at 40, 140 to 250 the left one at 150, not their own.
  const std::pair<Shot, std::string> cases[] = {
      {{870, 30, 1, true}, "right hit"}, {{900, 140, 1, true}, "right hit"}, {{870, 29, 1, true}, "flies"},
      {{870, 141, 1, true}, "flies"},    {{869, 80, 1, true}, "flies"},      {{90, 250, 2, true}, "left hit"},
      {{-20, 140, 2, true}, "left hit"}, {{90, 251, 2, true}, "flies"},      {{90, 139, 2, true}, "flies"},
      {{91, 200, 2, true}, "flies"},     {{90, 200, 1, true}, "flies"},      {{870, 80, 2, true}, "flies"},
      {{870, 80, 1, false}, ""}};
  for (const auto& [shot, outcome] : cases) {
    std::tie(leftY, rightY, shots[0], livesLeft, livesRight) = std::make_tuple(150, 40, shot, 100, 100);
    ResolveHits();
    const std::string hit = livesRight == 99 ? "right hit" : livesLeft == 99 ? "left hit" : "";
    EXPECT_EQ(hit + (shots[0].active ? "flies" : ""), outcome) << shot.x << "," << shot.y << "," << shot.direction;
    EXPECT_EQ(livesLeft + livesRight, hit.empty() ? 200 : 199);
  }
}

TEST_F(Duel, ThePlayScreenShowsFiguresEmblemMovingShotsAndAYellowStatusLine) {
  // Each shot takes a step before it is drawn; one that had passed the edge is retired after it.
  std::tie(leftY, rightY) = std::make_tuple(100, 300);
  const Shot flying[] = {{890, 500, 1, true}, {900, 510, 1, true}, {901, 520, 1, true},
                         {5, 530, 2, true},   {0, 540, 2, true},   {-1, 550, 2, true}};
  std::copy(std::begin(flying), std::end(flying), shots + 3);
  DrawGameScreen();
  EXPECT_EQ(drawn,
            "velkor1.png 50,100, velkor2.png 950,300, emblem.PNG 325,204, shoot.PNG 910,500, shoot.PNG 920,510, "
            "shoot.PNG 901,520, shoot.PNG -15,530, shoot.PNG -20,540, shoot.PNG -1,550");
  EXPECT_EQ(State(), "100/100 at 100/300 shot 910,500,1 shot 920,510,1 shot -15,530,2 shot -20,540,2");
  EXPECT_EQ(Seen("Clear/3"), "Clear 4278190080");  // black
  const std::tuple<int, int, int, std::string> lines[] = {
      {57, 100, 99, "Velkor Engine Framerate:57 Leben Links: 100 / Rechts 99"},
      {0, -1, 3, "Velkor Engine Framerate:0 Leben Links: 0 / Rechts 3"},
  };
  for (const auto& [fps, left, right, text] : lines) {
    Fresh();
    std::tie(framesPerSecond, livesLeft, livesRight) = std::tie(fps, left, right);
    DrawGameScreen();
    // Measured from the top-left corner at (10, 10), then drawn.
    ASSERT_EQ(P().CountOf("ID3DXFont::DrawTextA"), 2u);
    for (const fake::Call& c : P().CallsTo("ID3DXFont::DrawTextA"))
      EXPECT_EQ(c.Arg(1) + " " + c.Arg(5), text + " " + std::to_string(0xFFFFFF00u));
    EXPECT_EQ(P().CallsTo("ID3DXFont::DrawTextA")[0].Arg(3), "10,10,0,0");
  }
}

TEST_F(Duel, TheEmblemPulsesBetweenClearAndOpaqueAndTurnsWithTheFrameRate) {
  const std::tuple<int, int, std::string> cases[] = {{253, 1, " 254 255 254"}, {1, -1, " 0 1 2"}};
  for (const auto& [alpha, step, shown] : cases) {
    std::tie(emblemAlpha, emblemAlphaStep) = std::tie(alpha, step);
    emblemAlphas.clear();
    for (int frame = 0; frame < 4; ++frame) DrawGameScreen();
    EXPECT_EQ(emblemAlphas.substr(emblemAlphas.find(' ', 1)), shown);  // a frame's alpha shows in the next
  }
  std::tie(framesPerSecond, shots[0]) = std::make_tuple(0, Shot{100, 500, 1, true});  // before the first rate
  DrawGameScreen();
  EXPECT_NEAR(emblemAngle, 8.0f / 60.0f, 1e-5f);  // a 60th for each of the eight frames before
  EXPECT_EQ(shots[0].x, 100);
}

TEST_F(Duel, AFrameReadsTheKeyboardThenShowsTheWinScreenOrPlays) {
  const std::tuple<int, int, int, std::string, std::string> cases[] = {
      // lives left and right, key held, pictures drawn, state after
      {5, 0, 0, "win_player_1.PNG 212,134", "5/0 at 200/0 shot 300,100,1"},
      {0, 5, 0, "win_player_2.PNG 212,134", "0/5 at 200/0 shot 300,100,1"},
      {0, 0, 0, "win_player_1.PNG 212,134", "0/0 at 200/0 shot 300,100,1"},
      {-1, 3, DIK_W, "win_player_2.PNG 212,134", "-1/3 at 200/0 shot 300,100,1"},
      {5, 0, DIK_ESCAPE, "win_player_1.PNG 212,134", "5/0 at 200/0 shot 300,100,1 quit"},
      {5, 0, DIK_SPACE, "velkor1.png 50,0, velkor2.png 950,0, emblem.PNG 325,204", "100/100 at 0/0"},
      {100, 100, DIK_SPACE, "velkor1.png 50,200, velkor2.png 950,0, emblem.PNG 325,204, shoot.PNG 320,100",
       "100/100 at 200/0 shot 320,100,1"},
  };
  for (const auto& [left, right, key, screen, state] : cases) {
    Fresh();
    std::tie(livesLeft, livesRight, leftY, shots[4]) = std::make_tuple(left, right, 200, Shot{300, 100, 1, true});
    fake::dinput8::Get().keys[key] = 0x80;
    RunGameFrame();
    EXPECT_EQ(drawn, screen);
    EXPECT_EQ(State(), state);
  }
}

// WinMain with the game, each run from the state a new process has.
class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    RebuildGlobals();
    P().Reset();
    AddGameFiles();
    std::tie(presents, quitAt) = std::make_tuple(0, 0);
    P().OnCall("IDirect3DDevice9::Present", [this](const fake::Call&) {
      if (++presents == quitAt) PostQuitMessage(0);
      if (presents > 500) throw std::runtime_error("the main loop does not end");
    });
    P().OnCall("Sleep", [](const fake::Call&) {  // a device that never comes back
      if (P().CountOf("Sleep") > 1000) throw std::runtime_error("the wait for the device does not end");
    });
  }
  void TearDown() override { RebuildGlobals(); }
  int Run() { return WinMain(kInstance, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT); }
  HWND Window() const { return fake::win32::Get().windows.begin()->first; }

  ScratchDirectory dir;
  int presents = 0, quitAt = 0;  // the present that posts the quit message
};

// A class with the program's icon (103) and menu (101), a window titled as the program, the device,
// the font and the music; then a frame, and nothing left behind. (That the pictures, sounds and
// keys load and the device fills the screen is the whole program's test, program_test.py.)
TEST_F(Program, StartsWindowDeviceFontAndMusicThenRunsAFrameAndLeavesNothingBehind) {
  quitAt = 1;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Seen("LoadIconA/1 RegisterClassExA/7 CreateWindowExA/2 IDirect3D9::CreateDevice PlaySegmentEx/0 Present"),
            "LoadIconA #103, LoadIconA #103, RegisterClassExA 101, CreateWindowExA Velkor Editor, "
            "IDirect3D9::CreateDevice, PlaySegmentEx ../objects/sfx/open.mid, Present");
  EXPECT_STREQ(fake::d3dx9::Get().lastFontDesc.FaceName, "Arial");
  RebuildGlobals();
  EXPECT_EQ(fake::LiveComObjects(), 0);
}

TEST_F(Program, AFailedStartIsReportedAndEndsWithZero) {
  const std::tuple<std::function<void()>, std::string, std::string> cases[] = {
      // the failure, the end of error.log, the message box's text
      {[] { P().ResultForCall("QueryPerformanceFrequency", 1, FALSE); },
       "*** Error_13 ** Frequence counter doesn't exist\r\n",
       "Error: 13\n\nMessage:\n\nFrequence counter doesn't exist\n\n"},
      {[] { P().OnCall("IDirect3DDevice9::Clear", [](const fake::Call&) { throw std::bad_alloc(); }); },
       "*** Error_12 ** Storage error, there isn't anough storage\r\n",
       "Error: 12\n\nMessage:\n\nStorage error, there isn't anough storage\n\n"},
  };
  for (const auto& [fail, log, box] : cases) {
    SetUp();
    ScratchDirectory scratch;
    fail();
    EXPECT_EQ(Run(), 0);
    EXPECT_THAT(scratch.Read("error.log"), ::testing::EndsWith(log));
    EXPECT_EQ(Seen("MessageBoxA/1 MessageBoxA/2"), "MessageBoxA " + box + ", MessageBoxA Error");
    EXPECT_EQ(presents, 0);
  }
}

TEST_F(Program, TheFrameRateIsCountedOverAThirdOfASecond) {
  // At 60 frames a second exactly the 21st frame closes the first third; a hair slower, the 20th
  // does, after 19 frames.
  const std::tuple<LONGLONG, int, int> cases[] = {{50'000, 20, 60}, {50'001, 19, 57}};
  for (const auto& [step, first, rate] : cases) {
    SetUp();
    std::tie(fake::win32::Get().frequency, fake::win32::Get().counterStep) = std::make_tuple(3'000'000, step);
    std::string seen;
    quitAt = first + 1;
    P().OnCall("IDirect3DDevice9::Present", [&](const fake::Call&) { seen += std::to_string(framesPerSecond) + " "; });
    Run();
    std::string expected;
    for (int frame = 0; frame < first; ++frame) expected += "0 ";
    EXPECT_EQ(seen, expected + std::to_string(rate) + " ");
  }
}

TEST_F(Program, ALostDeviceIsWaitedForReleasedResetAndRestoredBeforeTheNextFrame) {
  P().ResultForCall("IDirect3DDevice9::Present", 1, D3DERR_DEVICELOST);
  P().ResultForCall("IDirect3DDevice9::TestCooperativeLevel", 1, D3DERR_DEVICELOST);
  P().ResultForCall("IDirect3DDevice9::TestCooperativeLevel", 3, D3DERR_DEVICENOTRESET);  // the 2nd is D3D_OK
  // During the wait the window's own messages are handled; a thread message is left for later.
  P().OnCall("IDirect3DDevice9::TestCooperativeLevel", [this](const fake::Call&) {
    if (P().CountOf("IDirect3DDevice9::TestCooperativeLevel") != 1) return;
    fake::win32::Post(nullptr, WM_USER);
    fake::win32::Post(Window(), WM_USER + 1);
  });
  quitAt = 2;
  Run();
  EXPECT_EQ(Seen("TestCooperativeLevel Sleep/0 OnLostDevice Reset OnResetDevice QueryPerformanceCounter Present "
                 "DispatchMessageA/0"),
            "QueryPerformanceCounter, QueryPerformanceCounter, Present, TestCooperativeLevel, DispatchMessageA 1025, "
            "Sleep 100, TestCooperativeLevel, Sleep 100, TestCooperativeLevel, OnLostDevice, OnLostDevice, "
            "OnLostDevice, OnLostDevice, OnLostDevice, OnLostDevice, OnLostDevice, Reset, OnResetDevice, "
            "OnResetDevice, OnResetDevice, OnResetDevice, OnResetDevice, OnResetDevice, OnResetDevice, "
            "QueryPerformanceCounter, Present, DispatchMessageA 1024, DispatchMessageA 18");
  // The font and each of the six sprites let go and take their resources again.
  EXPECT_EQ(Seen("ID3DXFont::OnLostDevice ID3DXFont::OnResetDevice"),
            "ID3DXFont::OnLostDevice, ID3DXFont::OnResetDevice");
  for (const char* name : {"ID3DXSprite::OnLostDevice", "ID3DXSprite::OnResetDevice"}) {
    std::set<std::string> sprites;
    for (const fake::Call& c : P().CallsTo(name)) sprites.insert(c.Arg(0));
    EXPECT_EQ(sprites, std::set<std::string>({"#1", "#2", "#3", "#4", "#5", "#6"}));
  }
}

TEST_F(Program, ClosingTheWindowWhileTheDeviceIsLostEndsTheProgram) {
  P().ResultForCall("IDirect3DDevice9::Present", 1, D3DERR_DEVICELOST);
  P().ResultForAll("IDirect3DDevice9::TestCooperativeLevel", D3DERR_DEVICELOST);
  P().OnCall("Sleep", [this](const fake::Call&) {
    if (P().CountOf("Sleep") == 3) fake::win32::Post(Window(), WM_CLOSE);
    if (P().CountOf("Sleep") > 100) throw std::runtime_error("still waiting for a device whose window is gone");
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Seen("DestroyWindow PostQuitMessage/0 Reset"), "DestroyWindow, PostQuitMessage 0");
  EXPECT_EQ(presents, 1);
}

TEST(SoundPlayer, StartsPlaysSoundsByTheirExactNameBesideTheMusicAndReleasesEverySegmentOnce) {
  P().Reset();
  AddGameFiles();
  {
    zr_SoundManager player;
    player.Initialise();
    EXPECT_EQ(Seen("CoInitialize CoCreateInstance/0 InitAudio/3 InitAudio/4 SetSearchDirectory/1"),
              "CoInitialize, CoCreateInstance CLSID_DirectMusicPerformance, CoCreateInstance CLSID_DirectMusicLoader, "
              "InitAudio 8, InitAudio 8, "  // dynamic stereo, 8
              "SetSearchDirectory ../../media");
    player.AddBackgroundMusic(kMusic);
    player.PlayBackgroundMusic();
    player.AddSound(kShot);
    for (const char* name : {kShot.c_str(), "../objects/sfx/bfire.wav", "BFIRE.WAV", kShot.c_str()})
      player.PlaySoundEffect(name);
    EXPECT_EQ(Seen("Download/0 PlaySegmentEx/0 PlaySegmentEx/3"),  // 128: DMUS_SEGF_SECONDARY
              "Download ../objects/sfx/open.mid, PlaySegmentEx ../objects/sfx/open.mid, PlaySegmentEx 128, "
              "Download ../objects/sfx/BFIRE.WAV, PlaySegmentEx ../objects/sfx/BFIRE.WAV, PlaySegmentEx 128, "
              "PlaySegmentEx ../objects/sfx/BFIRE.WAV, PlaySegmentEx 128");
    player.AddSound("a.wav");
    player.AddSound(kShot);  // loaded again under the same name: the first is let go
  }
  EXPECT_EQ(
      Seen("IDirectMusicSegment8::Release/0 Stop CloseDown IDirectMusicPerformance8::Release "
           "IDirectMusicLoader8::Release CoUninitialize"),
      "IDirectMusicSegment8::Release ../objects/sfx/BFIRE.WAV, IDirectMusicSegment8::Release "
      "../objects/sfx/BFIRE.WAV, IDirectMusicSegment8::Release a.wav, IDirectMusicSegment8::Release "
      "../objects/sfx/open.mid, Stop, CloseDown, IDirectMusicPerformance8::Release, IDirectMusicLoader8::Release, "
      "CoUninitialize");
  EXPECT_EQ(fake::LiveComObjects(), 0);
  P().Reset();
  { zr_SoundManager never; }
  EXPECT_TRUE(P().Calls().empty());
}

TEST(SoundPlayer, SoundsThatCannotBeLoadedPlayNothing) {
  const std::pair<std::function<void()>, std::string> cases[] = {
      // No file (and a name too long to convert is no name): a box for each. No loader: nothing.
      {[] {},
       "LoadObjectFromFile ../objects/sfx/open.mid, MessageBoxA Fehler beim Laden der Datei, MessageBoxA "
       "AddBackgroundMusic, LoadObjectFromFile ../objects/sfx/BFIRE.WAV, MessageBoxA Fehler beim Laden der Datei, "
       "MessageBoxA AddSound, LoadObjectFromFile , MessageBoxA Fehler beim Laden der Datei, MessageBoxA AddSound"},
      {[] { AddGameFiles(), P().ResultForCall("CoCreateInstance", 2, REGDB_E_CLASSNOTREG); }, ""},
  };
  for (const auto& [fail, seen] : cases) {
    P().Reset();
    fail();
    zr_SoundManager player;
    player.Initialise();
    player.AddBackgroundMusic(kMusic);
    player.AddSound(kShot);
    player.AddSound(std::string(400, 'x'));
    player.PlayBackgroundMusic();
    player.PlaySoundEffect(kShot);
    EXPECT_EQ(Seen("MessageBoxA/1 MessageBoxA/2 LoadObjectFromFile/2 Download PlaySegmentEx"), seen);
  }
}

TEST(SoundPlayer, AFileThatNoLongerLoadsLeavesItsNameSilentAndTheOldSoundLetGo) {
  P().Reset();
  AddGameFiles();
  {
    zr_SoundManager player;
    player.Initialise();
    player.AddBackgroundMusic(kMusic);
    player.AddSound(kShot);
    fake::dmusic::Get().files.clear();  // both files are gone when they are loaded again
    player.AddBackgroundMusic(kMusic);
    player.AddSound(kShot);
    player.PlayBackgroundMusic();
    player.PlaySoundEffect(kShot);
    EXPECT_EQ(Seen("MessageBoxA/2 IDirectMusicSegment8::Release/0 PlaySegmentEx"),
              "MessageBoxA AddBackgroundMusic, IDirectMusicSegment8::Release ../objects/sfx/open.mid, "
              "MessageBoxA AddSound, IDirectMusicSegment8::Release ../objects/sfx/BFIRE.WAV");
  }
  EXPECT_EQ(P().CountOf("IDirectMusicSegment8::Release"), 2u) << "nothing is released twice";
  EXPECT_EQ(fake::LiveComObjects(), 0);
}

}  // namespace
