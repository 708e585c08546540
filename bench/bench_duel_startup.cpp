// Start-up of the game: from process start to the first Present of the game screen, with the
// music and the shot's sound loaded (and the music playing), on software OpenGL at 1024x768; the
// target is 0.5 s. The program times fresh copies of itself. Each child starts the game as WinMain
// does (the frame counter, the main window, the device, StartGame: pictures, font, keyboard and
// mouse, DirectMusic with the SoundFont, the MIDI music and the WAV effect), draws the first game
// frame as the main loop does (RunGameFrame, which ends in Present), and tells the parent on a
// pipe when each step is done, on the clock the parent started its watch on. Then it reads the
// picture back and checks that the game screen is drawn (the status line in yellow at 10,10).
//
// The start-up as a player meets it: no environment is changed, so on a machine without a sound
// card SDL tries ALSA first and falls back to its dummy driver, as the game does there.
//
//   bench_duel_startup [--runs=5] [--run-dir=<folder with objects/>]
#include <SDL.h>
#include <epoxy/gl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Application.h"
#include "Game.h"
#include "GameObjects.h"
#include "d3d9_bench_support.h"
#include "errorfile/zr_ErrorException.h"

using namespace d3d9bench;

namespace {

// The steps a child reports, in order.
constexpr const char* kSteps[] = {"window", "device", "game started", "first Present", "picture finished"};
constexpr int kStepCount = 5;

double Monotonic() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Whether the front buffer shows the status line: yellow pixels in 10..420 x 10..30.
bool ShowsStatusLine() {
  IDirect3DDevice9* device = graphics.GetDevice();
  IDirect3DSurface9* surface = nullptr;
  if (device->CreateOffscreenPlainSurface(1024, 768, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &surface, nullptr) != D3D_OK)
    return false;
  int yellow = 0;
  D3DLOCKED_RECT locked{};
  if (device->GetFrontBufferData(0, surface) == D3D_OK && surface->LockRect(&locked, nullptr, D3DLOCK_READONLY) == D3D_OK) {
    for (int y = 10; y < 30; ++y)
      for (int x = 10; x < 420; ++x) {
        std::uint32_t p = static_cast<const std::uint32_t*>(locked.pBits)[y * (locked.Pitch / 4) + x];
        yellow += ((p >> 16) & 0xFF) > 150 && ((p >> 8) & 0xFF) > 150 && (p & 0xFF) < 100;
      }
    surface->UnlockRect();
  }
  surface->Release();
  return yellow > 200;
}

int Child(int reportFd, const std::string& run) {
  auto report = [reportFd](int step) {
    char line[64];
    int n = std::snprintf(line, sizeof line, "%d %.9f\n", step, Monotonic());
    return write(reportFd, line, static_cast<std::size_t>(n)) == n;
  };
  if (chdir((run + "/duel").c_str()) != 0) return 1;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  LARGE_INTEGER frequency;
  if (!QueryPerformanceFrequency(&frequency)) return 1;
  mainWindow = CreateMainWindow(instance);
  if (mainWindow == nullptr || !report(0)) return 1;
  graphics.Init(mainWindow, false, 16, false, 1024, 768, kErrorLogFile);
  if (graphics.GetDevice() == nullptr || !report(1)) return 1;
  if (StartGame(instance) != 0 || !report(2)) return 1;
  RunGameFrame();
  if (!report(3)) return 1;
  glFinish();
  if (!report(4)) return 1;
  // The game screen, read back. Under X11 the first frame's read-back can come back black while
  // the window takes its full-screen size, so a few more frames may be drawn for the look.
  for (int frame = 1; !ShowsStatusLine(); ++frame) {
    if (frame == 10) {
      std::fprintf(stderr, "the game's frames do not show the status line\n");
      return 1;
    }
    std::fprintf(stderr, "frame %d read back without the status line; drawing another\n", frame);
    RunGameFrame();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string run = StringOption(argc, argv, "run-dir", ZR_BENCH_RUN_DIR);
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--child") == 0) return Child(std::atoi(argv[i + 1]), run);
  const int runs = std::max(1, static_cast<int>(Option(argc, argv, "runs", 5)));

  std::vector<double> times[kStepCount];
  for (int r = 0; r < runs; ++r) {
    int fds[2];
    if (pipe(fds) != 0) return 1;
    std::string fd = std::to_string(fds[1]);
    std::string runArg = "--run-dir=" + run;
    char* childArgs[] = {argv[0], const_cast<char*>("--child"), fd.data(), runArg.data(), nullptr};
    const double start = Monotonic();
    pid_t pid = 0;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, childArgs, environ) != 0) return 1;
    close(fds[1]);
    std::string out;
    char buffer[256];
    ssize_t n = 0;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    double at[kStepCount];
    int seen = 0;
    const char* p = out.c_str();
    int step = 0, used = 0;
    double when = 0;
    while (std::sscanf(p, "%d %lf\n%n", &step, &when, &used) == 2 && step == seen && seen < kStepCount) {
      at[seen++] = when - start;
      p += used;
    }
    if (seen != kStepCount || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "run %d: the child did not draw the game's first frame (%d steps)\n", r, seen);
      return 1;
    }
    for (int s = 0; s < kStepCount; ++s) times[s].push_back(at[s]);
  }

  const char* driver = std::getenv("SDL_VIDEODRIVER") != nullptr ? std::getenv("SDL_VIDEODRIVER") : "x11";
  std::printf("duel start-up, process start to each step (%s), medians of %d runs:\n", driver, runs);
  for (int s = 0; s < kStepCount; ++s) {
    auto [low, high] = std::minmax_element(times[s].begin(), times[s].end());
    std::printf("  %-17s %.3f s (%.3f-%.3f)\n", kSteps[s], Median(times[s]), *low, *high);
  }
  const double first = Median(times[3]);
  std::printf("first Present of the game screen: %.3f s, target 0.5 s, ratio to target %.2f\n", first, first / 0.5);
  return 0;
}
