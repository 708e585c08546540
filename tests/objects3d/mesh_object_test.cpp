#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "errorfile/zr_ErrorException.h"
#include "fake_com.h"
#include "fake_d3d9.h"
#include "fake_d3dx9.h"
#include "fake_d3dx9_mesh.h"
#include "fake_platform.h"
#include "objects3d/zr_3DObject.h"
#include "scratch_directory.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

D3DMATERIAL9 Material(float alpha) {
  D3DMATERIAL9 m{};
  m.Diffuse = D3DCOLORVALUE{1, 1, 1, alpha};
  return m;
}

class MeshObject : public ::testing::Test {
 protected:
  void SetUp() override {
    p.Reset();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device);
    d3d->Release();
    manager.Initialise(device);
    fake::d3dx9::AddImage("skin.png", 16, 16);
    fake::d3dx9mesh::Get().files["ship.x"] =
        fake::d3dx9mesh::MeshFile{1000, 300, {{Material(1.0f), "skin.png"}, {Material(0.5f), ""}, {Material(1.5f), ""}}};
    p.Reset();
    fake::d3dx9::AddImage("skin.png", 16, 16);
    fake::d3dx9mesh::Get().files["ship.x"] =
        fake::d3dx9mesh::MeshFile{1000, 300, {{Material(1.0f), "skin.png"}, {Material(0.5f), ""}, {Material(1.5f), ""}}};
  }
  void TearDown() override { device->Release(); }
  std::string Log() const { return dir.Read("error.log"); }
  std::vector<std::string> Drawn() const {
    std::vector<std::string> out;
    for (const fake::Call& c : p.CallsTo("ID3DXPMesh::DrawSubset")) out.push_back(c.Arg(1));
    return out;
  }

  fake::Platform& p = fake::Platform::Get();
  ScratchDirectory dir;
  IDirect3DDevice9* device = nullptr;
  zr_TextureManager manager;
};

TEST_F(MeshObject, LoadingOptimisesCleansValidatesAndBuildsDownTo300Faces) {
  zr_3DObject mesh;
  mesh.Initialise(device, &manager, true);
  ASSERT_EQ(mesh.LoadFromFile("ship.x", 2), 0);
  std::vector<std::string> steps;
  for (const fake::Call& c : p.Calls())
    if (c.name.rfind("D3DX", 0) == 0 || c.name.find("::OptimizeInplace") != std::string::npos ||
        c.name.find("::GenerateAdjacency") != std::string::npos || c.name.find("::ClonePMeshFVF") != std::string::npos)
      steps.push_back(c.name);
  EXPECT_THAT(steps, ElementsAre("D3DXLoadMeshFromXA", "ID3DXMesh::OptimizeInplace", "D3DXGetImageInfoFromFileA",
                                 "D3DXCreateTextureFromFileExA", "ID3DXMesh::GenerateAdjacency", "D3DXCleanMesh",
                                 "D3DXValidMesh", "D3DXGeneratePMesh", "ID3DXPMesh::ClonePMeshFVF"));
  EXPECT_EQ(p.CallsTo("D3DXLoadMeshFromXA")[0].Arg(1), std::to_string(D3DXMESH_SYSTEMMEM));
  EXPECT_EQ(p.CallsTo("ID3DXMesh::OptimizeInplace")[0].Arg(1), std::to_string(0x7000000));
  fake::Call texture = p.CallsTo("D3DXCreateTextureFromFileExA")[0];
  EXPECT_EQ(texture.Arg(4), "2");                 // the mip levels asked for
  EXPECT_EQ(texture.Arg(8), std::to_string(0x70004));  // triangle filter, mirrored
  fake::Call pmesh = p.CallsTo("D3DXGeneratePMesh")[0];
  EXPECT_EQ(pmesh.Arg(0), "#2");  // built from the cleaned mesh
  EXPECT_EQ(pmesh.Arg(4), "300");
  EXPECT_EQ(pmesh.Arg(5), "2");
  EXPECT_EQ(p.CallsTo("ID3DXPMesh::ClonePMeshFVF")[0].Arg(1), "0");  // the local mesh in the default pool
  EXPECT_EQ(mesh.GetMaxFaces(), 1000);
  EXPECT_TRUE(mesh.Restored());
  EXPECT_EQ(mesh.MaterialCount(), 3u);
  EXPECT_EQ(fake::LiveComObjects(), 4);  // the device, the texture and the two progressive meshes
}

