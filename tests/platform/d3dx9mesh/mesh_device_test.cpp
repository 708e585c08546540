// D3DX's mesh objects on the real device (llvmpipe through SDL's offscreen driver) with the .X
// files in files/: the load into device buffers, D3DXCleanMesh and D3DXValidMesh, the progressive
// mesh's index buffer, and the engine's 3D object end to end, whose pictures show the drawing by
// material of the optimised and progressive meshes. What the CPU libraries compute is tested in
// ../xfile and ../pmesh.
#include <d3dx9.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "ff_test_support.h"
#include "errorfile/zr_ErrorException.h"
#include "mesh_internal.h"
#include "objects3d/zr_3DObject.h"
#include "xfile_errors.h"

namespace d3d9test {
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(OnBothTargets);
}

namespace {

using d3d9test::Picture;
using d3d9test::Ref;
constexpr D3DCOLOR kBlack = 0xFF000000;
constexpr DWORD N = 0xFFFFFFFF;
const std::string kFiles = ZR_MESH_FILES;

std::size_t Area(const Picture& p) {
  return std::count_if(p.pixels.begin(), p.pixels.end(), [](std::uint32_t c) { return (c & 0xFFFFFF) != 0; });
}

std::vector<std::uint32_t> Indices(ID3DXBaseMesh* mesh) {  // every index, widened
  Ref<IDirect3DIndexBuffer9> ib;
  mesh->GetIndexBuffer(ib.out());
  D3DINDEXBUFFER_DESC desc{};
  ib->GetDesc(&desc);
  const bool wide = desc.Format == D3DFMT_INDEX32;
  std::vector<std::uint32_t> out(desc.Size / (wide ? 4 : 2));
  void* p = nullptr;
  EXPECT_EQ(mesh->LockIndexBuffer(D3DLOCK_READONLY, &p), D3D_OK);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = wide ? static_cast<std::uint32_t*>(p)[i] : static_cast<std::uint16_t*>(p)[i];
  mesh->UnlockIndexBuffer();
  return out;
}

std::vector<DWORD> Attributes(ID3DXMesh* mesh) {
  DWORD* a = nullptr;
  EXPECT_EQ(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &a), D3D_OK);
  std::vector<DWORD> out(a, a + mesh->GetNumFaces());
  mesh->UnlockAttributeBuffer();
  return out;
}

std::string Text(ID3DXBuffer* b) { return b != nullptr ? static_cast<const char*>(b->GetBufferPointer()) : ""; }

// One 96 x 96 device with a depth buffer for all the tests, a camera at (0, 0, -3) looking at the
// origin and a white light from the upper left front.
class Mesh : public testing::Test {
 protected:
  static void SetUpTestSuite() { scene = new d3d9test::Scene(96, 96); }
  static void TearDownTestSuite() { delete scene; }
  void SetUp() override {
    fftest::Camera({0, 0, -3}, {0, 0, 0}).Set(d());
    D3DLIGHT9 light{D3DLIGHT_DIRECTIONAL, {1, 1, 1, 1}, {}, {}, {}, {1, -1, 1}, 0, 0, 0, 0, 0, 0, 0};
    d()->SetLight(0, &light);
    d()->LightEnable(0, TRUE);
    d()->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  }
  static IDirect3DDevice9* d() { return scene->get(); }
  static ID3DXMesh* Load(const std::string& name, DWORD options, ID3DXBuffer** adjacency = nullptr) {
    ID3DXMesh* mesh = nullptr;
    EXPECT_EQ(D3DXLoadMeshFromXA((kFiles + name).c_str(), options, d(), adjacency, nullptr, nullptr, nullptr, &mesh),
              D3D_OK);
    return mesh;
  }

  static inline d3d9test::Scene* scene = nullptr;
};

