// Sprite throughput at 60 frames per second on a 1024x768 window: the most 32x32 sprites, each
// rotated and alpha-blended and each drawn by its own zr_Sprite::Render on the real platform (the
// engine's device from zr_DirectXGraphics: A8R8G8B8, linear filtering, the alpha test), that a
// frame holds at the default presentation interval; beside SDL_Renderer's SDL_RenderCopyEx on its
// "opengl" driver, counted the same way in the same run: the same picture file, the same places,
// angles and alpha, linear filtering, frames flushed to GL and paced to 60 a second as the device
// paces them, each finished (glFinish) before the next. The game's device has a 16-bit depth
// buffer: ours is counted with it and without. And the limit of this machine for the same picture,
// counted the same way: the same quads (texture, places, angles, alpha, linear filtering) sent in
// one instanced draw call with the smallest shaders that draw them, nothing done per sprite but
// writing its centre and angle.
//
// A count holds when a trial of `seconds` at that count runs at 59 frames a second or more (a
// trial that misses is run twice more: other work on the machine only slows frames down). Counts
// double from 128 until one does not hold, then the gap is halved down to 2%. Every drawer runs
// in a process of its own, one after the other in each round; with several rounds the medians are
// compared. --size draws sprites of another side (8: where the cost of each draw call, not of
// each pixel, decides).
//
// Beside the counts, the processor time a frame costs at a count all hold (--cost-at), every
// thread counted: it depends less on how much of the machine other work takes.
//
//   bench_d3dx9_sprites [--seconds=1] [--rounds=1] [--max=32768] [--size=32] [--cost-at=1000]
//                       [--verbose=1] [--counts=1000,2000] [--drawer=ours16|ours0|sdl|limit]
#include <SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "d3dx9_bench_support.h"
#include "errorfile/zr_ErrorException.h"
#include "graphics/zr_DirectXGraphics.h"
#include "graphics/zr_Sprite.h"
#include "graphics/zr_TextureManager.h"

using namespace d3d9bench;
using namespace d3dx9bench;

