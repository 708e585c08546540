// The fixed-function pipeline, pixels read back: depth, culling and shading, the viewport,
// texture stages, mip filtering, blending and the alpha test, screen-space vertices, vertex
// formats, indexed ranges, per-vertex lighting (each expected colour worked out here from
// Direct3D 9's formulas), and the engine's objects drawn call for call as it makes them.
#include <bit>

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

// A square of half size `half` at depth z, clockwise as seen from -z or not.
std::vector<ColourVertex> Quad(float half, float z, D3DCOLOR c, bool clockwise = true) {
  std::vector<ColourVertex> q = {{-half, half, z, c}, {half, half, z, c}, {half, -half, z, c}, {-half, -half, z, c}};
  if (!clockwise) std::swap(q[1], q[3]);
  return q;
}

// 64 x 64 with depth, camera at (0, 0, -3) looking at the origin, unlit unless a test lights it.
struct Unlit : Scene {
  Unlit() {
    camera.Set(get());
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    Clear(kBlack);
  }
  // Clears, draws `v` and reads the centre pixel.
  template <class V>
  std::uint32_t Centre(const std::vector<V>& v, DWORD fvf, D3DPRIMITIVETYPE type = D3DPT_TRIANGLEFAN) {
    Clear(kBlack);
    Draw(get(), v, fvf, type);
    return Back().at(32, 32);
  }
  Camera camera{D3DXVECTOR3(0, 0, -3), D3DXVECTOR3(0, 0, 0)};
};

// A texture of `levels` (pixels top row first), level 0 width x height.
IDirect3DTexture9* Texture(IDirect3DDevice9* d, UINT width, UINT height,
                           const std::vector<std::vector<std::uint32_t>>& levels) {
  IDirect3DTexture9* t = nullptr;
  EXPECT_EQ(d->CreateTexture(width, height, static_cast<UINT>(levels.size()), 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t,
                             nullptr),
            D3D_OK);
  for (UINT level = 0; t != nullptr && level < levels.size(); ++level) {
    D3DLOCKED_RECT r{};
    UINT w = std::max(width >> level, 1u);
    if (t->LockRect(level, &r, nullptr, 0) != D3D_OK) break;
    for (UINT y = 0; y < std::max(height >> level, 1u); ++y)
      std::memcpy(static_cast<std::uint8_t*>(r.pBits) + y * static_cast<UINT>(r.Pitch), &levels[level][y * w], w * 4);
    t->UnlockRect(level);
  }
  return t;
}

D3DLIGHT9 Light(D3DLIGHTTYPE type, D3DXVECTOR3 position, D3DXVECTOR3 direction, D3DCOLORVALUE diffuse) {
  D3DLIGHT9 l{};
  l.Type = type, l.Diffuse = diffuse, l.Position = position, l.Direction = direction, l.Range = 1000;
  l.Attenuation0 = 1;
  return l;
}

D3DMATERIAL9 Material(D3DCOLORVALUE diffuse, D3DCOLORVALUE ambient, D3DCOLORVALUE emissive = Value(0, 0, 0)) {
  D3DMATERIAL9 m{};
  m.Diffuse = diffuse, m.Ambient = ambient, m.Emissive = emissive;
  return m;
}

// Lit, the camera at (0, 0, -3): a square of half size 0.5 at the origin fills the middle.
struct Lit : Scene {
  Lit() { camera.Set(get()); }
  // Sets light `index` (enabled) when given, draws the square and reads the centre pixel.
  std::uint32_t Draw(const D3DLIGHT9* light = nullptr, DWORD index = 0, D3DCOLOR colour = kWhite) {
    if (light != nullptr) d->SetLight(index, light), d->LightEnable(index, TRUE);
    Clear(kBlack);
    fftest::Draw(get(), Square(colour), kLitFvf);
    return Back().at(32, 32);
  }
  Camera camera{D3DXVECTOR3(0, 0, -3), D3DXVECTOR3(0, 0, 0)};
};

}  // namespace

