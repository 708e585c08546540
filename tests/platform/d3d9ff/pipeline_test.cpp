// The rest of the pipeline, pixels read back: depth, culling and shading, texture stages, mip
// filtering, blending and the alpha test, screen-space vertices, the world transform, vertex
// formats, primitive types and the ranges of indexed draws.
#include <bit>
#include <functional>

#include "ff_test_support.h"
#include "fvf.h"

using namespace fftest;
using d3d9test::OnBothTargets;

namespace {

struct ColourVertex {
  float x, y, z;
  D3DCOLOR colour;
};
constexpr DWORD kColourFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

// A square of half size `half` at depth z, clockwise as seen from -z or not, as a fan.
std::vector<ColourVertex> Quad(float half, float z, D3DCOLOR c, bool clockwise = true) {
  std::vector<ColourVertex> q = {{-half, half, z, c}, {half, half, z, c}, {half, -half, z, c}, {-half, -half, z, c}};
  if (!clockwise) std::swap(q[1], q[3]);
  return q;
}
void DrawFan(IDirect3DDevice9* d, const std::vector<ColourVertex>& q, D3DPRIMITIVETYPE type = D3DPT_TRIANGLEFAN) {
  Ref<IDirect3DVertexBuffer9> vb{Vertices(d, q, kColourFvf)};
  d->SetFVF(kColourFvf);
  d->SetStreamSource(0, vb.get(), 0, sizeof(ColourVertex));
  ASSERT_EQ(d->DrawPrimitive(type, 0, static_cast<UINT>(q.size() - 2)), D3D_OK);
}

// Unlit, camera at (0, 0, -3) looking at the origin.
struct Unlit : Scene {
  explicit Unlit(UINT side = 64) : Scene(side, side) {
    camera.Set(get());
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    Clear(0xFF000000);
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

}  // namespace

TEST(Pipeline, DepthCullingAndShadingFollowTheirRenderStates) {
  Unlit s;
  auto centre = [&](std::function<void()> draw) {
    s.Clear(0xFF000000);
    draw();
    return s.Back().at(32, 32);
  };
  auto nearThenFar = [&] {
    DrawFan(s.get(), Quad(1, 0, 0xFFFF0000));
    DrawFan(s.get(), Quad(2, 2, 0xFF00FF00));
  };
  EXPECT_EQ(centre(nearThenFar), 0xFFFF0000u) << "ZENABLE is on with a depth buffer: the far one is hidden";
  s->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  EXPECT_EQ(centre(nearThenFar), 0xFF00FF00u) << "the near one left no depth";
  s->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  s->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  EXPECT_EQ(centre(nearThenFar), 0xFF00FF00u) << "drawn in order";
  for (auto [cull, clockwise, drawn] : {std::tuple{D3DCULL_CCW, true, true}, {D3DCULL_CCW, false, false},
                                        {D3DCULL_NONE, true, true}, {D3DCULL_NONE, false, true},
                                        {D3DCULL_CW, true, false}, {D3DCULL_CW, false, true}}) {
    s->SetRenderState(D3DRS_CULLMODE, cull);  // CCW first: the default
    EXPECT_EQ(centre([&] { DrawFan(s.get(), Quad(1, 0, 0xFFFFFFFF, clockwise)); }) == 0xFFFFFFFFu, drawn)
        << "cull " << cull << (clockwise ? " clockwise" : " counter-clockwise");
  }
  s->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  // A triangle of red, green and blue corners: blended (Gouraud, the default), or flat in the
  // first vertex's colour.
  std::vector<ColourVertex> t = {{-1, 1, 0, 0xFFFF0000}, {1, 1, 0, 0xFF00FF00}, {0, -1, 0, 0xFF0000FF}};
  std::uint32_t gouraud = centre([&] { DrawFan(s.get(), t, D3DPT_TRIANGLELIST); });
  EXPECT_TRUE(Channel(gouraud, 16) > 0 && Channel(gouraud, 8) > 0 && Channel(gouraud, 0) > 0) << std::hex << gouraud;
  s->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
  EXPECT_EQ(centre([&] { DrawFan(s.get(), t, D3DPT_TRIANGLELIST); }), 0xFFFF0000u);
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
    s.Clear(0xFF000000);
    DrawScreenQuad(s.get(), 16, 16, 48, 48, diffuse);
    return s.Back();
  };
  for (const auto& c : cases) {
    s->SetTexture(0, t.get());
    s->SetTextureStageState(0, D3DTSS_COLOROP, c.op);
    s->SetTextureStageState(0, D3DTSS_COLORARG1, c.arg1);
    s->SetTextureStageState(0, D3DTSS_COLORARG2, c.arg2);
    Picture p = draw();
    for (int i = 0; i < 4; ++i) {
      Rgb tex = RgbOf(texels[static_cast<std::size_t>(i)]), dif = RgbOf(diffuse), fac = RgbOf(factor);
      float a = static_cast<float>(texels[static_cast<std::size_t>(i)] >> 24) / 255;
      Rgb want{c.f(tex.r, dif.r, fac.r, a), c.f(tex.g, dif.g, fac.g, a), c.f(tex.b, dif.b, fac.b, a)};
      std::uint32_t got = p.at(24 + 16 * (i % 2), 24 + 16 * (i / 2));
      EXPECT_TRUE(Near(got, Stored(want))) << "op " << c.op << " texel " << i << ": " << std::hex << got;
    }
  }
  // Without a texture the stage reads opaque white; with stage 0 disabled, the vertex colour.
  s->SetTexture(0, nullptr);
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  s->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  s->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
  EXPECT_EQ(draw().at(30, 30), 0xFFFFFFFFu);
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  EXPECT_EQ(draw().at(30, 30), diffuse | 0xFF000000u);
  s->SetTexture(0, t.get());
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
  EXPECT_EQ(draw().at(24, 24), diffuse | 0xFF000000u);
  // Stage 1 goes on from stage 0's result: texel x TFACTOR, then plus the diffuse colour.
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  s->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
  s->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
  s->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
  s->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  EXPECT_TRUE(Near(draw().at(40, 24), Stored(RgbOf(texels[1]) * RgbOf(factor) + RgbOf(diffuse))));
}

TEST(Pipeline, TheMipFilterChoosesAmongTheLevels) {
  Unlit s;
  // 32x32, six levels each of its own colour; over 8x8 pixels level 2 fits.
  const std::uint32_t colours[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
  std::vector<std::vector<std::uint32_t>> levels;
  for (UINT i = 0; i < 6; ++i) levels.emplace_back(static_cast<std::size_t>((32 >> i) * (32 >> i)), colours[i]);
  Ref<IDirect3DTexture9> t{Texture(s.get(), 32, 32, levels)};
  s->SetTexture(0, t.get());
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  auto draw = [&](DWORD mip, float side) {
    s->SetSamplerState(0, D3DSAMP_MIPFILTER, mip);
    DrawScreenQuad(s.get(), 20, 20, 20 + side, 20 + side, 0xFFFFFFFF);
    return s.Back().at(22, 22);
  };
  EXPECT_EQ(draw(D3DTEXF_NONE, 8), colours[0]);
  EXPECT_EQ(draw(D3DTEXF_POINT, 8), colours[2]);
  EXPECT_EQ(draw(D3DTEXF_POINT, 32), colours[0]);
  EXPECT_TRUE(Near(draw(D3DTEXF_LINEAR, 8), colours[2], 3));
  EXPECT_TRUE(Near(draw(D3DTEXF_LINEAR, 11.3137f), 0xFF008080, 8)) << "level 1.5: half of levels 1 and 2";
}

TEST(Pipeline, AlphaBlendingMixesWithTheBackBufferAndTheAlphaTestDropsPixels) {
  Unlit s;
  s->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  s->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  s->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  s->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  const D3DCOLOR background = 0xFF2040C0, source = 0x40F08010;
  auto draw = [&] {
    s.Clear(background);
    DrawScreenQuad(s.get(), 16, 16, 48, 48, source);
    return s.Back().at(32, 32);
  };
  float a = 0x40 / 255.0f;
  EXPECT_TRUE(Near(draw(), Stored(RgbOf(source) * a + RgbOf(background) * (1 - a))));
  s->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  s->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  s->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_REVSUBTRACT);
  EXPECT_TRUE(Near(draw(), Stored(RgbOf(background) + RgbOf(source) * -1.0f))) << "destination minus source";
  s->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  s->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  s->SetRenderState(D3DRS_ALPHAREF, 0x40);
  s->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
  EXPECT_EQ(draw(), background);
  s->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  EXPECT_EQ(draw(), source | 0xFF000000u);
}

// Stage 0 modulating alpha as well as colour, texture by diffuse, then blended over the back
// buffer with the source alpha: how translucent materials with textures are drawn. The texels'
// alphas differ and the diffuse alpha is not 1, so a stage that took either alpha alone would
// show. First with a vertex colour, then lit, the diffuse coming from a material of alpha 0.5.
TEST(Pipeline, AlphaModulatesTextureAndDiffuseBeforeBlending) {
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
  auto expect = [&](const Picture& p, int x0, int x1, Rgb diffuse, float diffuseAlpha, const char* what) {
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
  expect(s.Back(), 24, 40, RgbOf(diffuse), 0x80 / 255.0f, "vertex colour");

  // Lit: a square of position, normal and texture coordinates facing a white light, so the lit
  // colour is the material's diffuse (1, 1, 1) with its alpha, 0.5.
  struct MeshVertex {
    float x, y, z, nx, ny, nz, u, v;
  };
  std::vector<MeshVertex> square;
  for (auto [x, y] : {std::pair{-1.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, -1.0f}, {-1.0f, -1.0f}})
    square.push_back({x, y, 0, 0, 0, -1, (x + 1) / 2, (1 - y) / 2});
  const DWORD fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
  Ref<IDirect3DVertexBuffer9> vb{Vertices(s.get(), square, fvf)};
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL, light.Diffuse = Value(1, 1, 1), light.Direction = D3DVECTOR{0, 0, 1};
  s->SetLight(0, &light);
  s->LightEnable(0, TRUE);
  D3DMATERIAL9 material{};
  material.Diffuse = Value(1, 1, 1, 0.5f);
  s->SetMaterial(&material);
  s->SetRenderState(D3DRS_LIGHTING, TRUE);
  s->SetFVF(fvf);
  s->SetStreamSource(0, vb.get(), 0, sizeof(MeshVertex));
  s.Clear(background);
  ASSERT_EQ(s->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
  expect(s.Back(), 20, 44, Rgb{1, 1, 1}, 0.5f, "lit");
}

// Screen-space vertices on integer positions cover exactly the pixels between them, an edge
// through pixel centres giving them to the triangle on its right or below (D3D's top-left rule),
// wherever the back buffer lives. Texels map to pixels with the quad moved half a pixel up and left.
TEST_P(OnBothTargets, ScreenSpaceVerticesLandOnExactPixels) {
  d3d9test::Target t(GetParam(), 48, 40);
  IDirect3DDevice9* d = t.d.device.get();
  d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1, 0);
  d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);  // the vertex colour
  auto v = [](float x, float y, D3DCOLOR c) { return ScreenVertex{x, y, 0.5f, 1, c, 0, 0}; };
  // A square split from top left to bottom right (white above, red below), and a triangle whose
  // slanted edge is a right one.
  const D3DCOLOR kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kGreen = 0xFF00FF00;
  std::vector<ScreenVertex> shapes = {v(10, 5, kWhite), v(20, 5, kWhite), v(20, 15, kWhite),
                                      v(10, 5, kRed),   v(20, 15, kRed),  v(10, 15, kRed),
                                      v(30, 5, kGreen), v(40, 5, kGreen), v(30, 15, kGreen)};
  Ref<IDirect3DVertexBuffer9> vb{Vertices(d, shapes, kScreenFvf)};
  d->SetFVF(kScreenFvf);
  d->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
  ASSERT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 3), D3D_OK);
  Picture p = d3d9test::BackBuffer(d, 48, 40);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 48; ++x) {
      bool square = x >= 10 && x < 20 && y >= 5 && y < 15, triangle = x >= 30 && y >= 5 && x + y < 45;
      ASSERT_EQ(p.at(x, y), square ? (x - 10 >= y - 5 ? kWhite : kRed) : triangle ? kGreen : 0xFF000000u)
          << "at " << x << "," << y;
    }
  std::vector<std::uint32_t> texels;
  for (std::uint32_t i = 0; i < 32; ++i) texels.push_back(0xFF000000u | (i * 8) << 16 | (255 - i * 8) << 8 | 0x40);
  Ref<IDirect3DTexture9> tex{Texture(d, 8, 4, {texels})};
  d->SetTexture(0, tex.get());
  d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);  // the edges' neighbours are themselves
  d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
  for (DWORD filter : {DWORD{D3DTEXF_POINT}, DWORD{D3DTEXF_LINEAR}}) {
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
    DrawScreenQuad(d, 3.5f, 29.5f, 11.5f, 33.5f, 0xFFFFFFFF);
    Picture q = d3d9test::BackBuffer(d, 48, 40);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 8; ++x)
        EXPECT_TRUE(Near(q.at(4 + x, 30 + y), texels[static_cast<std::size_t>(y * 8 + x)], 1)) << x << "," << y;
  }
}

