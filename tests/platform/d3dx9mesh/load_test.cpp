// D3DXLoadMeshFromXA and D3DXCreateBuffer on the real device: formats, pools, materials,
// adjacency, and the ways a load fails.
#include "mesh_test_support.h"
#include "xfile.h"
#include "xfile_errors.h"

namespace meshtest {
namespace {

struct PanelVertex {
  float x, y, z, nx, ny, nz, u, v;
};

TEST(MeshLoad, ATexturedTwoMaterialPanelInEveryEncoding) {
  Scene s;
  const XMesh panel = Panel();
  for (Format format : zr::test::xfile::kAllFormats) {
    SCOPED_TRACE(zr::test::xfile::FormatName(format));
    const std::string path = WriteFile("panel.x", XMeshFile(panel, format));
    Ref<ID3DXMesh> mesh;
    Ref<ID3DXBuffer> adjacency, materials;
    DWORD count = 99;
    ID3DXBuffer* effects = reinterpret_cast<ID3DXBuffer*>(&count);  // must come back null
    ASSERT_EQ(D3DXLoadMeshFromXA(path.c_str(), D3DXMESH_SYSTEMMEM, s.get(), adjacency.out(), materials.out(), &effects,
                                 &count, mesh.out()),
              D3D_OK);
    EXPECT_EQ(effects, nullptr);
    EXPECT_EQ(mesh->GetFVF(), DWORD{D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1});
    EXPECT_EQ(mesh->GetNumBytesPerVertex(), sizeof(PanelVertex));
    EXPECT_EQ(mesh->GetOptions(), DWORD{D3DXMESH_SYSTEMMEM});
    ASSERT_EQ(mesh->GetNumVertices(), 6u);
    ASSERT_EQ(mesh->GetNumFaces(), 4u);

    Ref<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(mesh->GetVertexBuffer(vb.out()), D3D_OK);
    const auto vertices = Contents<PanelVertex>(vb.get());
    for (std::size_t v = 0; v < 6; ++v) {
      EXPECT_EQ(vertices[v].x, panel.positions[v * 3]);
      EXPECT_EQ(vertices[v].y, panel.positions[v * 3 + 1]);
      EXPECT_EQ(vertices[v].nz, -1.0f);
      EXPECT_EQ(vertices[v].u, panel.uvs[v * 2]);
      EXPECT_EQ(vertices[v].v, panel.uvs[v * 2 + 1]);
    }
    EXPECT_EQ(Indices(mesh.get()), panel.faces);
    DWORD* attributes = nullptr;
    ASSERT_EQ(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes), D3D_OK);
    EXPECT_EQ(std::vector<DWORD>(attributes, attributes + 4), panel.attributes);
    mesh->UnlockAttributeBuffer();

    ASSERT_EQ(count, 2u);
    ASSERT_GE(materials->GetBufferSize(), 2 * sizeof(D3DXMATERIAL));
    const auto* m = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
    const auto* begin = static_cast<const char*>(materials->GetBufferPointer());
    EXPECT_EQ(m[0].MatD3D.Diffuse.r, 1.0f);
    EXPECT_EQ(m[0].MatD3D.Power, 5.0f);
    ASSERT_NE(m[0].pTextureFilename, nullptr);
    EXPECT_STREQ(m[0].pTextureFilename, "textures\\left side.png");
    // The name lives in the buffer, after the records.
    EXPECT_GE(m[0].pTextureFilename, begin + 2 * sizeof(D3DXMATERIAL));
    EXPECT_LT(m[0].pTextureFilename, begin + materials->GetBufferSize());
    EXPECT_EQ(m[1].pTextureFilename, nullptr);
    EXPECT_EQ(m[1].MatD3D.Diffuse.b, 1.0f);
    EXPECT_EQ(m[1].MatD3D.Diffuse.a, 0.5f);

    // The faces meet along x = 0 and along the diagonals.
    const std::vector<DWORD> expected = {~0u, 3, 2, ~0u, ~0u, 3, 0, ~0u, ~0u, 1, ~0u, 0};
    ASSERT_EQ(adjacency->GetBufferSize(), expected.size() * sizeof(DWORD));
    const auto* links = static_cast<const DWORD*>(adjacency->GetBufferPointer());
    EXPECT_EQ(std::vector<DWORD>(links, links + expected.size()), expected);
    std::vector<DWORD> generated(12);
    ASSERT_EQ(mesh->GenerateAdjacency(0.0f, generated.data()), D3D_OK);
    EXPECT_EQ(generated, expected);
  }
}

TEST(MeshLoad, BuffersLiveWhereTheOptionsSay) {
  Scene s;
  const struct {
    DWORD options;
    D3DPOOL vertexPool, indexPool;
    D3DFORMAT format;
  } cases[] = {
      {D3DXMESH_SYSTEMMEM, D3DPOOL_SYSTEMMEM, D3DPOOL_SYSTEMMEM, D3DFMT_INDEX16},
      {D3DXMESH_MANAGED | D3DXMESH_32BIT, D3DPOOL_MANAGED, D3DPOOL_MANAGED, D3DFMT_INDEX32},
      {0, D3DPOOL_DEFAULT, D3DPOOL_DEFAULT, D3DFMT_INDEX16},
      {D3DXMESH_VB_MANAGED | D3DXMESH_IB_SYSTEMMEM, D3DPOOL_MANAGED, D3DPOOL_SYSTEMMEM, D3DFMT_INDEX16},
  };
  for (const auto& c : cases) {
    Ref<ID3DXMesh> mesh{Load(s.get(), Panel(), c.options, "pools.x")};
    ASSERT_TRUE(mesh);
    Ref<IDirect3DVertexBuffer9> vb;
    Ref<IDirect3DIndexBuffer9> ib;
    mesh->GetVertexBuffer(vb.out());
    mesh->GetIndexBuffer(ib.out());
    D3DVERTEXBUFFER_DESC vd{};
    D3DINDEXBUFFER_DESC id{};
    vb->GetDesc(&vd);
    ib->GetDesc(&id);
    EXPECT_EQ(vd.Pool, c.vertexPool) << c.options;
    EXPECT_EQ(id.Pool, c.indexPool) << c.options;
    EXPECT_EQ(id.Format, c.format) << c.options;
    EXPECT_EQ(Indices(mesh.get()), Panel().faces) << c.options;
  }
}

TEST(MeshLoad, AFileWithoutMaterialsHasNone) {
  Scene s;
  XMesh bare = Panel();
  bare.attributes.clear();
  bare.normals.clear();
  Ref<ID3DXMesh> mesh;
  Ref<ID3DXBuffer> materials;
  DWORD count = 7;
  ASSERT_EQ(D3DXLoadMeshFromXA(WriteFile("bare.x", XMeshFile(bare, Format::kText)).c_str(), D3DXMESH_MANAGED, s.get(),
                               nullptr, materials.out(), nullptr, &count, mesh.out()),
            D3D_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(materials);
  EXPECT_EQ(mesh->GetFVF(), DWORD{D3DFVF_XYZ | D3DFVF_TEX1});
  // Every face is attribute 0: subset 0 is the whole panel.
  const Picture p = DrawSubsets(s, mesh.get(), {d3d9test::kGreen});
  EXPECT_EQ(p.at(16, 32), d3d9test::kGreen | 0xFF000000u);
  EXPECT_EQ(p.at(48, 32), d3d9test::kGreen | 0xFF000000u);
}

TEST(MeshLoad, FailuresLeaveNothingBehind) {
  Scene s;
  const std::string panel = WriteFile("ok.x", XMeshFile(Panel(), Format::kBinary));
  Ref<ID3DXMesh> mesh;
  Ref<ID3DXBuffer> adjacency, materials;
  DWORD count = 5;
  auto load = [&](const char* name, IDirect3DDevice9* device, DWORD options = D3DXMESH_SYSTEMMEM) {
    return D3DXLoadMeshFromXA(name, options, device, adjacency.out(), materials.out(), nullptr, &count, mesh.out());
  };
  EXPECT_EQ(load(nullptr, s.get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(load(panel.c_str(), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXLoadMeshFromXA(panel.c_str(), 0, s.get(), nullptr, nullptr, nullptr, nullptr, nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(load("no such file.x", s.get()), DXFILEERR_FILENOTFOUND);
  // The reader's own result passes through.
  const std::string cut = XMeshFile(Panel(), Format::kText).substr(0, 60);
  zr::d3dx9::xfile::Mesh ignored;
  const HRESULT readerSays = zr::d3dx9::xfile::ReadMeshMemory(cut.data(), cut.size(), &ignored);
  EXPECT_TRUE(FAILED(readerSays));
  EXPECT_EQ(load(WriteFile("cut.x", cut).c_str(), s.get()), readerSays);
  EXPECT_FALSE(mesh);
  EXPECT_FALSE(adjacency);
  EXPECT_FALSE(materials);
  EXPECT_EQ(count, 0u);

  // 65,536 vertices need 32-bit indices.
  XMesh big = Panel();
  for (int i = 0; i < 65536 - 6; ++i) {
    big.positions.insert(big.positions.end(), {0.0, 0.0, 1.0 + i});
    big.normals.insert(big.normals.end(), {0.0, 0.0, -1.0});
    big.uvs.insert(big.uvs.end(), {0.0, 0.0});
  }
  const std::string bigFile = WriteFile("big.x", XMeshFile(big, Format::kBinary));
  EXPECT_EQ(load(bigFile.c_str(), s.get()), D3DERR_INVALIDCALL);
  EXPECT_FALSE(mesh);
  ASSERT_EQ(load(bigFile.c_str(), s.get(), D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT), D3D_OK);
  EXPECT_EQ(mesh->GetNumVertices(), 65536u);
  EXPECT_EQ(Indices(mesh.get()), big.faces);
}

TEST(MeshBuffer, ZeroedCountedAndChecked) {
  Ref<ID3DXBuffer> b;
  ASSERT_EQ(D3DXCreateBuffer(1000, b.out()), D3D_OK);
  ASSERT_EQ(b->GetBufferSize(), 1000u);
  const auto* bytes = static_cast<const unsigned char*>(b->GetBufferPointer());
  EXPECT_TRUE(std::all_of(bytes, bytes + 1000, [](unsigned char c) { return c == 0; }));
  EXPECT_EQ(b->AddRef(), 2u);
  EXPECT_EQ(b->Release(), 1u);
  EXPECT_EQ(D3DXCreateBuffer(16, nullptr), D3DERR_INVALIDCALL);
}

}  // namespace
}  // namespace meshtest