TEST(Pipeline, DepthCullingShadingAndTheViewportFollowTheirStates) {
  Unlit s;
  auto nearThenFar = [&](D3DCOLOR expected, const char* what) {
    s.Clear(kBlack);
    Draw(s.get(), Quad(1, 0, kRed), kColourFvf);
    Draw(s.get(), Quad(2, 2, kGreen), kColourFvf);
    EXPECT_EQ(s.Back().at(32, 32), expected) << what;
  };
  nearThenFar(kRed, "ZENABLE is on with a depth buffer: the far one is hidden");
  s->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  nearThenFar(kGreen, "the near one left no depth");
  s->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  s->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  nearThenFar(kGreen, "drawn in order");
  for (auto [cull, clockwise, drawn] : {std::tuple{D3DCULL_CCW, true, true}, {D3DCULL_CCW, false, false},
                                        {D3DCULL_NONE, true, true}, {D3DCULL_NONE, false, true},
                                        {D3DCULL_CW, true, false}, {D3DCULL_CW, false, true}}) {
    s->SetRenderState(D3DRS_CULLMODE, cull);  // CCW first: the default
    EXPECT_EQ(s.Centre(Quad(1, 0, kWhite, clockwise), kColourFvf) == kWhite, drawn)
        << "cull " << cull << (clockwise ? " clockwise" : " counter-clockwise");
  }
  s->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  // A triangle of red, green and blue corners: blended (Gouraud, the default), or flat in the
  // first vertex's colour.
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
  D3DXMatrixIdentity(&identity);
  s->SetTransform(D3DTS_VIEW, &identity);
  s->SetTransform(D3DTS_PROJECTION, &identity);
  Draw(s.get(), Quad(1, 0.5f, kWhite), kColourFvf);
  d3d9test::Ink ink = d3d9test::InkOf(s.Back(), kBlack);
  EXPECT_EQ(std::vector<int>({ink.left, ink.top, ink.right, ink.bottom, ink.count}),
            std::vector<int>({8, 4, 47, 23, 800}));
}

// Stage 0 on a 2x2 texture over 32x32 pixels (each texel 16x16, point sampled) with a vertex colour.
TEST(Pipeline, TextureStagesCombineTheirArgumentsByTheirOperation) {
  Unlit s;
  const std::vector<std::uint32_t> texels = {0xFFFF8000, 0x80204060, 0x00C0C0C0, 0xFF0000FF};
  Ref<IDirect3DTexture9> t{Texture(s.get(), 2, 2, {texels})};
  const D3DCOLOR diffuse = 0xC0806040, factor = 0x40102030;
  s->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
  using F = float (*)(float t, float d, float f, float ta);
  const struct {
    DWORD op, arg1, arg2;
    F f;
  } cases[] = {
      {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, [](float t, float d, float, float) { return t * d; }},
      {D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT, [](float t, float, float, float) { return t; }},
      {D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT, [](float, float d, float, float) { return d; }},
      {D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_TFACTOR, [](float t, float, float f, float) { return t + f; }},
      {D3DTOP_SUBTRACT, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, [](float t, float d, float, float) { return 1 - t - d; }},
      {D3DTOP_BLENDTEXTUREALPHA, D3DTA_TFACTOR, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE,
       [](float, float, float f, float a) { return f * a + 0xC0 / 255.0f * (1 - a); }},
  };
  auto draw = [&] {
    s.Clear(kBlack);
    DrawScreenQuad(s.get(), 16, 16, 48, 48, diffuse);
    return s.Back();
  };
  s->SetTexture(0, t.get());
  for (const auto& c : cases) {
    s->SetTextureStageState(0, D3DTSS_COLOROP, c.op);
    s->SetTextureStageState(0, D3DTSS_COLORARG1, c.arg1);
    s->SetTextureStageState(0, D3DTSS_COLORARG2, c.arg2);
    Picture p = draw();
    for (std::size_t i = 0; i < 4; ++i) {
      Rgb tex = RgbOf(texels[i]), dif = RgbOf(diffuse), fac = RgbOf(factor);
      float a = static_cast<float>(texels[i] >> 24) / 255;
      Rgb want{c.f(tex.r, dif.r, fac.r, a), c.f(tex.g, dif.g, fac.g, a), c.f(tex.b, dif.b, fac.b, a)};
      std::uint32_t got = p.at(24 + 16 * static_cast<int>(i % 2), 24 + 16 * static_cast<int>(i / 2));
      EXPECT_TRUE(Near(got, Stored(want))) << "op " << c.op << " texel " << i << ": " << std::hex << got;
    }
  }
  // Stage 1 goes on from stage 0's result: texel x TFACTOR, then plus the diffuse colour; with
  // stage 0 disabled, the vertex colour; without a texture the stage reads opaque white.
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  s->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  s->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
  s->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
  s->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
  s->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  EXPECT_TRUE(Near(draw().at(40, 24), Stored(RgbOf(texels[1]) * RgbOf(factor) + RgbOf(diffuse))));
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
  EXPECT_EQ(draw().at(24, 24), diffuse | 0xFF000000u);
  s->SetTexture(0, nullptr);
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  s->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  EXPECT_EQ(draw().at(30, 30), kWhite);
}

