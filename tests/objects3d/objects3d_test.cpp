// The camera, boxes and meshes of the engine against the recording fake.
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "engine_test.h"
#include "objects3d/zr_3DObject.h"
#include "objects3d/zr_Box.h"
#include "objects3d/zr_Scene.h"

namespace {

using Objects3D = EngineTest;
const float kQuarter = static_cast<float>(M_PI / 2);

// A point to a thousandth, as it is, and where the matrix puts it.
std::string Text(D3DXVECTOR3 v) {
  const auto round = [](float f) { return std::round(f * 1000) / 1000 + 0.0; };  // + 0.0: no "-0"
  return Args(round(v.x), round(v.y), round(v.z));
}
std::string Placed(D3DXVECTOR3 point, const D3DMATRIX& m) {
  D3DXVec3TransformCoord(&point, &point, reinterpret_cast<const D3DXMATRIX*>(&m));
  return Text(point);
}

TEST_F(Objects3D, ASceneSetsItsProjectionLightAndAmbientThenTheViewFromTheCamera) {
  zr_Scene scene;
  scene.Update();
  scene.SetLight(false);
  EXPECT_THAT(p.Calls(), ::testing::IsEmpty()) << "nothing reaches the device before Initialise";
  for (auto [width, height, aspect] : {std::tuple{1024, 768, 1024.0f / 768}, {640, 0, 640.0f}}) {  // 0 counts as 1
    scene.Initialise(device, width, height);
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, static_cast<float>(M_PI / 4), aspect, 1.0f, 100.0f);
    EXPECT_EQ(D3DXMATRIX(fake::d3d9::Get().transforms[D3DTS_PROJECTION]), projection);
  }
  const D3DLIGHT9& l = fake::d3d9::Get().lights[0];
  EXPECT_EQ(Args(l.Type, l.Diffuse.r, l.Diffuse.g, l.Diffuse.b, l.Range, l.Attenuation0, l.Attenuation1, l.Position.x,
                 l.Position.y, l.Position.z),
            Args(D3DLIGHT_POINT, 1, 1, 1, 100000, 1, 0, 0, 0, 0));
  EXPECT_THAT(p.ArgsOf("IDirect3DDevice9::SetRenderState"),
              ::testing::IsSupersetOf({Args(D3DRS_LIGHTING, TRUE), Args(D3DRS_AMBIENT, 0x00F0F0F0)}));
  scene.Update();  // the camera at (0, 1, -10) looks along +z
  EXPECT_EQ(Placed(D3DXVECTOR3(0, 1, 5), fake::d3d9::Get().transforms[D3DTS_VIEW]), "0 0 15");
  scene.SetLight(false);
  EXPECT_THAT(p.ArgsOf("IDirect3DDevice9::LightEnable"), ElementsAre("0 1", "0 1", "0 0"));
  EXPECT_FALSE(scene.GetLightState());
}

