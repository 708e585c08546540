// The fixed-function pipeline, pixels read back: depth, culling, shading and the viewport, texture
// stage 0 and mip levels, blending and the alpha test, indexed ranges, vertex layouts, per-vertex
// lighting (expected colours worked out from Direct3D 9's formulas), and the engine's objects
// drawn call for call as it makes them.
#include "ff_test_support.h"
#include "fvf.h"

using namespace fftest;
using d3d9test::kBlack, d3d9test::kRed, d3d9test::kGreen, d3d9test::kBlue, d3d9test::kWhite;

namespace {

struct ColourVertex {
  float x, y, z;
  D3DCOLOR colour;
};
constexpr DWORD kColourFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

// A square of half size `half` at depth z, moved by dx, clockwise as seen from -z or not.
std::vector<ColourVertex> Quad(float half, float z, D3DCOLOR c, bool clockwise = true, float dx = 0) {
  std::vector<ColourVertex> q = {{dx - half, half, z, c}, {dx + half, half, z, c}, {dx + half, -half, z, c}, {dx - half, -half, z, c}};
  if (!clockwise) std::swap(q[1], q[3]);
  return q;
}

// 64 x 64 with depth, the camera at (0, 0, -3) looking at the origin.
struct Look : Scene {
  explicit Look(bool lit = false) {
    Camera({0, 0, -3}, {0, 0, 0}).Set(get());
    d->SetRenderState(D3DRS_LIGHTING, lit);
  }
  template <class V>
  std::uint32_t Centre(const std::vector<V>& v, DWORD fvf, D3DPRIMITIVETYPE type = D3DPT_TRIANGLEFAN) {
    Clear(kBlack);
    Draw(get(), v, fvf, type);
    return Back().at(32, 32);
  }
};

// A texture of `levels` (pixels top row first), level 0 width x height.
IDirect3DTexture9* Texture(IDirect3DDevice9* d, UINT width, UINT height, const std::vector<std::vector<std::uint32_t>>& levels) {
  IDirect3DTexture9* t = nullptr;
  EXPECT_EQ(d->CreateTexture(width, height, UINT(levels.size()), 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
  D3DLOCKED_RECT r{};
  for (UINT level = 0; t != nullptr && level < levels.size() && t->LockRect(level, &r, nullptr, 0) == D3D_OK; ++level) {
    for (UINT y = 0, w = std::max(width >> level, 1u); y < std::max(height >> level, 1u); ++y)
      std::memcpy(static_cast<std::uint8_t*>(r.pBits) + y * UINT(r.Pitch), &levels[level][y * w], w * 4);
    t->UnlockRect(level);
  }
  return t;
}

D3DLIGHT9 Light(D3DLIGHTTYPE type, D3DVECTOR direction, D3DCOLORVALUE diffuse = Value(1, 1, 1)) {
  D3DLIGHT9 l{type, diffuse};
  l.Direction = direction, l.Range = 100000, l.Attenuation0 = 1;
  return l;
}

}  // namespace

TEST(Pipeline, DepthCullingShadingAndTheViewportFollowTheirStates) {
  Look s;
  for (BOOL write : {TRUE, FALSE}) {  // the far one hidden, then drawn over the near one
    s->SetRenderState(D3DRS_ZWRITEENABLE, write);
    s.Clear(kBlack);
    Draw(s.get(), Quad(1, 0, kRed), kColourFvf);
    Draw(s.get(), Quad(2, 2, kGreen), kColourFvf);
    EXPECT_EQ(s.Back().at(32, 32), write ? kRed : kGreen) << write;
  }
  for (auto [cull, clockwise, drawn] : {std::tuple{0, true, true}, {0, false, false}, {D3DCULL_NONE, false, true},
                                        {D3DCULL_CW, true, false}, {D3DCULL_CCW, false, false}}) {
    if (cull != 0) s->SetRenderState(D3DRS_CULLMODE, cull);  // 0: the default, which culls counter-clockwise
    EXPECT_EQ(s.Centre(Quad(1, 0, kWhite, clockwise), kColourFvf) == kWhite, drawn) << cull << " " << clockwise;
  }
  // A triangle of red, green and blue corners: blended (Gouraud, the default), or flat in the first
  // vertex's colour.
  std::vector<ColourVertex> t = {{-1, 1, 0, kRed}, {1, 1, 0, kGreen}, {0, -1, 0, kBlue}};
  std::uint32_t gouraud = s.Centre(t, kColourFvf, D3DPT_TRIANGLELIST);
  EXPECT_TRUE(Channel(gouraud, 16) > 0 && Channel(gouraud, 8) > 0 && Channel(gouraud, 0) > 0) << std::hex << gouraud;
  s->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
  EXPECT_EQ(s.Centre(t, kColourFvf, D3DPT_TRIANGLELIST), kRed);
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

// Stage 0 on a 2x2 texture over 32x32 pixels (each texel 16x16, point sampled) with a vertex
// colour, as the engine and the samples set it; without a texture the stage reads opaque white.
TEST(Pipeline, TextureStageZeroCombinesTextureAndDiffuseAndTheMipFilterChoosesALevel) {
  Look s;
  const std::vector<std::uint32_t> texels = {0xFFFF8000, 0x80204060, 0x00C0C0C0, 0xFF0000FF};
  Ref<IDirect3DTexture9> t{Texture(s.get(), 2, 2, {texels})};
  const D3DCOLOR diffuse = 0xC0806040;
  auto draw = [&](IDirect3DTexture9* texture, DWORD op, float side = 32) {
    s->SetTexture(0, texture);
    s->SetTextureStageState(0, D3DTSS_COLOROP, op);
    s.Clear(kBlack);
    DrawScreenQuad(s.get(), 16, 16, 16 + side, 16 + side, diffuse);
    return s.Back();
  };
  for (DWORD op : {DWORD{D3DTOP_MODULATE}, DWORD{D3DTOP_SELECTARG1}, DWORD{D3DTOP_SELECTARG2}, DWORD{D3DTOP_DISABLE}}) {
    Picture p = draw(t.get(), op);
    for (std::size_t i = 0; i < 4; ++i) {
      Rgb want = op == D3DTOP_MODULATE ? RgbOf(texels[i]) * RgbOf(diffuse) : op == D3DTOP_SELECTARG1 ? RgbOf(texels[i]) : RgbOf(diffuse);
      std::uint32_t got = p.at(24 + 16 * int(i % 2), 24 + 16 * int(i / 2));
      EXPECT_TRUE(Near(got, Stored(want))) << "op " << op << " texel " << i << ": " << std::hex << got;
    }
  }
  EXPECT_EQ(draw(nullptr, D3DTOP_SELECTARG1).at(30, 30), kWhite);
  EXPECT_EQ(draw(nullptr, D3DTOP_MODULATE).at(30, 30), diffuse | 0xFF000000);
  // 32x32, six levels each of its own colour: over 8x8 pixels level 2 fits; level 1.5 blends.
  const std::uint32_t colours[6] = {kRed, kGreen, kBlue, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
  std::vector<std::vector<std::uint32_t>> levels;
  for (UINT i = 0; i < 6; ++i) levels.emplace_back(std::size_t((32 >> i) * (32 >> i)), colours[i]);
  Ref<IDirect3DTexture9> mipped{Texture(s.get(), 32, 32, levels)};
  for (auto [mip, side, want] : {std::tuple{D3DTEXF_NONE, 8.0f, colours[0]}, {D3DTEXF_POINT, 8.0f, colours[2]},
                                 {D3DTEXF_POINT, 32.0f, colours[0]}, {D3DTEXF_LINEAR, 11.3137f, 0xFF008080u}}) {
    s->SetSamplerState(0, D3DSAMP_MIPFILTER, mip);
    EXPECT_TRUE(Near(draw(mipped.get(), D3DTOP_SELECTARG1, side).at(18, 18), want, 8)) << mip << " " << side;
  }
}

// Stage 0 modulating alpha as well as colour, texture by diffuse, then blended over the back
// buffer with the source alpha, as the samples draw translucent meshes. The texels' alphas differ
// and the diffuse alpha is not 1, so a stage that took either alpha alone would show. With a
// vertex colour, then lit from a material of alpha 0.5; then the alpha test on those alphas.
TEST(Pipeline, AlphaModulatesTextureAndDiffuseBeforeBlendingAndTheAlphaTestDropsPixels) {
  Look s;
  const std::vector<std::uint32_t> texels = {0xFFFF8000, 0x80204060, 0x00C0C0C0, 0x400080FF};
  Ref<IDirect3DTexture9> t{Texture(s.get(), 2, 2, {texels})};
  s->SetTexture(0, t.get());
  s->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  s->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  s->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  s->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  s->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  const D3DCOLOR background = 0xFF2040C0, diffuse = 0x80C0A0FF;
  auto expect = [&](int x0, int x1, Rgb colour, float alpha, const char* what) {  // the pixel over each texel
    Picture p = s.Back();
    for (std::size_t i = 0; i < 4; ++i) {
      const float a = static_cast<float>(texels[i] >> 24) / 255 * alpha;
      const std::uint32_t want = Stored(RgbOf(texels[i]) * colour * a + RgbOf(background) * (1 - a));
      const std::uint32_t got = p.at(i % 2 == 0 ? x0 : x1, i < 2 ? x0 : x1);
      EXPECT_TRUE(Near(got, want, 3)) << what << " texel " << i << ": " << std::hex << got << " for " << want;
    }
  };
  s.Clear(background);
  DrawScreenQuad(s.get(), 16, 16, 48, 48, diffuse);
  expect(24, 40, RgbOf(diffuse), 0x80 / 255.0f, "vertex colour");
  D3DLIGHT9 light = Light(D3DLIGHT_DIRECTIONAL, {0, 0, 1});
  D3DMATERIAL9 material{Value(1, 1, 1, 0.5f)};
  s->SetLight(0, &light), s->LightEnable(0, TRUE), s->SetMaterial(&material);
  s->SetRenderState(D3DRS_LIGHTING, TRUE);
  s->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
  s.Clear(background);
  Draw(s.get(), Square(kWhite, 1), kLitFvf);
  expect(20, 44, Rgb{1, 1, 1}, 0.5f, "lit");
  s->SetRenderState(D3DRS_LIGHTING, FALSE);
  s->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  s->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  for (auto [func, ref, shown] : {std::tuple{D3DCMP_GREATER, 0x30, "xx.."}, {D3DCMP_LESS, 0x30, "..xx"},
                                  {D3DCMP_GREATEREQUAL, 1, "xx.x"}}) {  // the last as zr_DirectXGraphics sets it
    s->SetRenderState(D3DRS_ALPHAFUNC, func);  // alphas 0x80, 0x40, 0, 0x20
    s->SetRenderState(D3DRS_ALPHAREF, ref);
    s.Clear(background);
    DrawScreenQuad(s.get(), 16, 16, 48, 48, diffuse);
    Picture p = s.Back();
    std::string got;
    for (auto [x, y] : {std::pair{24, 24}, {40, 24}, {24, 40}, {40, 40}}) got += p.at(x, y) == background ? '.' : 'x';
    EXPECT_EQ(got, shown) << func;
  }
}

// Two squares' indices, 16- and 32-bit, into three squares' vertices left to right: the base
// vertex, the start index and the count choose what is drawn, as D3DX meshes draw their subsets.
TEST(Pipeline, IndexedDrawsTakeTheirRangeFromTheBaseVertexAndStartIndexAndLayoutsFollowTheFormat) {
  Look s;
  s->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  std::vector<ColourVertex> v;
  for (int i = 0; i < 3; ++i)
    for (ColourVertex q : Quad(0.5f, 0, i == 0 ? kRed : i == 1 ? kGreen : kBlue, true, float(i - 1))) v.push_back(q);
  Ref<IDirect3DVertexBuffer9> vb{Vertices(s.get(), v, kColourFvf)};
  s->SetFVF(kColourFvf);
  s->SetStreamSource(0, vb.get(), 0, sizeof(ColourVertex));
  auto shown = [&] {  // the three squares' middles, the upper right and lower left of the second
    Picture p = s.Back();
    s.Clear(kBlack);
    std::string seen;
    for (auto [x, y] : {std::pair{16, 32}, {32, 32}, {48, 32}, {38, 24}, {26, 40}}) seen += p.at(x, y) == kBlack ? '.' : 'x';
    return seen;
  };
  const std::vector<std::uint16_t> indices = {0, 1, 2, 0, 2, 3, 0, 1, 2, 0, 2, 3};
  for (bool wide : {false, true}) {
    Ref<IDirect3DIndexBuffer9> ib{wide ? Indices(s.get(), std::vector<std::uint32_t>(indices.begin(), indices.end()))
                                       : Indices(s.get(), indices)};
    s->SetIndices(ib.get());
    for (auto [base, start, count, seen] : {std::tuple{0, 0u, 2u, "x...."}, {8, 6u, 2u, "..x.."}, {4, 0u, 1u, ".x.x."}}) {
      ASSERT_EQ(s->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, base, 0, 4, start, count), D3D_OK);
      EXPECT_EQ(shown(), seen) << wide << " from vertex " << base << ", index " << start;
    }
  }
  ASSERT_EQ(s->SetStreamSource(0, vb.get(), 8 * sizeof(ColourVertex), sizeof(ColourVertex)), D3D_OK);
  ASSERT_EQ(s->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
  EXPECT_EQ(shown(), "..x..") << "from the stream's offset";
  // Where each element lies: normal, diffuse, specular, then texture coordinates of their sizes.
  auto lit = zr::d3d9::LayoutOf(kLitFvf);
  EXPECT_TRUE(lit.valid && lit.size == 36 && lit.normal == 12 && lit.diffuse == 24 && lit.specular == -1 && lit.texOffset[0] == 28);
  auto screen = zr::d3d9::LayoutOf(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE1(1));
  EXPECT_TRUE(screen.rhw && screen.diffuse == 16 && screen.specular == 20 && screen.texOffset[1] == 32 && screen.size == 36);
  EXPECT_EQ(zr::d3d9::LayoutOf(D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_NORMAL).normal, 24);
  for (DWORD bad : {0u, DWORD{D3DFVF_NORMAL}, DWORD{D3DFVF_XYZW}, D3DFVF_XYZ | 0x900u, DWORD{D3DFVF_XYZ | D3DFVF_LASTBETA_UBYTE4}})
    EXPECT_FALSE(zr::d3d9::LayoutOf(bad).valid) << std::hex << bad;
}

// A square facing the camera, lit as the samples light their meshes: directional lights, the
// ambient colour and the emissive and specular terms, the diffuse colour from the vertex or the
// material, normals scaled with the world matrix unless normalised.
TEST(Lighting, DirectionalLightsAmbientEmissiveSpecularAndNormalsAddUpAsTheStatesSay) {
  Look s(true);
  auto draw = [&](D3DCOLOR colour = kWhite) { return s.Centre(Square(colour), kLitFvf); };
  D3DMATERIAL9 m{Value(0.8f, 0.9f, 1), Value(0.5f, 1, 0.25f), {}, Value(0.1f, 0, 0.05f)};
  s->SetMaterial(&m);
  s->SetRenderState(D3DRS_AMBIENT, 0x004080C0);
  Rgb base = RgbOf(m.Ambient) * RgbOf(0x004080C0) + RgbOf(m.Emissive);
  EXPECT_TRUE(Near(draw(), Stored(base))) << "no light: ambient and emissive";
  D3DXVECTOR3 d1(1, -1, 2), d2(-2, 0, 1), l1, l2;  // N = (0, 0, -1): N.L = the direction's z
  D3DLIGHT9 red = Light(D3DLIGHT_DIRECTIONAL, d1, Value(0.9f, 0.1f, 0)), blue = Light(D3DLIGHT_DIRECTIONAL, d2, Value(0, 0.2f, 0.7f));
  red.Ambient = Value(0.1f, 0, 0.2f);
  s->SetLight(0, &red), s->LightEnable(0, TRUE), s->SetLight(3, &blue), s->LightEnable(3, TRUE);
  D3DXVec3Normalize(&l1, &d1), D3DXVec3Normalize(&l2, &d2);
  Rgb one = base + RgbOf(m.Ambient) * RgbOf(red.Ambient) + RgbOf(red.Diffuse) * l1.z;  // the white vertex colour
  EXPECT_TRUE(Near(draw(), Stored(one + RgbOf(blue.Diffuse) * l2.z))) << "two lights";
  s->LightEnable(3, FALSE);
  EXPECT_TRUE(Near(draw(), Stored(one))) << "a light turned off adds nothing";
  s->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
  Rgb fromMaterial = base + RgbOf(m.Ambient) * RgbOf(red.Ambient) + RgbOf(m.Diffuse) * RgbOf(red.Diffuse) * l1.z;
  EXPECT_TRUE(Near(draw(0xFF102030), Stored(fromMaterial))) << "the vertex colour unused";
  // Specular: H = normalize((0, 0, -1) + L) without a local viewer, N.H the cosine of half the angle.
  const float angle = 0.8f;
  m = D3DMATERIAL9{Value(0.2f, 0.2f, 0.2f), {}, Value(0.9f, 0.6f, 0.3f), {}, 8};
  D3DLIGHT9 l = Light(D3DLIGHT_DIRECTIONAL, {std::sin(angle), 0, std::cos(angle)});
  l.Specular = Value(1, 1, 1);
  s->SetMaterial(&m), s->SetLight(0, &l);
  s->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
  Rgb diffuse = RgbOf(m.Diffuse) * std::cos(angle);
  EXPECT_TRUE(Near(draw(), Stored(diffuse))) << "no highlight by default";
  s->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
  EXPECT_TRUE(Near(draw(), Stored(diffuse + RgbOf(m.Specular) * std::pow(std::cos(angle / 2), m.Power))));
  // Scaled twice, the normals come out half as long (the inverse transpose) unless normalised.
  s->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
  s->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
  l.Direction = D3DVECTOR{0, 0, 1};
  s->SetLight(0, &l);
  D3DXMATRIX twice;
  s->SetTransform(D3DTS_WORLD, D3DXMatrixScaling(&twice, 2, 2, 2));
  EXPECT_TRUE(Near(draw(0xFFC08040), Stored(RgbOf(0xFFC08040) * 0.5f)));
  s->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
  EXPECT_TRUE(Near(draw(0xFFC08040), 0xFFC08040));
}

// The engine's objects, call for call: a DEFAULT 16-bit index buffer and a MANAGED vertex buffer
// of format 0x152 (the eight-corner box from the origin to (2, 2, 2)), stage 0 SELECTARG1, a
// texture or none, the scene's point light at the origin and ambient colour, the world matrix
// turned then moved, one indexed triangle list.
TEST(Pipeline, TheEnginesObjectsShowTheirTexelsWhereTheirCornersProjectAndTheirLightWithout) {
  Scene s;
  Camera camera(D3DXVECTOR3(0, 1, -10), D3DXVECTOR3(0, 1, -9));
  camera.Set(s.get());
  D3DLIGHT9 light = Light(D3DLIGHT_POINT, {});
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
  const std::uint32_t texels[4] = {kRed, kGreen, kBlue, 0xFFFFFF00};
  Ref<IDirect3DTexture9> texture{Texture(s.get(), 2, 2, {std::vector<std::uint32_t>(texels, texels + 4)})};
  D3DMATERIAL9 material{Value(1, 1, 1), Value(0.5f, 0.5f, 0.5f)};
  D3DXMATRIX world, translation, rx, ry, rz;
  auto render = [&](D3DXVECTOR3 at, float turn, IDirect3DTexture9* t) {  // zr_MainObject::Render
    s.Clear(kBlack);
    s->SetTexture(0, t);
    s->SetFVF(kLitFvf);
    s->SetStreamSource(0, vb.get(), 0, sizeof(LitVertex));
    s->SetIndices(ib.get());
    world = *D3DXMatrixRotationX(&rx, 0) * *D3DXMatrixRotationY(&ry, turn) * *D3DXMatrixRotationZ(&rz, 0) *
            *D3DXMatrixTranslation(&translation, at.x, at.y, at.z);
    s->SetTransform(D3DTS_WORLD, &world);
    s->SetMaterial(&material);
    s->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    s->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    s->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    EXPECT_EQ(s->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 12), D3D_OK);
    return s.Back();
  };
  // Near each texel's centre its colour, whatever the light (bilinear filtering mixing in a little
  // of the neighbours); nothing around the box.
  Picture p = render({-1, 0, 2}, 0, texture.get());
  for (int t = 0; t < 4; ++t)
    EXPECT_TRUE(Near(camera.At(p, {0.5f + float(t % 2), 0.5f + float(t / 2), 0}, world), texels[t], 24)) << t;
  EXPECT_TRUE(camera.At(p, {-0.3f, 1, 0}, world) == kBlack && camera.At(p, {1, 2.3f, 0}, world) == kBlack);
  // Without a texture, white; turned a quarter at (0, 0, 2) it turns where it stands (world =
  // turn x move, applied before the view): points just inside each corner are the box's.
  Picture turned = render({0, 0, 2}, float(D3DX_PI / 2), nullptr);
  for (int k = 0; k < 8; ++k)
    EXPECT_EQ(camera.At(turned, {k & 1 ? 1.7f : 0.3f, k & 2 ? 1.7f : 0.3f, k & 4 ? 1.7f : 0.3f}, world), kWhite) << k;
  // With the default operation the near side's normals (0, 0, 1) point into the box: with the
  // light behind, the ambient term alone; in front of the light the vertex colour x N.L as well.
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  Rgb ambient = RgbOf(material.Ambient) * RgbOf(0x00F0F0F0);
  std::uint32_t unlit = camera.At(render({-1, 0, 2}, 0, nullptr), {1, 1, 0}, world);
  EXPECT_TRUE(Near(unlit, Stored(ambient))) << std::hex << unlit;
  std::uint32_t lit = camera.At(render({-1, 0, -4}, 0, nullptr), {1, 1, 0}, world);
  D3DXVECTOR3 toLight(0, -1, 4);
  D3DXVec3Normalize(&toLight, &toLight);
  EXPECT_TRUE(Near(lit, Stored(ambient + RgbOf(0xFFBCB6B1) * toLight.z), 6)) << std::hex << lit;
}
