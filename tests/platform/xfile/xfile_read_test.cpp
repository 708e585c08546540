// The .X reader on good files: one scene in every encoding, frames, normals, materials, references,
// polygons, and reading from a path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "xfile.h"
#include "xfile_errors.h"
#include "xfile_writer.h"

namespace zr::test::xfile {
namespace {

using namespace zr::d3dx9::xfile;

Mesh Read(const std::string& file, HRESULT expected = S_OK) {
  Mesh mesh;
  EXPECT_EQ(ReadMeshMemory(file.data(), file.size(), &mesh), expected);
  return mesh;
}

bool SameVertex(const Vertex& a, const Vertex& b) {
  return a.position == b.position && a.normal == b.normal && a.uv == b.uv && a.color == b.color;
}

bool SameMaterial(const Material& a, const Material& b) {
  return std::memcmp(&a.material, &b.material, sizeof a.material) == 0 && a.textureFilename == b.textureFilename;
}

void ExpectSameMesh(const Mesh& a, const Mesh& b) {
  EXPECT_EQ(a.components, b.components);
  ASSERT_EQ(a.vertices.size(), b.vertices.size());
  for (std::size_t i = 0; i < a.vertices.size(); ++i) EXPECT_TRUE(SameVertex(a.vertices[i], b.vertices[i])) << i;
  EXPECT_EQ(a.faces, b.faces);
  EXPECT_EQ(a.attributes, b.attributes);
  ASSERT_EQ(a.materials.size(), b.materials.size());
  for (std::size_t i = 0; i < a.materials.size(); ++i) EXPECT_TRUE(SameMaterial(a.materials[i], b.materials[i])) << i;
}

// Where the scene's frames put a point of the panel: the child turns (x,y,z) into (-2y, 2x, 2z),
// then the root moves it by (10, 20, 30).
std::array<float, 3> Placed(std::size_t vertex) {
  const auto& p = Scene::kPositions;
  double x = p[vertex * 3], y = p[vertex * 3 + 1], z = p[vertex * 3 + 2];
  return {static_cast<float>(-2 * y + 10), static_cast<float>(2 * x + 20), static_cast<float>(2 * z + 30)};
}

void ExpectNear(const std::array<float, 3>& a, const std::array<float, 3>& b) {
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 1e-5) << c;
}

TEST(XFileRead, TheSceneReadsAlikeInEveryEncoding) {
  Mesh reference = Read(SceneFile(Format::kText));
  for (Format format : kAllFormats) {
    for (bool doubles : {false, true}) {
      SCOPED_TRACE(std::string(FormatName(format)) + (doubles ? " 0064" : " 0032"));
      ExpectSameMesh(Read(SceneFile(format, doubles)), reference);
      ExpectSameMesh(Read(SceneFile(format, doubles, 32768, true)), reference);
    }
  }
  // Compressed in blocks of 64 bytes: many blocks, each reaching back into the ones before.
  ExpectSameMesh(Read(SceneFile(Format::kTextZip, false, 64)), reference);
  ExpectSameMesh(Read(SceneFile(Format::kBinaryZip, true, 64)), reference);
}

TEST(XFileRead, TheSceneIsMergedTransformedAndSplit) {
  Mesh mesh = Read(SceneFile(Format::kText));
  EXPECT_EQ(mesh.components, kPosition | kNormal | kTextureCoords | kColor);
  // The panel's 6 vertices, the triangle's 3, then vertex 1 again for its second normal.
  ASSERT_EQ(mesh.vertices.size(), 10u);
  for (std::size_t v = 0; v < 6; ++v) ExpectNear(mesh.vertices[v].position, Placed(v));
  for (std::size_t v = 0; v < 3; ++v) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(mesh.vertices[6 + v].position[c], Scene::kTriangle[v * 3 + c]);
  }
  EXPECT_TRUE(mesh.vertices[9].position == mesh.vertices[1].position && mesh.vertices[9].uv == mesh.vertices[1].uv);

  // Normals turned with the frame, back to unit length: (0,0,1) stays, (0.6,0,0.8) becomes (0,0.6,0.8).
  for (std::size_t v : {0, 1, 2, 3}) ExpectNear(mesh.vertices[v].normal, {0, 0, 1});
  for (std::size_t v : {4, 5, 9}) ExpectNear(mesh.vertices[v].normal, {0, 0.6f, 0.8f});
  for (std::size_t v : {6, 7, 8}) ExpectNear(mesh.vertices[v].normal, {0, 0, 0});

