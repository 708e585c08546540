// ID3DXPMesh on the real device, made the way the engine's 3D objects make it: load into system
// memory, optimise, adjacency, clean, validate, D3DXGeneratePMesh to 300 faces, then a DEFAULT-pool
// clone per device (re)start. Levels, the index buffer against the runtime, drawing at full and
// minimum detail, clones in other formats, and a device Reset between clones.
#include <random>

#include "allocation_counter.h"
#include "mesh_test_support.h"

namespace meshtest {
namespace {

constexpr D3DCOLOR kRed = d3d9test::kRed | 0xFF000000u, kBlue = d3d9test::kBlue | 0xFF000000u;
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

class PMesh : public testing::Test {
 protected:
  void SetUp() override {
    Ref<ID3DXMesh> loaded{Load(s.get(), zr::test::xfile::Sphere(16, 24), D3DXMESH_SYSTEMMEM, "sphere.x",
                                 Format::kBinary)};
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->OptimizeInplace(D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE, nullptr,
                                      nullptr, nullptr, nullptr),
              D3D_OK);
    const DWORD faces = loaded->GetNumFaces();
    std::vector<DWORD> adjacency(faces * 3), cleanedAdjacency(faces * 3);
    ASSERT_EQ(loaded->GenerateAdjacency(0.0f, adjacency.data()), D3D_OK);
    Ref<ID3DXMesh> cleaned;
    Ref<ID3DXBuffer> warnings;
    ASSERT_EQ(D3DXCleanMesh(D3DXCLEAN_BACKFACING, loaded.get(), adjacency.data(), cleaned.out(),
                            cleanedAdjacency.data(), warnings.out()),
              D3D_OK);
    ASSERT_EQ(D3DXValidMesh(cleaned.get(), cleanedAdjacency.data(), nullptr), D3D_OK);
    ASSERT_EQ(D3DXGeneratePMesh(cleaned.get(), cleanedAdjacency.data(), nullptr, nullptr, 300, D3DXMESHSIMP_FACE,
                                master.out()),
              D3D_OK);
    ASSERT_EQ(master->ClonePMeshFVF(0, master->GetFVF(), s.get(), local.out()), D3D_OK);
    LightUp(s);
  }
  // The runtime behind a progressive mesh, to check the device's buffer against.
  static const zr::d3dx9::pmesh::ProgressiveMesh& Runtime(ID3DXPMesh* p) {
    return dynamic_cast<zr::d3dx9::mesh::GlPMesh&>(*p).Runtime();
  }
  Picture Draw(ID3DXPMesh* p, DWORD faces) {
    EXPECT_EQ(p->SetNumFaces(faces), D3D_OK);
    return DrawSubsets(s, p, {kRed, kBlue}, true);
  }

