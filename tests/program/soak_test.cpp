// The whole game for a long run on the real platform layer, headless: SDL's offscreen video driver
// and dummy audio driver, the game's own data. Both players fire all the time and move up and
// down; every win screen is answered with Space, so matches end and restart for as long as the run
// lasts. At the end the heap must be no larger than after the warm-up (within a small bound), the
// matches must have restarted, and the frames sampled from the front buffer must show the screens
// the rules call for.
//
// The program drives the game as WinMain does (window, device, StartGame, then the message loop
// and RunGameFrame), with two differences: presentation is not paced (the backend's test hook),
// and the frame rate the rules read is a fixed 60 rather than the measured one, so that figures
// and shots move as they do in a real game however fast the frames are drawn. Keys go in as SDL
// events, which the platform's DirectInput reads through its event watch.
//
// The heap is sampled every 100 frames. The warm-up lasts at least --warmup frames, until both
// players have won a match (every picture drawn, every path taken) and for at least --settle
// seconds: the music (82.5 s, played once) has ended by then and its synthesizer is gone. The
// heap's floor (its least value) over the 2,000 frames after the warm-up is compared with its floor
// over the last 2,000 frames: sounds that are playing at the moment and the GL driver's per-frame
// buffers come and go, while anything that leaks raises the floor. Under AddressSanitizer the GL
// driver's large blocks are left out (see DriverBlocks).
//
//   duel_soak <folder with objects/> [--frames=100000] [--warmup=5000] [--settle=100]
//             [--growth-kb=1024] [--report=N (print the heap every N frames)]
#include <SDL.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "Application.h"
#include "Duel.h"
#include "Game.h"
#include "GameObjects.h"
#include "d3d9_testing.h"
#include "errorfile/zr_ErrorException.h"
#include "front_buffer.h"
#include "win32_internal.h"
#include "win32_testing.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZR_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZR_SOAK_ASAN 1
#endif
#endif
#ifdef ZR_SOAK_ASAN
#include <dlfcn.h>
#include <execinfo.h>

#include <atomic>
#include <mutex>
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#else
// GCC's runtime has these but Debian's GCC ships no header for them (clang's does).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, std::size_t),
                                                         void (*free_hook)(const volatile void*));
#endif
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kFrameRate = 60;
// Frames that a win screen shows before Space is pressed.
constexpr int kWinFrames = 10;

long Option(int argc, char** argv, const char* name, long otherwise) {
  std::string prefix = std::string("--") + name + "=";
  for (int i = 2; i < argc; ++i)
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) return std::atol(argv[i] + prefix.size());
  return otherwise;
}

#ifdef ZR_SOAK_ASAN
// The GL driver (Mesa's llvmpipe) takes large blocks for its own pipeline now and then, at
// moments that depend on how its threads keep up (one of 1 MiB was seen well after the first
// minute), and keeps them. Blocks of 64 KiB or more whose allocation has the driver on its stack
// are counted here and left out of the heap's figure; everything else, the driver's small
// allocations included, stays in it.
class DriverBlocks {
 public:
  static void Install() {
    void* frames[4];
    backtrace(frames, 4);  // loads the unwinder now, not inside a hook
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
  }
  static std::size_t Bytes() { return bytes_.load(); }

 private:
  static constexpr std::size_t kLarge = 64 * 1024;
  static constexpr int kMost = 256;
  struct Block {
    const volatile void* address;
    std::size_t size;
  };

  static bool FromDriver() {
    void* frames[48];
    const int n = backtrace(frames, 48);
    for (int i = 0; i < n; ++i) {
      Dl_info info{};
      if (dladdr(frames[i], &info) != 0 && info.dli_fname != nullptr && std::strstr(info.dli_fname, "_dri.so") != nullptr)
        return true;
    }
    return false;
  }

