// The whole game on the real platform layer, headless (SDL's offscreen video and dummy audio
// drivers): WinMain with its own loop and device recovery. The linker's --wrap (CMakeLists.txt)
// steps in at the game's frame and its two device-loss steps, each of which calls the game's own.
//   1. At frame 5 the full-screen window loses the focus and gets it back 300 ms later: the loop
//      waits, the game releases its objects once the device can be reset and restores them after
//      the reset before it draws again. (That the picture is the same after a reset is the engine's
//      test in ../platform/d3dx9gl.)
//   2. Both players move and fire in turn, every win screen is answered with Space: matches are
//      played and restarted and the heap does not grow (what the screen shows is for the duel's
//      unit tests and program_test.py). Presentation is not paced; the rules read 60 frames a second.
//   3. At the last frame the window's close button ends the game: WinMain returns 0, no error.log.
//   duel_whole <folder with objects/> <last frame> [heap growth allowed in KiB, default 8]
#include <SDL.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "Application.h"
#include "Duel.h"
#include "GameObjects.h"
#include "d3d9_testing.h"
#include "errorfile/zr_ErrorException.h"
#include "win32_internal.h"
#include "win32_testing.h"

#ifdef __SANITIZE_ADDRESS__
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();  // Debian's GCC has no header for it
std::size_t HeapBytes() { return __sanitizer_get_current_allocated_bytes(); }
#else
std::size_t HeapBytes() { return mallinfo2().uordblks; }
#endif
extern "C" void __real__Z12RunGameFramev();
extern "C" void __real__Z24ReleaseGameDeviceObjectsv();
extern "C" void __real__Z24RestoreGameDeviceObjectsv();

namespace {

constexpr int kLossFrame = 5, kFocusDone = 9;
long frame = 0, lastFrame = 0;
int failures = 0;
void Check(bool ok, const char* what) {
  if (!ok && ++failures <= 20) std::printf("FAIL at frame %ld: %s\n", frame, what);
}

// Keys and window events go in as SDL events, as the window system sends them; one pushed during
// a frame reaches the next.
Uint32 WindowId() { return SDL_GetWindowID(zr::win32::SdlWindowOf(mainWindow)); }
void PushWindowEvent(Uint8 event) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = WindowId();
  e.window.event = event;
  SDL_PushEvent(&e);
}
bool down[SDL_NUM_SCANCODES] = {};
void Key(SDL_Scancode key, bool held) {
  if (down[key] == held) return;
  down[key] = held;
  SDL_Event e{};
  e.type = held ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.windowID = WindowId();
  e.key.state = held ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.scancode = key;
  e.key.keysym.sym = SDL_GetKeyFromScancode(key);
  SDL_PushEvent(&e);
}

struct Run {
  std::atomic<bool> focusBack{false};
  std::thread focusReturn;
  std::vector<HRESULT> steps;  // the cooperative level at the release and at the restore
  long wins[2] = {0, 0}, restarts = 0, warmedAt = -1;
  bool over = false;
  int winStreak = 0;
  std::vector<std::size_t> heap;  // after every frame since the warm-up
} run;

void FocusStage() {
  if (frame == 1) zr::win32::testing::SetFocus(mainWindow, true);  // as the window manager gives it
  if (frame == kLossFrame) zr::win32::testing::SetFocus(mainWindow, false);
  if (frame == kLossFrame + 1) {
    Check(run.focusBack, "a frame ran while the window was in the background");
    Check(!deviceLost && run.steps.size() == 2, "the frame after the loss came before the recovery");
  }
  __real__Z12RunGameFramev();
  if (frame == kLossFrame) {
    Check(deviceLost, "Present did not report the lost device");
    run.focusReturn = std::thread([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      run.focusBack = true;
      PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    });
  }
}

