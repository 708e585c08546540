// Vertex and index buffers: creation, locks and what reaches GL, pools and Reset, references,
// and the layouts of flexible vertex formats.
#include "buffer.h"
#include "ff_test_support.h"
#include "fvf.h"

using namespace fftest;

namespace {

std::vector<std::uint8_t> GlBytes(Scene& s, IDirect3DResource9* b, UINT length) {
  GLuint name = b->GetType() == D3DRTYPE_VERTEXBUFFER ? static_cast<zr::d3d9::GlVertexBuffer*>(b)->Store().Name()
                                                      : static_cast<zr::d3d9::GlIndexBuffer*>(b)->Store().Name();
  std::vector<std::uint8_t> bytes(length);
  EXPECT_TRUE(name != 0 && s.d.gl()->MakeCurrent());
  glBindBuffer(GL_COPY_READ_BUFFER, name);
  glGetBufferSubData(GL_COPY_READ_BUFFER, 0, length, bytes.data());
  glBindBuffer(GL_COPY_READ_BUFFER, 0);
  return bytes;
}

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

}  // namespace

TEST(Buffers, CreationChecksItsArgumentsAndBuffersDescribeThemselves) {
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
  Ref<IUnknown> unknown;
  EXPECT_EQ(vb->QueryInterface(IID_IDirect3DVertexBuffer9, reinterpret_cast<void**>(unknown.out())), S_OK);
  EXPECT_EQ(vb->QueryInterface(IID_IDirect3DIndexBuffer9, reinterpret_cast<void**>(unknown.out())), E_NOINTERFACE);
}