  for (std::size_t v = 0; v < 6; ++v) {
    EXPECT_EQ(mesh.vertices[v].uv[0], static_cast<float>(Scene::kUvs[v * 2]));
    EXPECT_EQ(mesh.vertices[v].uv[1], static_cast<float>(Scene::kUvs[v * 2 + 1]));
  }
  EXPECT_EQ(mesh.vertices[0].color, 0xFFFF0000u);
  EXPECT_EQ(mesh.vertices[3].color, 0x800000FFu);
  EXPECT_EQ(mesh.vertices[1].color, 0xFFFFFFFFu);
  EXPECT_EQ(mesh.vertices[4].color, 0xCC336699u);
  EXPECT_EQ(mesh.vertices[5].color, 0x00000000u);
  EXPECT_EQ(mesh.vertices[9].color, mesh.vertices[1].color);
  EXPECT_EQ(mesh.vertices[6].color, 0xFFFFFFFFu);  // the triangle has no colours

  // The quad as a fan, the triangles through the copy of vertex 1; vertex 2 keeps one normal
  // though two indices name it.
  std::vector<std::array<std::uint32_t, 3>> faces = {{0, 1, 2}, {0, 2, 3}, {9, 4, 5}, {9, 5, 2}, {6, 7, 8}};
  EXPECT_EQ(mesh.faces, faces);
  // Two material indices for three polygons: the last repeats. The top-level mesh has no list and
  // gets a default material of its own.
  EXPECT_EQ(mesh.attributes, (std::vector<std::uint32_t>{0, 0, 1, 1, 2}));
  ASSERT_EQ(mesh.materials.size(), 3u);
  const D3DMATERIAL9& brick = mesh.materials[0].material;
  EXPECT_EQ(mesh.materials[0].textureFilename, "textures\\Brick Wall.PNG");
  EXPECT_FLOAT_EQ(brick.Diffuse.r, 0.75f);
  EXPECT_FLOAT_EQ(brick.Diffuse.b, 0.25f);
  EXPECT_FLOAT_EQ(brick.Power, 12.5f);
  EXPECT_FLOAT_EQ(brick.Specular.g, 0.2f);
  EXPECT_FLOAT_EQ(brick.Emissive.b, 0.05f);
  EXPECT_EQ(brick.Ambient.r, 0.0f);
  EXPECT_FLOAT_EQ(mesh.materials[1].material.Diffuse.a, 0.25f);
  EXPECT_EQ(mesh.materials[1].textureFilename, "");
  EXPECT_EQ(mesh.materials[2].material.Diffuse.r, 1.0f);
}

// A small file around one mesh body written by `body`.
template <typename Body>
std::string OneMesh(Format format, Body body) {
  XWriter w(IsBinary(format));
  body(w);
  return MakeFile(format, w.body());
}

