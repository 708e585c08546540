#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "errorfile/zr_ErrorException.h"
#include "fake_com.h"
#include "fake_d3d9.h"
#include "fake_d3dx9.h"
#include "fake_platform.h"
#include "objects3d/zr_Box.h"
#include "scratch_directory.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class Box : public ::testing::Test {
 protected:
  void SetUp() override {
    p.Reset();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device);
    d3d->Release();
    manager.Initialise(device);
    p.Reset();
  }
  void TearDown() override { device->Release(); }

  // The vertices the box's vertex buffer holds now.
  static std::vector<zr_CustomVertex> Uploaded(const void* buffer) {
    const std::vector<std::uint8_t>* bytes = fake::d3d9::BufferBytes(buffer);
    std::vector<zr_CustomVertex> out(bytes != nullptr ? bytes->size() / sizeof(zr_CustomVertex) : 0);
    if (!out.empty()) std::memcpy(out.data(), bytes->data(), out.size() * sizeof(zr_CustomVertex));
    return out;
  }

  fake::Platform& p = fake::Platform::Get();
  ScratchDirectory dir;
  IDirect3DDevice9* device = nullptr;
  zr_TextureManager manager;
};

TEST_F(Box, InitialiseCreatesTheIndexBufferFirstAndSelectsTheFirstColourArgument) {
  zr_Box box;
  box.SetColor(0xFF112233);
  box.SetSize(device, 2, 3, 4);
  box.SetColor(0xFF445566);  // taken when a vertex is built: too late for these
  box.Initialise(device, &manager);
  ASSERT_TRUE(box.Initialised());

  EXPECT_THAT(p.Names(), ElementsAre("IDirect3DDevice9::CreateIndexBuffer", "IDirect3DIndexBuffer9::Lock",
                                     "IDirect3DIndexBuffer9::Unlock", "IDirect3DDevice9::CreateVertexBuffer",
                                     "IDirect3DVertexBuffer9::Lock", "IDirect3DVertexBuffer9::Unlock",
                                     "IDirect3DDevice9::SetTextureStageState"));
  EXPECT_THAT(p.CallsTo("IDirect3DDevice9::CreateIndexBuffer")[0].args,
              ElementsAre("72", "8", "101", "0", "<null>"));
  EXPECT_THAT(p.CallsTo("IDirect3DDevice9::CreateVertexBuffer")[0].args,
              ElementsAre("288", "8", "338", "1", "<null>"));
  EXPECT_EQ((fake::d3d9::Get().textureStageStates[{0, D3DTSS_COLOROP}]), static_cast<DWORD>(D3DTOP_SELECTARG1));

}

TEST_F(Box, UploadsTheVerticesAndIndicesOfTheTable) {
  zr_Box box;
  box.SetColor(0xFF112233);
  box.SetSize(device, 2, 3, 4);
  box.Initialise(device, &manager);
  const void* vertexBuffer = nullptr;
  const void* indexBuffer = nullptr;
  p.OnCall("IDirect3DDevice9::DrawIndexedPrimitive", [&](const fake::Call&) {
    vertexBuffer = fake::d3d9::Get().streamSource;
    indexBuffer = fake::d3d9::Get().indices;
  });
  box.Render(device, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 0));
  std::vector<zr_CustomVertex> v = Uploaded(vertexBuffer);
  ASSERT_EQ(v.size(), 8u);
  EXPECT_EQ(v[0].position, D3DXVECTOR3(0, 0, 0));
  EXPECT_EQ(v[3].position, D3DXVECTOR3(2, 3, 0));
  EXPECT_EQ(v[6].position, D3DXVECTOR3(2, 0, 4));
  EXPECT_EQ(v[7].position, D3DXVECTOR3(2, 3, 4));
  EXPECT_EQ(v[1].normal, D3DXVECTOR3(0, 0, 1));
  EXPECT_EQ(v[5].normal, D3DXVECTOR3(0, 0, -1));
  EXPECT_EQ(v[4].u, 0.0f);
  EXPECT_EQ(v[4].v, 1.0f);
  EXPECT_EQ(v[7].u, 1.0f);
  EXPECT_EQ(v[7].v, 0.0f);
  for (const zr_CustomVertex& each : v) EXPECT_EQ(each.colour, 0xFF112233u);

  const std::vector<std::uint8_t>* bytes = fake::d3d9::BufferBytes(indexBuffer);
  ASSERT_NE(bytes, nullptr);
  std::vector<std::uint16_t> indices(bytes->size() / 2);
  std::memcpy(indices.data(), bytes->data(), bytes->size());
  EXPECT_THAT(indices, ElementsAre(0, 1, 2, 3, 2, 1, 5, 4, 7, 7, 4, 6, 5, 7, 3, 5, 3, 1, 0, 4, 5, 1, 0, 5, 6, 4, 2,
                                   2, 4, 0, 3, 7, 2, 7, 6, 2));

  // Every triangle of SetSize's box is clockwise seen from outside (the platform's front faces).
  D3DXVECTOR3 centre(1, 1.5f, 2);
  for (size_t t = 0; t < indices.size(); t += 3) {
    D3DXVECTOR3 a = v[indices[t]].position, b = v[indices[t + 1]].position, c = v[indices[t + 2]].position;
    D3DXVECTOR3 ab = b - a, ac = c - a, n, outward = a - centre;
    D3DXVec3Cross(&n, &ab, &ac);
    // Left-handed: a clockwise triangle seen from outside has its cross product pointing out.
    EXPECT_GT(D3DXVec3Dot(&n, &outward), 0.0f) << "triangle " << t / 3;
  }
}

