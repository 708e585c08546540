// Per-vertex lighting: each expected colour is worked out here from Direct3D 9's formula.
#include "ff_test_support.h"

using namespace fftest;

namespace {

D3DLIGHT9 Light(D3DLIGHTTYPE type, D3DXVECTOR3 position, D3DXVECTOR3 direction, D3DCOLORVALUE diffuse) {
  D3DLIGHT9 l{};
  l.Type = type;
  l.Diffuse = diffuse;
  l.Position = position;
  l.Direction = direction;
  l.Range = 1000;
  l.Attenuation0 = 1;
  return l;
}

D3DMATERIAL9 Material(D3DCOLORVALUE diffuse, D3DCOLORVALUE ambient, D3DCOLORVALUE emissive = Value(0, 0, 0)) {
  D3DMATERIAL9 m{};
  m.Diffuse = diffuse, m.Ambient = ambient, m.Emissive = emissive;
  return m;
}

// Camera at (0, 0, -3) looking at the origin: a square of half size 0.5 there fills the middle.
struct Lit : Scene {
  Lit() { camera.Set(get()); }
  // Sets light `index` (enabled), draws a square (or `mesh`) and reads the centre pixel.
  std::uint32_t Draw(const D3DLIGHT9* light = nullptr, DWORD index = 0, D3DCOLOR colour = 0xFFFFFFFF) {
    if (light != nullptr) d->SetLight(index, light), d->LightEnable(index, TRUE);
    Clear(0xFF000000);
    fftest::Draw(get(), Square(colour));
    return Back().at(32, 32);
  }
  Camera camera{D3DXVECTOR3(0, 0, -3), D3DXVECTOR3(0, 0, 0)};
};

}  // namespace

TEST(Lighting, APointLightBrightensTheFaceTurnedToItAndLeavesTheOtherToTheAmbientTerm) {
  Scene s;
  Camera camera(D3DXVECTOR3(0, 0, -6), D3DXVECTOR3(0, 0, 0));
  camera.Set(s.get());
  D3DXMATRIX world;  // an eighth turn: the -z face looks to (-1, 0, -1), the +x face to (1, 0, -1)
  D3DXMatrixRotationY(&world, 0.7853982f);
  s->SetTransform(D3DTS_WORLD, &world);
  D3DLIGHT9 l = Light(D3DLIGHT_POINT, {-10, 0, -3}, {}, Value(1, 1, 1));
  s->SetLight(0, &l);
  s->LightEnable(0, TRUE);
  s->SetRenderState(D3DRS_AMBIENT, 0x00202020);
  D3DMATERIAL9 m = Material(Value(0, 0, 0), Value(0.5f, 0.5f, 0.5f));
  s->SetMaterial(&m);
  s.Clear(0xFF000000);
  ASSERT_NO_FATAL_FAILURE(Draw(s.get(), Box(1, 1, 1, 0xFFC08040)));
  Picture p = s.Back();
  Rgb ambient = RgbOf(m.Ambient) * RgbOf(0x00202020);
  std::uint32_t away = camera.At(p, {1, 0, 0}, world), towards = camera.At(p, {0, 0, -1}, world);
  EXPECT_TRUE(Near(away, Stored(ambient))) << std::hex << away;
  // At the face's centre, the vertex colour (the diffuse source by default) x N.L, near enough.
  D3DXVECTOR3 normal(-0.7071f, 0, -0.7071f), toLight = D3DXVECTOR3(-10, 0, -3) - normal;  // the centre is at the normal
  D3DXVec3Normalize(&toLight, &toLight);
  EXPECT_TRUE(Near(towards, Stored(ambient + RgbOf(0xFFC08040) * D3DXVec3Dot(&normal, &toLight)), 12))
      << std::hex << towards;
}

TEST(Lighting, DirectionalLightsAmbientColoursAndEmissiveAddUp) {
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
  std::uint32_t got = s.Draw(&red);
  EXPECT_TRUE(Near(got, Stored(want))) << std::hex << got << " " << Stored(want);
  s->LightEnable(3, FALSE);
  EXPECT_TRUE(Near(s.Draw(), Stored(want + RgbOf(blue.Diffuse) * -l2.z))) << "a light turned off adds nothing";
  // The default material is all zero: lit with neither a vertex colour nor a material, black.
  D3DMATERIAL9 zero{};
  s->SetMaterial(&zero);
  s->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
  EXPECT_EQ(s.Draw(), 0xFF000000u);
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
  EXPECT_GT(Channel(near, 0), Channel(far, 0) + 60);
  EXPECT_EQ(draw(D3DLIGHT_POINT, 3, 3), 0xFF000000u) << "beyond its range nothing, not even its ambient";
  EXPECT_TRUE(Near(draw(D3DLIGHT_POINT, 3, 3.1f), lit(3)));
  // The corners lie between the spot's inner cone (Theta / 2) and its outer one (Phi / 2).
  float rho = 2 / std::sqrt(4.5f), inner = std::cos(0.1f), outer = std::cos(0.45f);
  EXPECT_TRUE(Near(draw(D3DLIGHT_SPOT, 2, 100), lit(2, (rho - outer) / (inner - outer))));
  EXPECT_EQ(draw(D3DLIGHT_SPOT, 2, 100, {0, 1, 0}), 0xFF000000u) << "turned away";
}

TEST(Lighting, TheDiffuseAndAmbientColoursComeFromTheVertexOrTheMaterialAsTheSourcesSay) {
  Lit s;
  D3DLIGHT9 l = Light(D3DLIGHT_DIRECTIONAL, {}, {0, 0, 1}, Value(1, 1, 1));  // straight on: N.L = 1
  s->SetLight(0, &l);
  s->LightEnable(0, TRUE);
  const D3DCOLOR vertex = 0xFFE04010;
  D3DMATERIAL9 m = Material(Value(0.1f, 0.5f, 0.9f), Value(0.5f, 0.5f, 0.5f));
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
}

TEST(Lighting, SpecularHighlightsShowWhenEnabledWithTheHalfwayVectorAndPower) {
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
  EXPECT_EQ(s.Draw(&l), 0xFF000000u) << "a light behind the surface makes no highlight";
}

TEST(Lighting, NormalsFollowTheInverseTransposeAndAreNormalisedOnlyWhenAsked) {
  Lit s;
  D3DLIGHT9 l = Light(D3DLIGHT_DIRECTIONAL, {}, {0, 0, 1}, Value(1, 1, 1));
  D3DXMATRIX twice;  // normals come out half as long
  D3DXMatrixScaling(&twice, 2, 2, 2);
  s->SetTransform(D3DTS_WORLD, &twice);
  EXPECT_TRUE(Near(s.Draw(&l, 0, 0xFFC08040), Stored(RgbOf(0xFFC08040) * 0.5f)));
  s->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
  EXPECT_TRUE(Near(s.Draw(nullptr, 0, 0xFFC08040), 0xFFC08040));
}
