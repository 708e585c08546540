// The rules of DrawPrimitive and DrawIndexedPrimitive: what is refused, draws while the device is
// lost, held sprites drawn first, and the fixed-function states' defaults after creation and Reset.
#include "ff_test_support.h"
#include "quad_batch.h"
#include "texture.h"

using namespace fftest;

namespace {

// A white square of screen-space vertices from (4, 4) to (20, 20) and its six indices, bound.
struct Ready : Scene {
  Ready() : Scene(32, 32, false) {
    std::vector<ScreenVertex> quad = {{4, 4, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {20, 4, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                      {20, 20, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {4, 20, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    vb.p = Vertices(get(), quad, kScreenFvf);
    ib.p = Indices(get(), std::vector<std::uint16_t>{0, 1, 2, 0, 2, 3});
    Bind();
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    Clear(0xFF000000);
  }
  void Bind() const {
    d->SetFVF(kScreenFvf);
    d->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
    d->SetIndices(ib.get());
  }
  HRESULT Indexed(INT base, UINT minIndex, UINT vertices, UINT start, UINT count) const {
    return d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, base, minIndex, vertices, start, count);
  }
  void SetIndex(UINT i, std::uint16_t value) const {
    void* p = nullptr;
    ASSERT_EQ(ib->Lock(i * 2, 2, &p, 0), D3D_OK);
    *static_cast<std::uint16_t*>(p) = value;
    ib->Unlock();
  }
  Ref<IDirect3DVertexBuffer9> vb;
  Ref<IDirect3DIndexBuffer9> ib;
};

}  // namespace

TEST(Draw, CallsThatNameWhatIsNotThereAreRefused) {
  Ready r;
  IDirect3DDevice9* d = r.get();
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 0, 4, 0, 4), D3D_OK) << "six indices: four triangles";
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
  EXPECT_EQ(d->DrawIndexedPrimitive(static_cast<D3DPRIMITIVETYPE>(7), 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLEFAN, 1, 2), D3DERR_INVALIDCALL) << "vertices 1 to 4 of 4";
  // An index naming a vertex outside the buffer, wherever the vertex range says.
  r.SetIndex(5, 9);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 1), D3D_OK) << "the first triangle does not use it";
  r.SetIndex(5, 3);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3D_OK);
  void* p = nullptr;
  ASSERT_EQ(r.vb->Lock(0, 0, &p, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3DERR_INVALIDCALL) << "a locked buffer";
  r.vb->Unlock();
  // Without a stride long enough, a format, indices or stream 0.
  d->SetStreamSource(0, r.vb.get(), 0, 24);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->SetFVF(D3DFVF_XYZW), D3DERR_INVALIDCALL) << "not for the fixed-function pipeline";
  d->SetFVF(0);
  d->SetStreamSource(0, r.vb.get(), 0, sizeof(ScreenVertex));
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  d->SetFVF(kScreenFvf);
  d->SetIndices(nullptr);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK) << "needs no indices, nor a scene";
  d->SetStreamSource(0, nullptr, 0, 0);
  d->SetStreamSource(1, r.vb.get(), 0, sizeof(ScreenVertex));
  EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3DERR_INVALIDCALL) << "vertices come from stream 0";
}

