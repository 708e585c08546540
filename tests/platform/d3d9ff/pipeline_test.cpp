// The fixed-function pipeline, pixels read back: depth, culling and the viewport, texture stage 0,
// blending and the alpha test, and the engine's objects drawn call for call as it makes them, lit
// by its point light (expected colours from Direct3D 9's formulas).
#include "ff_test_support.h"

using namespace fftest;
using d3d9test::kBlack, d3d9test::kRed, d3d9test::kGreen, d3d9test::kWhite;

namespace {

struct ColourVertex {
  float x, y, z;
  D3DCOLOR colour;
};
constexpr DWORD kColourFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

// A square of half size `half` at depth z, clockwise as seen from -z or not.
std::vector<ColourVertex> Quad(float half, float z, D3DCOLOR c, bool clockwise = true) {
  std::vector<ColourVertex> q = {{-half, half, z, c}, {half, half, z, c}, {half, -half, z, c}, {-half, -half, z, c}};
  if (!clockwise) std::swap(q[1], q[3]);
  return q;
}

// 64 x 64 with depth, unlit, the camera at (0, 0, -3) looking at the origin.
struct Look : Scene {
  Look() {
    Camera({0, 0, -3}, {0, 0, 0}).Set(get());
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
  }
  std::uint32_t Centre(const std::vector<ColourVertex>& v) {
    Clear(kBlack);
    Draw(get(), v, kColourFvf);
    return Back().at(32, 32);
  }
};

}  // namespace

TEST(Pipeline, DepthCullingAndTheViewportFollowTheirStates) {
  Look s;
  for (BOOL write : {TRUE, FALSE}) {  // far over near: hidden, unless the near one left no depth
    s->SetRenderState(D3DRS_ZWRITEENABLE, write);
    s.Clear(kBlack);
    Draw(s.get(), Quad(1, 0, kRed), kColourFvf);
    Draw(s.get(), Quad(2, 2, kGreen), kColourFvf);
    EXPECT_EQ(s.Back().at(32, 32), write ? kRed : kGreen) << write;
  }
  for (auto [cull, clockwise, drawn] : {std::tuple{0, true, true}, {0, false, false}, {D3DCULL_NONE, false, true},
                                        {D3DCULL_CW, true, false}, {D3DCULL_CCW, false, false}}) {
    if (cull != 0) s->SetRenderState(D3DRS_CULLMODE, cull);  // 0: the default, which culls counter-clockwise
    EXPECT_EQ(s.Centre(Quad(1, 0, kWhite, clockwise)) == kWhite, drawn) << cull << " " << clockwise;
  }
  // The whole of clip space fills exactly the viewport, counted from the top.
  s.Clear(kBlack);  // clears are clipped to the viewport
  D3DVIEWPORT9 view{8, 4, 40, 20, 0, 1};
  ASSERT_EQ(s->SetViewport(&view), D3D_OK);
  D3DXMATRIX identity;
  s->SetTransform(D3DTS_PROJECTION, D3DXMatrixIdentity(&identity));
  s->SetTransform(D3DTS_VIEW, &identity);
  Draw(s.get(), Quad(1, 0.5f, kWhite), kColourFvf);
  d3d9test::Ink ink = d3d9test::InkOf(s.Back(), kBlack);
  EXPECT_EQ(std::vector<int>({ink.left, ink.top, ink.right, ink.bottom, ink.count}), std::vector<int>({8, 4, 47, 23, 800}));
}

// Stage 0 on a 2x2 texture over 32x32 pixels, as the engine and the samples set it: colour and
// alpha modulated by the vertex colour (so a stage that took either alpha alone would show), then
// blended with the source alpha or tested. Without a texture the stage reads opaque white.
TEST(Pipeline, TextureStageZeroCombinesTextureAndDiffuseForBlendingAndTheAlphaTest) {
  Look s;
  const std::vector<std::uint32_t> texels = {0xFFFF8000, 0x80204060, 0x00C0C0C0, 0x400080FF};
  Ref<IDirect3DTexture9> t{d3d9test::MakeTexture(s.get(), 2, 2, texels)};
  const D3DCOLOR background = 0xFF2040C0, diffuse = 0x80C0A0FF;
  auto draw = [&](IDirect3DTexture9* texture, DWORD op) {
    s->SetTexture(0, texture);
    s->SetTextureStageState(0, D3DTSS_COLOROP, op);
    s.Clear(background);
    DrawScreenQuad(s.get(), 16, 16, 48, 48, diffuse);
    return s.Back();
  };
  for (DWORD op : {DWORD{D3DTOP_MODULATE}, DWORD{D3DTOP_SELECTARG1}, DWORD{D3DTOP_SELECTARG2}}) {
    Picture p = draw(t.get(), op);
    for (std::size_t i = 0; i < 4; ++i) {
      Rgb want = op == D3DTOP_MODULATE ? RgbOf(texels[i]) * RgbOf(diffuse) : op == D3DTOP_SELECTARG1 ? RgbOf(texels[i]) : RgbOf(diffuse);
      EXPECT_TRUE(Near(p.at(24 + 16 * int(i % 2), 24 + 16 * int(i / 2)), Stored(want))) << "op " << op << " texel " << i;
    }
  }
  EXPECT_EQ(draw(nullptr, D3DTOP_SELECTARG1).at(30, 30), kWhite);
  s->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  s->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  s->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  s->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  s->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  Picture p = draw(t.get(), D3DTOP_MODULATE);
  for (std::size_t i = 0; i < 4; ++i) {
    const float a = static_cast<float>(texels[i] >> 24) / 255 * 0x80 / 255;
    const std::uint32_t want = Stored(RgbOf(texels[i]) * RgbOf(diffuse) * a + RgbOf(background) * (1 - a));
    EXPECT_TRUE(Near(p.at(24 + 16 * int(i % 2), 24 + 16 * int(i / 2)), want, 3)) << "blended, texel " << i;
  }
  s->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  s->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  for (auto [func, ref, shown] : {std::tuple{D3DCMP_GREATER, 0x30, "xx.."}, {D3DCMP_LESS, 0x30, "..xx"},
                                  {D3DCMP_GREATEREQUAL, 1, "xx.x"}}) {  // the last as zr_DirectXGraphics sets it
    s->SetRenderState(D3DRS_ALPHAFUNC, func);  // alphas 0x80, 0x40, 0, 0x20
    s->SetRenderState(D3DRS_ALPHAREF, ref);
    Picture q = draw(t.get(), D3DTOP_MODULATE);
    std::string got;
    for (auto [x, y] : {std::pair{24, 24}, {40, 24}, {24, 40}, {40, 40}}) got += q.at(x, y) == background ? '.' : 'x';
    EXPECT_EQ(got, shown) << func;
  }
}