void Quad(XWriter& w) {
  w.Ints({4});
  w.Floats({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
}

TEST(XFileRead, PolygonsBecomeFansAndMaterialListsRepeatTheirLastIndex) {
  for (Format format : kAllFormats) {
    SCOPED_TRACE(FormatName(format));
    Mesh mesh = Read(OneMesh(format, [](XWriter& w) {
      w.Begin("Mesh");
      Quad(w);
      w.Ints({3, 5, 0, 1, 2, 3, 0, 3, 0, 1, 2, 4, 3, 2, 1, 0});  // a pentagon, a triangle, a quad
      w.Begin("MeshMaterialList");
      w.Ints({3, 2, 2, 1});
      for (const char* n : {"A", "B", "C"}) {
        w.Begin("Material", n);
        w.Floats({1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0});
        w.End();
      }
      w.End();
      w.End();
    }));
    std::vector<std::array<std::uint32_t, 3>> faces = {{0, 1, 2}, {0, 2, 3}, {0, 3, 0}, {0, 1, 2}, {3, 2, 1}, {3, 1, 0}};
    EXPECT_EQ(mesh.faces, faces);
    EXPECT_EQ(mesh.attributes, (std::vector<std::uint32_t>{2, 2, 2, 1, 1, 1}));
    EXPECT_EQ(mesh.components, kPosition);
  }
}

TEST(XFileRead, MaterialReferencesFindTopLevelMaterialsByNameOrGuid) {
  const std::string longName(1500, 'm');
  for (Format format : kAllFormats) {
    SCOPED_TRACE(FormatName(format));
    auto file = [&](const char* reference) {
      return OneMesh(format, [&](XWriter& w) {
        w.Begin("Material", longName, "00112233-4455-6677-8899-AABBCCDDEEFF");
        w.Floats({0.5, 0.5, 0.5, 1, 3, 0, 0, 0, 0, 0, 0});
        w.End();
        w.Begin("Material", "Other", "00112233-4455-6677-8899-AABBCCDDEE00");
        w.Floats({0.25, 0.5, 0.5, 1, 7, 0, 0, 0, 0, 0, 0});
        w.End();
        w.Begin("Mesh");
        Quad(w);
        w.Ints({1, 4, 0, 1, 2, 3});
        w.Begin("MeshMaterialList");
        w.Ints({1, 1, 0});
        w.Reference(reference);
        w.End();
        w.End();
      });
    };
    EXPECT_EQ(Read(file(longName.c_str())).materials.at(0).material.Power, 3.0f);
    EXPECT_EQ(Read(file("<00112233-4455-6677-8899-AABBCCDDEE00>")).materials.at(0).material.Power, 7.0f);
    Read(file("Missing"), DXFILEERR_BADDATAREFERENCE);
    Read(file("<00112233-4455-6677-8899-000000000000>"), DXFILEERR_BADDATAREFERENCE);
  }
}

TEST(XFileRead, DeepFramesComposeTheirTransforms) {
  constexpr int kDepth = 50000;
  for (Format format : {Format::kText, Format::kBinaryZip}) {
    SCOPED_TRACE(FormatName(format));
    XWriter w(IsBinary(format));
    for (int i = 0; i < kDepth; ++i) {
      w.Begin("Frame", i == 0 ? std::string(2000, 'f') : std::string());
      w.Begin("FrameTransformMatrix");
      w.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, i % 2 ? 1.0 : -1.0, 1});
      w.End();
    }
    w.Begin("Mesh");
    w.Ints({3});
    w.Floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    w.Ints({1, 3, 0, 1, 2});
    w.End();
    std::string open = w.body();
    for (int i = 0; i < kDepth; ++i) w.End();
    Mesh mesh = Read(MakeFile(format, w.body()));
    ASSERT_EQ(mesh.vertices.size(), 3u);
    EXPECT_EQ(mesh.vertices[1].position, (std::array<float, 3>{kDepth + 1, 0, 0}));
    // Never closed: a clean failure.
    Read(MakeFile(format, open), DXFILEERR_PARSEERROR);
  }
}

TEST(XFileRead, TextCommentsGuidsAndOddSpacing) {
  std::string text =
      "xof 0302txt 0032\r\n# comment {\n// another }\nMesh\tname_1.x <01234567-89ab-CDEF-0123-456789ABCDEF>{3;"
      "0.0;0.0;0.0;,+1.0;0;0;,0;1e0;-0.0;;1;3;0,1,2;;;}\n";
  Mesh mesh = Read(text);
  ASSERT_EQ(mesh.vertices.size(), 3u);
  EXPECT_EQ(mesh.vertices[1].position[0], 1.0f);
  EXPECT_EQ(mesh.vertices[2].position[1], 1.0f);
}

TEST(XFileRead, FilesReadLikeMemory) {
  std::string path = "xfile_read_test." + std::to_string(::getpid()) + ".x";
  std::string file = SceneFile(Format::kBinaryZip);
  { std::ofstream(path, std::ios::binary) << file; }
  Mesh fromFile;
  EXPECT_EQ(ReadMeshFile(path.c_str(), &fromFile), S_OK);
  ExpectSameMesh(fromFile, Read(file));
  std::remove(path.c_str());
  EXPECT_EQ(ReadMeshFile(path.c_str(), &fromFile), DXFILEERR_FILENOTFOUND);
  EXPECT_EQ(ReadMeshFile(".", &fromFile), DXFILEERR_BADFILE);
  EXPECT_EQ(ReadMeshFile(nullptr, &fromFile), D3DERR_INVALIDCALL);
  Limits tiny;
  tiny.maxFileBytes = file.size() - 1;
  EXPECT_EQ(ReadMeshMemory(file.data(), file.size(), &fromFile, tiny), DXFILEERR_BADFILE);
}

// The fuzzer's seeds (tests/fuzz/xfile_corpus) are files this writer made: the scenes among them
// must still read as the scene does.
TEST(XFileRead, TheFuzzSeedsRead) {
  Mesh scene = Read(SceneFile(Format::kText));
  int scenes = 0, files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ZR_XFILE_SEEDS_DIR)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().string());
    Mesh mesh = Read(file);
    EXPECT_LE(file.size(), 8192u);  // the fuzzer's longest input
    ++files;
    if (entry.path().filename().string().rfind("scene_", 0) == 0) {
      ExpectSameMesh(mesh, scene);
      ++scenes;
    }
  }
  EXPECT_GE(scenes, 4);
  EXPECT_GT(files, scenes);
}

}  // namespace
}  // namespace zr::test::xfile
