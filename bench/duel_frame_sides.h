// The duel's frame drawn two ways for the benchmarks: by the game's own DrawGameScreen on the real
// platform (Ours), and the same screen with SDL_Renderer on its "opengl" driver (Theirs), each in
// a child process of its own (RunChild), alone on its display as a game is.
#pragma once

#include <SDL.h>
#include <epoxy/gl.h>
#include <ft2build.h>
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

#include "Application.h"
#include "Duel.h"
#include "Game.h"
#include "GameObjects.h"
#include "Screens.h"
#include "d3d9_bench_support.h"
#include "d3dx9_bench_support.h"
#include "d3d9_testing.h"
#include "errorfile/zr_ErrorException.h"
#include "font_face.h"
#include "win32_internal.h"
#include "win32_testing.h"

using namespace d3d9bench;

namespace {

// How a child draws: at the immediate interval or paced to 60 frames a second as the game is;
// in a window of the picture's size or full screen, letterboxed.
struct Way {
  bool paced = false;
  bool fullScreen = false;
};

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Where the 30 shots are at the start of every frame: spread over the field, both directions, far
// enough from the figures that none hits in the frame.
std::array<Shot, kShotCount> ShotsInFlight() {
  std::array<Shot, kShotCount> s{};
  for (int i = 0; i < kShotCount; ++i)
    s[i] = Shot{150 + i * 23, 60 + (i * 97) % 640, i % 2 == 0 ? 1 : 2, true};
  return s;
}

struct Cost {
  double fps = 0;
  double threadMs = 0;   // drawing thread's processor time per frame
  double processMs = 0;  // whole process's processor time per frame
};

struct Rates {
  Cost queued;
  Cost finished;
};

template <class Frame>
Cost Time(double seconds, bool finish, Frame& frame, int& n) {
  int frames = 0;
  double thread = ThreadCpuSeconds();
  double process = CpuSeconds();
  double start = Seconds();
  while (Seconds() - start < seconds) {
    frame(n++);
    if (finish) glFinish();
    ++frames;
  }
  glFinish();
  double wall = Seconds() - start;
  return Cost{frames / wall, 1000.0 * (ThreadCpuSeconds() - thread) / frames,
              1000.0 * (CpuSeconds() - process) / frames};
}

template <class Frame>
Rates Measure(double seconds, Frame frame) {
  int n = 0;
  for (int i = 0; i < 10; ++i) frame(n++);
  glFinish();
  Rates r;
  r.queued = Time(seconds, false, frame, n);
  r.finished = Time(seconds, true, frame, n);
  return r;
}

// --- Ours: the game's own screen ------------------------------------------------------------------

class Ours {
 public:
  bool Start(bool paced) {
    zr::d3d9::testing::SetPacing(paced);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    mainWindow = CreateMainWindow(instance);
    if (mainWindow == nullptr) return false;
    graphics.Init(mainWindow, false, 16, false, kWidth, kHeight, kErrorLogFile);
    if (graphics.GetDevice() == nullptr) return false;
    // StartGame's drawing half: no input, no sound.
    textureManager.Initialise(graphics.GetDevice());
    if (LoadResources(graphics.GetDevice()) != 0) return false;
    ResetDuel();
    // SDL's offscreen windows get no focus of their own.
    if (std::strcmp(VideoDriver(), "offscreen") == 0) zr::win32::testing::SetFocus(mainWindow, true);
    return true;
  }

  // Draws frames until the window has had the focus and the device has drawn for a second without
  // a loss (on a display the focus comes some time after the window shows, and may come and go
  // at first), recovering the device as the game's main loop does. False after 20 seconds.
  bool Settle() {
    const double start = Seconds();
    double good = start;
    while (Seconds() - start < 20) {
      Frame(0);
      const zr::win32::Activity a = zr::win32::ActivityOf(mainWindow);
      if (!a.active || deviceLost) {
        good = Seconds();
        if (deviceLost && graphics.TestCooperativeLevel() == 1) {
          ReleaseGameDeviceObjects();
          graphics.RestoreObject();
          RestoreGameDeviceObjects();
          deviceLost = false;
        }
        SDL_Delay(10);
      } else if (Seconds() - good >= 1.0) {
        deactivations_ = a.deactivations;
        return true;
      }
    }
    return false;
  }