// World = turn x move: the box turns where it stands. Pixels a fifth of the way from each
// projected corner to the centre are the box's; pixels outside the corners' bounds are not.
TEST(Pipeline, ABoxTurnedAQuarterAtTenTurnsInPlace) {
  Unlit s;
  Camera camera(D3DXVECTOR3(7, 4, -9), D3DXVECTOR3(10, 0, 0));
  camera.Set(s.get());
  D3DXMATRIX turn, move;
  D3DXMatrixRotationY(&turn, 1.5707964f);
  D3DXMatrixTranslation(&move, 10, 0, 0);
  D3DXMATRIX world = turn * move;
  s->SetTransform(D3DTS_WORLD, &world);
  ASSERT_NO_FATAL_FAILURE(Draw(s.get(), Box(2.0f, 0.5f, 0.5f, 0xFFFFFFFF)));
  Picture p = s.Back();
  D3DXVECTOR3 centre = camera.Project({0, 0, 0}, world), low(64, 64, 0), high(0, 0, 0);
  for (float x : {-2.0f, 2.0f})
    for (float y : {-0.5f, 0.5f})
      for (float z : {-0.5f, 0.5f}) {
        D3DXVECTOR3 c = camera.Project({x, y, z}, world), in = c + (centre - c) * 0.2f;
        low = {std::min(low.x, c.x), std::min(low.y, c.y), 0}, high = {std::max(high.x, c.x), std::max(high.y, c.y), 0};
        EXPECT_EQ(p.at(static_cast<int>(in.x), static_cast<int>(in.y)), 0xFFFFFFFFu) << "near corner " << x << y << z;
      }
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      if (x < low.x - 1 || x > high.x + 1 || y < low.y - 1 || y > high.y + 1) {
        ASSERT_EQ(p.at(x, y), 0xFF000000u) << x << "," << y;
      }
    }
}