void PlayStage() {
  // Both figures go to the top, then down and up together a little way, so that most shots hit;
  // in every other match only the left player fires, in the others only the right one. Space
  // once a win screen has shown for ten frames.
  const bool goDown = frame > kFocusDone + 40 && frame % 8 < 4, leftFires = (run.wins[0] + run.wins[1]) % 2 == 1;
  const std::pair<SDL_Scancode, bool> keys[] = {
      {SDL_SCANCODE_S, goDown},      {SDL_SCANCODE_W, !goDown},      {SDL_SCANCODE_DOWN, goDown},
      {SDL_SCANCODE_UP, !goDown},    {SDL_SCANCODE_TAB, leftFires},  {SDL_SCANCODE_RCTRL, !leftFires},
      {SDL_SCANCODE_SPACE, run.winStreak >= 10 && !down[SDL_SCANCODE_SPACE]}};
  for (const auto& [key, held] : keys) Key(key, held);
  __real__Z12RunGameFramev();

  // A frame drew a win screen when the match was over before it and after it.
  const bool nowOver = MatchOver(), drewWin = run.over && nowOver;
  if (nowOver && !run.over) ++run.wins[livesRight <= 0 ? 0 : 1];
  if (!nowOver && run.over) ++run.restarts;
  run.winStreak = drewWin ? run.winStreak + 1 : 0;
  run.over = nowOver;
  // The heap, once both players have won a match (every picture drawn, every path taken).
  if (run.warmedAt < 0 && run.wins[0] > 0 && run.wins[1] > 0) run.warmedAt = frame;
  if (run.warmedAt >= 0) run.heap.push_back(HeapBytes());
}

}  // namespace

extern "C" void __wrap__Z12RunGameFramev() {
  ++frame;
  framesPerSecond = 60;
  if (frame <= kFocusDone) FocusStage();
  else PlayStage();
  if (frame == lastFrame) PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
  if (frame == lastFrame + 100) {
    std::printf("FAIL: the close button did not end the game\n");
    std::_Exit(1);
  }
}

extern "C" void __wrap__Z24ReleaseGameDeviceObjectsv() {
  run.steps.push_back(graphics.GetDevice()->TestCooperativeLevel());
  __real__Z24ReleaseGameDeviceObjectsv();
}

extern "C" void __wrap__Z24RestoreGameDeviceObjectsv() {
  run.steps.push_back(graphics.GetDevice()->TestCooperativeLevel());
  __real__Z24RestoreGameDeviceObjectsv();
}

int main(int argc, char** argv) {
  if (argc < 3) return std::fprintf(stderr, "usage: %s <folder with objects/> <last frame> [KiB]\n", argv[0]), 2;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  lastFrame = std::atol(argv[2]);
  const long allowed = (argc > 3 ? std::atol(argv[3]) : 8) * 1024;
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  // The game finds its files at ../objects from its working folder.
  namespace fs = std::filesystem;
  fs::remove_all("run");
  fs::create_directories("run/duel");
  fs::create_directory_symlink(fs::absolute(fs::path(argv[1]) / "objects"), "run/objects");
  if (chdir("run/duel") != 0) return 2;
  zr::d3d9::testing::SetPacing(false);
  run.heap.reserve(lastFrame);

  Check(WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOWDEFAULT) == 0, "WinMain failed");
  if (run.focusReturn.joinable()) run.focusReturn.join();
  std::printf("frames %ld; matches won: left %ld, right %ld; restarts %ld\n", frame, run.wins[0], run.wins[1],
              run.restarts);
  Check(frame == lastFrame, "the game ended before the close button");
  // The game let go of its objects once the device could be reset (the layer refuses a Reset while
  // any sprite or font holds on to it) and took them again after the Reset.
  Check(run.steps == std::vector<HRESULT>{D3DERR_DEVICENOTRESET, D3D_OK}, "the device was not recovered once in order");
  Check(run.wins[0] > 0 && run.wins[1] > 0 && run.restarts >= 3, "too few matches played and restarted");
  // The heap's floor (its least value) over each third of the samples: sounds playing at the moment
  // and the GL driver's per-frame buffers come and go, while a leak raises the floor from third to
  // third. A block that the GL driver takes once and keeps raises it only once.
  const std::size_t third = run.heap.size() / 3;
  Check(third >= 100, "too few frames after the warm-up to compare the heap");
  if (third >= 100) {
    long floors[3];
    for (int i = 0; i < 3; ++i)
      floors[i] = static_cast<long>(*std::min_element(run.heap.data() + i * third, run.heap.data() + (i + 1) * third));
    std::printf("heap after the warm-up (frame %ld), floors of each third: %ld %ld %ld bytes\n", run.warmedAt,
                floors[0], floors[1], floors[2]);
    Check(std::min(floors[1] - floors[0], floors[2] - floors[1]) <= allowed, "the heap grows");
  }
  Check(!fs::exists(kErrorLogFile) || fs::file_size(kErrorLogFile) == 0, "error.log was written");
  return failures == 0 ? 0 : 1;
}