  Rates Run(double seconds) {
    return Measure(seconds, [this](int i) { Frame(i); });
  }

  // Whether the frames measured were all shown: no loss of the focus or the device meanwhile
  // (a lost device's Present returns at once), and the last frame kept its 30 shots.
  bool Clean() const {
    return !deviceLost && zr::win32::ActivityOf(mainWindow).deactivations == deactivations_ &&
           std::count_if(std::begin(shots), std::end(shots), [](const Shot& s) { return s.active; }) == kShotCount;
  }

 private:
  void Frame(int i) {
    MSG msg;
    if ((i & 63) == 0)
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    std::copy(start_.begin(), start_.end(), shots);
    framesPerSecond = 60;
    DrawGameScreen();
  }

  const std::array<Shot, kShotCount> start_ = ShotsInFlight();
  std::uint64_t deactivations_ = 0;
};

// --- Theirs: the same screen with SDL_Renderer ---------------------------------------------------

SDL_Texture* LoadPicture(SDL_Renderer* renderer, const std::string& file, int& w, int& h) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, file.c_str()) == 0) return nullptr;
  image.format = PNG_FORMAT_RGBA;
  std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) return nullptr;
  w = static_cast<int>(image.width);
  h = static_cast<int>(image.height);
  SDL_Texture* t = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, w, h);
  if (t == nullptr) return nullptr;
  SDL_UpdateTexture(t, nullptr, pixels.data(), w * 4);
  SDL_SetTextureBlendMode(t, SDL_BLENDMODE_BLEND);
  return t;
}

// The font file of the game's status line: the one the platform's D3DX font chooses for the game's
// description (face "Arial", height 0).
std::string FontFile() {
  D3DXFONT_DESCA desc{};
  std::strcpy(desc.FaceName, "Arial");
  std::unique_ptr<zr::d3dx9::FontFace> face;
  if (FAILED(zr::d3dx9::FontFace::Open(desc, &face))) return {};
  return face->File();
}

class Theirs {
 public:
  // The window, the renderer and SDL's video live until the process ends, as the platform's
  // windows do: destroyed, they let the GL driver drop memory it still points to (leaks to
  // LeakSanitizer) and quitting SDL's video unloads the driver.
  ~Theirs() {
    if (face_ != nullptr) FT_Done_Face(face_);
    if (library_ != nullptr) FT_Done_FreeType(library_);
  }