TEST_F(Objects3D, TheCameraMovesByTheFrameRateAndPitchesUpToItsLimitBothWays) {
  struct Row {  // turned to yaw first, from looking along +z; the position from (0, 1, -10)
    const char* what;
    float yaw, fps;
    int direction, times;
    float speed, turn, limit;
    D3DXVECTOR3 position;
    float pitch;
  };
  const float s = std::sin(0.5f), c = std::cos(0.5f);
  const Row rows[] = {
      {"forward", 0, 25, 1, 1, 50, 1, 0, {0, 1, -8}, 0},
      {"back, before the rate is known", 0, 0, 2, 1, 50, 1, 0, {0, 1, -12}, 0},
      {"left", 0, 25, 3, 1, 25, 1, 0, {-1, 1, -10}, 0},
      {"right", 0, 25, 4, 1, 25, 1, 0, {1, 1, -10}, 0},
      {"left when turned", 0.5f, 10, 3, 1, 20, 1, 0, {-2 * c, 1, -10 + 2 * s}, 0},
      {"forward when turned", 0.5f, 10, 1, 1, 20, 1, 0, {2 * s, 1, -10 + 2 * c}, 0},
      {"up, whatever the rate", 0, 1000, 5, 1, 1, 1, 0, {0, 2, -10}, 0},
      {"down, whatever the rate", 0, 0, 6, 1, 0.25f, 1, 0, {0, 0.75f, -10}, 0},
      {"pitch down, stopping after the step past the limit", 0, 10, 7, 10, 1, 2, 0.5f, {0, 1, -10}, -0.6f},
      {"pitch up, stopping after the step past the limit", 0, 10, 8, 10, 1, 2, 0.5f, {0, 1, -10}, 0.6f},
      {"pitch up without a limit", 0, 10, 8, 10, 1, 2, 0, {0, 1, -10}, 2.0f},
      {"unknown directions", 0, 25, 0, 1, 50, 1, 0, {0, 1, -10}, 0},
      {"unknown directions", 0, 25, 10, 1, 50, 1, 0, {0, 1, -10}, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    zr_Scene scene;
    scene.MoveCamera(10, 9, 1, r.yaw * 10, 0);
    EXPECT_NEAR(scene.Yaw(), r.yaw, 1e-6);
    for (int i = 0; i < r.times; ++i) scene.MoveCamera(r.fps, r.direction, r.speed, r.turn, r.limit);
    EXPECT_EQ(Text(scene.GetPosition()), Text(r.position));
    EXPECT_NEAR(scene.Pitch(), r.pitch, 1e-5);
  }
}

// A box whose buffers a test reads.
struct OpenBox : zr_Box {
  using zr_MainObject::indexBuffer_;
  using zr_MainObject::vertexBuffer_;
};

class Boxes : public EngineTest {
 protected:
  Boxes() {
    manager.Initialise(device);
    box.SetSize(device, 2, 3, 4);
  }
  template <typename T>
  static std::vector<T> Bytes(const void* buffer) {
    const std::vector<std::uint8_t>* bytes = fake::d3d9::BufferBytes(buffer);
    std::vector<T> out(bytes != nullptr ? bytes->size() / sizeof(T) : 0);
    if (!out.empty()) std::memcpy(out.data(), bytes->data(), out.size() * sizeof(T));
    return out;
  }
  OpenBox box;
};

// Initialise uploads the indices, then the vertices. Seen from outside, each triangle is clockwise,
// so that none is culled, and two cover each face. A reshape rewrites only the vertices.
TEST_F(Boxes, InitialiseUploadsTrianglesThatFaceOutOfTheBoxItsCornersSpanAndAReshapeRewritesTheVertices) {
  box.SetColor(0xFF112233);
  box.SetSize(device, 2, 3, 4);
  box.SetColor(0xFF445566);  // taken when a vertex is built: too late for these
  box.Initialise(device, &manager);
  ASSERT_TRUE(box.Initialised());
  EXPECT_THAT(Lines(), ElementsAre("IDirect3DDevice9::CreateIndexBuffer " +
                                       Args(72, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, nullptr),
                                   "IDirect3DIndexBuffer9::Lock 0 0 0", "IDirect3DIndexBuffer9::Unlock",
                                   "IDirect3DDevice9::CreateVertexBuffer " +
                                       Args(288, D3DUSAGE_WRITEONLY, kCustomVertexFormat, D3DPOOL_MANAGED, nullptr),
                                   "IDirect3DVertexBuffer9::Lock 0 288 0", "IDirect3DVertexBuffer9::Unlock",
                                   "IDirect3DDevice9::SetTextureStageState " +
                                       Args(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1)));
  box.Render(device);
  EXPECT_THAT(p.ArgsOf("IDirect3DDevice9::DrawIndexedPrimitive"),
              ElementsAre(Args(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 12)));
  std::vector<zr_CustomVertex> vertices = Bytes<zr_CustomVertex>(box.vertexBuffer_);
  const std::vector<std::uint16_t> indices = Bytes<std::uint16_t>(box.indexBuffer_);
  ASSERT_EQ(vertices.size(), 8u);
  ASSERT_EQ(indices.size(), 36u);
  // Each corner with its colour, normal and texture coordinates, as a box defines them: the face at
  // z 0 takes the picture with v along y, the face at z 4 upside down.
  const auto row = [](float x, float y, float z, float nz, float u, float v) {
    return Args(x, y, z, 0xFF112233u, 0.0f, 0.0f, nz, u, v);
  };
  std::set<std::string> corners;
  for (const zr_CustomVertex& v : vertices)
    corners.insert(
        Args(v.position.x, v.position.y, v.position.z, v.colour, v.normal.x, v.normal.y, v.normal.z, v.u, v.v));
  EXPECT_EQ(corners, (std::set<std::string>{row(0, 0, 0, 1, 0, 0), row(0, 3, 0, 1, 0, 1), row(2, 0, 0, 1, 1, 0),
                                            row(2, 3, 0, 1, 1, 1), row(0, 0, 4, -1, 0, 1), row(0, 3, 4, -1, 0, 0),
                                            row(2, 0, 4, -1, 1, 1), row(2, 3, 4, -1, 1, 0)}));

  std::map<std::string, int> perFace;  // by the axis a face is square to, and its end
  const auto at = [](const D3DXVECTOR3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; };
  for (size_t t = 0; t < 36; t += 3) {
    SCOPED_TRACE("triangle " + std::to_string(t / 3));
    const D3DXVECTOR3 a = vertices.at(indices[t]).position, b = vertices.at(indices[t + 1]).position,
                      c = vertices.at(indices[t + 2]).position;
    D3DXVECTOR3 ab = b - a, ac = c - a, normal, outward = (a + b + c) * (1.0f / 3) - D3DXVECTOR3(1, 1.5f, 2);
    D3DXVec3Cross(&normal, &ab, &ac);  // left-handed: out of a clockwise triangle
    EXPECT_GT(D3DXVec3Dot(&normal, &outward), 0.0f);
    for (int axis = 0; axis < 3; ++axis)
      if (at(ab, axis) == 0 && at(ac, axis) == 0) ++perFace[std::to_string(axis) + (at(a, axis) == 0 ? "-" : "+")];
  }
  EXPECT_EQ(perFace, (std::map<std::string, int>{{"0+", 2}, {"0-", 2}, {"1+", 2}, {"1-", 2}, {"2+", 2}, {"2-", 2}}));

  p.Reset();
  zr_BoxVertices reshaped{};
  reshaped.corners[7] = D3DXVECTOR3(9, 9, 9);
  box.SetSizeEx(device, reshaped);
  EXPECT_THAT(Lines(), ElementsAre("IDirect3DVertexBuffer9::Lock 0 288 0", "IDirect3DVertexBuffer9::Unlock"));
  vertices = Bytes<zr_CustomVertex>(box.vertexBuffer_);
  ASSERT_EQ(vertices.size(), 8u);
  EXPECT_EQ(Args(vertices[7].position.x, vertices[7].position.z, vertices[0].colour), Args(9, 9, 0xFF445566u));
}

TEST_F(Boxes, ABoxTurnsInPlaceAboutXThenYThenZAndUnbindsItsBuffersAfterTheDraw) {
  box.Initialise(device, &manager);
  D3DMATERIAL9 material{};
  material.Diffuse = D3DCOLORVALUE{1, 0, 0, 1};
  box.SetMaterial(&material);
  const auto placed = [](D3DXVECTOR3 point) { return Placed(point, fake::d3d9::Get().transforms[D3DTS_WORLD]); };
  p.Reset();
  box.Render(device, D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(kQuarter, kQuarter, 0));
  EXPECT_EQ(placed(D3DXVECTOR3(0, 0, 0)), "10 0 0");
  EXPECT_EQ(placed(D3DXVECTOR3(0, 1, 0)), "11 0 0");  // up turns to +z, then to +x
  EXPECT_EQ(box.WorldMatrix(), D3DXMATRIX(fake::d3d9::Get().transforms[D3DTS_WORLD]));
  EXPECT_THAT(p.ArgsOf("IDirect3DDevice9::SetMaterial"), ElementsAre(::testing::StartsWith("1.000000,0.000000,0")));
  EXPECT_THAT(p.ArgsOf("IDirect3DDevice9::SetFVF"), ElementsAre(Args(kCustomVertexFormat)));
  EXPECT_THAT(p.ArgsOf("IDirect3DDevice9::SetStreamSource"), ElementsAre("0 ptr 0 36", "0 <null> 0 0"));
  EXPECT_THAT(p.ArgsOf("IDirect3DDevice9::SetIndices"), ElementsAre("ptr", "<null>"));
  // The shorter forms take the stored rotation, and the stored position.
  box.SetRotation(D3DXVECTOR3(0, 0, kQuarter));
  box.Render(device, D3DXVECTOR3(1, 2, 3));
  EXPECT_EQ(placed(D3DXVECTOR3(1, 0, 0)), "1 3 3");
  box.SetPosition(D3DXVECTOR3(5, 5, 5));
  box.Render(device);
  EXPECT_EQ(placed(D3DXVECTOR3(1, 0, 0)), "5 6 5");
}

// Geometry of any counts, as a derived class would leave it.
struct Shape : zr_MainObject {
  Shape(int indexCount, int vertexCount) {
    indexCount_ = indexCount;
    vertexCount_ = vertexCount;
    indices_ = indexCount > 0 ? new std::uint16_t[indexCount]() : nullptr;
    vertices_ = vertexCount > 0 ? new zr_CustomVertex[vertexCount]() : nullptr;
  }
};

TEST_F(Boxes, BufferFailuresRaise17And18AndDrawFailuresAreLoggedAs21) {
  struct Row {
    const char *what, *failing;  // the device call that is made to fail, if any
    int indices, vertices;
    bool withDevice;
    unsigned number;
    const char *result, *calls;  // the buffers asked for, by their lengths
  };
  const Row rows[] = {
      {"index buffer refused", "CreateIndexBuffer", 36, 8, true, 17, "D3DERR_OUTOFVIDEOMEMORY", "72"},
      {"vertex buffer refused", "CreateVertexBuffer", 36, 8, true, 18, "D3DERR_OUTOFVIDEOMEMORY", "72 288"},
      {"no device", nullptr, 36, 8, false, 17, "D3DERR_INVALIDCALL", ""},
      {"no geometry", nullptr, 0, 0, true, 17, "D3DERR_INVALIDCALL", "0"},
      {"indices without vertices", nullptr, 3, 0, true, 18, "D3DERR_INVALIDCALL", "6 0"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    p.Reset();
    if (r.failing != nullptr)
      p.ResultForCall(std::string("IDirect3DDevice9::") + r.failing, 1, D3DERR_OUTOFVIDEOMEMORY);
    {
      Shape failing(r.indices, r.vertices);
      zr_ErrorException e = Raised([&] { failing.Initialise(r.withDevice ? device : nullptr, &manager); });
      EXPECT_EQ(Args(e.errorNumber, failing.Initialised()), Args(r.number, false));
      EXPECT_THAT(e.message, HasSubstr(r.result));
    }
    std::string lengths;
    for (const fake::Call& c : p.Calls())
      if (c.name.ends_with("Buffer") && c.name.starts_with("IDirect3DDevice9::Create"))
        lengths += (lengths.empty() ? "" : " ") + c.Arg(0);
    EXPECT_EQ(lengths, r.calls);
    EXPECT_EQ(fake::LiveComObjects(), 1) << "the device alone: what was made is released";
  }
  box.Initialise(device, &manager);
  p.ResultForAll("IDirect3DDevice9::SetTexture", D3DERR_INVALIDCALL);
  p.ResultForAll("IDirect3DDevice9::DrawIndexedPrimitive", D3DERR_INVALIDCALL);
  box.Render(device);
  EXPECT_THAT(Log(), HasSubstr("*** Error_21 ** Error, by setting the texture"));
  EXPECT_THAT(Log(), HasSubstr("*** Error_21 ** Error, by drawing the object"));
}

TEST_F(Boxes, TexturesComeByNameAndMipLevelsChooseTheMipFilter) {
  box.Initialise(device, &manager);
  box.SetTexture(true);  // textured without a name: drawn with no texture, and no mip filter
  box.Render(device);
  fake::d3dx9::AddImage("crate.png", 64, 64);
  {
    zr_Box crate;
    crate.SetSize(device, 1, 1, 1);
    crate.Initialise(device, &manager);
    crate.CreateTexture("crate.png", D3DPOOL_MANAGED, 4, D3DX_FILTER_BOX);
    crate.CreateTexture("missing.png", D3DPOOL_MANAGED, 0, D3DX_FILTER_BOX);  // keeps the first
    EXPECT_THAT(p.ArgsOf("D3DXCreateTextureFromFileExA")[0],
                HasSubstr(Args(4, 0, 0, D3DPOOL_MANAGED, D3DX_FILTER_BOX, D3DX_FILTER_BOX)));
    crate.Render(device);
  }
  EXPECT_THAT(p.ArgsOf("IDirect3DDevice9::SetTexture"), ElementsAre("0 <null>", "0 ptr"));
  const std::string mip = Args(0, D3DSAMP_MIPFILTER) + " ";
  EXPECT_THAT(p.ArgsOf("IDirect3DDevice9::SetSamplerState"),
              ::testing::IsSupersetOf({mip + Args(D3DTEXF_NONE), mip + Args(D3DTEXF_LINEAR)}));
  EXPECT_EQ(manager.GetTexture("crate.png"), nullptr) << "deleted with the box, by name";
}

class Meshes : public EngineTest {
 protected:
  Meshes() {
    manager.Initialise(device);
    mesh.Initialise(device, &manager, true);
    fake::d3dx9::AddImage("skin.png", 16, 16);
    // The file could go down to 10 faces; subsets of diffuse alpha 1, 0.5 and 1.5.
    const auto alpha = [](float a) { return D3DMATERIAL9{{1, 1, 1, a}, {}, {}, {}, 0}; };
    fake::d3dx9mesh::Get().files["ship.x"] = {1000, 10, {{alpha(1), "skin.png"}, {alpha(0.5f), ""}, {alpha(1.5f), ""}}};
  }
  size_t Drawn() const { return p.CountOf("ID3DXPMesh::DrawSubset"); }
  zr_3DObject mesh;
};

TEST_F(Meshes, LoadingCleansTheMeshKeepsAtLeast300FacesAndLetsGoOfTheMeshBefore) {
  ASSERT_EQ(mesh.LoadFromFile("ship.x", 2), 0);
  EXPECT_THAT(p.ArgsOf("D3DXCleanMesh"), ElementsAre(::testing::StartsWith(Args(D3DXCLEAN_BACKFACING, "#1"))));
  EXPECT_THAT(p.ArgsOf("D3DXCreateTextureFromFileExA"),  // the material's texture, at the mip levels asked for
              ElementsAre(HasSubstr(Args("skin.png", 16, 16, 2, 0, 0, D3DPOOL_MANAGED))));
  EXPECT_EQ(Args(mesh.GetMaxFaces(), mesh.Restored(), fake::LiveComObjects()), Args(1000, true, 4))
      << "the device, the texture and the two progressive meshes live";
  mesh.Render(5, true, false);
  EXPECT_THAT(p.ArgsOf("ID3DXPMesh::SetNumFaces"), ElementsAre("#4 5", "#4 5"));
  EXPECT_EQ(mesh.GetActuallyNumberOfFaces(), 300);
  mesh.Render(2000, true, false);
  EXPECT_EQ(mesh.GetActuallyNumberOfFaces(), 1000);
  ASSERT_EQ(mesh.LoadFromFile("ship.x", 0), 0);
  EXPECT_EQ(Args(p.CountOf("ID3DXPMesh::Release"), fake::LiveComObjects()), Args(2, 4));
  mesh.Destroy();
  EXPECT_EQ(Args(manager.GetTexture("skin.png"), fake::LiveComObjects()), Args(nullptr, 1)) << "the device alone";
  EXPECT_EQ(mesh.GetMaxFaces(), 0) << "no mesh is left";
  // The world matrix scales, moves, then turns about the origin.
  mesh.SetTransform(D3DXVECTOR3(2, 2, 2), D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(0, kQuarter, 0));
  EXPECT_EQ(Placed(D3DXVECTOR3(0, 0, 0), mesh.WorldMatrix()) + ", " + Placed(D3DXVECTOR3(1, 0, 0), mesh.WorldMatrix()),
            "0 0 -10, 0 0 -12");
  mesh.SetTransform(D3DXVECTOR3(0, 0, 5), D3DXVECTOR3(0, 0, 0));
  EXPECT_EQ(Placed(D3DXVECTOR3(1, 0, 0), mesh.WorldMatrix()), "2 0 5") << "the scale stays";
}

TEST_F(Meshes, FailuresAreLoggedWithTheirNumbers) {
  struct Row {  // each a reload over a mesh of 1000 faces
    const char* file;
    std::vector<std::pair<const char*, HRESULT>> failing;  // the first call of each fails
    std::vector<const char*> logged;
    int maxFaces;  // after the failed load: 0 when no mesh is left, the master's count when one is
  };
  const Row rows[] = {
      {"missing.x", {}, {"*** Error_24 ** Error, can't load the mesh missing.x"}, 0},
      {"ship.x", {{"ID3DXMesh::OptimizeInplace", E_FAIL}}, {"*** Error_30 ** Error, can't optimize the mesh"}, 0},
      {"ship.x", {{"D3DXValidMesh", D3DXERR_INVALIDMESH}, {"D3DXGeneratePMesh", E_OUTOFMEMORY}},
       {"*** Error_26 ** Error, invalid mesh", "*** Error_28 ** Error, can't create the progressive mesh"}, 0},
      {"ship.x", {{"ID3DXPMesh::ClonePMeshFVF", E_OUTOFMEMORY}}, {"*** Error_32 ** Error, can't set the local mesh"},
       1000},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.logged[0]);
    ASSERT_EQ(mesh.LoadFromFile("ship.x", 0), 0);
    ASSERT_EQ(mesh.GetMaxFaces(), 1000);
    for (auto [call, result] : r.failing) p.ResultForCall(call, static_cast<int>(p.CountOf(call)) + 1, result);
    EXPECT_EQ(mesh.LoadFromFile(r.file, 0), 1);
    for (const char* text : r.logged) EXPECT_THAT(Log(), HasSubstr(text));
    EXPECT_EQ(mesh.GetMaxFaces(), r.maxFaces);
  }
  mesh.Render(500, true, true);
  EXPECT_EQ(Args(Drawn(), mesh.GetActuallyNumberOfFaces(), mesh.Restored()), Args(0u, 0, false));
  EXPECT_EQ(mesh.RestoreObject(), 0);
  p.ResultForCall("ID3DXPMesh::DrawSubset", 1, D3DERR_INVALIDCALL);
  mesh.Render(500, true, false);
  EXPECT_THAT(Log(), HasSubstr("*** Error_27 ** Error, can't draw the mesh"));
  EXPECT_EQ(Drawn(), 2u) << "the next subset was still drawn";
  EXPECT_EQ(mesh.LoadFromFile(std::string(400, 'n').c_str(), 0), 1);
  EXPECT_EQ(p.CountOf("MessageBoxA"), 0u);
}

TEST_F(Meshes, PassesSplitTheSubsetsByDiffuseAlphaAndLeaveNoTextureBound) {
  const std::tuple<bool, bool, bool, std::vector<std::string>, size_t> rows[] = {
      // use material, opaque pass, translucent pass, subsets drawn by the local mesh, materials set
      {true, true, false, {"#4 0", "#4 2"}, 2},
      {true, false, true, {"#4 1", "#4 2"}, 2},  // above 1 counts as both
      {true, true, true, {"#4 0", "#4 2", "#4 1", "#4 2"}, 4},
      {false, true, true, {"#4 0", "#4 1", "#4 2"}, 0},
  };
  ASSERT_EQ(mesh.LoadFromFile("ship.x", 0), 0);
  for (const auto& [useMaterial, opaque, translucent, drawn, materials] : rows) {
    p.Reset();
    mesh.SetUseMaterial(useMaterial);
    mesh.Render(450, opaque, translucent);
    EXPECT_EQ(p.ArgsOf("ID3DXPMesh::DrawSubset"), drawn);
    EXPECT_EQ(p.CountOf("IDirect3DDevice9::SetMaterial"), materials);
    EXPECT_EQ(p.ArgsOf("IDirect3DDevice9::SetTexture").back(), "0 <null>");
    EXPECT_THAT(p.ArgsOf("ID3DXPMesh::SetNumFaces"), ::testing::Each(::testing::EndsWith(" 450")));
  }
  p.Reset();
  mesh.SetUseMaterial(true);
  mesh.Render(450, true, false);
  EXPECT_THAT(p.ArgsOf("IDirect3DDevice9::SetTexture"), ElementsAre("0 ptr", "0 <null>", "0 <null>"));
}

}  // namespace
