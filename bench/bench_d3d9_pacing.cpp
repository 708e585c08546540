// Frames per second and processor use of a Clear + Present loop at the default presentation
// interval: the target is the display's refresh (60 +/- 1 where it reports none) at under 10% of
// one core, whether the swap waits (it does not under Xvfb or SDL's offscreen driver) or not.
//
//   bench_d3d9_pacing [--seconds=5] [--width=640] [--height=480]
#include <SDL.h>

#include "d3d9_bench_support.h"

using namespace d3d9bench;

int main(int argc, char** argv) {
  double seconds = Option(argc, argv, "seconds", 5.0);
  int width = static_cast<int>(Option(argc, argv, "width", 640));
  int height = static_cast<int>(Option(argc, argv, "height", 480));
  HWND window = MakeWindow(width, height);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  IDirect3DDevice9* device = window != nullptr ? MakeDevice(d3d, window, D3DPRESENT_INTERVAL_DEFAULT) : nullptr;
  if (device == nullptr) {
    std::fprintf(stderr, "no device (video driver %s)\n", VideoDriver());
    return 1;
  }
  MSG msg;
  // One frame first so that start-up costs stay out of the numbers.
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0);
  device->Present(nullptr, nullptr, nullptr, nullptr);
  int frames = 0;
  double cpu0 = CpuSeconds();
  double start = Seconds();
  double now = start;
  while (now - start < seconds) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(frames & 0xFF, 0x40, 0x80), 1, 0);
    if (FAILED(device->Present(nullptr, nullptr, nullptr, nullptr))) break;
    ++frames;
    now = Seconds();
  }
  double wall = now - start;
  double cpu = CpuSeconds() - cpu0;
  std::printf("pacing (%s, %dx%d, default interval): %d frames in %.3f s = %.2f fps, cpu %.1f%% of one core\n",
              VideoDriver(), width, height, frames, wall, frames / wall, 100.0 * cpu / wall);
  device->Release();
  d3d->Release();
  DestroyWindow(window);
  return frames > 0 ? 0 : 1;
}
