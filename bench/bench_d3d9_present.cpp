// Clear + Present at the immediate interval on a 1024x768 window, beside SDL_Renderer's
// SDL_RenderClear + SDL_RenderPresent on its "opengl" driver with a window of the same size, in
// the same run. Present does more than the peer's swap (the back buffer is a framebuffer of its
// own that is copied, flipped, into the window), so the ratio shows what that costs. Two ways:
// as fast as frames can be queued (llvmpipe may fold a peer's clear-only frames into nothing),
// and with each frame finished (glFinish) before the next, so that every frame's work is done.
//
//   bench_d3d9_present [--seconds=3]
#include <SDL.h>
#include <epoxy/gl.h>

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
    std::printf("peer renderer: %s\n", info.name);
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
  double seconds = Option(argc, argv, "seconds", 3.0);
  Rates ours = Ours(seconds);
  Rates theirs = Theirs(seconds);
  const char* driver = std::getenv("SDL_VIDEODRIVER") != nullptr ? std::getenv("SDL_VIDEODRIVER") : "x11";
  std::printf("clear+present %dx%d immediate (%s), queued:   ours %.0f fps, SDL_Renderer opengl %.0f fps, ratio %.2f\n",
              kWidth, kHeight, driver, ours.queued, theirs.queued, theirs.queued > 0 ? ours.queued / theirs.queued : 0.0);
  std::printf("clear+present %dx%d immediate (%s), finished: ours %.0f fps, SDL_Renderer opengl %.0f fps, ratio %.2f\n",
              kWidth, kHeight, driver, ours.finished, theirs.finished,
              theirs.finished > 0 ? ours.finished / theirs.finished : 0.0);
  return ours.queued > 0 && theirs.queued > 0 ? 0 : 1;
}
