// What Present puts in the window: stretched when windowed, letterboxed when full screen.
#include <win32_testing.h>

#include <cstdlib>

#include "d3d9_test_support.h"

using namespace d3d9test;

namespace {

constexpr D3DCOLOR kRed = D3DCOLOR_XRGB(0xFF, 0, 0);
constexpr D3DCOLOR kBlue = D3DCOLOR_XRGB(0, 0, 0xFF);
constexpr D3DCOLOR kBlack = D3DCOLOR_XRGB(0, 0, 0);

// The window's default framebuffer as Present left it before the swap, top row first.
struct WindowPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(height - 1 - y) * width + x]; }
};

WindowPicture Capture(Device& d) {
  WindowPicture picture;
  d.gl()->SetBeforeSwapHook([&] {
    SDL_GL_GetDrawableSize(d.gl()->Window(), &picture.width, &picture.height);
    picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, picture.width, picture.height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, picture.pixels.data());
  });
  EXPECT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  d.gl()->SetBeforeSwapHook(nullptr);
  return picture;
}

// Red on the left half of the picture, blue on the right, a one-pixel blue row at the top.
void DrawHalves(Device& d, LONG width, LONG height) {
  D3DRECT left{0, 0, width / 2, height};
  D3DRECT top{0, 0, width, 1};
  d.device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
  d.device->Clear(1, &left, D3DCLEAR_TARGET, kRed, 1, 0);
  d.device->Clear(1, &top, D3DCLEAR_TARGET, kBlue, 1, 0);
}

void ExpectLetterbox(Device& d, UINT bw, UINT bh) {
  WindowPicture p = Capture(d);
  ASSERT_GT(p.width, 0);
  ASSERT_EQ(p.pixels.size(), static_cast<std::size_t>(p.width) * p.height);
  // Scale to fit with the aspect kept, centred.
  int fitW = static_cast<int>(static_cast<long long>(bw) * p.height / bh);
  int x0 = 0, y0 = 0, w = p.width, h = p.height;
  if (fitW <= p.width) {
    x0 = (p.width - fitW) / 2;
    w = fitW;
  } else {
    h = static_cast<int>(static_cast<long long>(bh) * p.width / bw);
    y0 = (p.height - h) / 2;
  }
  SCOPED_TRACE("window " + std::to_string(p.width) + "x" + std::to_string(p.height) + ", picture at " +
               std::to_string(x0) + "," + std::to_string(y0) + " size " + std::to_string(w) + "x" + std::to_string(h));
  ASSERT_TRUE(x0 > 0 || y0 > 0) << "choose a back buffer whose shape differs from the window's";
  int midY = y0 + h / 2;
  int midX = x0 + w / 2;
  EXPECT_EQ(p.at(x0 + w / 4, midY), kRed);
  EXPECT_EQ(p.at(x0 + 3 * w / 4, midY), kBlue);
  EXPECT_EQ(p.at(midX - 3, y0 + 2 * h / 3), kRed) << "left of the middle";
  EXPECT_EQ(p.at(midX + 3, y0 + 2 * h / 3), kBlue) << "right of the middle";
  if (y0 > 0) {
    for (int x = 0; x < p.width; x += 7) {
      ASSERT_EQ(p.at(x, 0) & 0xFFFFFF, kBlack & 0xFFFFFF) << "top bar at " << x;
      ASSERT_EQ(p.at(x, y0 - 1) & 0xFFFFFF, kBlack & 0xFFFFFF) << "top bar's last row at " << x;
      ASSERT_EQ(p.at(x, y0 + h) & 0xFFFFFF, kBlack & 0xFFFFFF) << "bottom bar's first row at " << x;
      ASSERT_EQ(p.at(x, p.height - 1) & 0xFFFFFF, kBlack & 0xFFFFFF) << "bottom bar at " << x;
    }
    EXPECT_EQ(p.at(x0 + w / 4, y0), kBlue) << "the picture's top row is at the top of its box";
    EXPECT_EQ(p.at(x0 + w / 4, y0 + h - 1), kRed) << "and its bottom row at the bottom";
  }
  if (x0 > 0) {
    for (int y = 0; y < p.height; y += 7) {
      ASSERT_EQ(p.at(0, y) & 0xFFFFFF, kBlack & 0xFFFFFF) << "left bar at " << y;
      ASSERT_EQ(p.at(x0 - 1, y) & 0xFFFFFF, kBlack & 0xFFFFFF) << "left bar's last column at " << y;
      ASSERT_EQ(p.at(x0 + w, y) & 0xFFFFFF, kBlack & 0xFFFFFF) << "right bar's first column at " << y;
    }
  }
}