// panel.x: a 2 x 2 panel at z = 0 facing -z, its left half material 0 (red, textured), its right
// half material 1 (translucent blue), their faces interleaved; a seventh vertex no face uses.
TEST_F(Mesh, LoadPutsTheFileInTheBuffers) {
  Ref<ID3DXMesh> mesh;
  Ref<ID3DXBuffer> adjacency, materials;
  DWORD count = 99;
  ID3DXBuffer* effects = reinterpret_cast<ID3DXBuffer*>(&count);  // must come back null
  ASSERT_EQ(D3DXLoadMeshFromXA((kFiles + "panel.x").c_str(), D3DXMESH_SYSTEMMEM, d(), adjacency.out(), materials.out(),
                               &effects, &count, mesh.out()),
            D3D_OK);
  EXPECT_EQ(effects, nullptr);
  EXPECT_EQ(mesh->GetFVF(), DWORD{D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1});
  EXPECT_EQ(mesh->GetOptions(), DWORD{D3DXMESH_SYSTEMMEM});
  ASSERT_EQ(mesh->GetNumBytesPerVertex(), 32u);
  ASSERT_EQ(mesh->GetNumVertices(), 7u);
  ASSERT_EQ(mesh->GetNumFaces(), 4u);
  float* v = nullptr;
  ASSERT_EQ(mesh->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&v)), D3D_OK);
  EXPECT_EQ(std::vector<float>(v + 32, v + 56),
            (std::vector<float>{0, -1, 0, 0, 0, -1, 0.5f, 1, 1, -1, 0, 0, 0, -1, 1, 1, 0, 0, 5, 0, 0, 0, 0, 0}));
  mesh->UnlockVertexBuffer();
  EXPECT_EQ(Indices(mesh.get()), (std::vector<std::uint32_t>{0, 1, 4, 1, 2, 5, 0, 4, 3, 1, 5, 4}));
  EXPECT_EQ(Attributes(mesh.get()), (std::vector<DWORD>{0, 1, 0, 1}));

  ASSERT_EQ(count, 2u);
  const auto* m = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
  const char* end = static_cast<const char*>(materials->GetBufferPointer()) + materials->GetBufferSize();
  EXPECT_EQ((std::array{m[0].MatD3D.Diffuse.r, m[0].MatD3D.Diffuse.g, m[0].MatD3D.Power, m[1].MatD3D.Diffuse.r,
                         m[1].MatD3D.Diffuse.b, m[1].MatD3D.Diffuse.a}),
            (std::array{1.0f, 0.0f, 5.0f, 0.0f, 1.0f, 0.5f}));
  EXPECT_STREQ(m[0].pTextureFilename, "textures\\left side.png");
  EXPECT_TRUE(m[0].pTextureFilename >= reinterpret_cast<const char*>(m + 2) &&
              m[0].pTextureFilename < end);  // in the buffer
  EXPECT_EQ(m[1].pTextureFilename, nullptr);
  // The faces meet along x = 0 and along the diagonals: as GenerateAdjacency finds them.
  const std::vector<DWORD> expected = {N, 3, 2, N, N, 3, 0, N, N, 1, N, 0};
  ASSERT_EQ(adjacency->GetBufferSize(), 48u);
  const auto* links = static_cast<const DWORD*>(adjacency->GetBufferPointer());
  EXPECT_EQ(std::vector<DWORD>(links, links + 12), expected);
  std::vector<DWORD> generated(12);
  ASSERT_EQ(mesh->GenerateAdjacency(0.0f, generated.data()), D3D_OK);
  EXPECT_EQ(generated, expected);

  ASSERT_EQ(
      D3DXLoadMeshFromXA((kFiles + "bare.x").c_str(), 0, d(), nullptr, materials.out(), nullptr, &count, mesh.out()),
      D3D_OK);
  EXPECT_TRUE(count == 0 && !materials);  // a file without a material list has no materials
  EXPECT_EQ(mesh->GetFVF(), DWORD{D3DFVF_XYZ | D3DFVF_TEX1});
}

