// What the back buffer holds and what Present shows, wherever the back buffer lives: clears,
// their rectangles and the viewport, alpha, the front buffer while the next frame is drawn.
#include "d3d9_test_support.h"

using namespace d3d9test;

namespace {

constexpr D3DCOLOR kGrey = D3DCOLOR_XRGB(0x80, 0x80, 0x80);

// On 40x30: blue, two red rectangles (the second reaching past the edge), the viewport
// (10,5)-(30,15) grey, and a green rectangle clipped to the viewport's top left corner.
void DrawPattern(Device& d) {
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
  D3DRECT rects[2] = {{5, 3, 12, 9}, {30, 20, 100, 100}};
  ASSERT_EQ(d->Clear(2, rects, D3DCLEAR_TARGET, kRed, 1, 0), D3D_OK);
  D3DVIEWPORT9 v{10, 5, 20, 10, 0, 1};
  ASSERT_EQ(d->SetViewport(&v), D3D_OK);
  ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kGrey, 1, 0), D3D_OK);
  D3DRECT partly{0, 0, 12, 6};
  ASSERT_EQ(d->Clear(1, &partly, D3DCLEAR_TARGET, kGreen, 1, 0), D3D_OK);
  v = {0, 0, 40, 30, 0, 1};
  d->SetViewport(&v);
}

void ExpectPattern(const Picture& p, const char* what) {
  SCOPED_TRACE(what);
  ASSERT_EQ(p.pixels.size(), 1200u);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      D3DCOLOR want = kBlue;
      if ((x >= 5 && x < 12 && y >= 3 && y < 9) || (x >= 30 && y >= 20)) want = kRed;
      if (x >= 10 && x < 30 && y >= 5 && y < 15) want = (x < 12 && y == 5) ? kGreen : kGrey;
      ASSERT_EQ(p.at(x, y), want) << "at " << x << "," << y;
    }
}

}  // namespace

TEST_P(OnBothTargets, ClearsFillTheBackBufferWhichShowsAfterPresent) {
  Target t(GetParam(), 40, 30);
  IDirect3DDevice9* device = t.d.device.get();
  ExpectAll(FrontBuffer(device, 40, 30), kBlack, "black before anything was presented");
  ASSERT_NO_FATAL_FAILURE(DrawPattern(t.d));
  ExpectPattern(BackBuffer(device, 40, 30), "the back buffer");
  ExpectAll(FrontBuffer(device, 40, 30), kBlack, "nothing shows before Present");
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  ExpectPattern(FrontBuffer(device, 40, 30), "the front buffer");
  // The next frame is drawn without touching what is shown.
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0), D3D_OK);
  ExpectAll(BackBuffer(device, 40, 30), kGreen, "the next frame");
  ExpectPattern(FrontBuffer(device, 40, 30), "the front buffer while the next frame is drawn");
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  ExpectAll(FrontBuffer(device, 40, 30), kGreen, "the next frame shown");
}

TEST(FrontBuffer, InTheWindowIsKeptOnceAskedForAndGoneWhenTheNextFrameCameFirst) {
  Target t(Where::kWindow, 32, 24);
  Device& d = t.d;
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1, 0);
  d->Present(nullptr, nullptr, nullptr, nullptr);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
  Ref<IDirect3DSurface9> s;
  ASSERT_EQ(d->CreateOffscreenPlainSurface(32, 24, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, s.out(), nullptr), D3D_OK);
  EXPECT_EQ(d->GetFrontBufferData(0, s.get()), D3DERR_INVALIDCALL) << "the next frame drew over it first";
  EXPECT_TRUE(d.gl()->KeepsPresentedPictures());
  d->Present(nullptr, nullptr, nullptr, nullptr);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0);
  ExpectAll(FrontBuffer(d.device.get(), 32, 24), kBlue, "kept from the window");
  EXPECT_TRUE(d.gl()->DrawsIntoWindow());
}

// The window has no alpha channel: an A8R8G8B8 back buffer is drawn there, its alpha reading
// 0xFF, until a blend state reads the back buffer's alpha; from the next frame on it lives in a
// framebuffer of the device's that keeps alpha, until Reset.
TEST(BackBuffer, A8R8G8B8KeepsItsAlphaOnceBlendingReadsItAndX8R8G8B8StaysOpaque) {
  const D3DCOLOR kTranslucent = D3DCOLOR_ARGB(0x40, 0x10, 0x20, 0x30);
  for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}) {
    SCOPED_TRACE(format);
    TestWindow window(8, 8);
    D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 8, 8);
    pp.BackBufferFormat = format;
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
    EXPECT_TRUE(d.gl()->DrawsIntoWindow());
    for (DWORD state : {D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_SRCBLENDALPHA, D3DRS_DESTBLENDALPHA}) {
      for (DWORD blend : {D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA, D3DBLEND_SRCALPHASAT}) {
        SCOPED_TRACE(testing::Message() << "state " << state << " = " << blend);
        ASSERT_EQ(d->Reset(&pp), D3D_OK);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_DESTCOLOR);  // reads colour, not alpha
        d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), blend);
        EXPECT_EQ(d.gl()->NeedsDestinationAlpha(), true);
        d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), D3DBLEND_ONE);
        EXPECT_EQ(frame(), format == D3DFMT_A8R8G8B8 ? kTranslucent : 0xFF102030u) << "sticky until Reset";
        EXPECT_EQ(d.gl()->DrawsIntoWindow(), format == D3DFMT_X8R8G8B8);
      }
    }
    ASSERT_EQ(d->Reset(&pp), D3D_OK);
    EXPECT_FALSE(d.gl()->NeedsDestinationAlpha());
    EXPECT_EQ(frame(), 0xFF102030u);
    EXPECT_TRUE(d.gl()->DrawsIntoWindow());
    // A frame begun in the window stays there; the next one moves.
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kTranslucent, 1, 0);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_DESTALPHA);
    EXPECT_TRUE(d.gl()->DrawsIntoWindow());
    d->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(frame(), format == D3DFMT_A8R8G8B8 ? kTranslucent : 0xFF102030u);
  }
}
