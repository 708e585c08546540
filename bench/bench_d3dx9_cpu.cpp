// Processor time of the D3DX layer on the game's device (zr_DirectXGraphics: A8R8G8B8, 16-bit
// depth, linear filtering, the alpha test; 1024x768 window, default presentation interval):
//
// - per zr_Sprite::Render of a 32x32 sprite, rotated and alpha-blended: 1000 Renders a frame
//   timed on the calling thread; Present, which sends the batch to GL, is not timed. Beside it the
//   same quads through ID3DXSprite alone (Begin, SetTransform, Draw, End), without the engine;
// - per zr_Font::RenderText of the status line, 100 a frame, timed the same way; with a
//   rectangle (one DrawText) and with an open one (measured first, then drawn);
// - the game's pacing: Clear + Present for `seconds`, the share of one core that the whole
//   process uses (every thread, llvmpipe's included); again with the status line and 100 sprites
//   a frame; and once a blend state has made the device keep the back buffer's alpha (the copying
//   path, for comparison).
//
//   bench_d3dx9_cpu [--frames=100] [--seconds=5] [--depth=16]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "d3dx9_bench_support.h"
#include "errorfile/zr_ErrorException.h"
#include "gl_device.h"
#include "graphics/zr_DirectXGraphics.h"
#include "graphics/zr_Font.h"
#include "graphics/zr_Sprite.h"
#include "graphics/zr_TextureManager.h"

using namespace d3d9bench;
using namespace d3dx9bench;

namespace {

constexpr const char* kStatus = "Velkor Engine Framerate:60 Leben Links: 100 / Rechts 99";
constexpr int kSprites = 1000;
constexpr int kTexts = 100;

struct Game {
  Game(const std::string& picture, int depthBits) {
    window = MakeWindow(kWidth, kHeight);
    graphics.Init(window, true, depthBits, false, kWidth, kHeight, "");
    textures.Initialise(graphics.GetDevice());
    for (int i = 0; i < kSprites; ++i) {
      sprites.push_back(std::make_unique<zr_Sprite>());
      sprites.back()->CreateSprite(graphics.GetDevice(), &textures, picture.c_str(), D3DXSPRITE_ALPHABLEND,
                                   D3DPOOL_MANAGED, 0);
      sprites.back()->SetAlpha(200);
    }
    font.Initialise(graphics.GetDevice(), zr_FontDesc{0, FW_NORMAL, 0, ANSI_CHARSET, DEFAULT_PITCH, false, "Arial"});
  }
  ~Game() {
    sprites.clear();
    DestroyWindow(window);
  }
  void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  void Start() {
    Pump();
    graphics.Clear(D3DCOLOR_XRGB(0x10, 0x20, 0x40), 0, 0, 0, 0);
    graphics.BeginScene();
  }
  void DrawSprites(int count, int frame) {
    for (int i = 0; i < count; ++i) {
      sprites[static_cast<std::size_t>(i)]->SetRotation(0.1f * static_cast<float>(i % 63) + 0.05f * static_cast<float>(frame));
      sprites[static_cast<std::size_t>(i)]->Render((i * 37) % (kWidth - kSprite), (i * 53) % (kHeight - kSprite));
    }
  }

  HWND window = nullptr;
  zr_DirectXGraphics graphics;
  zr_TextureManager textures;
  std::vector<std::unique_ptr<zr_Sprite>> sprites;
  zr_Font font;
};

// Microseconds per call of `draw(frame)`, which makes `calls` calls; median over the frames.
template <class Draw>
double MicrosecondsPerCall(Game& game, int frames, int calls, Draw draw) {
  std::vector<double> samples;
  for (int f = 0; f < frames + 5; ++f) {
    game.Start();
    auto start = std::chrono::steady_clock::now();
    draw(f);
    auto end = std::chrono::steady_clock::now();
    game.graphics.Present();
    if (f >= 5) samples.push_back(std::chrono::duration<double, std::micro>(end - start).count() / calls);
  }
  return Median(samples);
}

// Frames per second and the share of one core over `seconds` of paced frames.
template <class Draw>
void Pacing(Game& game, double seconds, const char* what, Draw draw) {
  for (int f = 0; f < 10; ++f) {
    game.Start();
    draw(f);
    game.graphics.Present();
  }
  int frames = 0;
  double cpu0 = CpuSeconds();
  double start = Seconds();
  while (Seconds() - start < seconds) {
    game.Start();
    draw(frames);
    if (FAILED(game.graphics.Present())) break;
    ++frames;
  }
  double wall = Seconds() - start;
  auto* gl = static_cast<zr::d3d9::GlDevice*>(game.graphics.GetDevice());
  std::printf("  pacing, %s: %.1f fps, %.1f%% of one core (%s)\n", what, frames / wall,
              100.0 * (CpuSeconds() - cpu0) / wall, gl->DrawsIntoWindow() ? "in the window" : "copied into the window");
}

}  // namespace

