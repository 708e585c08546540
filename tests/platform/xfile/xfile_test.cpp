// The .X reader: one scene in every encoding, small files for the details, a folder of broken
// files each named after the result it must give (files/bad/<result>.<what>.x), a file too
// repetitive to keep, and face adjacency. What any mesh read from damaged bytes must satisfy is
// the fuzz target's check (tests/fuzz/xfile_fuzz.cpp), from the scene in every encoding.
#include "xfile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "xfile_errors.h"

namespace {

using namespace zr::d3dx9::xfile;
using Faces = std::vector<std::array<std::uint32_t, 3>>;
constexpr std::uint32_t N = 0xFFFFFFFFu, kWhite = 0xFFFFFFFFu;

std::string Bytes(const std::string& name) {
  std::ifstream in(std::string(ZR_XFILE_FILES) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
HRESULT Read(const std::string& bytes, Mesh* mesh) { return ReadMeshMemory(bytes.data(), bytes.size(), mesh); }

// The scene written in each encoding: 32- and 64-bit floats, one compressed block, two, and blocks
// of 64 bytes that reach back into the ones before.
const char* const kScenes[] = {"scene_txt.x",  "scene_bin.x",     "scene_bin_0064.x",    "scene_tzip.x",
                               "scene_bzip.x", "scene_tzip_64.x", "scene_bzip_0064_64.x"};

struct Expected {
  std::array<float, 3> position, normal;
  std::array<float, 2> uv;
  std::uint32_t colour;
};
// The panel (vertices 0-5) sits in frame Child, which turns (x, y, z) into (-2y, 2x, 2z), inside
// Root, which moves it by (10, 20, 30); its normals turn with it and keep their length. Vertex 1
// meets a second normal in the triangles (1,4,5) and (1,5,2): its copy is vertex 9. Normal 2 equals
// normal 0, so vertex 2 gets no copy. The triangle of frame Plain (6-8) has positions only.
const Expected kSceneVertices[] = {
    {{10, 20, 30}, {0, 0, 1}, {0, 0}, 0xFFFF0000}, {{10, 22, 30}, {0, 0, 1}, {1, 0}, kWhite},
    {{8, 22, 30}, {0, 0, 1}, {1, 1}, 0xFF00FF00},  {{8, 20, 30}, {0, 0, 1}, {0, 1}, 0x800000FF},
    {{10, 24, 31}, {0, .6f, .8f}, {.25f, .5f}, 0xCC336699}, {{8, 24, 31}, {0, .6f, .8f}, {.75f, .125f}, 0},
    {{5, 5, 5}, {0, 0, 0}, {0, 0}, kWhite}, {{6, 5, 5}, {0, 0, 0}, {0, 0}, kWhite}, {{5, 6, 5}, {0, 0, 0}, {0, 0}, kWhite},
    {{10, 22, 30}, {0, .6f, .8f}, {1, 0}, kWhite}};

void ExpectScene(const Mesh& m) {
  EXPECT_EQ(m.components, kPosition | kNormal | kTextureCoords | kColor);
  ASSERT_EQ(m.vertices.size(), std::size(kSceneVertices));
  for (std::size_t v = 0; v < m.vertices.size(); ++v) {
    const Expected& e = kSceneVertices[v];
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(m.vertices[v].position[c], e.position[c], 1e-5) << v;
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(m.vertices[v].normal[c], e.normal[c], 1e-6) << v;
    EXPECT_EQ(m.vertices[v].uv, e.uv) << v;
    EXPECT_EQ(m.vertices[v].color, e.colour) << v;
  }
  EXPECT_EQ(m.faces, (Faces{{0, 1, 2}, {0, 2, 3}, {9, 4, 5}, {9, 5, 2}, {6, 7, 8}}));
  // The panel's list names Brick and an inline Glass; the triangle has no list and gets a default.
  EXPECT_EQ(m.attributes, (std::vector<std::uint32_t>{0, 0, 1, 1, 2}));
  ASSERT_EQ(m.materials.size(), 3u);
  const D3DMATERIAL9& b = m.materials[0].material;
  EXPECT_EQ(m.materials[0].textureFilename, "textures\\Brick Wall.PNG");
  EXPECT_EQ((std::array{b.Diffuse.r, b.Diffuse.b, b.Power, b.Specular.g, b.Specular.a, b.Emissive.b, b.Ambient.r}),
            (std::array{0.75f, 0.25f, 12.5f, 0.2f, 1.0f, 0.05f, 0.0f}));
  EXPECT_TRUE(m.materials[1].material.Diffuse.a == 0.25f && m.materials[1].textureFilename.empty());
  EXPECT_EQ(m.materials[2].material.Diffuse.r, 1.0f);
}

TEST(XFileRead, TheSceneInEveryEncoding) {
  for (const char* name : kScenes) {
    SCOPED_TRACE(name);
    Mesh mesh;
    ASSERT_EQ(Read(Bytes(name), &mesh), S_OK);
    ExpectScene(mesh);
  }
}

TEST(XFileRead, PolygonsReferencesAndSpacing) {
  Mesh m;
  ASSERT_EQ(Read(Bytes("polygons.x"), &m), S_OK);  // fans; the last material index repeats
  EXPECT_EQ(m.faces, (Faces{{0, 1, 2}, {0, 2, 3}, {0, 3, 0}, {0, 1, 2}, {3, 2, 1}, {3, 1, 0}}));
  EXPECT_EQ(m.attributes, (std::vector<std::uint32_t>{2, 2, 2, 1, 1, 1}));
  EXPECT_EQ(m.components, kPosition);
  ASSERT_EQ(Read(Bytes("references.x"), &m), S_OK);  // by a 1,500-character name, by GUID
  ASSERT_EQ(m.materials.size(), 2u);
  EXPECT_EQ(m.materials[0].material.Power, 3.0f);
  EXPECT_EQ(m.materials[1].material.Power, 7.0f);
  ASSERT_EQ(Read(Bytes("spacing.x"), &m), S_OK);  // CRLF, comments, a GUID, +1.0, 1e0, -0.0
  ASSERT_EQ(m.vertices.size(), 3u);
  EXPECT_EQ(m.vertices[1].position[0], 1.0f);
  EXPECT_EQ(m.vertices[2].position[1], 1.0f);
}

TEST(XFileRead, BrokenFilesGiveTheirResult) {
  const std::map<std::string, HRESULT> results = {
      {"ok", S_OK}, {"badfiletype", DXFILEERR_BADFILETYPE}, {"badfileversion", DXFILEERR_BADFILEVERSION},
      {"badfilecompressiontype", DXFILEERR_BADFILECOMPRESSIONTYPE}, {"badfilefloatsize", DXFILEERR_BADFILEFLOATSIZE},
      {"notfound", DXFILEERR_NOTFOUND}, {"parseerror", DXFILEERR_PARSEERROR}, {"badarraysize", DXFILEERR_BADARRAYSIZE},
      {"baddatareference", DXFILEERR_BADDATAREFERENCE}, {"invaliddata", D3DXERR_INVALIDDATA}};
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(ZR_XFILE_FILES) + "/bad")) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    ASSERT_EQ(results.count(name.substr(0, name.find('.'))), 1u);
    Mesh mesh;
    EXPECT_EQ(Read(Bytes("bad/" + name), &mesh), results.at(name.substr(0, name.find('.'))));
    ++files;
  }
  EXPECT_GE(files, 30);
}

