// What Present shows and where: the back buffer in the window or in framebuffers of ours, the
// front buffer while the next frame is drawn, stretching, letterboxing and the full-screen
// window's place; screenshots. Suites whose names start with Presenting run on both display
// systems (EGL offscreen and GLX), whose buffers behave differently; OnX11 ones under X11 only.
#include <d3dx9.h>
#include <win32_testing.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "d3d9_test_support.h"
#include "image_file.h"
#include "scratch_directory.h"

using namespace d3d9test;

namespace {

class Presenting : public OnBothTargets {};
INSTANTIATE_TEST_SUITE_P(, Presenting, testing::Values(Where::kWindow, Where::kFramebuffer),
                         [](const testing::TestParamInfo<Where>& where) {
                           return where.param == Where::kWindow ? "InTheWindow" : "InAFramebuffer";
                         });

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
  SCOPED_TRACE(testing::Message() << "window " << p.width << "x" << p.height << ", picture at " << x0 << "," << y0
                                  << " size " << w << "x" << h);
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

std::string Bytes(const char* name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// On 40x30: blue, two red rectangles (the second reaching past the edge), the viewport
// (10,5)-(30,15) grey, and a green rectangle clipped to the viewport's top left corner.
TEST_P(Presenting, ClearsFillTheBackBufferWhichShowsAfterPresentAndStaysWhileTheNextIsDrawn) {
  constexpr D3DCOLOR kGrey = D3DCOLOR_XRGB(0x80, 0x80, 0x80);
  Target t(GetParam(), 40, 30);
  Device& d = t.d;
  ExpectAll(FrontBuffer(d.device.get(), 40, 30), kBlack, "black before anything was presented");
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
  D3DRECT rects[2] = {{5, 3, 12, 9}, {30, 20, 100, 100}};
  ASSERT_EQ(d->Clear(2, rects, D3DCLEAR_TARGET, kRed, 1, 0), D3D_OK);
  D3DVIEWPORT9 v{10, 5, 20, 10, 0, 1};
  ASSERT_EQ(d->SetViewport(&v), D3D_OK);
  ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kGrey, 1, 0), D3D_OK);
  D3DRECT partly{0, 0, 12, 6};
  ASSERT_EQ(d->Clear(1, &partly, D3DCLEAR_TARGET, kGreen, 1, 0), D3D_OK);
  auto expectPattern = [](const Picture& p, const char* what) {
    ASSERT_EQ(p.pixels.size(), 1200u) << what;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        D3DCOLOR want = kBlue;
        if ((x >= 5 && x < 12 && y >= 3 && y < 9) || (x >= 30 && y >= 20)) want = kRed;
        if (x >= 10 && x < 30 && y >= 5 && y < 15) want = (x < 12 && y == 5) ? kGreen : kGrey;
        ASSERT_EQ(p.at(x, y), want) << what << " at " << x << "," << y;
      }
  };
  expectPattern(t.Back(), "the back buffer");
  ExpectAll(FrontBuffer(d.device.get(), 40, 30), kBlack, "nothing shows before Present");
  ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  expectPattern(FrontBuffer(d.device.get(), 40, 30), "the front buffer");
  v = {0, 0, 40, 30, 0, 1};
  d->SetViewport(&v);
  ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0), D3D_OK);
  ExpectAll(t.Back(), kGreen, "the next frame");
  expectPattern(FrontBuffer(d.device.get(), 40, 30), "the front buffer while the next frame is drawn");
  ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  ExpectAll(FrontBuffer(d.device.get(), 40, 30), kGreen, "the next frame shown");
}

TEST(PresentingWindowed, StretchesTheBackBufferOverAClientAreaOfAnotherSize) {
  TestWindow window(320, 240);
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 32, 16), d);
  DrawHalves(d, 32, 16);
  Picture p = Capture(d);
  ASSERT_EQ(p.width * 1000 + p.height, 320240);
  ExpectHalvesIn(p, 0, 0, 320, 240);
}

TEST(PresentingInTheWindow, TheFrontBufferIsKeptOnceAskedForAndGoneWhenTheNextFrameCameFirst) {
  Target t(Where::kWindow, 32, 24);
  Device& d = t.d;
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1, 0);
  d->Present(nullptr, nullptr, nullptr, nullptr);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
  Ref<IDirect3DSurface9> s;
  ASSERT_EQ(d->CreateOffscreenPlainSurface(32, 24, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, s.out(), nullptr), D3D_OK);
  EXPECT_EQ(d->GetFrontBufferData(0, s.get()), D3DERR_INVALIDCALL) << "the next frame drew over it first";
  d->Present(nullptr, nullptr, nullptr, nullptr);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0);
  ExpectAll(FrontBuffer(d.device.get(), 32, 24), kBlue, "kept from the window");
  EXPECT_TRUE(d.gl()->DrawsIntoWindow());
}