int main(int argc, char** argv) {
  int frames = std::max(1, static_cast<int>(Option(argc, argv, "frames", 100)));
  double seconds = Option(argc, argv, "seconds", 5.0);
  int depth = static_cast<int>(Option(argc, argv, "depth", 16));
  ScratchFolder folder;
  std::string picture = folder.File("ball.png");
  if (!folder.Made() || !WriteBallPng(picture)) return 1;
  try {
    Game game(picture, depth);
    IDirect3DDevice9* device = game.graphics.GetDevice();
    std::printf("D3DX layer on the game's device, %dx%d, depth buffer of %d bits (%s):\n", kWidth, kHeight, depth,
                VideoDriver());

    double render = MicrosecondsPerCall(game, frames, kSprites, [&](int f) { game.DrawSprites(kSprites, f); });
    // The same quads without the engine: one ID3DXSprite, a transform made beforehand.
    ID3DXSprite* sprite = nullptr;
    D3DXCreateSprite(device, &sprite);
    IDirect3DTexture9* texture = game.textures.GetTexture(picture.c_str());
    D3DXMATRIX transform;
    D3DXMatrixRotationZ(&transform, 0.3f);
    transform._41 = 100;
    transform._42 = 100;
    D3DXVECTOR3 centre(16, 16, 0);
    double layer = MicrosecondsPerCall(game, frames, kSprites, [&](int) {
      for (int i = 0; i < kSprites; ++i) {
        sprite->Begin(D3DXSPRITE_ALPHABLEND);
        sprite->SetTransform(&transform);
        sprite->Draw(texture, nullptr, &centre, nullptr, 0xC8FFFFFF);
        sprite->End();
      }
    });
    sprite->Release();
    std::printf("  zr_Sprite::Render, batched: %.2f us a sprite (ID3DXSprite Begin/SetTransform/Draw/End alone: %.2f us)\n",
                render, layer);

    double text = MicrosecondsPerCall(game, frames, kTexts, [&](int) {
      for (int i = 0; i < kTexts; ++i) game.font.RenderText(kStatus, 0, (i % 38) * 20, kWidth, (i % 38) * 20 + 20, 0xFFFFFF00);
    });
    double open = MicrosecondsPerCall(game, frames, kTexts, [&](int) {
      for (int i = 0; i < kTexts; ++i) game.font.RenderText(kStatus, 10, (i % 38) * 20, 0, 0, 0xFFFFFF00);
    });
    std::printf("  zr_Font::RenderText of the status line: %.2f us (target 20); with an open rectangle %.2f us\n", text,
                open);

    Pacing(game, seconds, "Clear + Present", [](int) {});
    Pacing(game, seconds, "the status line and 100 sprites", [&](int f) {
      game.DrawSprites(100, f);
      game.font.RenderText(kStatus, 0, 0, kWidth, 20, 0xFFFFFF00);
    });
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVDESTALPHA);  // keeps alpha from now on
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    Pacing(game, seconds, "Clear + Present, back buffer kept with alpha (copied)", [](int) {});
  } catch (const zr_ErrorException& e) {
    std::fprintf(stderr, "no device: %s (video driver %s)\n", e.message.c_str(), VideoDriver());
    return 1;
  }
  return 0;
}