TEST(Buffers, LocksAreCheckedAndWhatTheyWriteReachesGl) {
  Scene s(16, 16, false);
  Ref<IDirect3DVertexBuffer9> vb;
  ASSERT_EQ(s->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, vb.out(), nullptr), D3D_OK);
  void* p = nullptr;
  EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL) << "not locked";
  EXPECT_EQ(vb->Lock(64, 0, &p, 0), D3DERR_INVALIDCALL) << "past the end";
  EXPECT_EQ(vb->Lock(60, 8, &p, 0), D3DERR_INVALIDCALL) << "over the end";
  EXPECT_EQ(vb->Lock(0, 0, &p, D3DLOCK_READONLY | D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
  ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
  EXPECT_EQ(vb->Lock(0, 4, &p, 0), D3DERR_INVALIDCALL) << "locked twice";
  std::vector<std::uint8_t> want(64);
  for (int i = 0; i < 64; ++i) want[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
  std::memcpy(p, want.data(), 64);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  EXPECT_EQ(GlBytes(s, vb.get(), 64), want);
  ASSERT_EQ(vb->Lock(56, 0, &p, 0), D3D_OK) << "size 0 from an offset: to the end";
  std::memset(p, 0xBB, 8);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  std::fill(want.begin() + 56, want.end(), 0xBB);
  ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(std::memcmp(p, want.data(), 64), 0) << "reads what was written";
  static_cast<std::uint8_t*>(p)[0] = 0xEE;
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  EXPECT_EQ(GlBytes(s, vb.get(), 64), want) << "a read-only lock sends nothing";
  // A dynamic buffer: DISCARD, NOOVERWRITE and plain locks of a range all reach GL.
  Ref<IDirect3DIndexBuffer9> ib;
  ASSERT_EQ(s->CreateIndexBuffer(32, D3DUSAGE_DYNAMIC, D3DFMT_INDEX16, D3DPOOL_DEFAULT, ib.out(), nullptr), D3D_OK);
  std::vector<std::uint8_t> indices(32, 0);
  for (auto [flags, value] : {std::pair{DWORD{D3DLOCK_DISCARD}, 0x11}, {DWORD{D3DLOCK_NOOVERWRITE}, 0x22}, {0u, 0x33}}) {
    ASSERT_EQ(ib->Lock(8, 8, &p, flags), D3D_OK);
    std::memset(p, value, 8);
    ASSERT_EQ(ib->Unlock(), D3D_OK);
    std::fill(indices.begin() + 8, indices.begin() + 16, static_cast<std::uint8_t>(value));
    EXPECT_EQ(GlBytes(s, ib.get(), 32), indices) << flags;
  }
}

// A draw reads what was written before it: refilled with NOOVERWRITE beside what a pending draw
// reads, and with DISCARD over it.
TEST(Buffers, DynamicAndSystemMemoryBuffersDrawWhatWasWrittenLast) {
  Scene s(32, 32, false);
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  for (D3DPOOL pool : {D3DPOOL_DEFAULT, D3DPOOL_SYSTEMMEM}) {
    Ref<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(s->CreateVertexBuffer(8 * sizeof(ScreenVertex), D3DUSAGE_DYNAMIC, kScreenFvf, pool, vb.out(), nullptr),
              D3D_OK);
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
    s.Clear(0xFF000000);
    write(0, 0, 0xFFFF0000, D3DLOCK_DISCARD);
    write(1, 8, 0xFF00FF00, D3DLOCK_NOOVERWRITE);
    write(0, 16, 0xFF0000FF, D3DLOCK_DISCARD);
    Picture p = s.Back();
    EXPECT_TRUE(p.at(4, 4) == 0xFFFF0000u && p.at(12, 4) == 0xFF00FF00u && p.at(20, 4) == 0xFF0000FFu) << pool;
  }
}

TEST(Buffers, DefaultPoolBuffersHoldOffResetAndManagedOnesSurviveIt) {
  Scene s(32, 32, false);
  std::vector<ScreenVertex> quad = {{4, 4, 0.5f, 1, 0xFF00FF00, 0, 0}, {20, 4, 0.5f, 1, 0xFF00FF00, 0, 0},
                                    {20, 20, 0.5f, 1, 0xFF00FF00, 0, 0}, {4, 20, 0.5f, 1, 0xFF00FF00, 0, 0}};
  Ref<IDirect3DVertexBuffer9> managed{Vertices(s.get(), quad, kScreenFvf)};
  Ref<IDirect3DIndexBuffer9> pinned{Indices(s.get(), std::vector<std::uint16_t>{0, 1, 2}, D3DPOOL_DEFAULT)};
  EXPECT_EQ(s->Reset(&s.pp), D3DERR_INVALIDCALL) << "a DEFAULT index buffer lives";
  pinned.reset();
  Ref<IDirect3DVertexBuffer9> vertices{Vertices(s.get(), quad, kScreenFvf, D3DPOOL_DEFAULT)};
  EXPECT_EQ(s->Reset(&s.pp), D3DERR_INVALIDCALL) << "a DEFAULT vertex buffer lives";
  vertices.reset();
  ASSERT_EQ(s->Reset(&s.pp), D3D_OK);
  s.Clear(0xFF000000);
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  s->SetFVF(kScreenFvf);
  s->SetStreamSource(0, managed.get(), 0, sizeof(ScreenVertex));
  ASSERT_EQ(s->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
  EXPECT_EQ(s.Back().at(10, 10), 0xFF00FF00u) << "the managed buffer's vertices are still there";
}

TEST(Buffers, TheDeviceKeepsNoReferenceAndABufferThatGoesIsUnbound) {
  Scene s(16, 16, false);
  Ref<IDirect3DVertexBuffer9> vb, got;
  Ref<IDirect3DIndexBuffer9> ib, gotIndices;
  ASSERT_EQ(s->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, vb.out(), nullptr), D3D_OK);
  ASSERT_EQ(s->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, ib.out(), nullptr), D3D_OK);
  EXPECT_EQ(References(s.get()), 3u) << "each buffer holds its device";
  ASSERT_EQ(s->SetStreamSource(0, vb.get(), 8, 12), D3D_OK);
  ASSERT_EQ(s->SetIndices(ib.get()), D3D_OK);
  EXPECT_EQ(References(vb.get()) + References(ib.get()), 2u);
  UINT offset = 0, stride = 0;
  ASSERT_EQ(s->GetStreamSource(0, got.out(), &offset, &stride), D3D_OK);
  EXPECT_TRUE(got.get() == vb.get() && offset == 8 && stride == 12);
  EXPECT_EQ(References(vb.get()), 2u) << "handed out with a reference";
  ASSERT_EQ(s->GetIndices(gotIndices.out()), D3D_OK);
  EXPECT_EQ(gotIndices.get(), ib.get());
  got.reset(), gotIndices.reset();
  EXPECT_EQ(s->SetStreamSource(0, vb.get(), 2, 12), D3DERR_INVALIDCALL) << "offsets are multiples of 4";
  vb.reset(), ib.reset();
  ASSERT_EQ(s->GetStreamSource(0, got.out(), &offset, &stride), D3D_OK);
  ASSERT_EQ(s->GetIndices(gotIndices.out()), D3D_OK);
  EXPECT_FALSE(got || gotIndices);
  EXPECT_EQ(References(s.get()), 1u);
  Scene other(16, 16, false);
  ASSERT_EQ(other->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, vb.out(), nullptr), D3D_OK);
  EXPECT_EQ(s->SetStreamSource(0, vb.get(), 0, 16), D3DERR_INVALIDCALL) << "another device's";
  // Let go of after its device, a buffer drawn from takes the device (and its context) with it.
  IDirect3DDevice9* d = other.d.device.release();
  ASSERT_EQ(d->SetFVF(D3DFVF_XYZRHW), D3D_OK);
  ASSERT_EQ(d->SetStreamSource(0, vb.get(), 0, 16), D3D_OK);
  ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
  EXPECT_EQ(d->Release(), 1u);
  EXPECT_EQ(vb.release()->Release(), 0u);
}

TEST(Fvf, LayoutsFollowTheBits) {
  using zr::d3d9::LayoutOf;
  auto lit = LayoutOf(kLitFvf);
  EXPECT_TRUE(lit.valid && !lit.rhw && lit.size == 36 && lit.normal == 12 && lit.diffuse == 24 &&
              lit.specular == -1 && lit.texOffset[0] == 28);
  auto screen = LayoutOf(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE1(1));
  EXPECT_TRUE(screen.valid && screen.rhw && screen.diffuse == 16 && screen.specular == 20 && screen.texOffset[1] == 32 &&
              screen.texComponents[1] == 1 && screen.size == 36);
  EXPECT_EQ(LayoutOf(D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_NORMAL).normal, 24);
  EXPECT_EQ(LayoutOf(D3DFVF_XYZ | D3DFVF_TEX8).size, 12u + 8 * 8);
  for (DWORD bad : {0u, DWORD{D3DFVF_NORMAL}, DWORD{D3DFVF_XYZW}, DWORD{D3DFVF_XYZ | D3DFVF_RESERVED0}, D3DFVF_XYZ | 0x900u,
                    DWORD{D3DFVF_XYZ | D3DFVF_LASTBETA_UBYTE4}, DWORD{D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(1)}})
    EXPECT_FALSE(LayoutOf(bad).valid) << std::hex << bad;
}