TEST(Pipeline, TheMipFilterChoosesAmongTheLevels) {
  Unlit s;
  // 32x32, six levels each of its own colour; over 8x8 pixels level 2 fits.
  const std::uint32_t colours[6] = {kRed, kGreen, kBlue, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
  std::vector<std::vector<std::uint32_t>> levels;
  for (UINT i = 0; i < 6; ++i) levels.emplace_back(static_cast<std::size_t>((32 >> i) * (32 >> i)), colours[i]);
  Ref<IDirect3DTexture9> t{Texture(s.get(), 32, 32, levels)};
  s->SetTexture(0, t.get());
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  auto draw = [&](DWORD mip, float side) {
    s->SetSamplerState(0, D3DSAMP_MIPFILTER, mip);
    DrawScreenQuad(s.get(), 20, 20, 20 + side, 20 + side, kWhite);
    return s.Back().at(22, 22);
  };
  EXPECT_EQ(draw(D3DTEXF_NONE, 8), colours[0]);
  EXPECT_EQ(draw(D3DTEXF_POINT, 8), colours[2]);
  EXPECT_EQ(draw(D3DTEXF_POINT, 32), colours[0]);
  EXPECT_TRUE(Near(draw(D3DTEXF_LINEAR, 11.3137f), 0xFF008080, 8)) << "level 1.5: half of levels 1 and 2";
}

// Stage 0 modulating alpha as well as colour, texture by diffuse, then blended over the back
// buffer with the source alpha: how translucent materials with textures are drawn. The texels'
// alphas differ and the diffuse alpha is not 1, so a stage that took either alpha alone would
// show. With a vertex colour, then lit, the diffuse coming from a material of alpha 0.5. Then the
// blend operation and the alpha test.
TEST(Pipeline, AlphaModulatesTextureAndDiffuseBeforeBlendingAndTheAlphaTestDropsPixels) {
  Unlit s;
  const std::vector<std::uint32_t> texels = {0xFFFF8000, 0x80204060, 0x00C0C0C0, 0x400080FF};
  Ref<IDirect3DTexture9> t{Texture(s.get(), 2, 2, {texels})};
  s->SetTexture(0, t.get());
  for (auto [type, value] : {std::pair{D3DTSS_COLOROP, DWORD{D3DTOP_MODULATE}}, {D3DTSS_COLORARG1, DWORD{D3DTA_TEXTURE}},
                             {D3DTSS_COLORARG2, DWORD{D3DTA_DIFFUSE}}, {D3DTSS_ALPHAOP, DWORD{D3DTOP_MODULATE}},
                             {D3DTSS_ALPHAARG1, DWORD{D3DTA_TEXTURE}}, {D3DTSS_ALPHAARG2, DWORD{D3DTA_DIFFUSE}}})
    ASSERT_EQ(s->SetTextureStageState(0, type, value), D3D_OK);
  s->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  s->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  s->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  const D3DCOLOR background = 0xFF2040C0;
  // The pixel over texel i, with the texel's colour and alpha times the diffuse's, blended.
  auto expect = [&](int x0, int x1, Rgb diffuse, float diffuseAlpha, const char* what) {
    Picture p = s.Back();
    for (std::size_t i = 0; i < 4; ++i) {
      const float a = static_cast<float>(texels[i] >> 24) / 255 * diffuseAlpha;
      const std::uint32_t want = Stored(RgbOf(texels[i]) * diffuse * a + RgbOf(background) * (1 - a));
      const std::uint32_t got = p.at(i % 2 == 0 ? x0 : x1, i < 2 ? x0 : x1);
      EXPECT_TRUE(Near(got, want, 3)) << what << " texel " << i << ": " << std::hex << got << " for " << want;
    }
  };
  const D3DCOLOR diffuse = 0x80C0A0FF;
  s.Clear(background);
  DrawScreenQuad(s.get(), 16, 16, 48, 48, diffuse);
  expect(24, 40, RgbOf(diffuse), 0x80 / 255.0f, "vertex colour");
  D3DLIGHT9 light = Light(D3DLIGHT_DIRECTIONAL, {}, {0, 0, 1}, Value(1, 1, 1));
  s->SetLight(0, &light);
  s->LightEnable(0, TRUE);
  D3DMATERIAL9 material = Material(Value(1, 1, 1, 0.5f), Value(0, 0, 0));
  s->SetMaterial(&material);
  s->SetRenderState(D3DRS_LIGHTING, TRUE);
  s->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
  s.Clear(background);
  Draw(s.get(), Square(kWhite, 1), kLitFvf);
  expect(20, 44, Rgb{1, 1, 1}, 0.5f, "lit");
  s->SetRenderState(D3DRS_LIGHTING, FALSE);
  s->SetTexture(0, nullptr);  // white, alpha 1: the vertex colour alone
  s->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  s->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  s->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_REVSUBTRACT);
  const D3DCOLOR source = 0x40F08010;
  auto draw = [&] {
    s.Clear(background);
    DrawScreenQuad(s.get(), 16, 16, 48, 48, source);
    return s.Back().at(32, 32);
  };
  EXPECT_TRUE(Near(draw(), Stored(RgbOf(background) + RgbOf(source) * -1.0f))) << "destination minus source";
  s->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  s->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  s->SetRenderState(D3DRS_ALPHAREF, 0x40);
  s->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
  EXPECT_EQ(draw(), background);
  s->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  EXPECT_EQ(draw(), source | 0xFF000000u);
}