  static void OnMalloc(const volatile void* address, std::size_t size) {
    thread_local bool inside = false;
    if (size < kLarge || inside) return;
    inside = true;
    if (FromDriver()) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (count_ < kMost) {
        blocks_[count_++] = Block{address, size};
        bytes_ += size;
        anyBlocks_ = true;
      }
    }
    inside = false;
  }

  static void OnFree(const volatile void* address) {
    if (!anyBlocks_.load(std::memory_order_relaxed) || address == nullptr) return;
    std::lock_guard<std::mutex> lock(mutex_);
    for (int i = 0; i < count_; ++i) {
      if (blocks_[i].address != address) continue;
      bytes_ -= blocks_[i].size;
      blocks_[i] = blocks_[--count_];
      anyBlocks_ = count_ > 0;
      return;
    }
  }

  static inline std::mutex mutex_;
  static inline Block blocks_[kMost] = {};
  static inline int count_ = 0;
  static inline std::atomic<std::size_t> bytes_{0};
  static inline std::atomic<bool> anyBlocks_{false};
};
#endif

// Bytes the program holds on the heap now, less the GL driver's large blocks where they are known.
std::size_t HeapBytes() {
#ifdef ZR_SOAK_ASAN
  return __sanitizer_get_current_allocated_bytes() - DriverBlocks::Bytes();
#else
  return mallinfo2().uordblks;
#endif
}
#ifdef ZR_SOAK_ASAN
constexpr const char* kHeapCounter = "AddressSanitizer's allocator, less the GL driver's large blocks";
#else
constexpr const char* kHeapCounter = "mallinfo2";
#endif

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The keys the soak holds, with their state as last sent.
struct Key {
  SDL_Scancode code;
  bool down;
};

class Keyboard {
 public:
  explicit Keyboard(HWND window) : windowId_(SDL_GetWindowID(zr::win32::SdlWindowOf(window))) {}

  // Sends a key event when the key's state changes.
  void Set(Key& key, bool down) {
    if (key.down == down) return;
    key.down = down;
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = windowId_;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = key.code;
    e.key.keysym.sym = SDL_GetKeyFromScancode(key.code);
    SDL_PushEvent(&e);
  }

 private:
  Uint32 windowId_;
};

using duelscreen::FrontBuffer;
using duelscreen::Lit;
using duelscreen::Yellow;

int failures = 0;
void Check(bool ok, const char* what, long frame) {
  if (ok) return;
  if (++failures <= 20) std::printf("FAIL at frame %ld: %s\n", frame, what);
}

// Checks what a frame of play shows: the status line and both figures where the rules put them.
void CheckPlay(const FrontBuffer& f, long frame, int left, int right) {
  Check(f.Count(10, 10, 420, 30, Yellow) > 200, "the status line is missing", frame);
  Check(f.Count(50, left, 114, left + 100, Lit) > 500, "the left figure is missing", frame);
  Check(f.Count(950, right, 1014, right + 100, Lit) > 500, "the right figure is missing", frame);
}

// Checks what a win screen shows: the winner's picture and no status line.
void CheckWin(const FrontBuffer& f, long frame) {
  Check(f.Count(212, 134, 812, 634, Lit) > 200000, "the win picture is missing", frame);
  Check(f.Count(10, 10, 210, 30, Yellow) == 0, "the status line shows on a win screen", frame);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder with objects/> [--frames=N] [--warmup=N] [--settle=S] [--growth-kb=N]\n",
                 argv[0]);
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const long frames = Option(argc, argv, "frames", 100000);
  const long warmup = Option(argc, argv, "warmup", 5000);
  const double settle = static_cast<double>(Option(argc, argv, "settle", 100));
  const long allowedGrowth = Option(argc, argv, "growth-kb", 1024) * 1024;
  const long report = Option(argc, argv, "report", 0);
  constexpr long kHeapEvery = 100;     // frames between samples of the heap
  constexpr long kFloorFrames = 2000;  // frames over which the heap's floor is taken

  // Headless, in a run folder of its own: duel/ as the working folder, objects/ beside it.
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::error_code error;
  fs::remove_all("run", error);
  fs::create_directories("run/duel");
  fs::create_directory_symlink(fs::absolute(fs::path(argv[1]) / "objects"), "run/objects");
  if (chdir("run/duel") != 0) return 2;

#ifdef ZR_SOAK_ASAN
  DriverBlocks::Install();
