// ID3DXMesh on the real device: DrawSubset by material, the device state it leaves, the attribute
// buffer, adjacency by epsilon and OptimizeInplace, pixels read back.
#include "mesh_test_support.h"

namespace d3d9test {
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(OnBothTargets);
}

namespace meshtest {
namespace {

constexpr D3DCOLOR kRed = d3d9test::kRed | 0xFF000000u, kBlue = d3d9test::kBlue | 0xFF000000u;
constexpr D3DCOLOR kGreen = d3d9test::kGreen | 0xFF000000u, kBlack = 0xFF000000u;

TEST(MeshDraw, EachSubsetDrawsItsOwnFacesOnly) {
  Scene s;
  Ref<ID3DXMesh> mesh{Load(s.get(), Panel(), D3DXMESH_MANAGED, "panel.x")};
  ASSERT_TRUE(mesh);
  Picture both = DrawSubsets(s, mesh.get(), {kRed, kBlue});
  EXPECT_EQ(both.at(16, 32), kRed);
  EXPECT_EQ(both.at(48, 32), kBlue);
  EXPECT_EQ(both.at(2, 2), kBlack);

  s.Clear(d3d9test::kBlack);
  SetColour(s.get(), kGreen);
  ASSERT_EQ(mesh->DrawSubset(1), D3D_OK);
  ASSERT_EQ(mesh->DrawSubset(9), D3D_OK);  // no such subset: nothing
  Picture right = s.Back();
  EXPECT_EQ(right.at(16, 32), kBlack);
  EXPECT_EQ(right.at(48, 32), kGreen);
  s.Clear(d3d9test::kBlack);
  ASSERT_EQ(mesh->DrawSubset(0), D3D_OK);
  EXPECT_EQ(CountNot(right, kBlack) + CountNot(s.Back(), kBlack), CountNot(both, kBlack));

  // What DrawSubset set stays set.
  DWORD fvf = 0;
  s->GetFVF(&fvf);
  EXPECT_EQ(fvf, mesh->GetFVF());
  Ref<IDirect3DVertexBuffer9> stream, own;
  UINT offset = 1, stride = 0;
  s->GetStreamSource(0, stream.out(), &offset, &stride);
  mesh->GetVertexBuffer(own.out());
  EXPECT_EQ(stream.get(), own.get());
  EXPECT_EQ(offset, 0u);
  EXPECT_EQ(stride, mesh->GetNumBytesPerVertex());
  Ref<IDirect3DIndexBuffer9> indices, ownIndices;
  s->GetIndices(indices.out());
  mesh->GetIndexBuffer(ownIndices.out());
  EXPECT_EQ(indices.get(), ownIndices.get());
}

TEST(MeshDraw, RewrittenAttributesDropTheAttributeTable) {
  Scene s;
  Ref<ID3DXMesh> mesh{Load(s.get(), Panel(), D3DXMESH_MANAGED, "panel.x")};
  ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, nullptr, nullptr), D3D_OK);
  DWORD* attributes = nullptr;
  ASSERT_EQ(mesh->LockAttributeBuffer(0, &attributes), D3D_OK);
  DWORD* again = nullptr;
  EXPECT_EQ(mesh->LockAttributeBuffer(0, &again), D3DERR_INVALIDCALL);
  std::fill(attributes, attributes + mesh->GetNumFaces(), 1u);
  ASSERT_EQ(mesh->UnlockAttributeBuffer(), D3D_OK);
  EXPECT_EQ(mesh->UnlockAttributeBuffer(), D3DERR_INVALIDCALL);
  Picture p = DrawSubsets(s, mesh.get(), {kRed, kBlue});
  EXPECT_EQ(p.at(16, 32), kBlue);
  EXPECT_EQ(p.at(48, 32), kBlue);
}

TEST(MeshDraw, AdjacencyFollowsEpsilon) {
  Scene s;
  // Two triangles along x = 0 whose shared corners are 1/1000 apart.
  XMesh m;
  m.positions = {-1, 1, 0, 0, 1, 0, 0, -1, 0, 0.001, 1, 0, 1, 1, 0, 0.001, -1, 0};
  m.faces = {0, 1, 2, 3, 4, 5};
  Ref<ID3DXMesh> mesh{Load(s.get(), m, D3DXMESH_SYSTEMMEM, "gap.x")};
  ASSERT_TRUE(mesh);
  std::vector<DWORD> links(6);
  ASSERT_EQ(mesh->GenerateAdjacency(0.0f, links.data()), D3D_OK);
  EXPECT_EQ(links, std::vector<DWORD>(6, ~0u));
  // Within 1/100, (1, 2) of the first and (5, 3) of the second are one edge run both ways.
  ASSERT_EQ(mesh->GenerateAdjacency(0.01f, links.data()), D3D_OK);
  EXPECT_EQ(links, (std::vector<DWORD>{~0u, 1, ~0u, ~0u, ~0u, 0}));
  ASSERT_EQ(mesh->GenerateAdjacency(0.0001f, links.data()), D3D_OK);
  EXPECT_EQ(links, std::vector<DWORD>(6, ~0u));
  EXPECT_EQ(mesh->GenerateAdjacency(0.0f, nullptr), D3DERR_INVALIDCALL);
}