// Screen-space vertices on integer positions cover exactly the pixels between them, an edge
// through pixel centres giving them to the triangle on its right or below (D3D's top-left rule).
// Texels map to pixels with the quad moved half a pixel up and left.
TEST(Pipeline, ScreenSpaceVerticesLandOnExactPixels) {
  Scene s(48, 40, false);
  s.Clear(kBlack);
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);  // the vertex colour
  auto v = [](float x, float y, D3DCOLOR c) { return ScreenVertex{x, y, 0.5f, 1, c, 0, 0}; };
  // A square split from top left to bottom right (white above, red below), and a triangle whose
  // slanted edge is a right one.
  Draw(s.get(),
       std::vector<ScreenVertex>{v(10, 5, kWhite), v(20, 5, kWhite), v(20, 15, kWhite), v(10, 5, kRed), v(20, 15, kRed),
                                 v(10, 15, kRed), v(30, 5, kGreen), v(40, 5, kGreen), v(30, 15, kGreen)},
       kScreenFvf, D3DPT_TRIANGLELIST);
  Picture p = s.Back();
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 48; ++x) {
      bool square = x >= 10 && x < 20 && y >= 5 && y < 15, triangle = x >= 30 && y >= 5 && x + y < 45;
      ASSERT_EQ(p.at(x, y), square ? (x - 10 >= y - 5 ? kWhite : kRed) : triangle ? kGreen : kBlack)
          << "at " << x << "," << y;
    }
  std::vector<std::uint32_t> texels;
  for (std::uint32_t i = 0; i < 32; ++i) texels.push_back(0xFF000000u | (i * 8) << 16 | (255 - i * 8) << 8 | 0x40);
  Ref<IDirect3DTexture9> tex{Texture(s.get(), 8, 4, {texels})};
  s->SetTexture(0, tex.get());
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  s->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);  // the edges' neighbours are themselves
  s->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
  for (DWORD filter : {DWORD{D3DTEXF_POINT}, DWORD{D3DTEXF_LINEAR}}) {
    s->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
    DrawScreenQuad(s.get(), 3.5f, 29.5f, 11.5f, 33.5f, kWhite);
    Picture q = s.Back();
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 8; ++x)
        EXPECT_TRUE(Near(q.at(4 + x, 30 + y), texels[static_cast<std::size_t>(y * 8 + x)], 1)) << x << "," << y;
  }
}