TEST_F(Mesh, FailedLoadsLeaveNothingBehind) {
  Ref<ID3DXMesh> mesh;
  Ref<ID3DXBuffer> adjacency, materials;
  DWORD count = 5;
  auto load = [&](const std::string& name, IDirect3DDevice9* device, DWORD options = D3DXMESH_SYSTEMMEM) {
    return D3DXLoadMeshFromXA(name.c_str(), options, device, adjacency.out(), materials.out(), nullptr, &count,
                              mesh.out());
  };
  EXPECT_EQ(D3DXLoadMeshFromXA(nullptr, 0, d(), nullptr, nullptr, nullptr, nullptr, mesh.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXLoadMeshFromXA("x", 0, d(), nullptr, nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(load(kFiles + "panel.x", nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(load(kFiles + "none.x", d()), DXFILEERR_FILENOTFOUND);
  EXPECT_EQ(load(kFiles + "../../xfile/files/bad/invaliddata.face-index-past-end.x", d()), D3DXERR_INVALIDDATA);
  EXPECT_TRUE(!mesh && !adjacency && !materials && count == 0);
  // 65,536 vertices need 32-bit indices.
  std::string big = "xof 0303txt 0032\nMesh { 65536;";
  for (int i = 0; i < 65536; ++i) big += "0;0;" + std::to_string(i) + (i < 65535 ? ";," : ";;");
  big += "1; 3;0,1,65535;; }";
  std::ofstream("big.x") << big;
  EXPECT_EQ(load("big.x", d()), D3DERR_INVALIDCALL);
  ASSERT_EQ(load("big.x", d(), D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT), D3D_OK);
  EXPECT_EQ(mesh->GetNumVertices(), 65536u);
  EXPECT_EQ(Indices(mesh.get()), (std::vector<std::uint32_t>{0, 1, 65535}));
}

// faulty.x: a square of two faces, then a repeat of face 0, a face on one vertex twice and face 0
// reversed; materials 0, 0, 0, 1, 1.
TEST_F(Mesh, ValidMeshReportsAndCleanMeshRemovesFaults) {
  Ref<ID3DXMesh> mesh{Load("faulty.x", D3DXMESH_MANAGED)};
  std::vector<DWORD> adjacency(15), cleanedAdjacency(15, 0xABCD);
  ASSERT_EQ(mesh->GenerateAdjacency(0.0f, adjacency.data()), D3D_OK);
  Ref<ID3DXBuffer> errors;
  std::vector<DWORD> broken = adjacency;
  broken[3] = 4;  // face 1 names face 4, which does not name it
  ASSERT_EQ(D3DXValidMesh(mesh.get(), broken.data(), errors.out()), D3DXERR_INVALIDMESH);
  EXPECT_NE(Text(errors.get()).find("face 1: neighbour 4 does not name it back"), std::string::npos);
  Ref<ID3DXMesh> cleaned;
  ASSERT_EQ(D3DXCleanMesh(D3DXCLEAN_BACKFACING, mesh.get(), adjacency.data(), cleaned.out(), cleanedAdjacency.data(),
                          errors.out()),
            D3D_OK);
  // Left: the square and the reversed face on three vertices of its own, in new buffers.
  EXPECT_TRUE(cleaned->GetNumFaces() == 3 && cleaned->GetNumVertices() == 7 && cleaned->GetFVF() == mesh->GetFVF() &&
              cleaned->GetOptions() == mesh->GetOptions());
  EXPECT_EQ(Indices(cleaned.get()), (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3, 4, 5, 6}));
  float* v = nullptr;  // positions only: the new vertices copy 0, 2 and 1
  ASSERT_EQ(cleaned->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&v)), D3D_OK);
  EXPECT_EQ(std::vector<float>(v + 12, v + 21), (std::vector<float>{-1, 1, 0, 1, -1, 0, 1, 1, 0}));
  cleaned->UnlockVertexBuffer();
  EXPECT_EQ(Attributes(cleaned.get()), (std::vector<DWORD>{0, 0, 1}));
  EXPECT_EQ(std::count(cleanedAdjacency.begin(), cleanedAdjacency.end(), 0xABCDu), 6);
  EXPECT_EQ(D3DXValidMesh(cleaned.get(), cleanedAdjacency.data(), errors.out()), D3D_OK);
  EXPECT_FALSE(errors);

  // An index past the vertices, written by the application: every reader says so.
  void* data = nullptr;
  ASSERT_EQ(mesh->LockIndexBuffer(0, &data), D3D_OK);
  static_cast<std::uint16_t*>(data)[4] = 999;
  mesh->UnlockIndexBuffer();
  EXPECT_EQ(D3DXValidMesh(mesh.get(), nullptr, errors.out()), D3DXERR_INVALIDMESH);
  Ref<ID3DXPMesh> p;
  EXPECT_EQ(D3DXGeneratePMesh(mesh.get(), nullptr, nullptr, nullptr, 1, D3DXMESHSIMP_FACE, p.out()),
            D3DXERR_INVALIDMESH);
  EXPECT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE, nullptr, nullptr, nullptr, nullptr), D3DXERR_INVALIDMESH);
}