TEST_F(Box, ReshapingAnInitialisedBoxRewritesOnlyTheVertexBuffer) {
  zr_Box box;
  box.SetSize(device, 1, 1, 1);
  box.Initialise(device, &manager);
  p.Reset();
  box.SetColor(0xFF00FF00);
  box.SetSizeEx(device, box.GetBoxVertex(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 5, 0), D3DXVECTOR3(5, 0, 0),
                                         D3DXVECTOR3(5, 5, 0), D3DXVECTOR3(0, 0, 5), D3DXVECTOR3(0, 5, 5),
                                         D3DXVECTOR3(5, 0, 5), D3DXVECTOR3(9, 9, 9)));
  EXPECT_THAT(p.Names(), ElementsAre("IDirect3DVertexBuffer9::Lock", "IDirect3DVertexBuffer9::Unlock"));
  EXPECT_THAT(p.Calls()[0].args, ElementsAre("0", "288", "0"));
  const void* vertexBuffer = nullptr;
  p.OnCall("IDirect3DDevice9::DrawIndexedPrimitive",
           [&](const fake::Call&) { vertexBuffer = fake::d3d9::Get().streamSource; });
  box.Render(device);
  std::vector<zr_CustomVertex> v = Uploaded(vertexBuffer);
  ASSERT_EQ(v.size(), 8u);
  EXPECT_EQ(v[7].position, D3DXVECTOR3(9, 9, 9));
  EXPECT_EQ(v[0].colour, 0xFF00FF00u);
  EXPECT_THAT(p.CallsTo("IDirect3DDevice9::DrawIndexedPrimitive")[0].args, ElementsAre("4", "0", "0", "8", "0", "12"));
}

TEST_F(Box, RenderTurnsXThenYThenZThenMovesAndLeavesTheStreamUnbound) {
  zr_Box box;
  box.SetSize(device, 1, 1, 1);
  box.Initialise(device, &manager);
  D3DMATERIAL9 material{};
  material.Diffuse = D3DCOLORVALUE{1, 0, 0, 1};
  box.SetMaterial(&material);
  p.Reset();
  box.Render(device, D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(0.1f, static_cast<float>(M_PI / 2), 0.3f));
  D3DXMATRIX rx, ry, rz, t;
  D3DXMatrixRotationX(&rx, 0.1f);
  D3DXMatrixRotationY(&ry, static_cast<float>(M_PI / 2));
  D3DXMatrixRotationZ(&rz, 0.3f);
  D3DXMatrixTranslation(&t, 10, 0, 0);
  EXPECT_EQ(box.WorldMatrix(), rx * ry * rz * t);
  EXPECT_EQ(D3DXMATRIX(fake::d3d9::Get().transforms[D3DTS_WORLD]), box.WorldMatrix());
  // Turned in place: the corner at the origin stays at (10, 0, 0).
  D3DXVECTOR3 corner(0, 0, 0), placed;
  D3DXVec3TransformCoord(&placed, &corner, &box.WorldMatrix());
  EXPECT_EQ(placed, D3DXVECTOR3(10, 0, 0));
  EXPECT_EQ(fake::d3d9::Get().material.Diffuse.r, 1.0f);

  std::vector<std::string> order;
  for (const fake::Call& c : p.Calls()) order.push_back(c.name + (c.name.find("Sampler") != std::string::npos ? " " + c.Arg(1) + "=" + c.Arg(2) : ""));
  EXPECT_THAT(order, ElementsAre("IDirect3DDevice9::SetTexture", "IDirect3DDevice9::SetFVF",
                                 "IDirect3DDevice9::SetStreamSource", "IDirect3DDevice9::SetIndices",
                                 "IDirect3DDevice9::SetTransform", "IDirect3DDevice9::SetMaterial",
                                 "IDirect3DDevice9::SetSamplerState 7=0", "IDirect3DDevice9::SetSamplerState 5=2",
                                 "IDirect3DDevice9::SetSamplerState 6=2", "IDirect3DDevice9::DrawIndexedPrimitive",
                                 "IDirect3DDevice9::SetIndices", "IDirect3DDevice9::SetStreamSource"));
  EXPECT_EQ(fake::d3d9::Get().streamSource, nullptr);
  EXPECT_EQ(fake::d3d9::Get().indices, nullptr);

  // The one-vector form takes the stored rotation.
  box.SetRotation(D3DXVECTOR3(0, 0, 0.5f));
  box.Render(device, D3DXVECTOR3(1, 2, 3));
  D3DXMATRIX turn, move;
  D3DXMatrixRotationZ(&turn, 0.5f);
  D3DXMatrixTranslation(&move, 1, 2, 3);
  EXPECT_EQ(box.WorldMatrix(), turn * move);
}

