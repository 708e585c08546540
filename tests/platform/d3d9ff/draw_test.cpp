// Vertex and index buffers and the rules of DrawPrimitive and DrawIndexedPrimitive: creation,
// locks, pools and Reset, references, what is refused, draws while lost; depth clears held back
// until a draw uses depth.
#include "ff_test_support.h"
#include "fvf.h"

using namespace fftest;
using d3d9test::kBlack, d3d9test::kRed, d3d9test::kGreen, d3d9test::kWhite, d3d9test::OnBothTargets, d3d9test::Where;

namespace {

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// A white square of screen-space vertices from (4, 4) to (20, 20) and its six indices, bound.
struct Ready : Scene {
  Ready() : Scene(32, 32, false) {
    vb.p = Vertices(get(), std::vector<ScreenVertex>{{4, 4, 0.5f, 1, kWhite, 0, 0}, {20, 4, 0.5f, 1, kWhite, 0, 0},
                                                     {20, 20, 0.5f, 1, kWhite, 0, 0}, {4, 20, 0.5f, 1, kWhite, 0, 0}},
                    kScreenFvf);
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

TEST(Buffers, CreationAndLocksAreChecked) {
  Scene s(16, 16, false);
  Ref<IDirect3DVertexBuffer9> vb;
  Ref<IDirect3DIndexBuffer9> ib;
  const struct {
    UINT length;
    DWORD usage, fvf;
    D3DPOOL pool;
  } refused[] = {{0, 0, 0, D3DPOOL_MANAGED},  {64, D3DUSAGE_RENDERTARGET, 0, D3DPOOL_DEFAULT},
                 {64, 0, 0, D3DPOOL_SCRATCH}, {64, D3DUSAGE_DYNAMIC, 0, D3DPOOL_MANAGED},
                 {35, 0, kLitFvf, D3DPOOL_MANAGED} /* shorter than a vertex */, {64, 0, D3DFVF_NORMAL, D3DPOOL_MANAGED}};
  for (const auto& c : refused)
    EXPECT_EQ(s->CreateVertexBuffer(c.length, c.usage, c.fvf, c.pool, vb.out(), nullptr), D3DERR_INVALIDCALL) << c.length;
  HANDLE shared = nullptr;
  EXPECT_EQ(s->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, vb.out(), &shared), D3DERR_INVALIDCALL);
  EXPECT_EQ(s->CreateIndexBuffer(64, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, ib.out(), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(s->CreateIndexBuffer(3, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, ib.out(), nullptr), D3DERR_INVALIDCALL);
  EXPECT_FALSE(vb || ib);
  ASSERT_EQ(s->CreateVertexBuffer(360, D3DUSAGE_WRITEONLY, kLitFvf, D3DPOOL_MANAGED, vb.out(), nullptr), D3D_OK);
  D3DVERTEXBUFFER_DESC v{};
  ASSERT_EQ(vb->GetDesc(&v), D3D_OK);
  EXPECT_TRUE(v.Format == D3DFMT_VERTEXDATA && v.Type == D3DRTYPE_VERTEXBUFFER && v.Usage == D3DUSAGE_WRITEONLY &&
              v.Pool == D3DPOOL_MANAGED && v.Size == 360 && v.FVF == kLitFvf);
  ASSERT_EQ(s->CreateIndexBuffer(400, D3DUSAGE_DYNAMIC, D3DFMT_INDEX32, D3DPOOL_DEFAULT, ib.out(), nullptr), D3D_OK);
  D3DINDEXBUFFER_DESC i{};
  ASSERT_EQ(ib->GetDesc(&i), D3D_OK);
  EXPECT_TRUE(i.Format == D3DFMT_INDEX32 && i.Type == D3DRTYPE_INDEXBUFFER && i.Pool == D3DPOOL_DEFAULT && i.Size == 400);
  void* p = nullptr;
  EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL) << "not locked";
  EXPECT_EQ(vb->Lock(360, 0, &p, 0), D3DERR_INVALIDCALL) << "past the end";
  EXPECT_EQ(vb->Lock(356, 8, &p, 0), D3DERR_INVALIDCALL) << "over the end";
  EXPECT_EQ(vb->Lock(0, 0, &p, D3DLOCK_READONLY | D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
  ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
  std::memset(p, 0x5A, 360);
  EXPECT_EQ(vb->Lock(0, 4, &p, 0), D3DERR_INVALIDCALL) << "locked twice";
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  ASSERT_EQ(vb->Lock(352, 0, &p, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(std::vector<std::uint8_t>(static_cast<std::uint8_t*>(p), static_cast<std::uint8_t*>(p) + 8),
            std::vector<std::uint8_t>(8, 0x5A))
      << "size 0 from an offset: to the end, as written";
  ASSERT_EQ(vb->Unlock(), D3D_OK);
}

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
      ScreenVertex q[4] = {{x0, 0, 0.5f, 1, c, 0, 0}, {x0 + 8, 0, 0.5f, 1, c, 0, 0}, {x0 + 8, 8, 0.5f, 1, c, 0, 0},
                           {x0, 8, 0.5f, 1, c, 0, 0}};
      void* p = nullptr;
      EXPECT_EQ(vb->Lock(quad * sizeof q, sizeof q, &p, flags), D3D_OK);
      if (p != nullptr) std::memcpy(p, q, sizeof q);
      vb->Unlock();
      EXPECT_EQ(s->DrawPrimitive(D3DPT_TRIANGLEFAN, quad * 4, 2), D3D_OK);
    };
    s.Clear(kBlack);
    write(0, 0, kRed, D3DLOCK_DISCARD);
    write(1, 8, kGreen, D3DLOCK_NOOVERWRITE);
    write(0, 16, d3d9test::kBlue, D3DLOCK_DISCARD);
    write(1, 24, kWhite, 0);
    Picture p = s.Back();
    EXPECT_EQ(std::vector<std::uint32_t>({p.at(4, 4), p.at(12, 4), p.at(20, 4), p.at(28, 4)}),
              std::vector<std::uint32_t>({kRed, kGreen, d3d9test::kBlue, kWhite}))
        << "pool " << pool;
  }
}

TEST(Buffers, DefaultPoolBuffersHoldOffResetAndManagedOnesSurviveIt) {
  Ready r;
  Ref<IDirect3DIndexBuffer9> pinned{Indices(r.get(), std::vector<std::uint16_t>{0, 1, 2}, D3DPOOL_DEFAULT)};
  EXPECT_EQ(r->Reset(&r.pp), D3DERR_INVALIDCALL) << "a DEFAULT index buffer lives";
  pinned.reset();
  Ref<IDirect3DVertexBuffer9> vertices{Vertices(r.get(), std::vector<float>(16), kScreenFvf, D3DPOOL_DEFAULT)};
  EXPECT_EQ(r->Reset(&r.pp), D3DERR_INVALIDCALL) << "a DEFAULT vertex buffer lives";
  // While the device is lost after the failed Reset, draws succeed, unchecked, and draw nothing.
  ASSERT_EQ(r->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(r.Indexed(0, 0, 99, 0, 99), D3D_OK) << "not even checked";
  EXPECT_EQ(r.Back().at(10, 10), kBlack);
  vertices.reset();
  ASSERT_EQ(r->Reset(&r.pp), D3D_OK);
  r.Bind();  // Reset unbinds everything
  ASSERT_EQ(r.Indexed(0, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(r.Back().at(10, 10), kWhite) << "the managed buffers' contents are still there";
}

TEST(Buffers, TheDeviceKeepsNoReferenceAndABufferThatGoesIsUnbound) {
  Ready r;
  EXPECT_EQ(References(r.get()), 3u) << "each buffer holds its device";
  EXPECT_EQ(References(r.vb.get()) + References(r.ib.get()), 2u) << "bound without a reference";
  Ref<IDirect3DVertexBuffer9> got;
  Ref<IDirect3DIndexBuffer9> gotIndices;
  UINT offset = 0, stride = 0;
  ASSERT_EQ(r->GetStreamSource(0, got.out(), &offset, &stride), D3D_OK);
  EXPECT_TRUE(got.get() == r.vb.get() && offset == 0 && stride == sizeof(ScreenVertex));
  EXPECT_EQ(References(r.vb.get()), 2u) << "handed out with a reference";
  got.reset();
  EXPECT_EQ(r->SetStreamSource(0, r.vb.get(), 2, 12), D3DERR_INVALIDCALL) << "offsets are multiples of 4";
  r.vb.reset(), r.ib.reset();
  ASSERT_EQ(r->GetStreamSource(0, got.out(), &offset, &stride), D3D_OK);
  ASSERT_EQ(r->GetIndices(gotIndices.out()), D3D_OK);
  EXPECT_FALSE(got || gotIndices);
  EXPECT_EQ(References(r.get()), 1u);
  Scene other(16, 16, false);
  ASSERT_EQ(other->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, r.vb.out(), nullptr), D3D_OK);
  EXPECT_EQ(r->SetStreamSource(0, r.vb.get(), 0, 16), D3DERR_INVALIDCALL) << "another device's";
  // Let go of after its device, a buffer drawn from takes the device (and its context) with it.
  IDirect3DDevice9* d = other.d.device.release();
  ASSERT_EQ(d->SetFVF(D3DFVF_XYZRHW), D3D_OK);
  ASSERT_EQ(d->SetStreamSource(0, r.vb.get(), 0, 16), D3D_OK);
  ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
  EXPECT_EQ(d->Release(), 1u);
  EXPECT_EQ(r.vb.release()->Release(), 0u);
}

TEST(Draw, CallsThatNameWhatIsNotThereAreRefused) {
  Ready r;
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3D_OK);
  const struct {
    INT base;
    UINT minIndex, vertices, start, count;
    const char* what;
  } refused[] = {{0, 0, 4, 0, 0, "no primitives"},         {0, 0, 4, 0, 3, "more indices than there are"},
                 {0, 0, 4, 1, 2, "indices past the end"},  {0, 0, 5, 0, 2, "five vertices of four"},
                 {0, 1, 4, 0, 2, "vertices 1 to 4"},       {0, 0, 0, 0, 2, "no vertices"},
                 {1, 0, 3, 0, 2, "index 3 + 1: vertex 4"}, {-1, 1, 3, 0, 2, "index 0 - 1: vertex -1"}};
  for (const auto& c : refused)
    EXPECT_EQ(r.Indexed(c.base, c.minIndex, c.vertices, c.start, c.count), D3DERR_INVALIDCALL) << c.what;
  EXPECT_EQ(r->DrawIndexedPrimitive(static_cast<D3DPRIMITIVETYPE>(7), 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(r->DrawPrimitive(D3DPT_TRIANGLEFAN, 1, 2), D3DERR_INVALIDCALL) << "vertices 1 to 4 of 4";
  // An index naming a vertex outside the buffer, wherever the vertex range says.
  void* p = nullptr;
  ASSERT_EQ(r.ib->Lock(10, 2, &p, 0), D3D_OK);
  *static_cast<std::uint16_t*>(p) = 9;
  r.ib->Unlock();
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 1), D3D_OK) << "the first triangle does not use it";
  ASSERT_EQ(r.vb->Lock(0, 0, &p, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 1), D3DERR_INVALIDCALL) << "a locked buffer";
  r.vb->Unlock();
  // Without a stride long enough, a format, indices or stream 0.
  r->SetStreamSource(0, r.vb.get(), 0, 24);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(r->SetFVF(D3DFVF_XYZW), D3DERR_INVALIDCALL) << "not for the fixed-function pipeline";
  r->SetFVF(0);
  r->SetStreamSource(0, r.vb.get(), 0, sizeof(ScreenVertex));
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 1), D3DERR_INVALIDCALL);
  r->SetFVF(kScreenFvf);
  r->SetIndices(nullptr);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(r->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK) << "needs no indices, nor a scene";
  r->SetStreamSource(0, nullptr, 0, 0);
  r->SetStreamSource(1, r.vb.get(), 0, sizeof(ScreenVertex));
  EXPECT_EQ(r->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3DERR_INVALIDCALL) << "vertices come from stream 0";
  for (DWORD bad : {0u, DWORD{D3DFVF_NORMAL}, DWORD{D3DFVF_XYZ | D3DFVF_RESERVED0}, D3DFVF_XYZ | 0x900u,
                    DWORD{D3DFVF_XYZ | D3DFVF_LASTBETA_UBYTE4}, DWORD{D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(1)}})
    EXPECT_FALSE(zr::d3d9::LayoutOf(bad).valid) << std::hex << bad;
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
  EXPECT_EQ(d.gl()->HeldDepthStencilClears(), 1u);
  DrawScreenQuad(device, 0, 0, 32, 32, kRed, 0.7f);  // behind 0.5
  EXPECT_EQ(at(16, 16), kBlack);
  // Near, then far over it: the clear went before the first draw only.
  ASSERT_EQ(d->Clear(0, nullptr, all, kBlack, 1, 0), D3D_OK);
  DrawScreenQuad(device, 8, 8, 24, 24, kRed, 0.2f);
  DrawScreenQuad(device, 0, 0, 32, 32, kGreen, 0.6f);
  EXPECT_EQ(std::vector<std::uint32_t>({at(16, 16), at(2, 2)}), std::vector<std::uint32_t>({kRed, kGreen}));
  // States under which GL neither reads nor writes depth keep it held; ALWAYS with writes does not.
  ASSERT_EQ(d->Clear(0, nullptr, all, kBlack, 0.5f, 0), D3D_OK);
  for (auto [enable, func, write] : {std::tuple{D3DZB_FALSE, D3DCMP_LESS, TRUE}, {D3DZB_TRUE, D3DCMP_ALWAYS, FALSE},
                                     {D3DZB_TRUE, D3DCMP_NEVER, TRUE}, {D3DZB_TRUE, D3DCMP_ALWAYS, TRUE}}) {
    d->SetRenderState(D3DRS_ZENABLE, enable);
    d->SetRenderState(D3DRS_ZFUNC, func);
    d->SetRenderState(D3DRS_ZWRITEENABLE, write);
    DrawScreenQuad(device, 0, 0, 16, 32, kWhite, 0.9f);
  }
  d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
  DrawScreenQuad(device, 0, 0, 32, 32, kGreen, 0.7f);
  EXPECT_EQ(std::vector<std::uint32_t>({at(8, 16), at(24, 16)}), std::vector<std::uint32_t>({kGreen, kBlack}))
      << "in front of what ALWAYS wrote; behind the clear";
  // Partial clears keep their order and values: left 0.2, then the middle 0.6, then rows 24-31
  // (the viewport clips the whole rectangle) 0; then 96 one-pixel rectangles in rows 0-2 (more
  // than are held: carried out at once) 0.2, then three of them 0.6.
  ASSERT_EQ(d->Clear(0, nullptr, all, kBlack, 1, 0), D3D_OK);
  D3DRECT left{0, 0, 16, 32}, middle{8, 0, 24, 32}, whole{0, 0, 32, 32};
  ASSERT_EQ(d->Clear(1, &left, D3DCLEAR_ZBUFFER, 0, 0.2f, 0), D3D_OK);
  ASSERT_EQ(d->Clear(1, &middle, D3DCLEAR_ZBUFFER, 0, 0.6f, 0), D3D_OK);
  D3DVIEWPORT9 bottom{0, 24, 32, 8, 0, 1}, view{0, 0, 32, 32, 0, 1};
  d->SetViewport(&bottom);
  ASSERT_EQ(d->Clear(1, &whole, D3DCLEAR_ZBUFFER, 0, 0, 0), D3D_OK);
  d->SetViewport(&view);
  std::vector<D3DRECT> pixels;
  for (LONG i = 0; i < 96; ++i) pixels.push_back({i % 32, i / 32, i % 32 + 1, i / 32 + 1});
  ASSERT_EQ(d->Clear(96, pixels.data(), D3DCLEAR_ZBUFFER, 0, 0.2f, 0), D3D_OK);
  ASSERT_EQ(d->Clear(3, pixels.data() + 61, D3DCLEAR_ZBUFFER, 0, 0.6f, 0), D3D_OK);
  DrawScreenQuad(device, 0, 0, 32, 32, kGreen, 0.4f);
  Picture p = d3d9test::BackBuffer(device, 32, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      bool drawn = (y >= 3 && y < 24 && x >= 8) || (y == 1 && x >= 29);  // 0.6 or 1
      ASSERT_EQ(p.at(x, y), drawn ? kGreen : kBlack) << "at " << x << "," << y;
    }
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
    EXPECT_EQ(d.gl()->HeldDepthStencilClears(), 1u) << "sprites use no depth";
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