// Every reference copies its material's texture name: 500 copies of a 20,000-character name read,
// 20,000 copies (400 MB from a file of 100 KB) fail.
TEST(XFileRead, ReferencesMayNotMultiplyALongTextureName) {
  auto file = [](std::uint32_t references) {
    std::string x = "xof 0303txt 0032\nMaterial M { 1;1;1;1;; 3; 0;0;0;; 0;0;0;; TextureFilename { \"" +
                    std::string(20000, 't') +
                    "\"; } }\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\nMeshMaterialList { " +
                    std::to_string(references) + "; 1; " + std::to_string(references - 1) + ";";
    for (std::uint32_t i = 0; i < references; ++i) x += "{M}";
    return x + "} }";
  };
  Mesh m;
  ASSERT_EQ(Read(file(500), &m), S_OK);
  ASSERT_EQ(m.materials.size(), 500u);
  EXPECT_EQ(m.materials[499].textureFilename, std::string(20000, 't'));
  EXPECT_EQ(m.attributes.at(0), 499u);
  EXPECT_EQ(Read(file(20000), &m), DXFILEERR_BADFILE);
}

Mesh MeshOf(const std::vector<std::array<float, 3>>& positions, const Faces& faces) {
  Mesh m;
  for (const auto& p : positions) m.vertices.push_back(Vertex{p});
  m.faces = faces;
  return m;
}

