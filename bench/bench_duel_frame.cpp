// One full frame of the duel with 30 shots in flight, drawn by the game's own DrawGameScreen on
// the real platform (the engine's device from zr_DirectXGraphics, the game's pictures and font),
// beside the same screen drawn with SDL_Renderer on its "opengl" driver in the same run: the same
// picture files at the same places (the two figures, the emblem turned and faded, 30 shots), the
// same status line in the same font (the file the platform's D3DX font picks for "Arial", at an em
// of 16 pixels, from a glyph atlas made once with FreeType, one copy per glyph, as a careful SDL
// program draws text), linear
// filtering, alpha blending.
//
// Both at the immediate presentation interval, 1024x768: the game's device is made as the game
// makes it (full screen, the default interval, a 16-bit depth buffer) and the backend's pacing is
// turned off by its test hook, which gives the immediate interval's behaviour. Each side runs in
// a child process of its own, alone on the display as a game is (the game's full-screen device is
// lost while another window has the focus), one after the other in every round so that a change
// in the machine's load falls on both; medians of the rounds are compared. Measured two ways, as
// the other present benchmarks do: frames queued back to back, and each frame finished (glFinish)
// before the next. Per frame: wall time, the processor time of the drawing thread (our code: the
// game, the engine and the platform layer, with the GL driver's work on that thread, which it
// cannot shed), and that of the whole process (llvmpipe's rasterising threads included).
// Target: ours at least as fast (ratio of frame rates >= 1).
//
// Run it on a 1024x768 display (xvfb-run -s "-screen 0 1024x768x24"), where the game's picture
// goes straight into its window. On SDL's offscreen driver the game's full-screen window keeps the
// pbuffer of its first size (800x600), so every frame is drawn in a framebuffer of the device's
// and copied (scaled) into it: slower than on a display.
//
//   bench_duel_frame [--seconds=1] [--rounds=5] [--run-dir=<folder with objects/>]
#include "duel_frame_sides.h"

int main(int argc, char** argv) {
  const double seconds = Option(argc, argv, "seconds", 1.0);
  const int rounds = std::max(1, static_cast<int>(Option(argc, argv, "rounds", 5)));
  const std::string run = StringOption(argc, argv, "run-dir", ZR_BENCH_RUN_DIR);
  const std::string side = StringOption(argc, argv, "side", "");
  if (!side.empty()) return Child(side, seconds, run, {});

  std::vector<double> fps[2][2], thread[2][2], process[2][2];  // [ours, theirs][queued, finished]
  for (int r = 0; r < rounds; ++r) {
    Rates rates[2];
    if (!RunChild("ours", seconds, run, {}, rates[0]) || !RunChild("sdl", seconds, run, {}, rates[1])) {
      std::fprintf(stderr, "round %d failed\n", r);
      return 1;
    }
    for (int who = 0; who < 2; ++who) {
      const Cost* c[2] = {&rates[who].queued, &rates[who].finished};
      for (int way = 0; way < 2; ++way) {
        fps[who][way].push_back(c[way]->fps);
        thread[who][way].push_back(c[way]->threadMs);
        process[who][way].push_back(c[way]->processMs);
      }
    }
  }
  const char* driver = std::getenv("SDL_VIDEODRIVER") != nullptr ? std::getenv("SDL_VIDEODRIVER") : "x11";
  for (int way = 0; way < 2; ++way) {
    const double o = Median(fps[0][way]), t = Median(fps[1][way]);
    std::printf("duel frame, 30 shots, %dx%d immediate (%s), %s\n", kWidth, kHeight, driver,
                way == 0 ? "queued:" : "finished:");
    std::printf("  ours           %7.0f fps  %6.3f ms wall  %6.3f ms CPU drawing thread  %6.3f ms CPU process\n", o,
                1000 / o, Median(thread[0][way]), Median(process[0][way]));
    std::printf("  SDL_Renderer   %7.0f fps  %6.3f ms wall  %6.3f ms CPU drawing thread  %6.3f ms CPU process\n", t,
                1000 / t, Median(thread[1][way]), Median(process[1][way]));
    std::printf("  ratio ours/SDL_Renderer: frame rate %.2f, drawing-thread CPU %.2f (medians of %d rounds)\n", o / t,
                Median(thread[0][way]) / Median(thread[1][way]), rounds);
  }
  return 0;
}
