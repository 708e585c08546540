// The engine's path through the device, call for call as its scene and objects make them: the
// scene's camera, point light and ambient colour; an object's DEFAULT 16-bit index buffer and
// MANAGED vertex buffer of format 0x152 (the eight-corner box), stage 0 set to SELECTARG1, an
// optional texture and material, the world matrix turned then moved, one indexed triangle list.
#include "ff_test_support.h"

using namespace fftest;

namespace {

constexpr std::uint16_t kBoxIndices[36] = {0, 1, 2, 3, 2, 1, 5, 4, 7, 7, 4, 6, 5, 7, 3, 5, 3, 1,
                                           0, 4, 5, 1, 0, 5, 6, 4, 2, 2, 4, 0, 3, 7, 2, 7, 6, 2};

struct Engine : Scene {
  Engine() {
    camera.Set(get());
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_POINT, light.Diffuse = Value(1, 1, 1, 0), light.Range = 100000, light.Attenuation0 = 1;
    d->SetLight(0, &light);
    d->LightEnable(0, TRUE);
    d->SetRenderState(D3DRS_LIGHTING, TRUE);
    d->SetRenderState(D3DRS_AMBIENT, 0x00F0F0F0);
    // The box from the origin to (2, 2, 2): corner k has x = 2 for bit 1, y = 2 for bit 0,
    // z = 2 for bit 2, normal (0, 0, 1) at z = 0 and (0, 0, -1) at z = 2, u = x / 2, v = y / 2.
    std::vector<LitVertex> corners;
    for (int k = 0; k < 8; ++k) {
      float x = (k & 2) ? 2.0f : 0.0f, y = (k & 1) ? 2.0f : 0.0f, z = (k & 4) ? 2.0f : 0.0f;
      corners.push_back({x, y, z, 0, 0, (k & 4) ? -1.0f : 1.0f, 0xFFBCB6B1, x / 2, y / 2});
    }
    void* memory = nullptr;
    EXPECT_EQ(d->CreateIndexBuffer(sizeof kBoxIndices, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, ib.out(), nullptr),
              D3D_OK);
    if (ib && ib->Lock(0, 0, &memory, 0) == D3D_OK) std::memcpy(memory, kBoxIndices, sizeof kBoxIndices), ib->Unlock();
    EXPECT_EQ(d->CreateVertexBuffer(8 * sizeof(LitVertex), D3DUSAGE_WRITEONLY, kLitFvf, D3DPOOL_MANAGED, vb.out(), nullptr),
              D3D_OK);
    if (vb && vb->Lock(0, 8 * sizeof(LitVertex), &memory, 0) == D3D_OK)
      std::memcpy(memory, corners.data(), 8 * sizeof(LitVertex)), vb->Unlock();
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  }
  // zr_MainObject::Render at `position`, turned by `turn` about y.
  Picture Render(D3DXVECTOR3 position, float turn, IDirect3DTexture9* texture, const D3DMATERIAL9* material) {
    Clear(0xFF000000);
    d->SetTexture(0, texture);
    d->SetFVF(kLitFvf);
    d->SetStreamSource(0, vb.get(), 0, sizeof(LitVertex));
    d->SetIndices(ib.get());
    D3DXMATRIX translation, rx, ry, rz;
    D3DXMatrixTranslation(&translation, position.x, position.y, position.z);
    D3DXMatrixRotationX(&rx, 0), D3DXMatrixRotationY(&ry, turn), D3DXMatrixRotationZ(&rz, 0);
    world = rx * ry * rz * translation;
    d->SetTransform(D3DTS_WORLD, &world);
    if (material != nullptr) d->SetMaterial(material);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    EXPECT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 12), D3D_OK);
    d->SetIndices(nullptr);
    d->SetStreamSource(0, nullptr, 0, 0);
    return Back();
  }
  std::uint32_t At(const Picture& p, float x, float y, float z) const { return camera.At(p, {x, y, z}, world); }
  Camera camera{D3DXVECTOR3(0, 1, -10), D3DXVECTOR3(0, 1, -9)};
  D3DXMATRIX world;
  Ref<IDirect3DVertexBuffer9> vb;
  Ref<IDirect3DIndexBuffer9> ib;
};

}  // namespace

TEST(EnginePath, ATexturedObjectShowsItsTexelsWhereItsCornersProject) {
  Engine s;
  const std::uint32_t texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
  Ref<IDirect3DTexture9> texture;
  ASSERT_EQ(s->CreateTexture(2, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, texture.out(), nullptr), D3D_OK);
  D3DLOCKED_RECT r{};
  ASSERT_EQ(texture->LockRect(0, &r, nullptr, 0), D3D_OK);
  for (int y = 0; y < 2; ++y) std::memcpy(static_cast<std::uint8_t*>(r.pBits) + y * r.Pitch, &texels[y * 2], 8);
  texture->UnlockRect(0);
  Picture p = s.Render({-1, 0, 2}, 0, texture.get(), nullptr);
  // SELECTARG1 of the texture: its texels whatever the light (near each texel's centre, bilinear
  // filtering mixing in a little of its neighbours).
  for (int t = 0; t < 4; ++t) {
    std::uint32_t got = s.At(p, 0.5f + static_cast<float>(t % 2), 0.5f + static_cast<float>(t / 2), 0);
    EXPECT_TRUE(Near(got, texels[t], 24)) << t << ": " << std::hex << got;
  }
  EXPECT_TRUE(s.At(p, -0.3f, 1, 0) == 0xFF000000u && s.At(p, 1, 2.3f, 0) == 0xFF000000u) << "nothing around it";
}

TEST(EnginePath, WithoutATextureTheStageReadsWhiteAndTheDefaultOperationShowsTheLight) {
  Engine s;
  D3DMATERIAL9 material{};
  material.Diffuse = Value(1, 1, 1), material.Ambient = Value(0.5f, 0.5f, 0.5f);
  EXPECT_EQ(s.At(s.Render({-1, 0, 2}, 0, nullptr, &material), 1, 1, 0), 0xFFFFFFFFu) << "SELECTARG1 of no texture";
  s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  // The near side's normals are (0, 0, 1), into the box: with the light at the origin behind the
  // box it gets the ambient term alone (Ca x D3DRS_AMBIENT); with the box in front of the light,
  // the vertex colour x N.L as well (at the side's centre, near enough).
  Rgb ambient = RgbOf(material.Ambient) * RgbOf(0x00F0F0F0);
  std::uint32_t unlit = s.At(s.Render({-1, 0, 2}, 0, nullptr, &material), 1, 1, 0);
  EXPECT_TRUE(Near(unlit, Stored(ambient))) << std::hex << unlit;
  std::uint32_t lit = s.At(s.Render({-1, 0, -4}, 0, nullptr, &material), 1, 1, 0);
  D3DXVECTOR3 toLight(0, -1, 4);
  D3DXVec3Normalize(&toLight, &toLight);
  EXPECT_TRUE(Near(lit, Stored(ambient + RgbOf(0xFFBCB6B1) * toLight.z), 6)) << std::hex << lit;
}