// Two triangles of the square (0,0)-(1,1) whose second corner of the diagonal may be another vertex
// (4 or 5) at or near the same place.
TEST(XFileAdjacency, EdgesJoinFacesThatRunThemBothWaysAtOnePlace) {
  const float nan = std::nanf("");
  const struct {
    const char* what;
    std::array<float, 3> four, five;
    Faces faces;
    float epsilon;
    bool joined;
  } cases[] = {
      {"shared vertices", {9, 9, 9}, {9, 9, 9}, {{0, 1, 2}, {0, 2, 3}}, 0, true},
      {"a corner apart", {1.001f, 1, 0}, {9, 9, 9}, {{0, 1, 2}, {0, 4, 3}}, 0, false},
      {"closer than epsilon", {1.001f, 1, 0}, {9, 9, 9}, {{0, 1, 2}, {0, 4, 3}}, 0.002f, true},
      {"farther than epsilon", {1.001f, 1, 0}, {9, 9, 9}, {{0, 1, 2}, {0, 4, 3}}, 0.0005f, false},
      {"-0 is 0", {-0.0f, 0, 0}, {9, 9, 9}, {{0, 1, 2}, {4, 2, 3}}, 0, true},
      {"NaN is nothing", {nan, 0, 0}, {nan, 0, 0}, {{5, 1, 2}, {4, 2, 3}}, 0, false},
  };
  for (const auto& c : cases) {
    const Mesh m = MeshOf({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, c.four, c.five}, c.faces);
    const std::vector<std::uint32_t> joined = {N, N, 1, 0, N, N}, apart(6, N);
    EXPECT_EQ(ComputeAdjacency(m, c.epsilon), c.joined ? joined : apart) << c.what;
  }
  // Three faces on the edge (0,1): face 1 runs it backwards and pairs with face 0, the first running
  // it forwards. A face on one vertex twice has no neighbour on that edge.
  const Mesh three = MeshOf({{0, 0, 0}, {1, 1, 0}, {2, 4, 0}, {3, 9, 0}, {4, 16, 0}, {5, 25, 0}},
                            {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}, {5, 5, 2}});
  EXPECT_EQ(ComputeAdjacency(three, 0), (std::vector<std::uint32_t>{1, N, N, 0, N, N, N, N, N, N, N, N}));
  // A closed tetrahedron whose faces have vertices of their own: joined by position.
  const std::array<float, 3> o{0, 0, 0}, x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
  const Mesh tetrahedron = MeshOf({o, x, y, o, z, x, o, y, z, x, z, y}, {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}, {9, 10, 11}});
  EXPECT_EQ(ComputeAdjacency(tetrahedron, 0), (std::vector<std::uint32_t>{1, 3, 2, 2, 3, 0, 0, 3, 1, 1, 2, 0}));
}

}  // namespace