  Scene s{96, 96};
  Ref<ID3DXPMesh> master, local;
};

TEST_F(PMesh, StartsAtTheMaximumAndSettlesOnReachableCounts) {
  const DWORD max = local->GetMaxFaces(), min = local->GetMinFaces();
  EXPECT_EQ(max, 2u * 24 * 15);
  EXPECT_EQ(local->GetNumFaces(), max);
  EXPECT_EQ(local->GetNumVertices(), local->GetMaxVertices());
  EXPECT_GE(min, 300u);
  EXPECT_LE(min, 310u);
  ASSERT_EQ(local->SetNumFaces(0), D3D_OK);
  EXPECT_EQ(local->GetNumFaces(), min);
  EXPECT_EQ(local->GetNumVertices(), local->GetMinVertices());
  ASSERT_EQ(local->SetNumFaces(100000), D3D_OK);
  EXPECT_EQ(local->GetNumFaces(), max);
  // Every request between a reachable count and the request lands on that count.
  const DWORD request = (min + max) / 2;
  local->SetNumFaces(request);
  const DWORD got = local->GetNumFaces();
  EXPECT_LE(got, request);
  EXPECT_GE(got, request - 2);  // a collapse removes at most two faces
  for (DWORD r = got; r <= request; ++r) {
    local->SetNumFaces(r);
    ASSERT_EQ(local->GetNumFaces(), got) << r;
  }
  ASSERT_EQ(local->SetNumVertices(local->GetMinVertices()), D3D_OK);
  EXPECT_EQ(local->GetNumFaces(), min);
}

TEST_F(PMesh, TheDeviceBufferFollowsTheRuntimeAndReturnsExactly) {
  const std::vector<std::uint32_t> full = Indices(local.get());
  const auto& runtime = Runtime(local.get());
  std::mt19937 random(7);
  std::uniform_int_distribution<DWORD> faces(0, local->GetMaxFaces() + 10);
  for (int step = 0; step < 40; ++step) {
    ASSERT_EQ(local->SetNumFaces(faces(random)), D3D_OK);
    const std::vector<std::uint32_t> now = Indices(local.get());
    for (std::size_t slot = 0; slot < now.size(); ++slot) ASSERT_EQ(now[slot], runtime.Index(slot)) << slot;
    // Drawn faces use active vertices only.
    std::size_t active = 0;
    for (const auto& subset : runtime.Subsets()) {
      active += subset.faceCount;
      for (std::size_t slot = subset.faceStart * 3; slot < (subset.faceStart + subset.faceCount) * 3; ++slot)
        ASSERT_LT(now[slot], local->GetNumVertices());
    }
    ASSERT_EQ(active, local->GetNumFaces());
  }
  local->SetNumFaces(0);
  EXPECT_NE(Indices(local.get()), full);
  local->SetNumFaces(~0u);
  EXPECT_EQ(Indices(local.get()), full);

  // A level change while the application holds the buffer reaches it at the unlock.
  void* held = nullptr;
  ASSERT_EQ(local->LockIndexBuffer(D3DLOCK_READONLY, &held), D3D_OK);
  EXPECT_EQ(local->SetNumFaces(0), D3D_OK);
  EXPECT_EQ(local->GetNumFaces(), local->GetMinFaces());
  EXPECT_EQ(local->DrawSubset(0), D3DERR_INVALIDCALL);
  ASSERT_EQ(local->UnlockIndexBuffer(), D3D_OK);
  const std::vector<std::uint32_t> coarse = Indices(local.get());
  for (std::size_t slot = 0; slot < coarse.size(); ++slot) ASSERT_EQ(coarse[slot], runtime.Index(slot)) << slot;
}

// The engine changes the level every frame: on the default-pool copy it draws (with the index
// buffer's upload) and on the system-memory master, no change may allocate. The widest jump runs
// once before counting, so anything sized on first use is in place.
TEST_F(PMesh, LevelChangesAllocateNothing) {
  {
    AllocationCount probe;  // the counter sees allocations here, sanitizers or not
    std::vector<int> v(3);
    Keep(v.data());
    int* one = new int(1);
    Keep(one);
    delete one;
    ASSERT_EQ(probe.Count(), 2u);
  }
  const DWORD max = local->GetMaxFaces(), min = local->GetMinFaces();
  for (ID3DXPMesh* p : {local.get(), master.get()}) p->SetNumFaces(0), p->SetNumFaces(~0u);
  std::vector<DWORD> requests;  // down to the minimum and back up in 100 steps each, then jumps
  for (DWORD i = 0; i <= 100; ++i) requests.push_back(max - (max - min) * i / 100);
  for (DWORD i = 0; i <= 100; ++i) requests.push_back(min + (max - min) * i / 100);
  requests.insert(requests.end(), {0, ~0u, (min + max) / 2, min + 1, max + 10, 0, max});
  std::vector<HRESULT> results;
  std::vector<DWORD> reached;
  results.reserve(2 * requests.size());
  reached.reserve(requests.size());
  std::size_t allocations = 0;
  {
    AllocationCount count;
    for (DWORD r : requests) {
      results.push_back(local->SetNumFaces(r));
      results.push_back(master->SetNumFaces(r));
      reached.push_back(local->GetNumFaces());
    }
    allocations = count.Count();
  }
  EXPECT_EQ(allocations, 0u);
  for (HRESULT hr : results) ASSERT_EQ(hr, D3D_OK);
  for (std::size_t i = 0; i < 202; ++i) {  // each step landed at most one collapse below its request
    ASSERT_LE(reached[i], requests[i]) << i;
    ASSERT_GE(reached[i] + 2, requests[i]) << i;
  }
  EXPECT_EQ(local->GetNumFaces(), max);
  EXPECT_EQ(master->GetNumFaces(), max);
}

TEST_F(PMesh, FullAndMinimumDetailDrawAlikeButNotTheSame) {
  const Picture full = Draw(local.get(), local->GetMaxFaces());
  const Picture coarse = Draw(local.get(), 0);
  const std::size_t fullArea = CountNot(full, d3d9test::kBlack), coarseArea = CountNot(coarse, d3d9test::kBlack);
  EXPECT_GT(fullArea, 96u * 96 / 5);
  EXPECT_NEAR(double(coarseArea), double(fullArea), 0.06 * double(fullArea));
  std::size_t differ = 0;
  for (std::size_t i = 0; i < full.pixels.size(); ++i) differ += full.pixels[i] != coarse.pixels[i];
  EXPECT_GT(differ, 20u);
  // Each hemisphere keeps its own material: red above the middle row, blue below.
  for (const Picture* p : {&full, &coarse}) {
    EXPECT_GT(fftest::Channel(p->at(48, 30), 16), 40) << (p == &full ? "full" : "coarse");
    EXPECT_EQ(fftest::Channel(p->at(48, 30), 0), 0);
    EXPECT_GT(fftest::Channel(p->at(48, 66), 0), 40);
    EXPECT_EQ(fftest::Channel(p->at(48, 66), 16), 0);
  }
  // Drawn faces change with the level, the subset of no faces draws nothing.
  EXPECT_EQ(local->DrawSubset(5), D3D_OK);
}

TEST_F(PMesh, ADefaultPoolCloneGoesBeforeResetAndComesBackTheSame) {
  const Picture before = Draw(local.get(), local->GetMaxFaces());
  D3DPRESENT_PARAMETERS pp = s.pp;
  EXPECT_EQ(s->Reset(&pp), D3DERR_INVALIDCALL);  // the DEFAULT-pool clone still lives
  local.reset();
  ASSERT_EQ(s->Reset(&pp), D3D_OK);
  ASSERT_EQ(master->ClonePMeshFVF(0, master->GetFVF(), s.get(), local.out()), D3D_OK);
  LightUp(s);
  EXPECT_EQ(Draw(local.get(), local->GetMaxFaces()).pixels, before.pixels);

  // A clone starts at its source's level and moves on its own.
  master->SetNumFaces(0);
  Ref<ID3DXPMesh> second;
  ASSERT_EQ(master->ClonePMeshFVF(D3DXMESH_MANAGED, kFvf, s.get(), second.out()), D3D_OK);
  EXPECT_EQ(second->GetNumFaces(), master->GetMinFaces());
  second->SetNumFaces(~0u);
  EXPECT_EQ(master->GetNumFaces(), master->GetMinFaces());
  EXPECT_EQ(Indices(second.get()), Indices(local.get()));
}

struct ColourVertex {
  float x, y, z;
  D3DCOLOR diffuse;
};

TEST_F(PMesh, ClonesChangeTheVertexFormat) {
  Ref<ID3DXPMesh> coloured;
  ASSERT_EQ(master->ClonePMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ | D3DFVF_DIFFUSE, s.get(), coloured.out()), D3D_OK);
  EXPECT_EQ(coloured->GetNumBytesPerVertex(), sizeof(ColourVertex));
  EXPECT_EQ(coloured->GetMinFaces(), master->GetMinFaces());
  EXPECT_EQ(D3DXComputeNormals(coloured.get(), nullptr), D3DERR_INVALIDCALL);
  Ref<IDirect3DVertexBuffer9> vb, sourceVb;
  coloured->GetVertexBuffer(vb.out());
  master->GetVertexBuffer(sourceVb.out());
  const auto source = Contents<float>(sourceVb.get());
  const auto vertices = Contents<ColourVertex>(vb.get());
  ASSERT_EQ(vertices.size(), source.size() / 8);
  for (std::size_t v = 0; v < vertices.size(); ++v) {
    ASSERT_EQ(vertices[v].x, source[v * 8]);
    ASSERT_EQ(vertices[v].z, source[v * 8 + 2]);
    ASSERT_EQ(vertices[v].diffuse, 0xFFFFFFFFu);
  }