// The engine's objects, call for call: a DEFAULT 16-bit index buffer and a MANAGED vertex buffer
// of format 0x152 (the eight-corner box from the origin to (2, 2, 2)), stage 0 SELECTARG1 without a
// texture, the scene's point light at the origin and ambient colour, the world matrix turned then
// moved, one indexed triangle list. (Texels by texture coordinates are the stage test's above.)
TEST(Pipeline, TheEnginesObjectsShowWhereTheirCornersProjectAndTheirLightWithout) {
  Scene s;
  Camera camera(D3DXVECTOR3(0, 1, -10), D3DXVECTOR3(0, 1, -9));
  camera.Set(s.get());
  D3DLIGHT9 light{D3DLIGHT_POINT, Value(1, 1, 1), {}, {}, {}, {}, 100000, 0, 1, 0, 0, 0, 0};
  s->SetLight(0, &light), s->LightEnable(0, TRUE);
  s->SetRenderState(D3DRS_AMBIENT, 0x00F0F0F0);
  const std::vector<std::uint16_t> box = {0, 1, 2, 3, 2, 1, 5, 4, 7, 7, 4, 6, 5, 7, 3, 5, 3, 1,
                                          0, 4, 5, 1, 0, 5, 6, 4, 2, 2, 4, 0, 3, 7, 2, 7, 6, 2};
  // Corner k has x = 2 for bit 1, y = 2 for bit 0, z = 2 for bit 2; normal (0, 0, 1) at z = 0 and
  // (0, 0, -1) at z = 2; u = x / 2, v = y / 2.
  std::vector<LitVertex> corners;
  for (int k = 0; k < 8; ++k) {
    float x = (k & 2) ? 2.0f : 0.0f, y = (k & 1) ? 2.0f : 0.0f, z = (k & 4) ? 2.0f : 0.0f;
    corners.push_back({x, y, z, 0, 0, (k & 4) ? -1.0f : 1.0f, 0xFFBCB6B1, x / 2, y / 2});
  }
  Ref<IDirect3DIndexBuffer9> ib{Indices(s.get(), box, D3DPOOL_DEFAULT)};
  Ref<IDirect3DVertexBuffer9> vb{Vertices(s.get(), corners, kLitFvf)};
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  D3DMATERIAL9 material{Value(1, 1, 1), Value(0.5f, 0.5f, 0.5f), {}, {}, 0};
  s->SetMaterial(&material);
  s->SetFVF(kLitFvf);
  s->SetStreamSource(0, vb.get(), 0, sizeof(LitVertex));
  s->SetIndices(ib.get());
  D3DXMATRIX world, turning, moving;
  auto render = [&](D3DXVECTOR3 at, float turn) {  // as zr_MainObject::Render draws
    s.Clear(kBlack);
    world = *D3DXMatrixRotationY(&turning, turn) * *D3DXMatrixTranslation(&moving, at.x, at.y, at.z);
    s->SetTransform(D3DTS_WORLD, &world);
    EXPECT_EQ(s->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 12), D3D_OK);
    return s.Back();
  };
  // Without a texture, white; turned a quarter at (0, 0, 2) it turns where it stands (world =
  // turn x move, applied before the view): points just inside each corner are the box's.
  Picture turned = render({0, 0, 2}, float(D3DX_PI / 2));
  for (int k = 0; k < 8; ++k)
    EXPECT_EQ(camera.At(turned, {k & 1 ? 1.7f : 0.3f, k & 2 ? 1.7f : 0.3f, k & 4 ? 1.7f : 0.3f}, world), kWhite) << k;
  // With the default operation the near side's normals (0, 0, 1) point into the box: with the
  // light behind, the ambient term alone; in front of the light the vertex colour x N.L as well.
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  Rgb ambient = RgbOf(material.Ambient) * RgbOf(0x00F0F0F0);
  EXPECT_TRUE(Near(camera.At(render({-1, 0, 2}, 0), {1, 1, 0}, world), Stored(ambient)));
  D3DXVECTOR3 toLight(0, -1, 4);
  D3DXVec3Normalize(&toLight, &toLight);
  std::uint32_t lit = camera.At(render({-1, 0, -4}, 0), {1, 1, 0}, world);
  EXPECT_TRUE(Near(lit, Stored(ambient + RgbOf(0xFFBCB6B1) * toLight.z), 6)) << std::hex << lit;
}