namespace {

constexpr double kHolds = 59.0;
constexpr D3DCOLOR kBackground = D3DCOLOR_XRGB(0x10, 0x20, 0x40);
constexpr int kAlpha = 200;

int g_side = kSprite;

// Where sprite i goes and how far it is turned in a frame.
int X(int i) { return static_cast<int>((static_cast<unsigned>(i) * 7919u) % static_cast<unsigned>(kWidth - g_side)); }
int Y(int i) { return static_cast<int>((static_cast<unsigned>(i) * 104729u) % static_cast<unsigned>(kHeight - g_side)); }
float Radians(int i, int frame) { return 0.1f * static_cast<float>(i % 63) + 0.05f * static_cast<float>(frame); }

// Something that draws `count` sprites in a frame, presents it and waits until GL has drawn it:
// offscreen, llvmpipe drops a frame's drawing that has not started when the next frame clears
// (3000 sprites "cost" 1.5 ms a frame unfinished, 26 ms finished), so unfinished frames would
// count work never done.
struct Drawer {
  virtual ~Drawer() = default;
  virtual void Prepare(int count) = 0;
  virtual void Frame(int count, int frame) = 0;
};

struct Trial {
  double fps = 0;
  double cpuMs = 0;  // processor time of the whole process per frame, every thread
};

Trial Run(Drawer& d, int count, double seconds) {
  d.Prepare(count);
  for (int i = 0; i < 10; ++i) d.Frame(count, i);
  int frames = 0;
  double cpu = CpuSeconds();
  double start = Seconds();
  while (Seconds() - start < seconds) d.Frame(count, 10 + frames++);
  double wall = Seconds() - start;
  return Trial{frames / wall, 1000.0 * (CpuSeconds() - cpu) / std::max(frames, 1)};
}

double FramesPerSecond(Drawer& d, int count, double seconds) { return Run(d, count, seconds).fps; }

// Other work on the machine only ever lowers the rate: a count that misses is tried twice more
// (one hiccup of the machine's in a trial of a second misses two frames, and with one retry a
// drawer that held 8,000 sprites came out at 4,000 now and then).
double BestOfThree(Drawer& d, int count, double seconds) {
  double fps = 0;
  for (int i = 0; i < 3 && fps < kHolds; ++i) fps = std::max(fps, FramesPerSecond(d, count, seconds));
  return fps;
}

int MostThatHold(Drawer& d, double seconds, int most, bool verbose) {
  int holds = 0;
  int fails = 0;
  for (int n = 128; n <= most; n *= 2) {
    double fps = BestOfThree(d, n, seconds);
    if (verbose) std::printf("  %6d sprites: %.1f fps\n", n, fps);
    if (fps < kHolds) {
      fails = n;
      break;
    }
    holds = n;
  }
  if (fails == 0) return holds;  // held up to the most asked for
  while (fails - holds > std::max(holds / 50, 4)) {
    int mid = (holds + fails) / 2;
    double fps = BestOfThree(d, mid, seconds);
    if (verbose) std::printf("  %6d sprites: %.1f fps\n", mid, fps);
    (fps >= kHolds ? holds : fails) = mid;
  }
  return holds;
}

class Ours final : public Drawer {
 public:
  Ours(const std::string& picture, int depthBits) : picture_(picture) {
    window_ = MakeWindow(kWidth, kHeight);
    graphics_.Init(window_, true, depthBits, false, kWidth, kHeight, "");
    textures_.Initialise(graphics_.GetDevice());
  }
  ~Ours() override {
    sprites_.clear();
    DestroyWindow(window_);
  }
  void Prepare(int count) override {
    while (static_cast<int>(sprites_.size()) < count) {
      auto s = std::make_unique<zr_Sprite>();
      s->CreateSprite(graphics_.GetDevice(), &textures_, picture_.c_str(), D3DXSPRITE_ALPHABLEND, D3DPOOL_MANAGED, 0);
      s->SetAlpha(kAlpha);
      sprites_.push_back(std::move(s));
    }
  }
  void Frame(int count, int frame) override {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    graphics_.Clear(kBackground, 0, 0, 0, 0);
    graphics_.BeginScene();
    for (int i = 0; i < count; ++i) {
      zr_Sprite& s = *sprites_[static_cast<std::size_t>(i)];
      s.SetRotation(Radians(i, frame));
      s.Render(X(i), Y(i));
    }
    graphics_.Present();
    glFinish();  // see Drawer
  }