struct SphereVertex {
  float x, y, z, nx, ny, nz, u, v;
};

TEST(MeshDraw, OptimizeInplaceKeepsThePictureAndGroupsAttributes) {
  Scene s(96, 96);
  XMesh sphere = zr::test::xfile::Sphere(10, 14);
  // A vertex no face uses, for the compaction to drop.
  sphere.positions.insert(sphere.positions.end(), {5, 5, 5});
  sphere.normals.insert(sphere.normals.end(), {0, 1, 0});
  sphere.uvs.insert(sphere.uvs.end(), {0, 0});
  Ref<ID3DXBuffer> adjacency;
  Ref<ID3DXMesh> mesh;
  ASSERT_EQ(D3DXLoadMeshFromXA(WriteFile("sphere.x", XMeshFile(sphere, Format::kBinaryZip)).c_str(),
                               D3DXMESH_SYSTEMMEM, s.get(), adjacency.out(), nullptr, nullptr, nullptr, mesh.out()),
            D3D_OK);
  const DWORD faces = mesh->GetNumFaces(), vertices = mesh->GetNumVertices();
  Ref<IDirect3DVertexBuffer9> vb;
  mesh->GetVertexBuffer(vb.out());
  const std::vector<SphereVertex> before = Contents<SphereVertex>(vb.get());
  const std::vector<std::uint32_t> indicesBefore = Indices(mesh.get());
  LightUp(s);
  const Picture shown = DrawSubsets(s, mesh.get(), {kRed, kBlue}, true);

  std::vector<DWORD> adjacencyOut(faces * 3), faceRemap(faces);
  Ref<ID3DXBuffer> vertexRemap;
  ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE,
                                  static_cast<const DWORD*>(adjacency->GetBufferPointer()), adjacencyOut.data(),
                                  faceRemap.data(), vertexRemap.out()),
            D3D_OK);
  ASSERT_EQ(mesh->GetNumVertices(), vertices - 1);
  ASSERT_EQ(mesh->GetNumFaces(), faces);
  EXPECT_EQ(DrawSubsets(s, mesh.get(), {kRed, kBlue}, true).pixels, shown.pixels);

  DWORD* attributes = nullptr;
  ASSERT_EQ(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes), D3D_OK);
  EXPECT_TRUE(std::is_sorted(attributes, attributes + faces));
  mesh->UnlockAttributeBuffer();

  // Every face is the face it came from, corner by corner, on the vertex it came from.
  ASSERT_EQ(vertexRemap->GetBufferSize(), vertices * sizeof(DWORD));
  const auto* fromVertex = static_cast<const DWORD*>(vertexRemap->GetBufferPointer());
  EXPECT_EQ(fromVertex[vertices - 1], ~0u);
  Ref<IDirect3DVertexBuffer9> vbAfter;
  mesh->GetVertexBuffer(vbAfter.out());
  const std::vector<SphereVertex> after = Contents<SphereVertex>(vbAfter.get());
  for (DWORD v = 0; v + 1 < vertices; ++v)
    ASSERT_EQ(std::memcmp(&after[v], &before[fromVertex[v]], sizeof(SphereVertex)), 0) << v;
  const std::vector<std::uint32_t> indicesAfter = Indices(mesh.get());
  std::vector<bool> seen(faces, false);
  for (DWORD f = 0; f < faces; ++f) {
    ASSERT_LT(faceRemap[f], faces);
    seen[faceRemap[f]] = true;
    for (int k = 0; k < 3; ++k) ASSERT_EQ(fromVertex[indicesAfter[f * 3 + k]], indicesBefore[faceRemap[f] * 3 + k]);
  }
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](bool b) { return b; }));
  std::vector<DWORD> regenerated(faces * 3);
  mesh->GenerateAdjacency(0.0f, regenerated.data());
  EXPECT_EQ(adjacencyOut, regenerated);
}

}  // namespace
}  // namespace meshtest