// The window has no alpha channel: an A8R8G8B8 back buffer (the game's) is drawn there, its
// alpha reading 0xFF, until a blend state reads the back buffer's alpha; from the next frame on
// it lives in a framebuffer of the device's that keeps alpha, until Reset.
TEST(PresentingInTheWindow, AnA8R8G8B8BackBufferKeepsItsAlphaOnlyOnceBlendingReadsIt) {
  const D3DCOLOR kTranslucent = D3DCOLOR_ARGB(0x40, 0x10, 0x20, 0x30);
  TestWindow window(8, 8);
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 8, 8);
  pp.BackBufferFormat = D3DFMT_A8R8G8B8;
  Device d;
  MakeDevice(window.handle(), pp, d);
  auto frame = [&] {
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kTranslucent, 1, 0);
    std::uint32_t back = BackBuffer(d.device.get(), 8, 8).at(1, 1);
    d->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(FrontBuffer(d.device.get(), 8, 8).at(1, 1), back) << "presented as drawn";
    return back;
  };
  EXPECT_EQ(frame(), 0xFF102030u) << "opaque in the window";
  d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVDESTALPHA);
  EXPECT_TRUE(d.gl()->DrawsIntoWindow()) << "a frame begun in the window stays there";
  d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
  EXPECT_EQ(frame(), kTranslucent) << "sticky until Reset";
  EXPECT_FALSE(d.gl()->DrawsIntoWindow());
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  EXPECT_EQ(frame(), 0xFF102030u);
}

// Run under X11 with a screen of 1024x768 and no window manager: the game's window (800x600 at
// 10,10) made full screen covers the screen; its back buffer of the screen's size is drawn in the
// window, one of another size letterboxed; windowed again, the window is back where it was.
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
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1, 0);
    if (level == D3D_OK && d->Present(nullptr, nullptr, nullptr, nullptr) == D3D_OK) ++presented;
  }
  ASSERT_EQ(d->TestCooperativeLevel(), D3D_OK) << "the full-screen device never settled";
  // 8:3 fits no screen: bars above and below; a tall one: bars left and right.
  for (auto [bw, bh] : {std::pair{1024, 768}, std::pair{640, 240}, std::pair{200, 400}}) {
    pp = FullScreen(window.handle(), bw, bh);
    ASSERT_EQ(d->Reset(&pp), D3D_OK);
    DrawHalves(d, bw, bh);
    EXPECT_EQ(d.gl()->DrawsIntoWindow(), bw == 1024);
    Picture p = Capture(d);
    ASSERT_EQ(p.width * 10000 + p.height, 10240768);
    int fitW = bw * p.height / bh, fitH = bh * p.width / bw;
    if (fitW <= p.width) ExpectHalvesIn(p, (p.width - fitW) / 2, 0, fitW, p.height);
    else ExpectHalvesIn(p, 0, (p.height - fitH) / 2, p.width, fitH);
  }
  D3DPRESENT_PARAMETERS windowed = Windowed(window.handle(), 0, 0);
  ASSERT_EQ(d->Reset(&windowed), D3D_OK);
  EXPECT_EQ(windowed.BackBufferWidth * 10000 + windowed.BackBufferHeight, 8000600u) << "the window's old size";
  DrawHalves(d, 800, 600);
  ExpectHalvesIn(Capture(d), 0, 0, 800, 600);
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

