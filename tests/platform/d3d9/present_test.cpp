// What Present puts in the window: the picture as drawn in a window of its size, stretched into
// a windowed client area of another size, letterboxed when full screen; where a full-screen
// window goes.
#include <win32_testing.h>

#include "d3d9_test_support.h"

using namespace d3d9test;

namespace {

// The window's default framebuffer as Present left it before the swap, top row first.
Picture Capture(Device& d) {
  Picture p;
  d.gl()->SetBeforeSwapHook([&] {
    d.gl()->DrawableSize(p.width, p.height);
    std::vector<std::uint32_t> rows(static_cast<std::size_t>(p.width) * p.height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadPixels(0, 0, p.width, p.height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, rows.data());
    for (int y = p.height; y-- > 0;) p.pixels.insert(p.pixels.end(), &rows[y * p.width], &rows[y * p.width] + p.width);
  });
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  d.gl()->SetBeforeSwapHook(nullptr);
  return p;
}

// Red on the left half of the picture, blue on the right and in a band a sixteenth high at the top.
void DrawHalves(Device& d, LONG width, LONG height) {
  D3DRECT left{0, 0, width / 2, height};
  D3DRECT top{0, 0, width, std::max<LONG>(height / 16, 1)};
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
  d->Clear(1, &left, D3DCLEAR_TARGET, kRed, 1, 0);
  d->Clear(1, &top, D3DCLEAR_TARGET, kBlue, 1, 0);
}

// The picture of DrawHalves in the box (x0, y0, w, h) of `p`, black around it.
void ExpectHalvesIn(const Picture& p, int x0, int y0, int w, int h) {
  SCOPED_TRACE("window " + std::to_string(p.width) + "x" + std::to_string(p.height) + ", picture at " +
               std::to_string(x0) + "," + std::to_string(y0) + " size " + std::to_string(w) + "x" + std::to_string(h));
  ASSERT_TRUE(p.width > 0 && x0 + w <= p.width && y0 + h <= p.height && !p.pixels.empty());
  int margin = w / 16 + 2;  // clear of the blend where a scaled picture changes colour
  // Left edge, either side of the middle, the bottom right; the top band at the top of the box.
  EXPECT_EQ(std::vector<std::uint32_t>({p.at(x0, y0 + h / 2), p.at(x0 + w / 2 - margin, y0 + 2 * h / 3),
                                        p.at(x0 + w / 2 + margin, y0 + 2 * h / 3), p.at(x0 + w - 1, y0 + h - 1),
                                        p.at(x0 + w / 4, y0), p.at(x0 + w / 4, y0 + h - 1)}),
            std::vector<std::uint32_t>({kRed, kRed, kBlue, kBlue, kBlue, kRed}));
  auto black = [&](int x, int y) { return (p.at(x, y) & 0xFFFFFF) == 0; };
  for (int x = 0; y0 > 0 && x < p.width; x += 7)
    ASSERT_TRUE(black(x, 0) && black(x, y0 - 1) && black(x, y0 + h) && black(x, p.height - 1)) << "bars at x " << x;
  for (int y = 0; x0 > 0 && y < p.height; y += 7)
    ASSERT_TRUE(black(0, y) && black(x0 - 1, y) && black(x0 + w, y) && black(p.width - 1, y)) << "bars at y " << y;
}

// A full-screen device that has presented for a while: under X11 focus events come and go
// while the window goes full screen, so a loss is met with Reset as a program would.
void PresentingFullScreenDevice(TestWindow& window, D3DPRESENT_PARAMETERS pp, Device& d) {
  zr::win32::testing::SetFocus(window.handle(), true);
  ASSERT_NO_FATAL_FAILURE(MakeDevice(window.handle(), pp, d));
  for (int tries = 0, presented = 0; tries < 300 && presented < 30; ++tries) {
    HRESULT level = d->TestCooperativeLevel();
    if (level == D3DERR_DEVICENOTRESET) {
      D3DPRESENT_PARAMETERS again = pp;
      d->Reset(&again);
    } else if (level == D3DERR_DEVICELOST) {
      zr::win32::testing::SetFocus(window.handle(), true);
    }
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0);
    if (level == D3D_OK && d->Present(nullptr, nullptr, nullptr, nullptr) == D3D_OK) ++presented;
    SDL_Delay(10);
  }
  ASSERT_EQ(d->TestCooperativeLevel(), D3D_OK) << "the full-screen device never settled";
}

}  // namespace

