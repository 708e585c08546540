// Depth and stencil clears held back until something uses those buffers: the picture must be the
// one clearing at once gives, wherever the back buffer lives.
#include "ff_test_support.h"

using namespace fftest;
using d3d9test::OnBothTargets;
using d3d9test::Where;

namespace {

constexpr D3DCOLOR kBlack = 0xFF000000, kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kWhite = 0xFFFFFFFF;
constexpr DWORD kColourDepth = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;

// A 32x32 back buffer with depth, in a window of its size (drawn in the window) or a larger one;
// vertex colours, ZFUNC LESS.
struct DepthScene : d3d9test::TestWindow {
  explicit DepthScene(Where where, D3DFORMAT depth = D3DFMT_D16, D3DFORMAT colour = D3DFMT_X8R8G8B8)
      : TestWindow(where == Where::kWindow ? 32 : 72, where == Where::kWindow ? 32 : 62) {
    pp = d3d9test::Windowed(handle(), 32, 32);
    pp.BackBufferFormat = colour;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = depth;
    d3d9test::MakeDevice(handle(), pp, d);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
  }
  IDirect3DDevice9* operator->() const { return d.device.get(); }
  std::size_t Held() const { return d.gl()->HeldDepthStencilClears(); }
  std::uint32_t At(int x, int y) const { return d3d9test::BackBuffer(d.device.get(), 32, 32).at(x, y); }
  // Screen pixels (x0, y0) to (x1, y1) at depth z; the whole back buffer by default.
  void Quad(float z, D3DCOLOR c, float x0 = 0, float y0 = 0, float x1 = 32, float y1 = 32) const {
    std::vector<ScreenVertex> q = {{x0, y0, z, 1, c, 0, 0}, {x1, y0, z, 1, c, 0, 0}, {x1, y1, z, 1, c, 0, 0},
                                   {x0, y1, z, 1, c, 0, 0}};
    Ref<IDirect3DVertexBuffer9> vb{Vertices(d.device.get(), q, kScreenFvf)};
    d->SetFVF(kScreenFvf);
    d->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
    ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
  }
  D3DPRESENT_PARAMETERS pp{};
  d3d9test::Device d;
};

}  // namespace

TEST_P(OnBothTargets, AHeldDepthClearIsCarriedOutBeforeTheFirstDrawThatUsesDepth) {
  DepthScene s(GetParam());
  ASSERT_EQ(s->Clear(0, nullptr, kColourDepth, kBlack, 0.5f, 0), D3D_OK);
  EXPECT_EQ(s.Held(), 1u);
  s.Quad(0.7f, kRed);  // behind 0.5
  EXPECT_EQ(s.Held(), 0u);
  EXPECT_EQ(s.At(16, 16), kBlack);
  // Near, then far over it: the clear went before the first draw only.
  ASSERT_EQ(s->Clear(0, nullptr, kColourDepth, kBlack, 1, 0), D3D_OK);
  s.Quad(0.2f, kRed, 8, 8, 24, 24);
  s.Quad(0.6f, kGreen);
  EXPECT_EQ(s.At(16, 16), kRed);
  EXPECT_EQ(s.At(2, 2), kGreen);
  // States under which GL neither reads nor writes depth keep it held; ALWAYS with writes does not.
  ASSERT_EQ(s->Clear(0, nullptr, kColourDepth, kBlack, 0.5f, 0), D3D_OK);
  for (auto [enable, func, write] : {std::tuple{D3DZB_FALSE, D3DCMP_LESS, TRUE}, {D3DZB_TRUE, D3DCMP_ALWAYS, FALSE},
                                     {D3DZB_TRUE, D3DCMP_NEVER, TRUE}, {D3DZB_TRUE, D3DCMP_ALWAYS, TRUE}}) {
    s->SetRenderState(D3DRS_ZENABLE, enable);
    s->SetRenderState(D3DRS_ZFUNC, func);
    s->SetRenderState(D3DRS_ZWRITEENABLE, write);
    s.Quad(0.9f, kWhite, 0, 0, 16, 32);
    EXPECT_EQ(s.Held(), write && func == D3DCMP_ALWAYS ? 0u : 1u) << enable << " " << func;
  }
  s->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
  s.Quad(0.7f, kGreen);
  EXPECT_EQ(s.At(8, 16), kGreen) << "in front of what ALWAYS wrote";
  EXPECT_EQ(s.At(24, 16), kBlack) << "behind the clear";
}