TEST(Screenshot, OfTheFrontBufferAndOfAPartOfTheBackBuffer) {
  ScratchDirectory dir;
  Target t(Where::kWindow, 24, 16);
  IDirect3DDevice9* device = t.d.device.get();
  const D3DCOLOR kTeal = D3DCOLOR_XRGB(0x00, 0x80, 0x80);
  auto draw = [&] {  // teal with a red block at 3..9 x 2..5
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kTeal, 1, 0);
    D3DRECT block{3, 2, 10, 6};
    device->Clear(1, &block, D3DCLEAR_TARGET, kRed, 1, 0);
  };
  auto expect = [&](const char* file, int left, int top, int width, int height) {
    zr::d3dx9::Image bmp;
    ASSERT_EQ(zr::d3dx9::DecodeImageFile(file, &bmp), D3D_OK);
    ASSERT_EQ(bmp.width * 100 + bmp.height, static_cast<UINT>(width * 100 + height));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        bool red = x + left >= 3 && x + left < 10 && y + top >= 2 && y + top < 6;
        ASSERT_EQ(bmp.argb[y * width + x], red ? kRed : kTeal) << file << " at " << x << "," << y;
      }
  };
  draw();
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  // GetFrontBufferData wants an unlocked SYSTEMMEM A8R8G8B8 surface, and fills its top left.
  Ref<IDirect3DSurface9> shot;
  for (auto [format, pool] : {std::pair{D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM}, {D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH}}) {
    ASSERT_EQ(device->CreateOffscreenPlainSurface(24, 16, format, pool, shot.out(), nullptr), D3D_OK);
    EXPECT_EQ(device->GetFrontBufferData(0, shot.get()), D3DERR_INVALIDCALL);
  }
  EXPECT_EQ(device->GetFrontBufferData(0, nullptr), D3DERR_INVALIDCALL);
  ASSERT_EQ(device->CreateOffscreenPlainSurface(26, 17, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, shot.out(), nullptr),
            D3D_OK);
  EXPECT_EQ(device->GetFrontBufferData(1, shot.get()), D3DERR_INVALIDCALL);
  D3DLOCKED_RECT l{};
  ASSERT_EQ(shot->LockRect(&l, nullptr, 0), D3D_OK);
  auto* px = static_cast<std::uint32_t*>(l.pBits);
  std::fill_n(px, 26 * 17, 0x01020304u);
  EXPECT_EQ(device->GetFrontBufferData(0, shot.get()), D3DERR_INVALIDCALL) << "locked";
  shot->UnlockRect();
  ASSERT_EQ(device->GetFrontBufferData(0, shot.get()), D3D_OK);
  EXPECT_EQ(std::vector<std::uint32_t>({px[25], px[16 * 26]}), std::vector<std::uint32_t>({0x01020304u, 0x01020304u}))
      << "right of and below the picture: left alone";
  RECT picture{0, 0, 24, 16};
  ASSERT_EQ(D3DXSaveSurfaceToFileA("Screenshot 1", D3DXIFF_BMP, shot.get(), nullptr, &picture), D3D_OK);
  expect("Screenshot 1", 0, 0, 24, 16);  // exactly the name given: no extension added
  char described[256] = {};
  if (std::FILE* p = popen("file -b 'Screenshot 1'", "r")) {
    EXPECT_NE(std::fgets(described, sizeof described, p), nullptr);
    pclose(p);
  }
  EXPECT_NE(std::string(described).find("PC bitmap, Windows 3.x format, 24 x 16 x 32"), std::string::npos) << described;
  draw();  // the next frame, not presented: the back buffer is read
  ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, shot.out()), D3D_OK);
  RECT part{2, 1, 12, 7};
  ASSERT_EQ(D3DXSaveSurfaceToFileA("part.bmp", D3DXIFF_BMP, shot.get(), nullptr, &part), D3D_OK);
  expect("part.bmp", 2, 1, 10, 6);
}

TEST(Screenshot, WritesScratchSurfacesWithTheirOwnAlphaAndRefusesWhatItCannotDo) {
  ScratchDirectory dir;
  Target t(Where::kWindow, 8, 8);
  Ref<IDirect3DSurface9> s;
  for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}) {
    ASSERT_EQ(t.d->CreateOffscreenPlainSurface(3, 1, format, D3DPOOL_SCRATCH, s.out(), nullptr), D3D_OK);
    D3DLOCKED_RECT l{};
    ASSERT_EQ(s->LockRect(&l, nullptr, 0), D3D_OK);
    const std::uint32_t pixels[3] = {0x80112233, 0x00445566, 0xFF778899};
    std::copy_n(pixels, 3, static_cast<std::uint32_t*>(l.pBits));
    s->UnlockRect();
    ASSERT_EQ(D3DXSaveSurfaceToFileA("s.bmp", D3DXIFF_BMP, s.get(), nullptr, nullptr), D3D_OK);
    std::string b = Bytes("s.bmp");
    ASSERT_EQ(b.size(), 54u + 12);
    std::uint32_t written[3];
    std::memcpy(written, b.data() + 54, 12);  // one row of little-endian B, G, R, A
    std::uint32_t opaque = format == D3DFMT_X8R8G8B8 ? 0xFF000000 : 0;
    EXPECT_EQ(std::vector<std::uint32_t>(written, written + 3),
              std::vector<std::uint32_t>({pixels[0] | opaque, pixels[1] | opaque, pixels[2]}));
  }
  PALETTEENTRY palette[256] = {};
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.bmp", D3DXIFF_BMP, s.get(), palette, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.jpg", D3DXIFF_JPG, s.get(), nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXSaveSurfaceToFileA(nullptr, D3DXIFF_BMP, s.get(), nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.bmp", D3DXIFF_BMP, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
  for (RECT r : {RECT{2, 1, 4, 3}, RECT{1, 1, 1, 2}})  // reaching outside; empty
    EXPECT_EQ(D3DXSaveSurfaceToFileA("a.bmp", D3DXIFF_BMP, s.get(), nullptr, &r), D3DERR_INVALIDCALL);
  D3DLOCKED_RECT l{};
  ASSERT_EQ(s->LockRect(&l, nullptr, 0), D3D_OK);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.bmp", D3DXIFF_BMP, s.get(), nullptr, nullptr), D3DERR_INVALIDCALL) << "locked";
  s->UnlockRect();
  EXPECT_FALSE(std::ifstream("a.bmp").good());
  EXPECT_EQ(D3DXSaveSurfaceToFileA(".", D3DXIFF_BMP, s.get(), nullptr, nullptr), E_FAIL) << "a folder";
}