#endif
  // As WinMain starts the game.
  zr::d3d9::testing::SetPacing(false);
  const auto start = std::chrono::steady_clock::now();
  HINSTANCE instance = GetModuleHandleA(nullptr);
  mainWindow = CreateMainWindow(instance);
  if (mainWindow == nullptr) {
    std::printf("FAIL: no window\n");
    return 1;
  }
  graphics.Init(mainWindow, false, 16, false, 1024, 768, kErrorLogFile);
  if (StartGame(instance) != 0) {
    std::printf("FAIL: the game did not start\n");
    return 1;
  }
  zr::win32::testing::SetFocus(mainWindow, true);

  Keyboard keyboardOut(mainWindow);
  Key w{SDL_SCANCODE_W, false}, s{SDL_SCANCODE_S, false}, up{SDL_SCANCODE_UP, false},
      down{SDL_SCANCODE_DOWN, false}, tab{SDL_SCANCODE_TAB, false}, rctrl{SDL_SCANCODE_RCTRL, false},
      space{SDL_SCANCODE_SPACE, false};

  FrontBuffer* front = new FrontBuffer;
  long wins[2] = {0, 0};  // matches won by the left and by the right player
  long firstWin[2] = {-1, -1};
  long restarts = 0;
  long playFrames = 0, winFrames = 0, sampled = 0;
  long lowestLeft = 0, lowestRight = 0;
  bool over = false;           // the match was over after the last frame
  bool drewWinBefore = false;  // the last frame drew a win screen
  int winStreak = 0;           // frames in a row that drew a win screen
  long warmedAt = -1;          // the frame that ended the warm-up
  double warmedSeconds = 0;
  std::size_t floorAfterWarmup = SIZE_MAX, floorAtEnd = SIZE_MAX;

  MSG msg{};
  long frame = 0;
  for (; frame < frames; ++frame) {
    // The keys for this frame: the left figure goes down and up in steps of four frames, the right
    // in steps of five, and every 2,000 frames both go to the bottom and back. Both hold their
    // fire key; in every other block of 2,500 frames, starting with the first, the right player
    // lets go of it one frame in four (the left one then fires in its place), so that both win
    // matches. Space once a win screen has shown for ten frames.
    const long phase = frame % 2000;
    const bool excursionDown = phase >= 1000 && phase < 1060;
    const bool excursionUp = phase >= 1060 && phase < 1120;
    const bool leftDown = excursionDown || (!excursionUp && frame % 8 < 4);
    const bool rightDown = excursionDown || (!excursionUp && frame % 10 < 5);
    keyboardOut.Set(s, leftDown);
    keyboardOut.Set(w, !leftDown);
    keyboardOut.Set(down, rightDown);
    keyboardOut.Set(up, !rightDown);
    keyboardOut.Set(tab, true);
    keyboardOut.Set(rctrl, (frame / 2500) % 2 == 1 || frame % 4 != 0);
    keyboardOut.Set(space, winStreak >= kWinFrames && !space.down);

    // The main loop's turn: every waiting message first, then one frame.
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message != WM_QUIT) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (msg.message == WM_QUIT) break;
    if (deviceLost) {
      std::printf("FAIL at frame %ld: the device was lost\n", frame);
      return 1;
    }
    framesPerSecond = kFrameRate;
    RunGameFrame();

    // The frame drew a win screen when the match was over before it and Space did not restart
    // it; otherwise it drew the duel (whose hits may have ended the match just now).
    const bool nowOver = MatchOver();
    const bool drewWin = over && nowOver;
    if (drewWin) ++winFrames;
    else ++playFrames;
    if (nowOver && !over) {
      const int winner = livesRight <= 0 ? 0 : 1;
      if (wins[winner]++ == 0) firstWin[winner] = frame;
    }
    if (!nowOver && over) {
      ++restarts;
      Check(livesLeft == kLives && livesRight == kLives && leftY == 0 && rightY == 0,
            "a restart did not start a fresh match", frame);
    }
    lowestLeft = std::max<long>(lowestLeft, leftY);
    lowestRight = std::max<long>(lowestRight, rightY);

    // Now and then, and at the first win screen of every 25th match, what the frame showed.
    const bool firstWinFrame = drewWin && !drewWinBefore;
    if (frame % 5000 == 4999 || (firstWinFrame && (wins[0] + wins[1]) % 25 == 1)) {
      if (!front->Read(graphics.GetDevice())) {
        Check(false, "the front buffer cannot be read", frame);
      } else {
        ++sampled;
        if (drewWin) CheckWin(*front, frame);
        else CheckPlay(*front, frame, leftY, rightY);
      }
    }
    drewWinBefore = drewWin;
    winStreak = drewWin ? winStreak + 1 : 0;
    over = nowOver;

    // The heap.
    if ((frame + 1) % kHeapEvery != 0) continue;
    const std::size_t heap = HeapBytes();
    if (report > 0 && (frame + 1) % report == 0)
      std::printf("frame %ld, %.1f s: heap %zu bytes\n", frame + 1, Since(start), heap);
    if (warmedAt < 0 && frame + 1 >= warmup && wins[0] > 0 && wins[1] > 0 && Since(start) >= settle) {
      warmedAt = frame + 1;
      warmedSeconds = Since(start);
    }
    if (warmedAt >= 0 && frame + 1 <= warmedAt + kFloorFrames) floorAfterWarmup = std::min(floorAfterWarmup, heap);
    if (frame + 1 > frames - kFloorFrames) floorAtEnd = std::min(floorAtEnd, heap);
  }
  const double seconds = Since(start);
  delete front;

  std::printf("frames %ld (play %ld, win screens %ld) in %.1f s, %.0f frames/s\n", frame, playFrames, winFrames,
              seconds, frame / seconds);
  std::printf("matches won: left %ld (first at frame %ld), right %ld (first at frame %ld); restarts %ld; lowest "
              "figures at y %ld and %ld\n",
              wins[0], firstWin[0], wins[1], firstWin[1], restarts, lowestLeft, lowestRight);
  std::printf("front buffer sampled %ld times\n", sampled);

  if (frame != frames) std::printf("FAIL: the game quit after %ld of %ld frames\n", frame, frames), ++failures;
  if (warmedAt < 0 || warmedAt + 2 * kFloorFrames > frames) {
    std::printf("FAIL: the warm-up ended %s; the run is too short to compare the heap after it with the end\n",
                warmedAt < 0 ? "never" : ("at frame " + std::to_string(warmedAt)).c_str());
    ++failures;
  } else {
    const long growth = static_cast<long>(floorAtEnd) - static_cast<long>(floorAfterWarmup);
    std::printf("heap (%s): %zu bytes after the warm-up (%ld frames, %.1f s), %zu bytes at the end; growth %ld "
                "bytes\n",
                kHeapCounter, floorAfterWarmup, warmedAt, warmedSeconds, floorAtEnd, growth);
#ifdef ZR_SOAK_ASAN
    std::printf("the GL driver's large blocks at the end: %zu bytes\n", DriverBlocks::Bytes());
#endif
    if (growth > allowedGrowth) std::printf("FAIL: the heap grew by more than %ld bytes\n", allowedGrowth), ++failures;
  }
  // A match takes a few hundred frames of play: the run must have restarted many.
  const long expected = frames / 2000;
  if (restarts < expected) std::printf("FAIL: only %ld restarts, expected at least %ld\n", restarts, expected), ++failures;
  if (wins[0] == 0 || wins[1] == 0) std::printf("FAIL: a player never won\n"), ++failures;
  if (lowestLeft != kHighestY || lowestRight != kHighestY)
    std::printf("FAIL: the figures did not reach the bottom\n"), ++failures;
  if (sampled < frames / 5000) std::printf("FAIL: too few frames sampled\n"), ++failures;
  std::error_code ignored;
  if (fs::exists(kErrorLogFile, ignored) && fs::file_size(kErrorLogFile, ignored) > 0)
    std::printf("FAIL: error.log was written\n"), ++failures;
  if (failures != 0) return 1;
  std::printf("soak passed\n");
  return 0;
}