TEST(Present, StretchesTheBackBufferOverAWindowedClientAreaOfAnotherSize) {
  TestWindow window(320, 240);
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 32, 16), d);
  DrawHalves(d, 32, 16);
  Picture p = Capture(d);
  ASSERT_EQ(p.width * 1000 + p.height, 320240);
  ExpectHalvesIn(p, 0, 0, 320, 240);
}

TEST(Present, LetterboxesAFullScreenBackBuffer) {
  TestWindow window(320, 240, WS_POPUP | WS_VISIBLE);
  Device d;
  // 8:3 fits no screen: bars above and below; then a tall one: bars left and right.
  ASSERT_NO_FATAL_FAILURE(PresentingFullScreenDevice(window, FullScreen(window.handle(), 640, 240), d));
  for (auto [bw, bh] : {std::pair{640, 240}, std::pair{200, 400}}) {
    D3DPRESENT_PARAMETERS pp = FullScreen(window.handle(), bw, bh);
    ASSERT_EQ(d->Reset(&pp), D3D_OK);
    DrawHalves(d, bw, bh);
    EXPECT_FALSE(d.gl()->DrawsIntoWindow());
    Picture p = Capture(d);
    int fitW = bw * p.height / bh;
    int fitH = bh * p.width / bw;
    if (fitW <= p.width) ExpectHalvesIn(p, (p.width - fitW) / 2, 0, fitW, p.height);
    else ExpectHalvesIn(p, 0, (p.height - fitH) / 2, p.width, fitH);
  }
}

// Run on an X screen of 1280x1024 without a window manager: the game's window (800x600 at
// 10,10) made full screen covers the screen, its 1024x768 back buffer scaled to 1280x960 between
// two black bars of 32 rows; windowed again, the window is back where it was.
TEST(Present, LetterboxesTheGamesBackBufferOnALargerScreen) {
  TestWindow window(800, 600, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10);
  Device d;
  ASSERT_NO_FATAL_FAILURE(PresentingFullScreenDevice(window, FullScreen(window.handle(), 1024, 768), d));
  SDL_Rect on = XWindowGeometry(d.gl()->Window());
  EXPECT_EQ(std::vector<int>({on.x, on.y, on.w, on.h}), std::vector<int>({0, 0, 1280, 1024}));
  DrawHalves(d, 1024, 768);
  Picture p = Capture(d);
  ASSERT_EQ(p.width * 10000 + p.height, 12801024);
  ExpectHalvesIn(p, 0, 32, 1280, 960);

  D3DPRESENT_PARAMETERS windowed = Windowed(window.handle(), 0, 0);
  ASSERT_EQ(d->Reset(&windowed), D3D_OK);
  SDL_Rect back = XWindowGeometry(d.gl()->Window());
  EXPECT_EQ(std::vector<int>({back.x, back.y, back.w, back.h}), std::vector<int>({10, 10, 800, 600}));
}

// Run under X11 with a screen of 1024x768: the game's window made full screen has the back
// buffer's size, so frames go straight into it.
TEST(OnX11, AFullScreenBackBufferOfTheScreensSizeIsDrawnInTheWindow) {
  TestWindow window(800, 600, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10);
  Device d;
  ASSERT_NO_FATAL_FAILURE(PresentingFullScreenDevice(window, FullScreen(window.handle(), 1024, 768), d));
  DrawHalves(d, 1024, 768);
  EXPECT_TRUE(d.gl()->DrawsIntoWindow());
  Picture p = Capture(d);
  ASSERT_EQ(p.width * 10000 + p.height, 10240768);
  ExpectHalvesIn(p, 0, 0, 1024, 768);
  EXPECT_EQ(std::vector<std::uint32_t>({p.at(511, 100), p.at(512, 100)}), std::vector<std::uint32_t>({kRed, kBlue}));
}

// Run under X11, where resizing the window resizes its drawable.
TEST(OnX11, TheBackBufferLeavesTheWindowWhileItsSizeDiffers) {
  TestWindow window(64, 48);
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 64, 48), d);
  FrontBuffer(d.device.get(), 64, 48);  // from now on each picture presented in the window is kept
  for (int side : {128, 64}) {
    SCOPED_TRACE(side);
    DrawHalves(d, 64, 48);
    ExpectHalvesIn(Capture(d), 0, 0, side == 128 ? 64 : 128, side == 128 ? 48 : 96);
    SDL_SetWindowSize(d.gl()->Window(), side, side * 3 / 4);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0);
    EXPECT_EQ(d.gl()->DrawsIntoWindow(), side == 64);
    ExpectHalvesIn(FrontBuffer(d.device.get(), 64, 48), 0, 0, 64, 48);  // the picture before the change
  }
}
