// Clear + Present at the immediate interval on a 1024x768 window, beside SDL_Renderer's
// SDL_RenderClear + SDL_RenderPresent on its "opengl" driver with a window of the same size, in
// the same run. The back buffer has the window's size, so the device draws straight into the
// window as the peer does. Two ways: as fast as frames can be queued (offscreen, where swapping
// flushes nothing, llvmpipe folds the peer's clear-only frames into nothing), and with each frame
// finished (glFinish) before the next, so that every frame's work is done.
//
// Rounds alternate between the two so that a change in the machine's load falls on both; the
// medians of the rounds are compared.
//
//   bench_d3d9_present [--seconds=1] [--rounds=5]
#include <SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <vector>

#include "d3d9_bench_support.h"

using namespace d3d9bench;

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

struct Rates {
  double queued = 0;
  double finished = 0;
};

// Frames per second of `frame` over `seconds`, queued and finished one by one.
template <class Frame>
Rates Measure(double seconds, Frame frame) {
  Rates r;
  for (int i = 0; i < 10; ++i) frame(i);
  glFinish();
  int frames = 0;
  double start = Seconds();
  while (Seconds() - start < seconds) frame(frames++);
  glFinish();
  r.queued = frames / (Seconds() - start);
  frames = 0;
  start = Seconds();
  while (Seconds() - start < seconds) {
    frame(frames++);
    glFinish();
  }
  r.finished = frames / (Seconds() - start);
  return r;
}

Rates Ours(double seconds) {
  HWND window = MakeWindow(kWidth, kHeight);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  IDirect3DDevice9* device = window != nullptr ? MakeDevice(d3d, window, D3DPRESENT_INTERVAL_IMMEDIATE) : nullptr;
  if (device == nullptr) return {};
  MSG msg;
  Rates fps = Measure(seconds, [&](int i) {
    if ((i & 63) == 0)
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(i & 0xFF, 0x40, 0x80), 1, 0);
    device->Present(nullptr, nullptr, nullptr, nullptr);
  });
  device->Release();
  d3d->Release();
  DestroyWindow(window);
  return fps;
}

Rates Theirs(double seconds) {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return {};
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
  SDL_Window* window = SDL_CreateWindow("peer", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
  SDL_Renderer* renderer = window != nullptr ? SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
  Rates fps;
  if (renderer != nullptr) {
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(renderer, &info);
    if (std::strcmp(info.name, "opengl") != 0) std::printf("peer renderer: %s\n", info.name);
    SDL_Event e;
    fps = Measure(seconds, [&](int i) {
      if ((i & 63) == 0)
        while (SDL_PollEvent(&e) != 0) {
        }
      SDL_SetRenderDrawColor(renderer, static_cast<Uint8>(i), 0x40, 0x80, 0xFF);
      SDL_RenderClear(renderer);
      SDL_RenderPresent(renderer);
    });
    SDL_DestroyRenderer(renderer);
  }
  if (window != nullptr) SDL_DestroyWindow(window);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return fps;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = Option(argc, argv, "seconds", 1.0);
  int rounds = std::max(1, static_cast<int>(Option(argc, argv, "rounds", 5)));
  std::vector<double> ours[2];    // queued, finished
  std::vector<double> theirs[2];
  for (int r = 0; r < rounds; ++r) {
    Rates a = Ours(seconds);
    Rates b = Theirs(seconds);
    if (a.queued <= 0 || b.queued <= 0) return 1;
    ours[0].push_back(a.queued), ours[1].push_back(a.finished);
    theirs[0].push_back(b.queued), theirs[1].push_back(b.finished);
  }
  const char* driver = std::getenv("SDL_VIDEODRIVER") != nullptr ? std::getenv("SDL_VIDEODRIVER") : "x11";
  for (int i = 0; i < 2; ++i) {
    double o = Median(ours[i]);
    double t = Median(theirs[i]);
    auto [low, high] = std::minmax_element(ours[i].begin(), ours[i].end());
    std::printf("clear+present %dx%d immediate (%s), %s ours %.0f fps (%.0f-%.0f), SDL_Renderer opengl %.0f fps, "
                "ratio %.2f (medians of %d rounds)\n",
                kWidth, kHeight, driver, i == 0 ? "queued:  " : "finished:", o, *low, *high, t, o / t, rounds);
  }
  return 0;
}