TEST_P(OnBothTargets, PartialDepthClearsKeepTheirOrderAndValues) {
  DepthScene s(GetParam());
  ASSERT_EQ(s->Clear(0, nullptr, kColourDepth, kBlack, 1, 0), D3D_OK);
  D3DRECT left{0, 0, 16, 32}, middle{8, 0, 24, 32}, whole{0, 0, 32, 32};
  ASSERT_EQ(s->Clear(1, &left, D3DCLEAR_ZBUFFER, 0, 0.2f, 0), D3D_OK);
  ASSERT_EQ(s->Clear(1, &middle, D3DCLEAR_ZBUFFER, 0, 0.6f, 0), D3D_OK);
  D3DVIEWPORT9 bottom{0, 24, 32, 8, 0, 1}, all{0, 0, 32, 32, 0, 1};
  s->SetViewport(&bottom);
  ASSERT_EQ(s->Clear(1, &whole, D3DCLEAR_ZBUFFER, 0, 0, 0), D3D_OK);  // clipped: rows 24-31 only
  s->SetViewport(&all);
  // 96 one-pixel rectangles in rows 0-2 (more than are held: carried out at once), then 3 of them.
  std::vector<D3DRECT> pixels;
  for (LONG i = 0; i < 96; ++i) pixels.push_back({i % 32, i / 32, i % 32 + 1, i / 32 + 1});
  ASSERT_EQ(s->Clear(96, pixels.data(), D3DCLEAR_ZBUFFER, 0, 0.2f, 0), D3D_OK);
  ASSERT_EQ(s->Clear(3, pixels.data() + 61, D3DCLEAR_ZBUFFER, 0, 0.6f, 0), D3D_OK);
  EXPECT_EQ(s.Held(), 3u);
  s.Quad(0.4f, kGreen);
  d3d9test::Picture p = d3d9test::BackBuffer(s.d.device.get(), 32, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      bool drawn = y >= 3 && y < 24 && x >= 8;  // 0.6 over the left clear's right half, 1 right of both
      drawn = drawn || (y == 1 && x >= 29);  // the last three rectangles, cleared to 0.6
      ASSERT_EQ(p.at(x, y), drawn ? kGreen : kBlack) << "at " << x << "," << y;
    }
  // A later clear of the whole buffer replaces what is held.
  ASSERT_EQ(s->Clear(1, &left, D3DCLEAR_ZBUFFER, 0, 0.2f, 0), D3D_OK);
  ASSERT_EQ(s->Clear(0, nullptr, kColourDepth, kBlack, 1, 0), D3D_OK);
  EXPECT_EQ(s.Held(), 1u);
}

