// What Present shows: the back buffer from the window or from framebuffers of ours, kept while the
// next frame is drawn, letterboxed. *Presenting* tests run on both display systems (EGL offscreen,
// GLX), whose window buffers differ; OnX11 ones under X11 only.
#include <d3dx9.h>
#include <win32_testing.h>

#include "ff_test_support.h"

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
  D3DRECT left{0, 0, width / 2, height}, top{0, 0, width, std::max<LONG>(height / 16, 1)};
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
  d->Clear(1, &left, D3DCLEAR_TARGET, kRed, 1, 0);
  d->Clear(1, &top, D3DCLEAR_TARGET, kBlue, 1, 0);
}

// The picture of DrawHalves in the box (x0, y0, w, h) of `p`, black around it.
void ExpectHalvesIn(const Picture& p, int x0, int y0, int w, int h) {
  SCOPED_TRACE(testing::Message() << p.width << "x" << p.height << ", picture at " << x0 << "," << y0 << " " << w << "x" << h);
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

}  // namespace

// On 40x30: blue, two red rectangles (the second reaching past the edge), the viewport
// (10,5)-(30,15) grey, and a green rectangle clipped to the viewport's top left corner.
TEST_P(OnBothTargets, PresentingShowsTheClearedBackBufferAndKeepsItWhileTheNextIsDrawn) {
  constexpr D3DCOLOR kGrey = D3DCOLOR_XRGB(0x80, 0x80, 0x80);
  Scene t(40, 30, false, GetParam());
  Device& d = t.d;
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
  D3DRECT rects[2] = {{5, 3, 12, 9}, {30, 20, 100, 100}}, partly{0, 0, 12, 6};
  ASSERT_EQ(d->Clear(2, rects, D3DCLEAR_TARGET, kRed, 1, 0), D3D_OK);
  D3DVIEWPORT9 v{10, 5, 20, 10, 0, 1};
  ASSERT_EQ(d->SetViewport(&v), D3D_OK);
  ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kGrey, 1, 0), D3D_OK);
  ASSERT_EQ(d->Clear(1, &partly, D3DCLEAR_TARGET, kGreen, 1, 0), D3D_OK);
  auto expectPattern = [](const Picture& p, const char* what) {
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        D3DCOLOR want = (x >= 5 && x < 12 && y >= 3 && y < 9) || (x >= 30 && y >= 20) ? kRed : kBlue;
        if (x >= 10 && x < 30 && y >= 5 && y < 15) want = (x < 12 && y == 5) ? kGreen : kGrey;
        ASSERT_EQ(p.at(x, y), want) << what << " at " << x << "," << y;
      }
  };
  expectPattern(t.Back(), "the back buffer");
  EXPECT_EQ(InkOf(FrontBuffer(d.device.get(), 40, 30), kBlack).count, 0) << "nothing shows before Present";
  ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  expectPattern(FrontBuffer(d.device.get(), 40, 30), "the front buffer");
  v = {0, 0, 40, 30, 0, 1};
  d->SetViewport(&v);
  ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0), D3D_OK);
  expectPattern(FrontBuffer(d.device.get(), 40, 30), "the front buffer while the next frame is drawn");
  ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(InkOf(FrontBuffer(d.device.get(), 40, 30), kGreen).count, 0) << "the next frame shown";
}