// The same square in the formats the engine and D3DX meshes use: each read as its bits lay it out.
TEST(Pipeline, VertexFormatsAreReadAsTheirBitsLayThemOut) {
  Unlit s;
  Ref<IDirect3DTexture9> tex{Texture(s.get(), 2, 1, {{0xFF30C050, 0xFFA0A0A0}})};
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL, light.Diffuse = Value(1, 1, 1), light.Direction = D3DVECTOR{0, 0, 1};
  s->SetLight(0, &light);
  s->LightEnable(0, TRUE);
  D3DMATERIAL9 material{};
  material.Diffuse = Value(0.25f, 0.5f, 0.75f);
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
    s.Clear(0xFF000000);
    ASSERT_EQ(s->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
    EXPECT_TRUE(Near(s.Back().at(32, 32), format.want)) << std::hex << format.fvf << ": " << s.Back().at(32, 32);
  }
}

TEST(Pipeline, PrimitiveTypesAndTheRangesOfIndexedDraws) {
  Unlit s;
  s->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  // Three squares one after the other in one buffer, left to right.
  const D3DCOLOR colours[3] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
  std::vector<ColourVertex> v;
  for (int i = 0; i < 3; ++i)
    for (ColourVertex q : Quad(0.5f, 0, colours[i])) v.push_back({q.x + static_cast<float>(i - 1), q.y, 0, q.colour});
  Ref<IDirect3DVertexBuffer9> vb{Vertices(s.get(), v, kColourFvf)};
  s->SetFVF(kColourFvf);
  s->SetStreamSource(0, vb.get(), 0, sizeof(ColourVertex));
  auto shown = [&] {
    Picture p = s.Back();
    s.Clear(0xFF000000);
    return std::array<bool, 3>{p.at(16, 32) == colours[0], p.at(32, 32) == colours[1], p.at(48, 32) == colours[2]};
  };
  using On = std::array<bool, 3>;
  ASSERT_EQ(s->DrawPrimitive(D3DPT_TRIANGLEFAN, 4, 2), D3D_OK);
  EXPECT_EQ(shown(), (On{false, true, false})) << "a fan from vertex 4";
  ASSERT_EQ(s->SetStreamSource(0, vb.get(), 8 * sizeof(ColourVertex), sizeof(ColourVertex)), D3D_OK);
  ASSERT_EQ(s->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
  EXPECT_EQ(shown(), (On{false, false, true})) << "from the stream's offset";
  Ref<IDirect3DVertexBuffer9> strip{Vertices(s.get(), std::vector<ColourVertex>{v[4], v[5], v[7], v[6]}, kColourFvf)};
  s->SetStreamSource(0, strip.get(), 0, sizeof(ColourVertex));
  ASSERT_EQ(s->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  EXPECT_EQ(shown(), (On{false, true, false})) << "a strip";
  ASSERT_EQ(s->SetStreamSource(0, vb.get(), 0, sizeof(ColourVertex)), D3D_OK);
  // Two squares' indices: the base vertex, the start index and the count choose what is drawn.
  const std::vector<std::uint16_t> indices = {0, 1, 2, 0, 2, 3, 0, 1, 2, 0, 2, 3};
  for (bool wide : {false, true}) {
    Ref<IDirect3DIndexBuffer9> ib{wide ? Indices(s.get(), std::vector<std::uint32_t>(indices.begin(), indices.end()))
                                       : Indices(s.get(), indices)};
    s->SetIndices(ib.get());
    ASSERT_EQ(s->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(shown(), (On{true, false, false})) << wide;
    ASSERT_EQ(s->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 8, 0, 4, 6, 2), D3D_OK);
    EXPECT_EQ(shown(), (On{false, false, true})) << "indices from 6, counted from vertex 8";
    ASSERT_EQ(s->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 0, 1), D3D_OK);
    Picture p = s.Back();
    EXPECT_EQ(p.at(38, 24), colours[1]) << "one triangle: the upper right half";
    EXPECT_EQ(p.at(26, 40), 0xFF000000u);
    s.Clear(0xFF000000);
  }
}