TEST_P(OnBothTargets, DepthClearedInOneFrameServesTheNextAndSpritesLeaveItHeld) {
  DepthScene s(GetParam());
  Ref<IDirect3DTexture9> texture;
  ASSERT_EQ(s->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr), D3D_OK);
  D3DLOCKED_RECT r{};
  ASSERT_EQ(texture->LockRect(0, &r, nullptr, 0), D3D_OK);
  *static_cast<std::uint32_t*>(r.pBits) = kWhite;
  texture->UnlockRect(0);
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(s.d.device.get(), sprite.out()), D3D_OK);
  D3DXVECTOR3 at(20, 2, 0);
  for (int frame = 0; frame < 2; ++frame) {
    ASSERT_EQ(s->Clear(0, nullptr, frame == 0 ? kColourDepth : D3DCLEAR_TARGET, kBlack, 0.5f, 0), D3D_OK);
    ASSERT_EQ(sprite->Begin(D3DXSPRITE_ALPHABLEND), D3D_OK);
    ASSERT_EQ(sprite->Draw(texture.get(), nullptr, nullptr, &at, kWhite), D3D_OK);
    ASSERT_EQ(sprite->End(), D3D_OK);
    EXPECT_EQ(s.At(20, 2), kWhite) << "the sprite is drawn";
    EXPECT_EQ(s.Held(), 1u) << "sprites use no depth";
    if (frame == 0) {
      ASSERT_EQ(s->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
  }
  s.Quad(0.7f, kRed);
  EXPECT_EQ(s.At(16, 16), kBlack) << "hidden by the depth cleared in the frame before";
}

TEST_P(OnBothTargets, ResetLeavesNoClearHeldAndTheDefaultStatesUseDepthAgain) {
  DepthScene s(GetParam());
  s->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  ASSERT_EQ(s->Clear(0, nullptr, kColourDepth, kBlack, 0.2f, 0), D3D_OK);
  D3DPRESENT_PARAMETERS pp = s.pp;
  ASSERT_EQ(s->Reset(&pp), D3D_OK);
  EXPECT_EQ(s.Held(), 0u);
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  s.Quad(0.7f, kGreen);  // ZENABLE on, LESSEQUAL
  EXPECT_EQ(s.At(16, 16), kGreen) << "in front of Reset's depth of 1, not the 0.2 held before";
  ASSERT_EQ(s->Clear(0, nullptr, kColourDepth, kBlack, 0.5f, 0), D3D_OK);
  s.Quad(0.7f, kRed);
  EXPECT_EQ(s.At(16, 16), kBlack) << "the default states test depth: the clear went first";
}

// A blend state that reads destination alpha moves an A8R8G8B8 back buffer out of the window from
// the next frame on. Depth does not follow it: a clear held for the window's depth stays there.
TEST(DepthClear, AClearHeldForTheWindowStaysThereWhenTheBackBufferMovesOut) {
  DepthScene s(Where::kWindow, D3DFMT_D16, D3DFMT_A8R8G8B8);
  ASSERT_EQ(s->Clear(0, nullptr, kColourDepth, kBlack, 0.5f, 0), D3D_OK);
  s->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_DESTALPHA);
  s->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
  ASSERT_EQ(s->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  ASSERT_EQ(s->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0), D3D_OK);
  ASSERT_FALSE(s.d.gl()->DrawsIntoWindow());
  s.Quad(0.7f, kGreen);
  EXPECT_EQ(s.At(16, 16), kGreen) << "the framebuffers' depth is the 1 they were made with";
}

// A whole clear of depth alone keeps the stencil clears that were held with depth ones.
TEST(DepthClear, StencilClearsAreHeldUntilTheStencilTestReadsThem) {
  DepthScene s(Where::kFramebuffer, D3DFMT_D24S8);
  ASSERT_EQ(s->Clear(0, nullptr, kColourDepth | D3DCLEAR_STENCIL, kBlack, 0.5f, 3), D3D_OK);
  ASSERT_EQ(s->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1, 0), D3D_OK);
  s->SetRenderState(D3DRS_STENCILENABLE, TRUE);
  s->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
  s->SetRenderState(D3DRS_STENCILREF, 3);
  s.Quad(0.7f, kGreen, 0, 0, 16, 32);
  EXPECT_EQ(s.At(8, 16), kGreen) << "stencil 3 from the first clear, depth 1 from the second";
  s->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  ASSERT_EQ(s->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1, 5), D3D_OK);
  s.Quad(0.7f, kRed, 16, 0, 32, 32);  // only the stencil test reads it
  EXPECT_EQ(s.At(24, 16), kBlack);
}
