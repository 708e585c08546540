// Vertex and index buffers and the rules of DrawPrimitive and DrawIndexedPrimitive: what a draw
// reads, pools and Reset, what is refused, draws while lost; depth clears held back until a draw
// uses depth.
#include "ff_test_support.h"

using namespace fftest;
using d3d9test::kBlack, d3d9test::kRed, d3d9test::kGreen, d3d9test::kBlue, d3d9test::kWhite, d3d9test::OnBothTargets;
using d3d9test::Where;

namespace {

// A white square of screen-space vertices from (4, 4) to (20, 20) and its six indices, bound.
struct Ready : Scene {
  Ready() : Scene(32, 32, false) {
    std::vector<ScreenVertex> quad;
    for (auto [x, y] : {std::pair{4, 4}, {20, 4}, {20, 20}, {4, 20}}) quad.push_back({float(x), float(y), 0.5f, 1, kWhite});
    vb.p = Vertices(get(), quad, kScreenFvf);
    ib.p = Indices(get(), std::vector<std::uint16_t>{0, 1, 2, 0, 2, 3});
    Bind();
    Clear(kBlack);
  }
  void Bind() const {
    d->SetFVF(kScreenFvf);
    d->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
    d->SetIndices(ib.get());
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  }
  HRESULT Indexed(INT base, UINT minIndex, UINT vertices, UINT start, UINT count) const {
    return d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, base, minIndex, vertices, start, count);
  }
  Ref<IDirect3DVertexBuffer9> vb;
  Ref<IDirect3DIndexBuffer9> ib;
};

}  // namespace

// A draw reads what was written before it: refilled with NOOVERWRITE beside what a pending draw
// reads, with DISCARD over it, and with a plain lock of a range, in every pool the device fills.
TEST(Buffers, DrawWhatWasWrittenLastInEveryPool) {
  Scene s(32, 32, false);
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  for (auto [pool, usage] : {std::pair{D3DPOOL_DEFAULT, DWORD{D3DUSAGE_DYNAMIC}}, {D3DPOOL_SYSTEMMEM, DWORD{0}},
                             {D3DPOOL_MANAGED, DWORD{0}}}) {
    Ref<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(s->CreateVertexBuffer(8 * sizeof(ScreenVertex), usage, kScreenFvf, pool, vb.out(), nullptr), D3D_OK);
    s->SetFVF(kScreenFvf);
    s->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
    auto write = [&](UINT quad, float x0, D3DCOLOR c, DWORD flags) {
      ScreenVertex q[4] = {{x0, 0, 0.5f, 1, c}, {x0 + 8, 0, 0.5f, 1, c}, {x0 + 8, 8, 0.5f, 1, c}, {x0, 8, 0.5f, 1, c}};
      void* p = nullptr;
      ASSERT_EQ(vb->Lock(quad * sizeof q, quad == 1 ? 0 : sizeof q, &p, flags), D3D_OK);  // 0: to the end
      std::memcpy(p, q, sizeof q);
      vb->Unlock();
      EXPECT_EQ(s->DrawPrimitive(D3DPT_TRIANGLEFAN, quad * 4, 2), D3D_OK);
    };
    s.Clear(kBlack);
    write(0, 0, kRed, D3DLOCK_DISCARD);
    write(1, 8, kGreen, D3DLOCK_NOOVERWRITE);
    write(0, 16, kBlue, D3DLOCK_DISCARD);
    write(1, 24, kWhite, 0);
    Picture p = s.Back();
    EXPECT_EQ(std::vector<std::uint32_t>({p.at(4, 4), p.at(12, 4), p.at(20, 4), p.at(28, 4)}),
              std::vector<std::uint32_t>({kRed, kGreen, kBlue, kWhite}))
        << "pool " << pool;
  }
}