TEST_F(Box, BufferFailuresRaise17And18AndDrawFailuresAreLogged21) {
  p.ResultForCall("IDirect3DDevice9::CreateIndexBuffer", 1, D3DERR_OUTOFVIDEOMEMORY);
  zr_Box first;
  first.SetSize(device, 1, 1, 1);
  try {
    first.Initialise(device, &manager);
    FAIL();
  } catch (zr_ErrorException& e) {
    EXPECT_EQ(e.errorNumber, 17u);
    EXPECT_THAT(e.message, HasSubstr("Error, can't create the index buffer"));
  }
  EXPECT_FALSE(first.Initialised());

  p.ResultForCall("IDirect3DDevice9::CreateVertexBuffer", 1, D3DERR_OUTOFVIDEOMEMORY);
  zr_Box second;
  second.SetSize(device, 1, 1, 1);
  try {
    second.Initialise(device, &manager);
    FAIL();
  } catch (zr_ErrorException& e) {
    EXPECT_EQ(e.errorNumber, 18u);
  }
  EXPECT_FALSE(second.Initialised());

  zr_Box third;
  third.SetSize(device, 1, 1, 1);
  third.Initialise(device, &manager);
  p.ResultForAll("IDirect3DDevice9::SetTexture", D3DERR_INVALIDCALL);
  p.ResultForAll("IDirect3DDevice9::DrawIndexedPrimitive", D3DERR_INVALIDCALL);
  third.Render(device);
  EXPECT_THAT(dir.Read("error.log"), HasSubstr("*** Error_21 ** Error, by setting the texture"));
  EXPECT_THAT(dir.Read("error.log"), HasSubstr("*** Error_21 ** Error, by drawing the object"));
}

TEST_F(Box, TexturesComeByNameAndMipLevelsChooseTheMipFilter) {
  fake::d3dx9::AddImage("crate.png", 64, 64);
  {
    zr_Box box;
    box.SetSize(device, 1, 1, 1);
    box.Initialise(device, &manager);
    box.CreateTexture("crate.png", D3DPOOL_MANAGED, 4, D3DX_FILTER_BOX);
    EXPECT_TRUE(box.GetTextureState());
    fake::Call load = p.CallsTo("D3DXCreateTextureFromFileExA").back();
    EXPECT_EQ(load.Arg(4), "4");                                 // mip levels
    EXPECT_EQ(load.Arg(8), std::to_string(D3DX_FILTER_BOX));   // filter, in its own place
    box.CreateTexture("missing.png", D3DPOOL_MANAGED, 0, D3DX_FILTER_BOX);
    p.Reset();
    box.Render(device);
    EXPECT_EQ(p.CallsTo("IDirect3DDevice9::SetTexture")[0].Arg(1), "ptr");
    EXPECT_EQ(p.CallsTo("IDirect3DDevice9::SetSamplerState")[0].Arg(2), std::to_string(D3DTEXF_LINEAR));
  }
  EXPECT_EQ(manager.GetTexture("crate.png"), nullptr);  // destroyed with the object, by name
  zr_Box plain;
  plain.SetSize(device, 1, 1, 1);
  plain.Initialise(device, &manager);
  p.Reset();
  plain.SetTexture(true);  // textured without a name: drawn with no texture
  plain.Render(device);
  EXPECT_EQ(p.CallsTo("IDirect3DDevice9::SetTexture")[0].Arg(1), "<null>");
}

}  // namespace