// The same square in the formats the engine and D3DX meshes use: each read as its bits lay it out.
TEST(Pipeline, VertexFormatsAreReadAsTheirBitsLayThemOut) {
  Unlit s;
  Ref<IDirect3DTexture9> tex{Texture(s.get(), 2, 1, {{0xFF30C050, 0xFFA0A0A0}})};
  D3DLIGHT9 light = Light(D3DLIGHT_DIRECTIONAL, {}, {0, 0, 1}, Value(1, 1, 1));
  s->SetLight(0, &light);
  s->LightEnable(0, TRUE);
  D3DMATERIAL9 material = Material(Value(0.25f, 0.5f, 0.75f), Value(0, 0, 0));
  s->SetMaterial(&material);
  auto f = [](DWORD c) { return std::bit_cast<float>(c); };
  const D3DCOLOR c = 0xFF806040, texel = 0xFF30C050;  // u = 0.25 samples the first texel
  Rgb m = RgbOf(material.Diffuse);
  const struct {
    DWORD fvf;
    bool lit;
    std::uint32_t want;
    std::vector<float> tail;  // after x, y, z
  } formats[] = {
      {D3DFVF_XYZ | D3DFVF_NORMAL, true, Stored(m), {0, 0, -1}},
      {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, true, Stored(m * RgbOf(texel)), {0, 0, -1, 0.25f, 0.5f}},
      {kLitFvf, true, Stored(RgbOf(c) * RgbOf(texel)), {0, 0, -1, f(c), 0.25f, 0.5f}},
      {D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR, false, Stored(RgbOf(c) + RgbOf(0x102030)), {f(c), f(0xFF102030)}},
      {D3DFVF_XYZB2 | D3DFVF_DIFFUSE, false, c, {0.3f, 0.7f, f(c)}},
      {D3DFVF_XYZ | D3DFVF_TEX2, false, 0xFFA0A0A0, {0.25f, 0.5f, 0.75f, 0.5f}},  // with TEXCOORDINDEX 1
  };
  for (const auto& format : formats) {
    std::vector<float> data;
    for (auto [x, y] : {std::pair{-1.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, -1.0f}, {-1.0f, -1.0f}}) {
      data.insert(data.end(), {x, y, 0});
      data.insert(data.end(), format.tail.begin(), format.tail.end());
    }
    auto size = static_cast<UINT>(data.size());  // bytes per vertex: four vertices of floats
    ASSERT_EQ(zr::d3d9::LayoutOf(format.fvf).size, size) << std::hex << format.fvf;
    Ref<IDirect3DVertexBuffer9> vb{Vertices(s.get(), data, format.fvf)};
    s->SetRenderState(D3DRS_LIGHTING, format.lit);
    s->SetRenderState(D3DRS_SPECULARENABLE, (format.fvf & D3DFVF_SPECULAR) != 0);
    s->SetTexture(0, (format.fvf & D3DFVF_TEXCOUNT_MASK) != 0 ? tex.get() : nullptr);
    s->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, (format.fvf & D3DFVF_TEX2) == D3DFVF_TEX2 ? 1 : 0);
    s->SetFVF(format.fvf);
    s->SetStreamSource(0, vb.get(), 0, size);
    s.Clear(kBlack);
    ASSERT_EQ(s->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
    EXPECT_TRUE(Near(s.Back().at(32, 32), format.want)) << std::hex << format.fvf << ": " << s.Back().at(32, 32);
  }
}

// Two squares' indices, 16- and 32-bit, into three squares' vertices left to right: the base
// vertex, the start index and the count choose what is drawn, as D3DX meshes draw their subsets.
TEST(Pipeline, IndexedDrawsTakeTheirRangeFromTheBaseVertexAndStartIndex) {
  Unlit s;
  s->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  const D3DCOLOR colours[3] = {kRed, kGreen, kBlue};
  std::vector<ColourVertex> v;
  for (int i = 0; i < 3; ++i)
    for (ColourVertex q : Quad(0.5f, 0, colours[i])) v.push_back({q.x + static_cast<float>(i - 1), q.y, 0, q.colour});
  Ref<IDirect3DVertexBuffer9> vb{Vertices(s.get(), v, kColourFvf)};
  s->SetFVF(kColourFvf);
  s->SetStreamSource(0, vb.get(), 0, sizeof(ColourVertex));
  auto shown = [&] {
    Picture p = s.Back();
    s.Clear(kBlack);
    return std::vector<bool>{p.at(16, 32) == colours[0], p.at(32, 32) == colours[1], p.at(48, 32) == colours[2],
                             p.at(38, 24) == colours[1], p.at(26, 40) == colours[1]};
  };
  const std::vector<std::uint16_t> indices = {0, 1, 2, 0, 2, 3, 0, 1, 2, 0, 2, 3};
  for (bool wide : {false, true}) {
    Ref<IDirect3DIndexBuffer9> ib{wide ? Indices(s.get(), std::vector<std::uint32_t>(indices.begin(), indices.end()))
                                       : Indices(s.get(), indices)};
    s->SetIndices(ib.get());
    ASSERT_EQ(s->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(shown(), std::vector<bool>({true, false, false, false, false})) << wide;
    ASSERT_EQ(s->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 8, 0, 4, 6, 2), D3D_OK);
    EXPECT_EQ(shown(), std::vector<bool>({false, false, true, false, false})) << "indices from 6, from vertex 8";
    ASSERT_EQ(s->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 0, 1), D3D_OK);
    EXPECT_EQ(shown(), std::vector<bool>({false, true, false, true, false})) << "one triangle: the upper right half";
  }
  ASSERT_EQ(s->SetStreamSource(0, vb.get(), 8 * sizeof(ColourVertex), sizeof(ColourVertex)), D3D_OK);
  ASSERT_EQ(s->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
  EXPECT_EQ(shown(), std::vector<bool>({false, false, true, false, false})) << "from the stream's offset";
}