TEST(Buffers, DefaultPoolBuffersHoldOffResetManagedOnesSurviveItAndALostDeviceDrawsNothing) {
  Ready r;
  for (bool vertices : {false, true}) {
    Ref<IUnknown> pinned{vertices ? static_cast<IUnknown*>(Vertices(r.get(), std::vector<float>(16), kScreenFvf, D3DPOOL_DEFAULT))
                                   : Indices(r.get(), std::vector<std::uint16_t>{0, 1, 2}, D3DPOOL_DEFAULT)};
    EXPECT_EQ(r->Reset(&r.pp), D3DERR_INVALIDCALL) << "a DEFAULT buffer lives";
  }
  Ref<IDirect3DIndexBuffer9> pinned{Indices(r.get(), std::vector<std::uint16_t>{0, 1, 2}, D3DPOOL_DEFAULT)};
  ASSERT_EQ(r->Reset(&r.pp), D3DERR_INVALIDCALL);
  ASSERT_EQ(r->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(r.Indexed(0, 0, 99, 0, 99), D3D_OK) << "not even checked";
  EXPECT_EQ(r.Back().at(10, 10), kBlack);
  pinned.reset();
  ASSERT_EQ(r->Reset(&r.pp), D3D_OK);
  r.Bind();  // Reset unbinds everything
  ASSERT_EQ(r.Indexed(0, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(r.Back().at(10, 10), kWhite) << "the managed buffers' contents are still there";
}

// What would make GL read outside a buffer is refused.
TEST(Draw, CallsThatNameWhatIsNotThereAreRefused) {
  Ready r;
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3D_OK);
  for (auto [base, minIndex, vertices, start, count] : {std::tuple{0, 0u, 4u, 0u, 3u}, {0, 0, 4, 1, 2}, {0, 0, 5, 0, 2},
                                                        {1, 0, 3, 0, 2}, {-1, 1, 3, 0, 2}})
    EXPECT_EQ(r.Indexed(base, minIndex, vertices, start, count), D3DERR_INVALIDCALL) << base << " " << start << " " << count;
  EXPECT_EQ(r->DrawPrimitive(D3DPT_TRIANGLEFAN, 1, 2), D3DERR_INVALIDCALL) << "vertices 1 to 4 of 4";
  void* p = nullptr;
  ASSERT_EQ(r.ib->Lock(10, 2, &p, 0), D3D_OK);
  *static_cast<std::uint16_t*>(p) = 9;  // a vertex outside the buffer, whatever the range says
  r.ib->Unlock();
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 1), D3D_OK) << "the first triangle does not use it";
  r->SetStreamSource(0, r.vb.get(), 0, 24);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 1), D3DERR_INVALIDCALL) << "a stride shorter than the format";
}

// The device holds depth clears back until a draw reads or writes depth; the picture must be the
// one clearing at once gives, wherever the back buffer lives.
TEST_P(OnBothTargets, DepthClearsHeldBackGiveThePictureOfClearingAtOnce) {
  d3d9test::TestWindow window(GetParam() == Where::kWindow ? 32 : 72, GetParam() == Where::kWindow ? 32 : 62);
  D3DPRESENT_PARAMETERS pp = d3d9test::Windowed(window.handle(), 32, 32);
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D16;
  Device d;
  d3d9test::MakeDevice(window.handle(), pp, d);
  ASSERT_EQ(d.gl()->DrawsIntoWindow(), GetParam() == Where::kWindow);
  IDirect3DDevice9* device = d.device.get();
  d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
  const DWORD all = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
  auto at = [&](int x, int y) { return d3d9test::BackBuffer(device, 32, 32).at(x, y); };
  ASSERT_EQ(d->Clear(0, nullptr, all, kBlack, 0.5f, 0), D3D_OK);
  DrawScreenQuad(device, 0, 0, 32, 32, kRed, 0.7f);  // behind 0.5
  EXPECT_EQ(at(16, 16), kBlack);
  // Near, then far over it: the clear went before the first draw only.
  ASSERT_EQ(d->Clear(0, nullptr, all, kBlack, 1, 0), D3D_OK);
  DrawScreenQuad(device, 8, 8, 24, 24, kRed, 0.2f);
  DrawScreenQuad(device, 0, 0, 32, 32, kGreen, 0.6f);
  EXPECT_EQ(std::vector<std::uint32_t>({at(16, 16), at(2, 2)}), std::vector<std::uint32_t>({kRed, kGreen}));
  // Cleared in one frame, depth serves the next, whose sprites use none and leave it held.
  Ref<IDirect3DTexture9> texture(d3d9test::MakeTexture(device, 1, 1, {kWhite}));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(device, sprite.out()), D3D_OK);
  D3DXVECTOR3 position(20, 2, 0);
  for (DWORD flags : {all, DWORD{D3DCLEAR_TARGET}}) {
    ASSERT_EQ(d->Clear(0, nullptr, flags, kBlack, 0.5f, 0), D3D_OK);
    sprite->Begin(D3DXSPRITE_ALPHABLEND);
    sprite->Draw(texture.get(), nullptr, nullptr, &position, kWhite);
    sprite->End();
    EXPECT_EQ(at(20, 2), kWhite) << "the sprite is drawn";
    ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  }
  DrawScreenQuad(device, 0, 0, 32, 32, kRed, 0.7f);
  EXPECT_EQ(at(16, 16), kBlack) << "hidden by the depth cleared in the frame before";
  // Reset leaves nothing held: the default states test depth against Reset's depth of 1.
  ASSERT_EQ(d->Clear(0, nullptr, all, kBlack, 0.2f, 0), D3D_OK);
  sprite.reset();
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  DrawScreenQuad(device, 0, 0, 32, 32, kGreen, 0.7f);
  EXPECT_EQ(at(16, 16), kGreen) << "in front of Reset's depth of 1, not the 0.2 held before";
}