TEST_F(MeshObject, FailuresAreReportedWithTheirNumbers) {
  zr_3DObject mesh;
  mesh.Initialise(device, &manager, true);
  EXPECT_EQ(mesh.LoadFromFile("missing.x", 0), 1);
  EXPECT_THAT(Log(), HasSubstr("*** Error_24 ** Error, can't load the mesh missing.x"));

  p.ResultForCall("ID3DXMesh::OptimizeInplace", 1, E_FAIL);
  EXPECT_EQ(mesh.LoadFromFile("ship.x", 0), 1);
  EXPECT_THAT(Log(), HasSubstr("*** Error_30 ** Error, can't optimize the mesh"));

  p.ResultForCall("D3DXValidMesh", 1, D3DXERR_INVALIDMESH);
  p.ResultForCall("D3DXGeneratePMesh", 1, E_OUTOFMEMORY);
  EXPECT_EQ(mesh.LoadFromFile("ship.x", 0), 1);
  EXPECT_THAT(Log(), HasSubstr("*** Error_26 ** Error, invalid mesh"));
  EXPECT_THAT(Log(), HasSubstr("*** Error_28 ** Error, can't create the progressive mesh"));

  p.ResultForCall("ID3DXPMesh::ClonePMeshFVF", 1, E_OUTOFMEMORY);
  EXPECT_EQ(mesh.LoadFromFile("ship.x", 0), 1);
  EXPECT_THAT(Log(), HasSubstr("*** Error_32 ** Error, can't set the local mesh"));
  EXPECT_FALSE(mesh.Restored());
  EXPECT_EQ(mesh.RestoreObject(), 0);

  p.ResultForCall("ID3DXPMesh::DrawSubset", 1, D3DERR_INVALIDCALL);
  mesh.Render(500, true, false);
  EXPECT_THAT(Log(), HasSubstr("*** Error_27 ** Error, can't draw the mesh"));
  EXPECT_EQ(Drawn().size(), 2u);  // the next subset was still drawn

  const std::string longName(400, 'n');
  EXPECT_EQ(mesh.LoadFromFile(longName.c_str(), 0), 1);
  EXPECT_EQ(p.CountOf("MessageBoxA"), 0u);
}

TEST_F(MeshObject, PassesSplitSubsetsByDiffuseAlpha) {
  zr_3DObject mesh;
  mesh.Initialise(device, &manager, true);
  ASSERT_EQ(mesh.LoadFromFile("ship.x", 0), 0);
  p.Reset();
  mesh.Render(450, true, false);
  EXPECT_THAT(Drawn(), ElementsAre("0", "2"));  // alpha 1 and 1.5
  p.Reset();
  mesh.Render(450, false, true);
  EXPECT_THAT(Drawn(), ElementsAre("1", "2"));  // alpha 0.5 and 1.5: above 1 is drawn in both
  // Each subset: material, texture (null for a material without one), the face count, the draw.
  auto textures = p.CallsTo("IDirect3DDevice9::SetTexture");
  ASSERT_EQ(textures.size(), 3u);
  EXPECT_EQ(textures[0].Arg(1), "<null>");
  EXPECT_EQ(textures.back().Arg(1), "<null>");
  EXPECT_EQ(p.CallsTo("ID3DXPMesh::SetNumFaces")[0].Arg(1), "450");

  mesh.SetUseMaterial(false);
  p.Reset();
  mesh.Render(450, true, true);
  EXPECT_THAT(Drawn(), ElementsAre("0", "1", "2"));
  EXPECT_EQ(p.CountOf("IDirect3DDevice9::SetMaterial"), 0u);
}

TEST_F(MeshObject, FaceCountsGoToTheMeshUncheckedAndRenderAlwaysSetsFilters) {
  zr_3DObject mesh;
  mesh.Initialise(device, &manager, true);
  mesh.Render(100, true, true);
  EXPECT_EQ(p.CountOf("IDirect3DDevice9::SetSamplerState"), 3u);
  EXPECT_EQ(p.CallsTo("IDirect3DDevice9::SetSamplerState")[0].Arg(2), std::to_string(D3DTEXF_NONE));
  ASSERT_EQ(mesh.LoadFromFile("ship.x", 1), 0);
  mesh.Render(5, true, false);
  EXPECT_EQ(p.CallsTo("ID3DXPMesh::SetNumFaces").back().Arg(1), "5");
  EXPECT_EQ(mesh.GetActuallyNumberOfFaces(), 300);
  EXPECT_EQ(p.CallsTo("IDirect3DDevice9::SetSamplerState").back().Arg(2), std::to_string(D3DTEXF_LINEAR));

  mesh.InvalidateDeviceObjects();
  p.Reset();
  mesh.Render(500, true, true);
  EXPECT_EQ(p.CountOf("ID3DXPMesh::DrawSubset"), 0u);
  EXPECT_EQ(mesh.GetActuallyNumberOfFaces(), 0);
  EXPECT_EQ(mesh.RestoreObject(), 0);
}