TEST(Lighting, PointAndSpotLightsFadeWithDistanceStopAtTheirRangeAndLightTheirConeOnly) {
  Lit s;
  D3DMATERIAL9 m = Material(Value(1, 1, 1), Value(1, 1, 1));
  s->SetMaterial(&m);
  s->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
  // A light on the square's axis, h in front: every corner is d = sqrt(h^2 + 0.5) away, N.L = h / d.
  auto draw = [&](D3DLIGHTTYPE type, float h, float range, D3DXVECTOR3 direction = {0, 0, 1}) {
    D3DLIGHT9 l = Light(type, {0, 0, -h}, direction, Value(1, 1, 1));
    l.Range = range, l.Attenuation0 = 0, l.Attenuation1 = 0.5f, l.Attenuation2 = 0.1f;
    l.Ambient = Value(0.25f, 0.25f, 0.25f);
    l.Theta = 0.2f, l.Phi = 0.9f, l.Falloff = 1;
    return s.Draw(&l);
  };
  auto lit = [](float h, float spot = 1) {
    float d = std::sqrt(h * h + 0.5f), attenuation = 1 / (0.5f * d + 0.1f * d * d);
    return Stored(Rgb{1, 1, 1} * ((0.25f + h / d) * attenuation * spot));  // ambient and diffuse alike
  };
  std::uint32_t near = draw(D3DLIGHT_POINT, 1.5f, 100), far = draw(D3DLIGHT_POINT, 3, 100);
  EXPECT_TRUE(Near(near, lit(1.5f))) << std::hex << near;
  EXPECT_TRUE(Near(far, lit(3))) << std::hex << far;
  EXPECT_EQ(draw(D3DLIGHT_POINT, 3, 3), kBlack) << "beyond its range nothing, not even its ambient";
  EXPECT_TRUE(Near(draw(D3DLIGHT_POINT, 3, 3.1f), lit(3)));
  // The corners lie between the spot's inner cone (Theta / 2) and its outer one (Phi / 2).
  float rho = 2 / std::sqrt(4.5f), inner = std::cos(0.1f), outer = std::cos(0.45f);
  EXPECT_TRUE(Near(draw(D3DLIGHT_SPOT, 2, 100), lit(2, (rho - outer) / (inner - outer))));
  EXPECT_EQ(draw(D3DLIGHT_SPOT, 2, 100, {0, 1, 0}), kBlack) << "turned away";
}