// A full-screen device that has presented once: under X11 focus events come and go while the
// window goes full screen, so a loss is met with Reset as a program would.
void PresentingFullScreenDevice(TestWindow& window, D3DPRESENT_PARAMETERS pp, Device& d) {
  zr::win32::testing::SetFocus(window.handle(), true);
  ASSERT_NO_FATAL_FAILURE(MakeDevice(window.handle(), pp, d));
  for (int tries = 0; tries < 300; ++tries) {
    HRESULT level = d.device->TestCooperativeLevel();
    if (level == D3DERR_DEVICENOTRESET) {
      D3DPRESENT_PARAMETERS again = pp;
      d.device->Reset(&again);
    } else if (level == D3DERR_DEVICELOST) {
      zr::win32::testing::SetFocus(window.handle(), true);
    }
    d.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0);
    // Settle: present until the window has kept its size for a while.
    if (level == D3D_OK && d.device->Present(nullptr, nullptr, nullptr, nullptr) == D3D_OK && tries > 30) return;
    SDL_Delay(10);
  }
  FAIL() << "the full-screen device never presented";
}

}  // namespace

TEST(Present, StretchesTheBackBufferOverAWindowedClientArea) {
  TestWindow window(320, 240);
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 32, 16), d);
  DrawHalves(d, 32, 16);
  WindowPicture p = Capture(d);
  ASSERT_EQ(p.width, 320);
  ASSERT_EQ(p.height, 240);
  EXPECT_EQ(p.at(2, 120), kRed);
  EXPECT_EQ(p.at(150, 200), kRed);
  EXPECT_EQ(p.at(170, 200), kBlue);
  EXPECT_EQ(p.at(317, 239), kBlue);
  EXPECT_EQ(p.at(100, 2), kBlue) << "the top row stretched to the top";
  EXPECT_EQ(p.at(100, 237), kRed) << "no black bars when windowed";
}

TEST(Present, LetterboxesAFullScreenBackBuffer) {
  // Made at the screen's size: SDL's offscreen driver keeps the EGL surface it made for the
  // window at the window's first size, whatever size full screen gives the window later.
  SDL_Rect screen{};
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
  ASSERT_EQ(SDL_GetDisplayBounds(0, &screen), 0);
  TestWindow window(screen.w, screen.h, WS_POPUP | WS_VISIBLE);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  // 8:3 fits no screen: bars above and below.
  D3DPRESENT_PARAMETERS pp = FullScreen(window.handle(), 640, 240);
  Device d;
  ASSERT_NO_FATAL_FAILURE(PresentingFullScreenDevice(window, pp, d));
  DrawHalves(d, 640, 240);
  ExpectLetterbox(d, 640, 240);
  // And a tall one: bars left and right.
  D3DPRESENT_PARAMETERS tall = FullScreen(window.handle(), 200, 400);
  ASSERT_EQ(d.device->Reset(&tall), D3D_OK);
  DrawHalves(d, 200, 400);
  ExpectLetterbox(d, 200, 400);
  EXPECT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

// Run on an X screen larger than 1024x768 (ZR_SCREEN names its size): the game's full-screen
// back buffer scaled to the screen's height, bars of black above and below or on the sides.
TEST(Present, LetterboxesTheGamesBackBufferOnALargerScreen) {
  const char* screen = std::getenv("ZR_SCREEN");
  ASSERT_NE(screen, nullptr) << "set ZR_SCREEN to the X screen's size, e.g. 1280x1024";
  int sw = 0, sh = 0;
  ASSERT_EQ(std::sscanf(screen, "%dx%d", &sw, &sh), 2);
  TestWindow window(sw, sh, WS_POPUP | WS_VISIBLE);
  Device d;
  ASSERT_NO_FATAL_FAILURE(PresentingFullScreenDevice(window, FullScreen(window.handle(), 1024, 768), d));
  int dw = 0, dh = 0;
  SDL_GL_GetDrawableSize(d.gl()->Window(), &dw, &dh);
  EXPECT_EQ(dw, sw) << "the window covers the screen";
  EXPECT_EQ(dh, sh);
  DrawHalves(d, 1024, 768);
  ExpectLetterbox(d, 1024, 768);
}