// sphere.x: a unit sphere of 720 faces, material 0 above the equator and 1 below, made progressive
// the way the engine makes it, down to 300 faces, with a DEFAULT-pool clone whose index buffer holds
// what the level's faces are at every jump between levels. (What each level must be is ../pmesh's
// test; the pictures at full and least detail are the engine object's below.)
TEST_F(Mesh, ProgressiveMeshIndexBufferFollowsTheLevel) {
  Ref<ID3DXMesh> loaded{Load("sphere.x", D3DXMESH_SYSTEMMEM)};
  std::vector<DWORD> adjacency(720 * 3);
  ASSERT_EQ(loaded->GenerateAdjacency(0.0f, adjacency.data()), D3D_OK);
  Ref<ID3DXPMesh> master, local;
  ASSERT_EQ(D3DXGeneratePMesh(loaded.get(), adjacency.data(), nullptr, nullptr, 300, D3DXMESHSIMP_FACE, master.out()),
            D3D_OK);
  ASSERT_EQ(master->ClonePMeshFVF(0, master->GetFVF(), d(), local.out()), D3D_OK);
  const DWORD max = local->GetMaxFaces(), min = local->GetMinFaces();
  EXPECT_TRUE(max == 720 && local->GetNumFaces() == max && min >= 300 && min <= 301) << min;
  const auto& runtime = dynamic_cast<zr::d3dx9::mesh::GlPMesh&>(*local.get()).Runtime();
  const std::vector<std::uint32_t> full = Indices(local.get());
  std::mt19937 random(7);
  for (int step = 0; step < 30; ++step) {
    ASSERT_EQ(local->SetNumFaces(random() % (max + 10)), D3D_OK);
    const std::vector<std::uint32_t> now = Indices(local.get());
    for (std::size_t slot = 0; slot < now.size(); ++slot) ASSERT_EQ(now[slot], runtime.Index(slot)) << slot;
    for (const auto& s : runtime.Subsets())
      for (std::size_t slot = s.faceStart * 3; slot < (s.faceStart + s.faceCount) * 3; ++slot)
        ASSERT_LT(now[slot], local->GetNumVertices());
  }
  local->SetNumFaces(0);
  EXPECT_TRUE(local->GetNumFaces() == min && local->GetNumVertices() == local->GetMinVertices());
  ASSERT_EQ(local->SetNumFaces(~0u), D3D_OK);
  EXPECT_TRUE(local->GetNumFaces() == max && local->GetNumVertices() == local->GetMaxVertices());
  EXPECT_EQ(Indices(local.get()), full);
}

// The engine's object: its load (D3DX all the way to a progressive mesh and a DEFAULT-pool clone),
// drawing at full and reduced detail, a Reset between InvalidateDeviceObjects and RestoreObject,
// and SetFVF at reduced detail (normals made from the faces of every level). No D3DX call may
// fail: the error log the engine writes its failures to stays empty.
TEST_F(Mesh, EngineObjectLoadsReducesAndComesBackAfterAReset) {
  std::filesystem::remove(kErrorLogFile);
  zr_3DObject ball;
  ball.Initialise(d(), nullptr, true);
  ASSERT_EQ(ball.LoadFromFile((kFiles + "sphere.x").c_str(), 0), 0);
  EXPECT_TRUE(ball.MaterialCount() == 2 && ball.GetMaxFaces() == 720);
  auto draw = [&](int faces) {
    scene->Clear(kBlack);
    ball.Render(faces, true, true);
    return scene->Back();
  };
  const Picture full = draw(100000);
  EXPECT_EQ(ball.GetActuallyNumberOfFaces(), 720);
  const Picture coarse = draw(0);
  EXPECT_TRUE(ball.GetActuallyNumberOfFaces() >= 300 && ball.GetActuallyNumberOfFaces() <= 301);
  EXPECT_NE(coarse.pixels, full.pixels);
  ball.InvalidateDeviceObjects();
  ASSERT_EQ(d()->Reset(&scene->pp), D3D_OK);
  SetUp();
  ASSERT_EQ(ball.RestoreObject(), 0);
  EXPECT_EQ(draw(100000).pixels, full.pixels);
  draw(0);
  ASSERT_EQ(ball.SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL), 0);
  // Lit as before: zero normals at vertices the coarse level does not use would leave them black.
  EXPECT_NEAR(double(Area(draw(100000))), double(Area(full)), 0.02 * double(Area(full)));
  EXPECT_FALSE(std::filesystem::exists(kErrorLogFile));
}

}  // namespace