TEST(Lighting, DirectionalLightsAmbientEmissiveAndTheColourSourcesAddUp) {
  Lit s;
  D3DMATERIAL9 m = Material(Value(0.8f, 0.9f, 1), Value(0.5f, 1, 0.25f), Value(0.1f, 0, 0.05f));
  s->SetMaterial(&m);
  s->SetRenderState(D3DRS_AMBIENT, 0x004080C0);
  Rgb base = RgbOf(m.Ambient) * RgbOf(0x004080C0) + RgbOf(m.Emissive);
  EXPECT_TRUE(Near(s.Draw(), Stored(base))) << "no light: ambient and emissive";
  D3DXVECTOR3 d1(1, -1, 2), d2(-2, 0, 1), l1, l2;
  D3DLIGHT9 red = Light(D3DLIGHT_DIRECTIONAL, {}, d1, Value(0.9f, 0.1f, 0));
  red.Ambient = Value(0.1f, 0, 0.2f);
  D3DLIGHT9 blue = Light(D3DLIGHT_DIRECTIONAL, {}, d2, Value(0, 0.2f, 0.7f));
  s->SetLight(3, &blue);
  s->LightEnable(3, TRUE);
  D3DXVec3Normalize(&l1, &d1);
  D3DXVec3Normalize(&l2, &d2);
  // N = (0, 0, -1), towards the light -direction: N.L = direction.z; Cd is the white vertex colour.
  Rgb want = base + RgbOf(m.Ambient) * RgbOf(red.Ambient) + RgbOf(red.Diffuse) * l1.z + RgbOf(blue.Diffuse) * l2.z;
  EXPECT_TRUE(Near(s.Draw(&red), Stored(want))) << "two lights";
  s->LightEnable(3, FALSE);
  s->LightEnable(0, FALSE);
  // Straight on (N.L = 1), the diffuse and ambient colours come from where the sources say.
  D3DLIGHT9 white = Light(D3DLIGHT_DIRECTIONAL, {}, {0, 0, 1}, Value(1, 1, 1));
  s->SetLight(1, &white);
  s->LightEnable(1, TRUE);
  const D3DCOLOR vertex = 0xFFE04010;
  m = Material(Value(0.1f, 0.5f, 0.9f), Value(0.5f, 0.5f, 0.5f));
  s->SetMaterial(&m);
  s->SetRenderState(D3DRS_AMBIENT, 0x00404040);
  Rgb ambient = RgbOf(m.Ambient) * RgbOf(0x00404040);
  const struct {
    D3DRENDERSTATETYPE state;
    DWORD value;
    Rgb want;
  } cases[] = {
      {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1, ambient + RgbOf(vertex)},  // the default
      {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL, ambient + RgbOf(m.Diffuse)},
      {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1, RgbOf(vertex) * RgbOf(0x00404040) + RgbOf(m.Diffuse)},
      {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL, ambient + RgbOf(m.Diffuse)},
      {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR2, ambient + RgbOf(m.Diffuse)},  // no specular colour
      {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1, ambient + RgbOf(vertex)},
      {D3DRS_COLORVERTEX, FALSE, ambient + RgbOf(m.Diffuse)},
  };
  for (const auto& c : cases) {
    s->SetRenderState(c.state, c.value);
    std::uint32_t got = s.Draw(nullptr, 0, vertex);
    EXPECT_TRUE(Near(got, Stored(c.want))) << c.state << " " << c.value << ": " << std::hex << got;
  }
  // The default material is all zero: lit with neither a vertex colour nor a material, black.
  D3DMATERIAL9 zero{};
  s->SetMaterial(&zero);
  EXPECT_EQ(s.Draw(), kBlack);
}

TEST(Lighting, SpecularHighlightsAndNormalsFollowTheirStates) {
  Lit s;
  D3DMATERIAL9 m = Material(Value(0.2f, 0.2f, 0.2f), Value(0, 0, 0));
  m.Specular = Value(0.9f, 0.6f, 0.3f), m.Power = 8;
  s->SetMaterial(&m);
  s->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
  s->SetRenderState(D3DRS_LOCALVIEWER, FALSE);  // one halfway vector for the whole square
  const float angle = 0.8f;
  D3DLIGHT9 l = Light(D3DLIGHT_DIRECTIONAL, {}, {std::sin(angle), 0, std::cos(angle)}, Value(1, 1, 1));
  l.Specular = Value(1, 1, 1);
  Rgb diffuse = RgbOf(m.Diffuse) * std::cos(angle);
  EXPECT_TRUE(Near(s.Draw(&l), Stored(diffuse))) << "off by default";
  s->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
  // H = normalize((0, 0, -1) + L): N.H is the cosine of half the angle.
  EXPECT_TRUE(Near(s.Draw(), Stored(diffuse + RgbOf(m.Specular) * std::pow(std::cos(angle / 2), m.Power))));
  l.Direction = D3DVECTOR{0, 0, -1};
  EXPECT_EQ(s.Draw(&l), kBlack) << "a light behind the surface makes no highlight";
  // Scaled twice, the normals come out half as long (the inverse transpose) unless normalised.
  s->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
  s->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
  l.Direction = D3DVECTOR{0, 0, 1};
  D3DXMATRIX twice;
  D3DXMatrixScaling(&twice, 2, 2, 2);
  s->SetTransform(D3DTS_WORLD, &twice);
  EXPECT_TRUE(Near(s.Draw(&l, 0, 0xFFC08040), Stored(RgbOf(0xFFC08040) * 0.5f)));
  s->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
  EXPECT_TRUE(Near(s.Draw(nullptr, 0, 0xFFC08040), 0xFFC08040));
}