 private:
  std::string picture_;
  HWND window_ = nullptr;
  zr_DirectXGraphics graphics_;
  zr_TextureManager textures_;
  std::vector<std::unique_ptr<zr_Sprite>> sprites_;
};

class Theirs final : public Drawer {
 public:
  Theirs() {
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    window_ = SDL_CreateWindow("peer", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (window_ != nullptr) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED);
    if (renderer_ == nullptr) return;
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(renderer_, &info);
    if (std::strcmp(info.name, "opengl") != 0) std::printf("peer renderer: %s\n", info.name);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, g_side, g_side);
    std::vector<std::uint32_t> pixels = BallPixels(g_side);
    SDL_UpdateTexture(texture_, nullptr, pixels.data(), g_side * 4);
    SDL_SetTextureBlendMode(texture_, SDL_BLENDMODE_BLEND);
    SDL_SetTextureAlphaMod(texture_, kAlpha);
  }
  ~Theirs() override {
    if (texture_ != nullptr) SDL_DestroyTexture(texture_);
    if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  bool Ready() const { return texture_ != nullptr; }
  void Prepare(int) override {}
  void Frame(int count, int frame) override {
    SDL_Event e;
    while (SDL_PollEvent(&e) != 0) {
    }
    SDL_SetRenderDrawColor(renderer_, 0x10, 0x20, 0x40, 0xFF);
    SDL_RenderClear(renderer_);
    for (int i = 0; i < count; ++i) {
      SDL_Rect to{X(i), Y(i), g_side, g_side};
      SDL_RenderCopyEx(renderer_, texture_, nullptr, &to, Radians(i, frame) * 180.0 / M_PI, nullptr, SDL_FLIP_NONE);
    }
    // As the device's Present: the frame goes to GL, then waits for its turn, then swaps.
    SDL_RenderFlush(renderer_);
    glFlush();
    pacer_.WaitForTurn();
    std::int64_t start = Pacer60::Now();
    SDL_RenderPresent(renderer_);
    pacer_.Presented(start);
    glFinish();
  }

 private:
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  Pacer60 pacer_;
};

// The limit: per frame one buffer of (centre x, centre y, angle) per sprite and one draw; the vertex
// shader turns each sprite's corners, the fragment shader samples and fades.
class Limit final : public Drawer {
 public:
  Limit() {
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    window_ = SDL_CreateWindow("limit", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (window_ != nullptr) context_ = SDL_GL_CreateContext(window_);
    SDL_GL_ResetAttributes();
    if (context_ == nullptr) return;
    SDL_GL_SetSwapInterval(0);  // paced below, as the others are
    program_ = Program();
    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenBuffers(1, &buffer_);
    glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    glVertexAttribDivisor(0, 1);
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    std::vector<std::uint32_t> pixels = BallPixels(g_side);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, g_side, g_side, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glUseProgram(program_);
    glUniform2f(glGetUniformLocation(program_, "halfSide"), g_side / 2.0f, g_side / 2.0f);
    glUniform2f(glGetUniformLocation(program_, "toClip"), 2.0f / kWidth, -2.0f / kHeight);
    glUniform1f(glGetUniformLocation(program_, "alpha"), kAlpha / 255.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0x10 / 255.0f, 0x20 / 255.0f, 0x40 / 255.0f, 1);
  }
  ~Limit() override {
    if (context_ != nullptr) SDL_GL_DeleteContext(context_);
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  bool Ready() const { return program_ != 0 && glGetError() == GL_NO_ERROR; }
  void Prepare(int count) override { sprites_.resize(static_cast<std::size_t>(count) * 3); }
  void Frame(int count, int frame) override {
    SDL_Event e;
    while (SDL_PollEvent(&e) != 0) {
    }
    for (int i = 0; i < count; ++i) {
      float* s = &sprites_[static_cast<std::size_t>(i) * 3];
      s[0] = static_cast<float>(X(i)) + g_side / 2.0f;
      s[1] = static_cast<float>(Y(i)) + g_side / 2.0f;
      s[2] = Radians(i, frame);
    }
    glClear(GL_COLOR_BUFFER_BIT);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(float) * 3 * count), sprites_.data(), GL_STREAM_DRAW);
    glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, count);
    glFlush();
    pacer_.WaitForTurn();
    std::int64_t start = Pacer60::Now();
    SDL_GL_SwapWindow(window_);
    pacer_.Presented(start);
    glFinish();
  }

 private:
  static GLuint Program() {
    const char* vertex = R"(#version 330 core
layout(location = 0) in vec3 sprite;
uniform vec2 halfSide;
uniform vec2 toClip;
out vec2 uv;
void main() {
  vec2 corner = vec2(gl_VertexID & 1, gl_VertexID >> 1) * 2.0 - 1.0;
  float c = cos(sprite.z), s = sin(sprite.z);
  vec2 p = sprite.xy + vec2(corner.x * c - corner.y * s, corner.x * s + corner.y * c) * halfSide;
  gl_Position = vec4(p * toClip + vec2(-1.0, 1.0), 0.0, 1.0);
  uv = corner * 0.5 + 0.5;
})";
    const char* fragment = R"(#version 330 core
in vec2 uv;
uniform sampler2D image;
uniform float alpha;
out vec4 colour;
void main() { colour = texture(image, uv) * vec4(1.0, 1.0, 1.0, alpha); })";
    GLuint program = glCreateProgram();
    for (auto [type, source] : {std::pair{GL_VERTEX_SHADER, vertex}, std::pair{GL_FRAGMENT_SHADER, fragment}}) {
      GLuint shader = glCreateShader(type);
      glShaderSource(shader, 1, &source, nullptr);
      glCompileShader(shader);
      glAttachShader(program, shader);
      glDeleteShader(shader);
    }
    glLinkProgram(program);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    return ok == GL_TRUE ? program : 0;
  }

  SDL_Window* window_ = nullptr;
  SDL_GLContext context_ = nullptr;
  GLuint program_ = 0, vao_ = 0, buffer_ = 0, texture_ = 0;
  std::vector<float> sprites_;
  Pacer60 pacer_;
};

