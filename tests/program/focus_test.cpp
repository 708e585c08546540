// The whole game on the real platform layer, headless (SDL's offscreen video driver, the dummy
// audio driver), loses the focus of its full-screen window and gets it back. WinMain runs as the
// program runs it, with its own main loop and device recovery; the test steps in at three points
// of the loop, by the linker's --wrap (see CMakeLists.txt):
//
//   RunGameFrame               counts frames, takes the focus away, reads the picture, ends the run
//   ReleaseGameDeviceObjects   notes the device's state when the game lets go of its D3DX objects
//   RestoreGameDeviceObjects   notes it when the game takes them again
//
// each calling the game's own function. The focus comes back from another thread as the window
// system brings it: an SDL focus event that the loop's message pump turns into WM_ACTIVATE.
#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Application.h"
#include "Duel.h"
#include "Game.h"
#include "GameObjects.h"
#include "errorfile/zr_ErrorException.h"
#include "front_buffer.h"
#include "scratch_directory.h"
#include "win32_internal.h"
#include "win32_testing.h"

// The game's own functions behind the wrapped names.
extern "C" void __real__Z12RunGameFramev();
extern "C" void __real__Z24ReleaseGameDeviceObjectsv();
extern "C" void __real__Z24RestoreGameDeviceObjectsv();

namespace {

namespace fs = std::filesystem;

constexpr int kLossFrame = 5;  // the frame whose Present finds the window in the background
constexpr int kLastFrame = 9;
constexpr int kMovedY = 300;  // where the left figure stands in the frames after the loss
constexpr auto kAwayFor = std::chrono::milliseconds(300);

using duelscreen::FrontBuffer;
using duelscreen::Lit;
using duelscreen::Yellow;

int StatusLine(const FrontBuffer& f) { return f.Count(10, 10, 420, 30, Yellow); }
int LeftFigureAt(const FrontBuffer& f, int y) { return f.Count(50, y, 114, y + 100, Lit); }

// What the hooks saw, read by the test after WinMain returns.
struct Run {
  int frames = 0;
  bool lostAfterLossFrame = false;
  bool focusBackBeforeNextFrame = false;
  bool recoveredBeforeNextFrame = false;
  // The device recovery steps as they came, each with the device's cooperative level then.
  std::vector<std::pair<std::string, HRESULT>> steps;
  int statusBefore = 0, figureAtTopBefore = 0, figureMovedBefore = 0;
  int statusAfter = 0, figureMovedAfter = 0;
  bool readBefore = false, readAfter = false;

  std::atomic<bool> focusBack{false};
  std::unique_ptr<std::thread> focusReturn;
};
Run run;

HRESULT CooperativeLevel() { return graphics.GetDevice()->TestCooperativeLevel(); }

// The user comes back to the game a little later, while the loop waits for the device.
void ReturnFocusLater() {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
  e.window.windowID = SDL_GetWindowID(zr::win32::SdlWindowOf(mainWindow));
  run.focusReturn = std::make_unique<std::thread>([e]() mutable {
    std::this_thread::sleep_for(kAwayFor);
    run.focusBack = true;
    SDL_PushEvent(&e);
  });
}

}  // namespace

extern "C" void __wrap__Z12RunGameFramev() {
  const int frame = ++run.frames;
  if (frame == 1) zr::win32::testing::SetFocus(mainWindow, true);  // as the window manager gives it
  if (frame == kLossFrame) {
    zr::win32::testing::SetFocus(mainWindow, false);
    leftY = kMovedY;  // what the next picture that reaches the screen shows
  }
  if (frame == kLossFrame + 1) {
    run.focusBackBeforeNextFrame = run.focusBack;
    run.recoveredBeforeNextFrame = !deviceLost && run.steps.size() == 2;
  }

  __real__Z12RunGameFramev();

  if (frame == kLossFrame - 1) {
    FrontBuffer front;
    run.readBefore = front.Read(graphics.GetDevice());
    run.statusBefore = StatusLine(front);
    run.figureAtTopBefore = LeftFigureAt(front, 0);
    run.figureMovedBefore = LeftFigureAt(front, kMovedY);
  }
  if (frame == kLossFrame) {
    run.lostAfterLossFrame = deviceLost;
    ReturnFocusLater();
  }
  if (frame == kLastFrame) {
    FrontBuffer front;
    run.readAfter = front.Read(graphics.GetDevice());
    run.statusAfter = StatusLine(front);
    run.figureMovedAfter = LeftFigureAt(front, kMovedY);
    PostQuitMessage(0);
  }
}

extern "C" void __wrap__Z24ReleaseGameDeviceObjectsv() {
  run.steps.emplace_back("release", CooperativeLevel());
  __real__Z24ReleaseGameDeviceObjectsv();
}

extern "C" void __wrap__Z24RestoreGameDeviceObjectsv() {
  run.steps.emplace_back("restore", CooperativeLevel());
  __real__Z24RestoreGameDeviceObjectsv();
}

namespace {

TEST(FocusLoss, TheGameWaitsForTheFocusRecoversTheDeviceAndDrawsAgain) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  // The game finds its files at ../objects from its working folder.
  ScratchDirectory dir;
  fs::create_directory_symlink(ZR_OBJECTS_DIR, "objects");
  fs::create_directory("duel");
  fs::current_path("duel");

  EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOWDEFAULT), 0);
  if (run.focusReturn) run.focusReturn->join();

  ASSERT_EQ(run.frames, kLastFrame) << "the loop ended early or went on after WM_QUIT";
  // Before the loss: the duel as it starts.
  ASSERT_TRUE(run.readBefore);
  EXPECT_GT(run.statusBefore, 200) << "no status line before the loss";
  EXPECT_GT(run.figureAtTopBefore, 500) << "no left figure at the top before the loss";
  EXPECT_LT(run.figureMovedBefore, 50);
  // The loss, the wait, and the recovery between the two frames.
  EXPECT_TRUE(run.lostAfterLossFrame) << "Present did not report the lost device";
  EXPECT_TRUE(run.focusBackBeforeNextFrame) << "a frame ran while the window was in the background";
  EXPECT_TRUE(run.recoveredBeforeNextFrame) << "the frame after the loss came before the recovery";
  // The game let go of its objects once the device could be reset and before it was (the layer
  // refuses a Reset while any sprite or font holds on), and took them again after the Reset.
  using Step = std::pair<std::string, HRESULT>;
  EXPECT_EQ(run.steps, (std::vector<Step>{{"release", D3DERR_DEVICENOTRESET}, {"restore", D3D_OK}}));
  // After it: new frames, the figure where it was moved while the device was lost.
  ASSERT_TRUE(run.readAfter);
  EXPECT_GT(run.statusAfter, 200) << "no status line after the recovery";
  EXPECT_GT(run.figureMovedAfter, 500) << "nothing drawn since the recovery";
  EXPECT_EQ(dir.Read("duel/error.log"), "");

  // The sprites and the font hold the device again: a Reset is refused until the game lets go of
  // them, and then nothing else holds it.
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = 1024;
  pp.BackBufferHeight = 768;
  pp.BackBufferFormat = D3DFMT_A8R8G8B8;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.hDeviceWindow = mainWindow;
  pp.Windowed = FALSE;
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D16;
  EXPECT_EQ(graphics.GetDevice()->Reset(&pp), D3DERR_INVALIDCALL) << "the game's objects were not restored";
  __real__Z24ReleaseGameDeviceObjectsv();
  EXPECT_EQ(graphics.GetDevice()->Reset(&pp), D3D_OK);
  __real__Z24RestoreGameDeviceObjectsv();
}

}  // namespace