TEST(Draw, WhileTheDeviceIsLostDrawsSucceedAndDrawNothing) {
  Ready r;
  Ref<IDirect3DIndexBuffer9> pinned{Indices(r.get(), std::vector<std::uint16_t>{0}, D3DPOOL_DEFAULT)};
  ASSERT_EQ(r->Reset(&r.pp), D3DERR_INVALIDCALL);  // a failed Reset leaves the device lost
  ASSERT_EQ(r->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(r.Indexed(0, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(r.Indexed(0, 0, 99, 0, 99), D3D_OK) << "not even checked";
  EXPECT_EQ(r.Back().at(10, 10), 0xFF000000u);
  pinned.reset();
  ASSERT_EQ(r->Reset(&r.pp), D3D_OK);
  r.Bind();  // Reset unbinds everything
  r->SetRenderState(D3DRS_LIGHTING, FALSE);
  ASSERT_EQ(r.Indexed(0, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(r.Back().at(10, 10), 0xFFFFFFFFu);
}

TEST(Draw, HeldSpritesAreDrawnFirst) {
  Ready r;
  Ref<IDirect3DTexture9> white;
  ASSERT_EQ(r->CreateTexture(1, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, white.out(), nullptr), D3D_OK);
  D3DLOCKED_RECT texel{};
  ASSERT_EQ(white->LockRect(0, &texel, nullptr, 0), D3D_OK);
  *static_cast<std::uint32_t*>(texel.pBits) = 0xFFFFFFFF;
  white->UnlockRect(0);
  zr::d3d9::QuadBatch::Style style;
  style.texture = static_cast<zr::d3d9::GlTexture*>(white.get())->Name();
  zr::d3d9::QuadBatch::Vertex* v = r.d.gl()->Quads().Add(style, nullptr);
  ASSERT_NE(v, nullptr);
  for (int i = 0; i < 4; ++i) v[i] = {32.0f * (i & 1), 32.0f * (i >> 1), 0, 0, 0xFFFF0000};  // a red sprite
  ASSERT_EQ(r.Indexed(0, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(r.d.gl()->Quads().PendingQuads(), 0u);
  Picture p = r.Back();
  EXPECT_TRUE(p.at(10, 10) == 0xFFFFFFFFu && p.at(25, 25) == 0xFFFF0000u) << "the square over the sprite";
}

TEST(Draw, FixedFunctionStatesHaveTheirDefaultsAfterCreationAndReset) {
  Ready r;
  IDirect3DDevice9* d = r.get();
  auto expectDefaults = [&](const char* when) {
    DWORD v = 0;
    for (auto [state, want] : {std::pair{D3DRS_LIGHTING, DWORD{TRUE}}, {D3DRS_AMBIENT, 0u}, {D3DRS_SPECULARENABLE, 0u},
                               {D3DRS_LOCALVIEWER, 1u}, {D3DRS_NORMALIZENORMALS, 0u}, {D3DRS_COLORVERTEX, 1u},
                               {D3DRS_DIFFUSEMATERIALSOURCE, 1u}, {D3DRS_SPECULARMATERIALSOURCE, 2u},
                               {D3DRS_AMBIENTMATERIALSOURCE, 0u}, {D3DRS_EMISSIVEMATERIALSOURCE, 0u},
                               {D3DRS_CULLMODE, DWORD{D3DCULL_CCW}}, {D3DRS_SHADEMODE, DWORD{D3DSHADE_GOURAUD}},
                               {D3DRS_ZENABLE, DWORD{D3DZB_FALSE}}}) {  // no depth buffer here
      EXPECT_EQ(d->GetRenderState(state, &v), D3D_OK);
      EXPECT_EQ(v, want) << when << ": render state " << state;
    }
    for (DWORD stage = 0; stage < 8; ++stage)
      for (auto [type, want] : {std::pair{D3DTSS_COLOROP, stage == 0 ? DWORD{D3DTOP_MODULATE} : DWORD{D3DTOP_DISABLE}},
                                {D3DTSS_ALPHAOP, stage == 0 ? DWORD{D3DTOP_SELECTARG1} : DWORD{D3DTOP_DISABLE}},
                                {D3DTSS_COLORARG1, DWORD{D3DTA_TEXTURE}}, {D3DTSS_COLORARG2, DWORD{D3DTA_CURRENT}},
                                {D3DTSS_ALPHAARG1, DWORD{D3DTA_TEXTURE}}, {D3DTSS_ALPHAARG2, DWORD{D3DTA_CURRENT}},
                                {D3DTSS_TEXCOORDINDEX, stage}, {D3DTSS_RESULTARG, DWORD{D3DTA_CURRENT}},
                                {D3DTSS_TEXTURETRANSFORMFLAGS, 0u}}) {
        EXPECT_EQ(d->GetTextureStageState(stage, type, &v), D3D_OK);
        EXPECT_EQ(v, want) << when << ": stage " << stage << " state " << type;
      }
    D3DMATERIAL9 m, zero{};
    std::memset(&m, 0x7F, sizeof m);
    EXPECT_EQ(d->GetMaterial(&m), D3D_OK);
    EXPECT_EQ(std::memcmp(&m, &zero, sizeof m), 0) << when << ": the material starts all zero";
  };
  d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);  // as Ready set it
  expectDefaults("after creation");
  D3DMATERIAL9 m{};
  m.Diffuse = Value(1, 0, 0);
  d->SetMaterial(&m);
  d->SetTextureStageState(3, D3DTSS_COLORARG1, D3DTA_TFACTOR);
  d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
  d->SetRenderState(D3DRS_LIGHTING, FALSE);
  d->SetRenderState(D3DRS_AMBIENT, 0x00FFFFFF);
  // Each transform alone would move the square below off the middle pixel (the shifts only add
  // up), and the light alone would light it white.
  D3DXMATRIX world, view, projection;
  D3DXMatrixTranslation(&world, 3, 0, 0);
  D3DXMatrixTranslation(&view, 0, 3, 0);
  D3DXMatrixTranslation(&projection, 3, 3, 0);
  d->SetTransform(D3DTS_WORLD, &world);
  d->SetTransform(D3DTS_VIEW, &view);
  d->SetTransform(D3DTS_PROJECTION, &projection);
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL, light.Diffuse = Value(1, 1, 1), light.Direction = D3DVECTOR{0, 0, 1};
  ASSERT_EQ(d->SetLight(0, &light), D3D_OK);
  ASSERT_EQ(d->LightEnable(0, TRUE), D3D_OK);
  ASSERT_EQ(d->Reset(&r.pp), D3D_OK);
  expectDefaults("after Reset");
  DWORD fvf = 1;
  EXPECT_TRUE(d->GetFVF(&fvf) == D3D_OK && fvf == 0);
  for (auto state : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION}) {
    D3DXMATRIX m, identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(d->GetTransform(state, &m), D3D_OK);
    EXPECT_EQ(m, identity) << "transform " << state << " after Reset";
  }
  BOOL enabled = TRUE;
  EXPECT_EQ(d->GetLight(0, &light), D3DERR_INVALIDCALL) << "light 0 is gone";
  EXPECT_EQ(d->GetLightEnable(0, &enabled), D3DERR_INVALIDCALL);
  // Drawn with the defaults (identity transforms, no light), a lit square with a white vertex
  // colour is black over the middle; with an emissive material it takes that colour (stage 0
  // modulates the absent texture, white).
  std::vector<LitVertex> square;
  for (auto [x, y] : {std::pair{-1.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, -1.0f}, {-1.0f, -1.0f}})
    square.push_back({x, y, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 0});
  Ref<IDirect3DVertexBuffer9> vb{Vertices(d, square, kLitFvf)};
  d->SetFVF(kLitFvf);
  d->SetStreamSource(0, vb.get(), 0, sizeof(LitVertex));
  r.Clear(0xFF808080);
  ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
  EXPECT_EQ(r.Back().at(16, 16), 0xFF000000u);
  m = D3DMATERIAL9{};
  m.Emissive = Value(0, 0, 1);
  d->SetMaterial(&m);
  ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
  EXPECT_EQ(r.Back().at(16, 16), 0xFF0000FFu);
  EXPECT_EQ(d->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_ADD), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(12), 1), D3DERR_INVALIDCALL);
}