  // Back to normals: zero until computed, then the sphere's outward ones.
  Ref<ID3DXPMesh> normals;
  ASSERT_EQ(coloured->ClonePMeshFVF(D3DXMESH_SYSTEMMEM, kFvf, s.get(), normals.out()), D3D_OK);
  normals->SetNumFaces(0);
  Ref<IDirect3DVertexBuffer9> nvb;
  normals->GetVertexBuffer(nvb.out());
  EXPECT_EQ(Contents<float>(nvb.get())[3], 0.0f);
  ASSERT_EQ(D3DXComputeNormals(normals.get(), nullptr), D3D_OK);
  const auto lit = Contents<float>(nvb.get());
  // From the faces at the maximum level, whatever the level: vertices inactive now get normals too.
  for (std::size_t v = 0; v < normals->GetMaxVertices(); ++v) {
    const float dot = lit[v * 8] * lit[v * 8 + 3] + lit[v * 8 + 1] * lit[v * 8 + 4] + lit[v * 8 + 2] * lit[v * 8 + 5];
    ASSERT_GT(dot, 0.95f) << v;
  }
  EXPECT_EQ(master->ClonePMeshFVF(0, D3DFVF_XYZRHW, s.get(), normals.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(master->ClonePMeshFVF(0, kFvf, nullptr, normals.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(master->ClonePMeshFVF(0, kFvf, s.get(), nullptr), D3DERR_INVALIDCALL);
}

// With 32-bit indices for a runtime of 16-bit ones: the device's buffer widens them.
TEST(PMeshByVertices, StopsAtTheVertexCount) {
  Scene s;
  Ref<ID3DXMesh> mesh{Load(s.get(), zr::test::xfile::Sphere(12, 16), D3DXMESH_MANAGED | D3DXMESH_32BIT, "sphere.x")};
  Ref<ID3DXPMesh> p;
  ASSERT_EQ(D3DXGeneratePMesh(mesh.get(), nullptr, nullptr, nullptr, 60, D3DXMESHSIMP_VERTEX, p.out()), D3D_OK);
  EXPECT_GE(p->GetMinVertices(), 60u);
  EXPECT_LE(p->GetMinVertices(), 62u);
  p->SetNumVertices(0);
  EXPECT_EQ(p->GetNumVertices(), p->GetMinVertices());
  p->SetNumFaces(0);
  EXPECT_EQ(p->GetNumFaces(), p->GetMinFaces());
  EXPECT_EQ(p->GetNumVertices(), p->GetMinVertices());
  const auto& runtime = dynamic_cast<zr::d3dx9::mesh::GlPMesh&>(*p.get()).Runtime();
  ASSERT_FALSE(runtime.Uses32BitIndices());
  Ref<IDirect3DIndexBuffer9> ib;
  p->GetIndexBuffer(ib.out());
  D3DINDEXBUFFER_DESC desc{};
  ib->GetDesc(&desc);
  EXPECT_EQ(desc.Format, D3DFMT_INDEX32);
  const std::vector<std::uint32_t> indices = Indices(p.get());
  for (std::size_t slot = 0; slot < indices.size(); ++slot) ASSERT_EQ(indices[slot], runtime.Index(slot)) << slot;
  EXPECT_EQ(D3DXGeneratePMesh(mesh.get(), nullptr, nullptr, nullptr, 60, 0, p.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXGeneratePMesh(nullptr, nullptr, nullptr, nullptr, 60, D3DXMESHSIMP_FACE, p.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXGeneratePMesh(mesh.get(), nullptr, nullptr, nullptr, 60, D3DXMESHSIMP_FACE, nullptr),
            D3DERR_INVALIDCALL);
}

}  // namespace
}  // namespace meshtest