  bool Start(const std::string& objects, Way way) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    paced_ = way.paced;
    // Full screen covers the display (also where no window manager acts on SDL's request), and
    // SDL_Renderer letterboxes the picture itself.
    SDL_DisplayMode display{};
    if (way.fullScreen && SDL_GetDesktopDisplayMode(0, &display) != 0) return false;
    window_ = way.fullScreen ? SDL_CreateWindow("peer", 0, 0, display.w, display.h,
                                                SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN | SDL_WINDOW_FULLSCREEN_DESKTOP)
                             : SDL_CreateWindow("peer", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (window_ == nullptr) return false;
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED);  // no vsync: immediate, or our pacing
    if (renderer_ == nullptr || (way.fullScreen && SDL_RenderSetLogicalSize(renderer_, kWidth, kHeight) != 0))
      return false;
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(renderer_, &info);
    if (std::strcmp(info.name, "opengl") != 0) std::printf("peer renderer: %s\n", info.name);
    const std::string t = objects + "/textures/";
    left_ = LoadPicture(renderer_, t + "velkor1.png", leftW_, leftH_);
    right_ = LoadPicture(renderer_, t + "velkor2.png", rightW_, rightH_);
    emblem_ = LoadPicture(renderer_, t + "emblem.PNG", emblemW_, emblemH_);
    shot_ = LoadPicture(renderer_, t + "shoot.PNG", shotW_, shotH_);
    return left_ != nullptr && right_ != nullptr && emblem_ != nullptr && shot_ != nullptr && MakeAtlas();
  }

  Rates Run(double seconds) {
    const std::array<Shot, kShotCount> start = ShotsInFlight();
    SDL_Event event;
    float angle = 0;
    int alpha = 0, alphaStep = 1;
    int fps = 60;
    return Measure(seconds, [&](int i) {
      if ((i & 63) == 0)
        while (SDL_PollEvent(&event) != 0) {
        }
      SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 0xFF);
      SDL_RenderClear(renderer_);
      Copy(left_, 50, 0, leftW_, leftH_);
      Copy(right_, 950, 0, rightW_, rightH_);
      SDL_SetTextureAlphaMod(emblem_, static_cast<Uint8>(alpha));
      SDL_Rect place{325, 204, emblemW_, emblemH_};
      SDL_RenderCopyEx(renderer_, emblem_, nullptr, &place, angle * 57.29578f, nullptr, SDL_FLIP_NONE);
      for (const Shot& s : start) Copy(shot_, s.x + (s.direction == 1 ? 20 : -20), s.y, shotW_, shotH_);
      angle += 1.0f / 60.0f;
      alpha += alphaStep;
      if (alpha == 255 || alpha == 0) alphaStep = -alphaStep;
      char status[256];
      std::snprintf(status, sizeof status, "Velkor Engine Framerate:%d Leben Links: %d / Rechts %d", fps, 100, 100);
      Text(status, 10, 10);
      if (paced_) {  // as the device's Present: to GL, wait for the frame's turn, swap
        SDL_RenderFlush(renderer_);
        glFlush();
        pacer_.WaitForTurn();
        std::int64_t swap = d3dx9bench::Pacer60::Now();
        SDL_RenderPresent(renderer_);
        pacer_.Presented(swap);
      } else {
        SDL_RenderPresent(renderer_);
      }
    });
  }

 private:
  struct Glyph {
    SDL_Rect source{};
    int left = 0, top = 0, advance = 0;
  };

  void Copy(SDL_Texture* t, int x, int y, int w, int h) {
    SDL_Rect d{x, y, w, h};
    SDL_RenderCopy(renderer_, t, nullptr, &d);
  }

  // Every printable ASCII glyph in one 256x256 texture, white with the glyph's coverage as alpha.
  bool MakeAtlas() {
    std::string file = FontFile();
    if (file.empty() || FT_Init_FreeType(&library_) != 0 || FT_New_Face(library_, file.c_str(), 0, &face_) != 0)
      return false;
    FT_Set_Pixel_Sizes(face_, 0, 16);
    ascender_ = static_cast<int>(face_->size->metrics.ascender >> 6);
    constexpr int kSide = 256;
    std::vector<Uint32> pixels(kSide * kSide, 0x00FFFFFFu);
    int x = 0, y = 0, row = 0;
    for (int c = 32; c < 127; ++c) {
      if (FT_Load_Char(face_, static_cast<FT_ULong>(c), FT_LOAD_RENDER) != 0) return false;
      const FT_Bitmap& b = face_->glyph->bitmap;
      const int w = static_cast<int>(b.width), h = static_cast<int>(b.rows);
      if (x + w + 1 > kSide) x = 0, y += row + 1, row = 0;
      if (y + h > kSide) return false;
      for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
          pixels[(y + j) * kSide + x + i] = static_cast<Uint32>(b.buffer[j * b.pitch + i]) << 24 | 0x00FFFFFFu;
      glyphs_[c] = Glyph{SDL_Rect{x, y, w, h}, face_->glyph->bitmap_left, face_->glyph->bitmap_top,
                         static_cast<int>(face_->glyph->advance.x >> 6)};
      x += w + 1;
      row = std::max(row, h);
    }
    atlas_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, kSide, kSide);
    if (atlas_ == nullptr) return false;
    SDL_UpdateTexture(atlas_, nullptr, pixels.data(), kSide * 4);
    SDL_SetTextureBlendMode(atlas_, SDL_BLENDMODE_BLEND);
    SDL_SetTextureColorMod(atlas_, 0xFF, 0xFF, 0x00);  // the status line's yellow
    return true;
  }

  void Text(const char* text, int x, int y) {
    const int baseline = y + ascender_;
    FT_UInt previous = 0;
    for (const char* p = text; *p != 0; ++p) {
      const int c = static_cast<unsigned char>(*p);
      if (c < 32 || c > 126) continue;
      FT_UInt index = FT_Get_Char_Index(face_, static_cast<FT_ULong>(c));
      if (previous != 0 && FT_HAS_KERNING(face_)) {
        FT_Vector k{};
        FT_Get_Kerning(face_, previous, index, FT_KERNING_DEFAULT, &k);
        x += static_cast<int>(k.x >> 6);
      }
      previous = index;
      const Glyph& g = glyphs_[c];
      if (g.source.w > 0) {
        SDL_Rect d{x + g.left, baseline - g.top, g.source.w, g.source.h};
        SDL_RenderCopy(renderer_, atlas_, &g.source, &d);
      }
      x += g.advance;
    }
  }

  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture *left_ = nullptr, *right_ = nullptr, *emblem_ = nullptr, *shot_ = nullptr, *atlas_ = nullptr;
  int leftW_ = 0, leftH_ = 0, rightW_ = 0, rightH_ = 0, emblemW_ = 0, emblemH_ = 0, shotW_ = 0, shotH_ = 0;
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
  int ascender_ = 0;
  Glyph glyphs_[127];
  bool paced_ = false;
  d3dx9bench::Pacer60 pacer_;
};

