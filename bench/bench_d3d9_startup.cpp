// Start-up: from process start to the first presented frame (window, device, Clear, Present),
// the target being 0.4 s on software OpenGL. The program times fresh copies of itself: each child
// reports on a pipe as soon as its first Present returns.
//
//   bench_d3d9_startup [--runs=5]
#include <SDL.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "d3d9_bench_support.h"


using namespace d3d9bench;

namespace {

int Child(int reportFd) {
  HWND window = MakeWindow(1024, 768);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  IDirect3DDevice9* device = window != nullptr ? MakeDevice(d3d, window, D3DPRESENT_INTERVAL_DEFAULT) : nullptr;
  if (device == nullptr) return 1;
  device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0x20, 0x40, 0x80), 1, 0);
  if (device->Present(nullptr, nullptr, nullptr, nullptr) != D3D_OK) return 1;
  char done = 1;
  if (write(reportFd, &done, 1) != 1) return 1;
  device->Release();
  d3d->Release();
  DestroyWindow(window);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--child") == 0) return Child(std::atoi(argv[i + 1]));
  int runs = std::max(1, static_cast<int>(Option(argc, argv, "runs", 5)));
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    int fds[2];
    if (pipe(fds) != 0) return 1;
    std::string fd = std::to_string(fds[1]);
    char* childArgs[] = {argv[0], const_cast<char*>("--child"), fd.data(), nullptr};
    double start = Seconds();
    pid_t pid = 0;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, childArgs, environ) != 0) return 1;
    close(fds[1]);
    char done = 0;
    bool reported = read(fds[0], &done, 1) == 1;
    double took = Seconds() - start;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!reported || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "run %d: the child presented nothing\n", r);
      return 1;
    }
    times.push_back(took);
  }
  std::sort(times.begin(), times.end());
  std::printf("start-up to first frame (%s): median %.3f s, best %.3f s, worst %.3f s over %d runs\n",
              std::getenv("SDL_VIDEODRIVER") != nullptr ? std::getenv("SDL_VIDEODRIVER") : "x11",
              times[times.size() / 2], times.front(), times.back(), runs);
  return 0;
}