TEST_F(MeshObject, SetFVFReplacesBothMeshesOrNeither) {
  zr_3DObject mesh;
  mesh.Initialise(device, &manager, true);
  ASSERT_EQ(mesh.LoadFromFile("ship.x", 0), 0);
  p.ResultForCall("ID3DXPMesh::ClonePMeshFVF", 3, E_FAIL);  // after the load's, the local mesh's clone fails
  EXPECT_EQ(mesh.SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL), 1);
  EXPECT_EQ(p.CountOf("D3DXComputeNormals"), 0u);
  EXPECT_THAT(Log(), HasSubstr("*** Error_32 ** Error, can't clone the mesh FVF"));
  auto clones = p.CallsTo("ID3DXPMesh::ClonePMeshFVF");
  ASSERT_EQ(clones.size(), 3u);  // the local mesh made at load, then the two of SetFVF
  EXPECT_EQ(clones[1].Arg(1), std::to_string(D3DXMESH_SYSTEMMEM));
  EXPECT_EQ(clones[2].Arg(1), "0");

  p.Reset();
  EXPECT_EQ(mesh.SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL), 0);
  EXPECT_EQ(p.CountOf("D3DXComputeNormals"), 2u);
  EXPECT_EQ(p.CountOf("ID3DXPMesh::Release"), 2u);
}

TEST_F(MeshObject, AFailedMasterCloneInSetFVFLeavesBothMeshesAsTheyWere) {
  zr_3DObject mesh;
  mesh.Initialise(device, &manager, true);
  ASSERT_EQ(mesh.LoadFromFile("ship.x", 0), 0);
  const fake::Call load = p.CallsTo("ID3DXPMesh::ClonePMeshFVF").at(0);  // master -> local
  const std::string master = load.Arg(0), fvf = load.Arg(2);
  mesh.Render(500, true, false);
  const std::string local = p.CallsTo("ID3DXPMesh::DrawSubset").at(0).Arg(0);
  const int live = fake::LiveComObjects();

  p.Reset();
  p.ResultForCall("ID3DXPMesh::ClonePMeshFVF", 1, E_OUTOFMEMORY);  // the master's clone
  EXPECT_EQ(mesh.SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE), 1);
  EXPECT_THAT(Log(), HasSubstr("*** Error_32 ** Error, can't clone the mesh FVF"));
  auto clones = p.CallsTo("ID3DXPMesh::ClonePMeshFVF");
  ASSERT_EQ(clones.size(), 1u) << "the local mesh is not cloned after the master failed";
  EXPECT_EQ(clones[0].Arg(0), master);
  EXPECT_EQ(clones[0].Arg(1), std::to_string(D3DXMESH_SYSTEMMEM));
  EXPECT_EQ(p.CountOf("ID3DXPMesh::Release"), 0u);
  EXPECT_EQ(p.CountOf("D3DXComputeNormals"), 0u);
  EXPECT_EQ(fake::LiveComObjects(), live);

  // The same local mesh still draws, and the same master, in the old format, makes the next one.
  p.Reset();
  mesh.Render(500, true, false);
  EXPECT_THAT(Drawn(), ElementsAre("0", "2"));
  for (const fake::Call& c : p.CallsTo("ID3DXPMesh::DrawSubset")) EXPECT_EQ(c.Arg(0), local);
  mesh.InvalidateDeviceObjects();
  p.Reset();
  ASSERT_EQ(mesh.RestoreObject(), 0);
  clones = p.CallsTo("ID3DXPMesh::ClonePMeshFVF");
  ASSERT_EQ(clones.size(), 1u);
  EXPECT_EQ(clones[0].Arg(0), master);
  EXPECT_EQ(clones[0].Arg(2), fvf);
}

TEST_F(MeshObject, TheWorldMatrixTranslatesBeforeItTurns) {
  zr_3DObject mesh;
  mesh.SetTransform(D3DXVECTOR3(1, 1, 1), D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(0, static_cast<float>(M_PI / 2), 0));
  D3DXVECTOR3 origin(0, 0, 0), drawn;
  D3DXVec3TransformCoord(&drawn, &origin, &mesh.WorldMatrix());
  EXPECT_NEAR(drawn.x, 0, 1e-5);
  EXPECT_NEAR(drawn.z, -10, 1e-5);

  mesh.SetScale(D3DXVECTOR3(2, 2, 2));
  D3DXMATRIX s, t, rx, ry, rz, expected;
  D3DXMatrixScaling(&s, 2, 2, 2);
  D3DXMatrixTranslation(&t, 10, 0, 0);
  D3DXMatrixRotationX(&rx, 0);
  D3DXMatrixRotationY(&ry, static_cast<float>(M_PI / 2));
  D3DXMatrixRotationZ(&rz, 0);
  expected = s * t * rx * ry * rz;
  EXPECT_EQ(mesh.WorldMatrix(), expected);
}

TEST_F(MeshObject, DestroyDeletesTexturesByNameAndASecondLoadLetsGoOfTheFirst) {
  {
    zr_3DObject mesh;
    mesh.Initialise(device, &manager, true);
    ASSERT_EQ(mesh.LoadFromFile("ship.x", 0), 0);
    ASSERT_EQ(mesh.LoadFromFile("ship.x", 0), 0);
    EXPECT_EQ(p.CountOf("ID3DXPMesh::Release"), 2u);
    EXPECT_EQ(fake::LiveComObjects(), 4);
  }
  EXPECT_EQ(manager.GetTexture("skin.png"), nullptr);
  EXPECT_EQ(fake::LiveComObjects(), 1);  // the device alone
}

}  // namespace