// A child: draws one side's frames and prints its costs on one line, queued then finished.
int Child(const std::string& side, double seconds, const std::string& run, Way way) {
  // The game finds its files from duel/ in its run folder.
  if (chdir((run + "/duel").c_str()) != 0) {
    std::fprintf(stderr, "no run folder %s/duel\n", run.c_str());
    return 1;
  }
  Rates r;
  if (side == "ours") {
    Ours ours;
    if (!ours.Start(way.paced)) {
      std::fprintf(stderr, "the game's screen could not be set up\n");
      return 1;
    }
    for (int attempt = 0;; ++attempt) {
      if (!ours.Settle()) {
        std::fprintf(stderr, "the game's window never kept the focus\n");
        return 1;
      }
      r = ours.Run(seconds);
      if (ours.Clean()) break;
      if (attempt == 3) {
        std::fprintf(stderr, "the game's frames were not all shown (focus or device lost, or shots gone)\n");
        return 1;
      }
    }
  } else {
    Theirs theirs;
    if (!theirs.Start(run + "/objects", way)) {
      std::fprintf(stderr, "the SDL_Renderer peer could not be set up\n");
      return 1;
    }
    r = theirs.Run(seconds);
  }
  std::printf("%f %f %f %f %f %f\n", r.queued.fps, r.queued.threadMs, r.queued.processMs, r.finished.fps,
              r.finished.threadMs, r.finished.processMs);
  return 0;
}

// Runs a child for one side (with `environment`, by default this process's) and reads its line.
bool RunChild(const char* side, double seconds, const std::string& run, Way way, Rates& r,
              char** environment = environ) {
  std::string sideArg = std::string("--side=") + side;
  std::string secondsArg = "--seconds=" + std::to_string(seconds);
  std::string runArg = "--run-dir=" + run;
  std::string pacedArg = std::string("--paced=") + (way.paced ? "1" : "0");
  std::string fullArg = std::string("--full-screen=") + (way.fullScreen ? "1" : "0");
  char* args[] = {const_cast<char*>("bench_duel_frame"), sideArg.data(), secondsArg.data(), runArg.data(),
                  pacedArg.data(), fullArg.data(), nullptr};
  std::string out;
  return SpawnAndRead(args, out, environment) &&
         std::sscanf(out.c_str(), "%lf %lf %lf %lf %lf %lf", &r.queued.fps, &r.queued.threadMs, &r.queued.processMs,
                     &r.finished.fps, &r.finished.threadMs, &r.finished.processMs) == 6;
}

}  // namespace