// The drawers, each measured in a process of its own: the first one measured in a process always
// came out lower than the same drawer measured later in it, whichever it was.
constexpr const char* kDrawers[] = {"ours16", "ours0", "sdl", "limit"};

std::unique_ptr<Drawer> MakeDrawer(const std::string& name, const std::string& picture) {
  if (name == "ours16") return std::make_unique<Ours>(picture, 16);
  if (name == "ours0") return std::make_unique<Ours>(picture, 0);
  if (name == "sdl") {
    auto peer = std::make_unique<Theirs>();
    if (peer->Ready()) return peer;
    std::fprintf(stderr, "no SDL_Renderer: %s\n", SDL_GetError());
  } else if (name == "limit") {
    auto limit = std::make_unique<Limit>();
    if (limit->Ready()) return limit;
    std::fprintf(stderr, "no GL 3.3 for the limit\n");
  }
  return nullptr;
}

// A child: the most sprites its drawer holds and the processor time a frame at `costAt`, on one line.
int Child(const std::string& name, const std::string& picture, double seconds, int most, int costAt, bool verbose) {
  try {
    std::unique_ptr<Drawer> d = MakeDrawer(name, picture);
    if (d == nullptr) return 1;
    const int holds = MostThatHold(*d, seconds, most, verbose);
    std::printf("%d %f\n", holds, Run(*d, costAt, seconds).cpuMs);
    if (name == "sdl" || name == "limit") {
      // The peers end without the sanitizers' leak check: under SDL_Renderer the GL driver leaves
      // a few blocks behind when SDL unloads it, which are not this project's to fix.
      std::fflush(stdout);
      std::_Exit(0);
    }
    return 0;
  } catch (const zr_ErrorException& e) {
    std::fprintf(stderr, "no device: %s (video driver %s)\n", e.message.c_str(), VideoDriver());
    return 1;
  }
}

struct Measure {
  int holds = 0;
  double cpuMs = 0;
};

