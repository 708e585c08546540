// Draws a sprite from a picture of its own and a line of text on a cleared screen, saves a
// screenshot and checks it: exit code 0 when the three are where they belong.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "graphics/zr_DirectXGraphics.h"
#include "graphics/zr_Font.h"
#include "graphics/zr_Sprite.h"
#include "graphics/zr_TextureManager.h"

namespace {

constexpr D3DCOLOR kBackground = 0xFF203080;

void Put(std::vector<unsigned char>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// A 16 x 16 bitmap of one colour, 24 bits per pixel.
void WritePicture(const char* name, unsigned char r, unsigned char g, unsigned char b) {
  std::vector<unsigned char> file{'B', 'M'};
  Put(file, 54 + 16 * 16 * 3, 4);
  Put(file, 0, 4);
  Put(file, 54, 4);
  for (std::uint32_t v : {40u, 16u, 16u}) Put(file, v, 4);
  Put(file, 1, 2);
  Put(file, 24, 2);
  for (int i = 0; i < 6; ++i) Put(file, 0, 4);
  for (int i = 0; i < 16 * 16; ++i) file.insert(file.end(), {b, g, r});
  std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
}

struct Pixels {
  std::vector<unsigned char> file;
  std::int32_t width = 0, height = 0, offset = 0, bytes = 0;
  bool Load(const char* name) {
    std::ifstream in(name, std::ios::binary);
    file.assign(std::istreambuf_iterator<char>(in), {});
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return false;
    auto at = [&](int o) { return file[o] | file[o + 1] << 8 | file[o + 2] << 16 | file[o + 3] << 24; };
    offset = at(10), width = at(18), height = at(22), bytes = (file[28] | file[29] << 8) / 8;
    return (bytes == 3 || bytes == 4) && width > 0 && height != 0;
  }
  // 0xRRGGBB at x, y from the top.
  std::uint32_t At(int x, int y) const {
    int row = height > 0 ? height - 1 - y : y;
    std::size_t o = offset + static_cast<std::size_t>(row) * ((width * bytes + 3) & ~3) + x * bytes;
    return file[o + 2] << 16 | file[o + 1] << 8 | file[o];
  }
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "Consumer";
  RegisterClassExA(&windowClass);
  HWND window = CreateWindowExA(0, "Consumer", "Consumer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1024, 768, nullptr,
                                nullptr, instance, nullptr);
  if (window == nullptr) {
    std::puts("no window");
    return 1;
  }
  WritePicture("red.bmp", 255, 0, 0);
  bool ok = false;
  {
    zr_DirectXGraphics graphics;
    graphics.Init(window, true, 16, false, 1024, 768, "error.log");
    zr_TextureManager textures;
    textures.Initialise(graphics.GetDevice());
    zr_Sprite sprite;
    sprite.CreateSprite(graphics.GetDevice(), &textures, "red.bmp", D3DXSPRITE_ALPHABLEND, D3DPOOL_MANAGED, 0);
    zr_Font font;
    font.Initialise(graphics.GetDevice(), zr_FontDesc{0, 700, 40, 0, 0, false, "Arial"});

    graphics.Clear(kBackground, 0, 0, 1024, 768);
    graphics.BeginScene();
    sprite.Render(100, 100);
    font.RenderText("Velkor", 400, 300, 624, 400, 0xFFFFFFFF);
    graphics.Present();
    graphics.CreateScreenshot("shot.bmp");

    Pixels shot;
    if (!shot.Load("shot.bmp")) {
      std::puts("no screenshot");
    } else {
      int white = 0;
      for (int y = 300; y < 400; ++y)
        for (int x = 400; x < 624; ++x) white += shot.At(x, y) == 0xFFFFFF;
      std::printf("corner %06X, sprite %06X, white text pixels %d\n", shot.At(5, 5), shot.At(108, 108), white);
      ok = shot.At(5, 5) == (kBackground & 0xFFFFFF) && shot.At(108, 108) == 0xFF0000 && white > 100;
    }
  }
  DestroyWindow(window);
  return ok ? 0 : 1;
}
