// D3DXValidMesh and D3DXCleanMesh on meshes with the faults they are for, D3DXComputeNormals, and
// every mesh entry point on bad input: null arguments, indices the application broke.
#include "mesh_test_support.h"

namespace meshtest {
namespace {

// A square of two faces, then a repeat of face 0, a face repeating a vertex, and face 0 reversed.
XMesh Faulty() {
  XMesh m;
  m.positions = {-1, 1, 0, 1, 1, 0, 1, -1, 0, -1, -1, 0};
  m.faces = {0, 1, 2, 0, 2, 3, 0, 1, 2, 0, 1, 1, 0, 2, 1};
  m.attributes = {0, 0, 0, 1, 1};
  m.materials = {{}, {}};
  return m;
}

std::string Text(ID3DXBuffer* b) { return b != nullptr ? static_cast<const char*>(b->GetBufferPointer()) : ""; }

TEST(MeshClean, FaultsAreReportedThenCleanedAway) {
  Scene s;
  Ref<ID3DXMesh> mesh{Load(s.get(), Faulty(), D3DXMESH_MANAGED, "faulty.x")};
  ASSERT_TRUE(mesh);
  std::vector<DWORD> adjacency(15), cleanedAdjacency(15, 0xABCDu);
  ASSERT_EQ(mesh->GenerateAdjacency(0.0f, adjacency.data()), D3D_OK);
  Ref<ID3DXBuffer> errors;
  ASSERT_EQ(D3DXValidMesh(mesh.get(), adjacency.data(), errors.out()), D3DXERR_INVALIDMESH);
  const std::string why = Text(errors.get());
  EXPECT_NE(why.find("face 3: degenerate"), std::string::npos) << why;
  EXPECT_NE(why.find("same vertices as face 0"), std::string::npos) << why;
  EXPECT_EQ(D3DXValidMesh(mesh.get(), nullptr, errors.out()), D3DXERR_INVALIDMESH);

  Ref<ID3DXMesh> cleaned;
  ASSERT_EQ(D3DXCleanMesh(D3DXCLEAN_BACKFACING, mesh.get(), adjacency.data(), cleaned.out(), cleanedAdjacency.data(),
                          errors.out()),
            D3D_OK);
  ASSERT_NE(cleaned.get(), mesh.get());
  EXPECT_NE(Text(errors.get()).find("1 degenerate faces removed"), std::string::npos) << Text(errors.get());
  // Left: the square and the reversed face, on three vertices of its own.
  ASSERT_EQ(cleaned->GetNumFaces(), 3u);
  EXPECT_EQ(cleaned->GetNumVertices(), 7u);
  EXPECT_EQ(cleaned->GetFVF(), mesh->GetFVF());
  EXPECT_EQ(cleaned->GetOptions(), mesh->GetOptions());
  const std::vector<std::uint32_t> faces = Indices(cleaned.get());
  EXPECT_EQ(std::vector<std::uint32_t>(faces.begin(), faces.begin() + 6), (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3}));
  EXPECT_GE(std::min({faces[6], faces[7], faces[8]}), 4u);
  DWORD* attributes = nullptr;
  cleaned->LockAttributeBuffer(D3DLOCK_READONLY, &attributes);
  EXPECT_EQ(std::vector<DWORD>(attributes, attributes + 3), (std::vector<DWORD>{0, 0, 1}));
  cleaned->UnlockAttributeBuffer();
  EXPECT_EQ(std::count(cleanedAdjacency.begin(), cleanedAdjacency.end(), 0xABCDu), 15 - 9);
  EXPECT_EQ(D3DXValidMesh(cleaned.get(), cleanedAdjacency.data(), errors.out()), D3D_OK);
  EXPECT_FALSE(errors);