// The first screenshot reads the picture presented last, whatever the next frame has done since:
// nothing, a clear, sprites (held back), a draw (the picture in the window is copied aside first).
TEST_P(OnBothTargets, PresentingLeavesThePictureForTheFirstScreenshotWhateverTheNextFrameDoes) {
  for (int step = 0; step < 4; ++step) {
    SCOPED_TRACE(testing::Message() << "the next frame's steps: " << step);
    Scene t(40, 30, false, GetParam());
    DrawHalves(t.d, 40, 30);
    const Picture presented = t.Back();
    ASSERT_EQ(t->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    Ref<IDirect3DTexture9> texture(MakeTexture(t.get(), 4, 4, std::vector<std::uint32_t>(16, kGreen)));
    Ref<ID3DXSprite> sprite;
    ASSERT_EQ(D3DXCreateSprite(t.get(), sprite.out()), D3D_OK);
    if (step >= 1) t->Clear(0, nullptr, D3DCLEAR_TARGET, kWhite, 1, 0);
    if (step >= 2) {
      D3DXVECTOR3 at(8, 8, 0);
      ASSERT_TRUE(sprite->Begin(0) == D3D_OK && sprite->Draw(texture.get(), nullptr, nullptr, &at, kWhite) == D3D_OK &&
                  sprite->End() == D3D_OK);
    }
    if (step >= 3) fftest::DrawScreenQuad(t.get(), 20, 10, 30, 20, kGreen);
    EXPECT_EQ(t.d.gl()->KeptPresentedPicture(), step >= 3 && GetParam() == Where::kWindow) << "copied aside";
    Picture front = FrontBuffer(t.get(), 40, 30);
    EXPECT_TRUE(front.pixels == presented.pixels);
    if (step >= 2) {
      EXPECT_EQ(t.Back().at(9, 9), kGreen) << "the next frame goes on";
    }
  }
}

// Run under X11 with a screen of 1024x768 and no window manager: the game's window made full
// screen covers the screen; its back buffer of the screen's size is drawn in the window, one of
// another size letterboxed: drawn scaled into the window when the screen holds it, else scaled
// down from a framebuffer of ours; read back, it is the picture at its own size. Windowed again,
// the window has its old size.
TEST(OnX11, AFullScreenWindowCoversTheScreenAndBackBuffersOfOtherSizesAreLetterboxed) {
  TestWindow window(800, 600);
  zr::win32::testing::SetFocus(window.handle(), true);
  D3DPRESENT_PARAMETERS pp = FullScreen(window.handle(), 1024, 768);
  Device d;
  ASSERT_NO_FATAL_FAILURE(MakeDevice(window.handle(), pp, d));
  // Focus events come and go while the window goes full screen: a loss is met with Reset.
  for (int tries = 0, presented = 0; tries < 300 && presented < 30; ++tries, SDL_Delay(10)) {
    HRESULT level = d->TestCooperativeLevel();
    if (level == D3DERR_DEVICENOTRESET) d->Reset(&pp);
    if (level == D3DERR_DEVICELOST) zr::win32::testing::SetFocus(window.handle(), true);
    if (level == D3D_OK && d->Present(nullptr, nullptr, nullptr, nullptr) == D3D_OK) ++presented;
  }
  ASSERT_EQ(d->TestCooperativeLevel(), D3D_OK) << "the full-screen device never settled";
  for (auto [bw, bh] : {std::pair{1024, 768}, std::pair{640, 240}, std::pair{200, 400}, std::pair{1600, 600}}) {
    pp = FullScreen(window.handle(), bw, bh);
    ASSERT_EQ(d->Reset(&pp), D3D_OK);
    DrawHalves(d, bw, bh);
    // A draw lands where the viewport puts it, scaled with the rest.
    fftest::DrawScreenQuad(d.device.get(), bw / 16, bh / 2, bw / 8, 3 * bh / 4, kGreen);
    EXPECT_EQ(d.gl()->DrawsIntoWindow(), bw <= 1024);
    EXPECT_EQ(d.gl()->DrawsScaled(), bw < 1024);
    const Picture drawn = BackBuffer(d.device.get(), bw, bh);
    ExpectHalvesIn(drawn, 0, 0, bw, bh);
    EXPECT_EQ(drawn.at(3 * bw / 32, 5 * bh / 8), kGreen);
    EXPECT_EQ(drawn.at(3 * bw / 32, 3 * bh / 8), kRed);
    Picture p = Capture(d);
    ASSERT_EQ(p.width * 10000 + p.height, 10240768);
    int fitW = bw * p.height / bh, fitH = bh * p.width / bw;  // 8:3 gets bars above and below
    if (fitW <= p.width) ExpectHalvesIn(p, (p.width - fitW) / 2, 0, fitW, p.height);
    else ExpectHalvesIn(p, 0, (p.height - fitH) / 2, p.width, fitH);
    // The front buffer is the picture presented, not the window: after the next frame's clear too.
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0);
    EXPECT_TRUE(FrontBuffer(d.device.get(), bw, bh).pixels == drawn.pixels) << bw << "x" << bh;
    // A frame that clears only part of the picture still shows black bars, whatever the window's
    // buffer held before (red here: a window's new buffers may hold anything).
    Capture(d);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    d.gl()->InvalidateGlState();
    D3DRECT part{0, 0, bw / 2, bh / 2};
    d->Clear(1, &part, D3DCLEAR_TARGET, kBlue, 1, 0);
    p = Capture(d);
    if (bw != 1024) {
      EXPECT_EQ(p.at(0, 0) & 0xFFFFFF, 0u) << bw << "x" << bh << ": the letterbox";
    }
  }
  D3DPRESENT_PARAMETERS windowed = Windowed(window.handle(), 0, 0);
  ASSERT_EQ(d->Reset(&windowed), D3D_OK);
  DrawHalves(d, 800, 600);
  ExpectHalvesIn(Capture(d), 0, 0, 800, 600);
}