bool RunChild(const std::string& name, int argc, char** argv, Measure& m) {
  std::vector<std::string> args = {"bench_d3dx9_sprites", "--drawer=" + name};
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  std::vector<char*> pointers;
  for (std::string& a : args) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  std::string out;
  if (!SpawnAndRead(pointers.data(), out)) return false;
  // The verbose lines come first; the measure is the last line.
  std::size_t last = out.find_last_of('\n', out.size() >= 2 ? out.size() - 2 : 0);
  return std::sscanf(out.c_str() + (last == std::string::npos ? 0 : last + 1), "%d %lf", &m.holds, &m.cpuMs) == 2;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = Option(argc, argv, "seconds", 1.0);
  int rounds = std::max(1, static_cast<int>(Option(argc, argv, "rounds", 1)));
  int most = static_cast<int>(Option(argc, argv, "max", 32768));
  bool verbose = Option(argc, argv, "verbose", 0) != 0;
  int costAt = static_cast<int>(Option(argc, argv, "cost-at", 1000));
  g_side = std::clamp(static_cast<int>(Option(argc, argv, "size", kSprite)), 2, 256);
  const std::string drawer = StringOption(argc, argv, "drawer", "");
  ScratchFolder folder;
  std::string picture = folder.File("ball.png");
  if (!folder.Made() || !WriteBallPng(picture, g_side)) {
    std::fprintf(stderr, "cannot write %s\n", picture.c_str());
    return 1;
  }
  if (!drawer.empty()) return Child(drawer, picture, seconds, most, costAt, verbose);
  // --counts=a,b,...: frames per second at those counts only, each drawer in turn (for a look at
  // how the rate falls).
  if (const std::string counts = StringOption(argc, argv, "counts", ""); !counts.empty()) {
    std::vector<int> list;
    for (const char* c = counts.c_str(); *c != '\0';) {
      list.push_back(std::atoi(c));
      c = std::strchr(c, ',');
      if (c == nullptr) break;
      ++c;
    }
    try {
      for (const char* name : kDrawers) {
        std::unique_ptr<Drawer> d = MakeDrawer(name, picture);
        if (d == nullptr) return 1;
        for (int n : list) {
          Trial t = Run(*d, n, seconds);
          std::printf("%-7s %6d sprites: %.1f fps, %.2f ms of processor a frame\n", name, n, t.fps, t.cpuMs);
        }
      }
    } catch (const zr_ErrorException& e) {
      std::fprintf(stderr, "no device: %s\n", e.message.c_str());
      return 1;
    }
    return 0;
  }
  std::vector<double> holds[std::size(kDrawers)];
  std::vector<double> costs[std::size(kDrawers)];
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t i = 0; i < std::size(kDrawers); ++i) {
      Measure m;
      if (!RunChild(kDrawers[i], argc, argv, m)) {
        std::fprintf(stderr, "%s failed in round %d\n", kDrawers[i], r + 1);
        return 1;
      }
      if (verbose) std::printf("round %d, %s: %d sprites, %.2f ms\n", r + 1, kDrawers[i], m.holds, m.cpuMs);
      holds[i].push_back(m.holds);
      costs[i].push_back(m.cpuMs);
    }
  }
  double a = Median(holds[0]);
  double b = Median(holds[1]);
  double t = Median(holds[2]);
  double l = Median(holds[3]);
  std::printf("%dx%d sprites rotated and alpha-blended at 60 fps, %dx%d (%s), medians of %d round(s):\n", g_side,
              g_side, kWidth, kHeight, std::getenv("SDL_VIDEODRIVER") != nullptr ? std::getenv("SDL_VIDEODRIVER") : "x11",
              rounds);
  std::printf("  ours, one zr_Sprite::Render each, 16-bit depth buffer: %.0f\n", a);
  std::printf("  ours, one zr_Sprite::Render each, no depth buffer:     %.0f\n", b);
  std::printf("  SDL_Renderer opengl, one SDL_RenderCopyEx each:        %.0f\n", t);
  std::printf("  the limit, one instanced draw, the smallest shaders:   %.0f\n", l);
  std::printf("  ratio ours/SDL_Renderer: %.2f with the depth buffer, %.2f without\n", t > 0 ? a / t : 0.0,
              t > 0 ? b / t : 0.0);
  std::printf("  ratio ours/limit:        %.2f with the depth buffer, %.2f without\n", l > 0 ? a / l : 0.0,
              l > 0 ? b / l : 0.0);
  double ca = Median(costs[0]);
  double cb = Median(costs[1]);
  double ct = Median(costs[2]);
  double cl = Median(costs[3]);
  std::printf("  processor time a frame at %d sprites, every thread: ours %.2f ms (depth buffer) and %.2f ms (none), "
              "SDL_Renderer %.2f ms, the limit %.2f ms; SDL_Renderer/ours %.2f and %.2f\n",
              costAt, ca, cb, ct, cl, ca > 0 ? ct / ca : 0.0, cb > 0 ? ct / cb : 0.0);
  return a > 0 && b > 0 && t > 0 && l > 0 ? 0 : 1;
}