  // A clean mesh comes back as it is, with one more reference.
  Ref<ID3DXMesh> same;
  ASSERT_EQ(D3DXCleanMesh(D3DXCLEAN_BACKFACING, cleaned.get(), cleanedAdjacency.data(), same.out(), nullptr,
                          errors.out()),
            D3D_OK);
  EXPECT_EQ(same.get(), cleaned.get());
  EXPECT_FALSE(errors);
  EXPECT_EQ(cleaned->AddRef(), 3u);
  cleaned->Release();
}

TEST(MeshClean, NormalsFromTheFaces) {
  Scene s;
  XMesh flat = Panel();
  for (double& n : flat.normals) n = 0.5;
  Ref<ID3DXMesh> mesh{Load(s.get(), flat, D3DXMESH_SYSTEMMEM, "flat.x")};
  ASSERT_EQ(D3DXComputeNormals(mesh.get(), nullptr), D3D_OK);
  Ref<IDirect3DVertexBuffer9> vb;
  mesh->GetVertexBuffer(vb.out());
  const auto v = Contents<float>(vb.get());
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(v[i * 8 + 3], 0.0f);
    EXPECT_EQ(v[i * 8 + 5], -1.0f);  // clockwise faces seen from -z face -z
  }
  XMesh bare = Panel();
  bare.normals.clear();
  mesh.reset();
  mesh.p = Load(s.get(), bare, D3DXMESH_SYSTEMMEM, "bare.x");
  EXPECT_EQ(D3DXComputeNormals(mesh.get(), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXComputeNormals(nullptr, nullptr), D3DERR_INVALIDCALL);
}

TEST(MeshClean, BadArgumentsAndBrokenIndicesFailCleanly) {
  Scene s;
  Ref<ID3DXMesh> mesh{Load(s.get(), Panel(), D3DXMESH_MANAGED, "panel.x")};
  Ref<ID3DXMesh> out;
  Ref<ID3DXBuffer> errors;
  EXPECT_EQ(D3DXCleanMesh(D3DXCLEAN_BACKFACING, nullptr, nullptr, out.out(), nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCleanMesh(D3DXCLEAN_BACKFACING, mesh.get(), nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXValidMesh(nullptr, nullptr, errors.out()), D3DERR_INVALIDCALL);
  void* data = nullptr;
  DWORD* attributes = nullptr;
  EXPECT_EQ(mesh->GetDevice(nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(mesh->GetVertexBuffer(nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(mesh->LockAttributeBuffer(0, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(mesh->OptimizeInplace(0x1234, nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
  ASSERT_EQ(mesh->LockAttributeBuffer(0, &attributes), D3D_OK);
  EXPECT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
  mesh->UnlockAttributeBuffer();

  // While the application holds the vertex buffer, what needs to read it says so.
  ASSERT_EQ(mesh->LockVertexBuffer(0, &data), D3D_OK);
  std::vector<DWORD> adjacency(12);
  EXPECT_EQ(mesh->GenerateAdjacency(0.0f, adjacency.data()), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCleanMesh(D3DXCLEAN_BACKFACING, mesh.get(), nullptr, out.out(), nullptr, errors.out()),
            D3DERR_INVALIDCALL);
  ASSERT_EQ(mesh->UnlockVertexBuffer(), D3D_OK);

  // An index past the vertices, written by the application.
  ASSERT_EQ(mesh->LockIndexBuffer(0, &data), D3D_OK);
  static_cast<std::uint16_t*>(data)[4] = 999;
  ASSERT_EQ(mesh->UnlockIndexBuffer(), D3D_OK);
  EXPECT_EQ(D3DXValidMesh(mesh.get(), nullptr, errors.out()), D3DXERR_INVALIDMESH);
  EXPECT_NE(Text(errors.get()).find("face 1: corner 1 names no vertex"), std::string::npos) << Text(errors.get());
  EXPECT_EQ(mesh->GenerateAdjacency(0.0f, adjacency.data()), D3DXERR_INVALIDMESH);
  EXPECT_EQ(D3DXCleanMesh(D3DXCLEAN_BACKFACING, mesh.get(), nullptr, out.out(), nullptr, errors.out()),
            D3DXERR_INVALIDMESH);
  EXPECT_FALSE(out);
  Ref<ID3DXPMesh> p;
  EXPECT_EQ(D3DXGeneratePMesh(mesh.get(), nullptr, nullptr, nullptr, 1, D3DXMESHSIMP_FACE, p.out()),
            D3DXERR_INVALIDMESH);
  EXPECT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE, nullptr, nullptr, nullptr, nullptr), D3DXERR_INVALIDMESH);
  EXPECT_EQ(D3DXComputeNormals(mesh.get(), nullptr), D3DXERR_INVALIDMESH);
  Look(s);
  EXPECT_EQ(mesh->DrawSubset(1), D3DERR_INVALIDCALL);  // the device refuses to read past the vertices
}

}  // namespace
}  // namespace meshtest