// The engine's objects, call for call: a DEFAULT 16-bit index buffer and a MANAGED vertex buffer
// of format 0x152 (the eight-corner box from the origin to (2, 2, 2)), stage 0 SELECTARG1, a
// texture or none, the scene's point light at the origin and ambient colour, the world matrix
// turned then moved, one indexed triangle list.
TEST(Pipeline, TheEnginesObjectsShowTheirTexelsWhereTheirCornersProjectAndTheirLightWithout) {
  Scene s;
  Camera camera(D3DXVECTOR3(0, 1, -10), D3DXVECTOR3(0, 1, -9));
  camera.Set(s.get());
  D3DLIGHT9 light = Light(D3DLIGHT_POINT, {0, 0, 0}, {}, Value(1, 1, 1, 0));
  light.Range = 100000;
  s->SetLight(0, &light);
  s->LightEnable(0, TRUE);
  s->SetRenderState(D3DRS_AMBIENT, 0x00F0F0F0);
  const std::vector<std::uint16_t> box = {0, 1, 2, 3, 2, 1, 5, 4, 7, 7, 4, 6, 5, 7, 3, 5, 3, 1,
                                          0, 4, 5, 1, 0, 5, 6, 4, 2, 2, 4, 0, 3, 7, 2, 7, 6, 2};
  // Corner k has x = 2 for bit 1, y = 2 for bit 0, z = 2 for bit 2; normal (0, 0, 1) at z = 0
  // and (0, 0, -1) at z = 2; u = x / 2, v = y / 2.
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
  D3DMATERIAL9 material = Material(Value(1, 1, 1), Value(0.5f, 0.5f, 0.5f));
  D3DXMATRIX world;
  auto render = [&](D3DXVECTOR3 position, float turn, IDirect3DTexture9* t) {  // zr_MainObject::Render
    s.Clear(kBlack);
    s->SetTexture(0, t);
    s->SetFVF(kLitFvf);
    s->SetStreamSource(0, vb.get(), 0, sizeof(LitVertex));
    s->SetIndices(ib.get());
    D3DXMATRIX translation, rx, ry, rz;
    D3DXMatrixTranslation(&translation, position.x, position.y, position.z);
    D3DXMatrixRotationX(&rx, 0), D3DXMatrixRotationY(&ry, turn), D3DXMatrixRotationZ(&rz, 0);
    world = rx * ry * rz * translation;
    s->SetTransform(D3DTS_WORLD, &world);
    s->SetMaterial(&material);
    s->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    s->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    s->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    EXPECT_EQ(s->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 12), D3D_OK);
    return s.Back();
  };
  // Near each texel's centre its colour, whatever the light (bilinear filtering mixing in a
  // little of the neighbours).
  Picture p = render({-1, 0, 2}, 0, texture.get());
  for (int t = 0; t < 4; ++t) {
    std::uint32_t got = camera.At(p, {0.5f + static_cast<float>(t % 2), 0.5f + static_cast<float>(t / 2), 0}, world);
    EXPECT_TRUE(Near(got, texels[t], 24)) << t << ": " << std::hex << got;
  }
  EXPECT_TRUE(camera.At(p, {-0.3f, 1, 0}, world) == kBlack && camera.At(p, {1, 2.3f, 0}, world) == kBlack);
  // Without a texture, white; turned a quarter at (0, 0, 2) it turns where it stands (world =
  // turn x move, applied before the view): points just inside each corner are the box's.
  Picture turned = render({0, 0, 2}, static_cast<float>(D3DX_PI / 2), nullptr);
  for (int k = 0; k < 8; ++k) {
    D3DXVECTOR3 inside(k & 1 ? 1.7f : 0.3f, k & 2 ? 1.7f : 0.3f, k & 4 ? 1.7f : 0.3f);
    EXPECT_EQ(camera.At(turned, inside, world), kWhite) << "near corner " << k;
  }
  // With the default operation, the near side's normals (0, 0, 1) point into the box: with the
  // light behind it gets the ambient term alone, with the box in front of the light the vertex
  // colour x N.L as well (at the side's centre, near enough).
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  Rgb ambient = RgbOf(material.Ambient) * RgbOf(0x00F0F0F0);
  std::uint32_t unlit = camera.At(render({-1, 0, 2}, 0, nullptr), {1, 1, 0}, world);
  EXPECT_TRUE(Near(unlit, Stored(ambient))) << std::hex << unlit;
  std::uint32_t lit = camera.At(render({-1, 0, -4}, 0, nullptr), {1, 1, 0}, world);
  D3DXVECTOR3 toLight(0, -1, 4);
  D3DXVec3Normalize(&toLight, &toLight);
  EXPECT_TRUE(Near(lit, Stored(ambient + RgbOf(0xFFBCB6B1) * toLight.z), 6)) << std::hex << lit;
}
