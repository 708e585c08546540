// Face adjacency of meshes read from .X files: a closed box, an open quad, welded positions.
#include <gtest/gtest.h>

#include "xfile.h"
#include "xfile_writer.h"

namespace zr::test::xfile {
namespace {

using namespace zr::d3dx9::xfile;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// A unit box of 6 quads, outward winding; with `split`, each quad has its own 4 vertices.
Mesh Box(bool split) {
  const double corners[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  const std::uint32_t quads[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
  XWriter w(false);
  w.Begin("Mesh");
  std::vector<double> positions;
  std::vector<std::uint32_t> faces = {6};
  for (int q = 0; q < 6; ++q) {
    faces.push_back(4);
    for (int k = 0; k < 4; ++k) {
      std::uint32_t c = quads[q][k];
      if (split) {
        positions.insert(positions.end(), corners[c], corners[c] + 3);
        c = static_cast<std::uint32_t>(q * 4 + k);
      }
      faces.push_back(c);
    }
  }
  if (!split) {
    for (const auto& c : corners) positions.insert(positions.end(), c, c + 3);
  }
  w.Ints({static_cast<std::uint32_t>(positions.size() / 3)});
  w.Floats(positions);
  w.Ints(faces);
  w.End();
  Mesh mesh;
  EXPECT_EQ(ReadMeshMemory(MakeFile(Format::kText, w.body()).data(), MakeFile(Format::kText, w.body()).size(), &mesh), S_OK);
  return mesh;
}

// Every entry names another face that names this one back across an edge with the same two ends.
void ExpectConsistent(const Mesh& mesh, const std::vector<std::uint32_t>& adjacency) {
  ASSERT_EQ(adjacency.size(), mesh.faces.size() * 3);
  for (std::uint32_t f = 0; f < mesh.faces.size(); ++f) {
    for (int e = 0; e < 3; ++e) {
      std::uint32_t g = adjacency[f * 3 + e];
      if (g == kNone) continue;
      ASSERT_LT(g, mesh.faces.size());
      EXPECT_NE(g, f);
      int back = 0;
      for (int k = 0; k < 3; ++k) back += adjacency[g * 3 + k] == f;
      EXPECT_EQ(back, 1) << f << " " << g;
      auto at = [&mesh](std::uint32_t face, int corner) { return mesh.vertices[mesh.faces[face][corner % 3]].position; };
      int shared = 0;
      for (int k = 0; k < 3; ++k) shared += (at(g, k) == at(f, e)) + (at(g, k) == at(f, e + 1));
      EXPECT_EQ(shared, 2);
    }
  }
}

TEST(XFileAdjacency, EveryFaceOfAClosedBoxHasThreeNeighbours) {
  for (bool split : {false, true}) {
    SCOPED_TRACE(split ? "a vertex per corner" : "shared vertices");
    Mesh box = Box(split);
    ASSERT_EQ(box.faces.size(), 12u);
    auto adjacency = ComputeAdjacency(box, 0.0f);
    for (std::uint32_t a : adjacency) EXPECT_NE(a, kNone);
    ExpectConsistent(box, adjacency);
    // Each quad's two triangles are neighbours across its diagonal.
    for (std::uint32_t q = 0; q < 6; ++q) EXPECT_EQ(adjacency[(2 * q) * 3 + 2], 2 * q + 1);
  }
}

TEST(XFileAdjacency, AnOpenQuadHasOneInnerEdge) {
  Mesh mesh;
  mesh.vertices.resize(4);
  mesh.vertices[1].position = {1, 0, 0};
  mesh.vertices[2].position = {1, 1, 0};
  mesh.vertices[3].position = {0, 1, 0};
  mesh.faces = {{0, 1, 2}, {0, 2, 3}};
  EXPECT_EQ(ComputeAdjacency(mesh, 0.0f), (std::vector<std::uint32_t>{kNone, kNone, 1, 0, kNone, kNone}));
  // Apart by 0.001, the second triangle meets the first only within an epsilon that covers it.
  mesh.vertices.push_back(mesh.vertices[2]);
  mesh.vertices[4].position[0] += 0.001f;
  mesh.faces[1] = {0, 4, 3};
  EXPECT_EQ(ComputeAdjacency(mesh, 0.0f), std::vector<std::uint32_t>(6, kNone));
  EXPECT_EQ(ComputeAdjacency(mesh, 0.0005f), std::vector<std::uint32_t>(6, kNone));
  EXPECT_EQ(ComputeAdjacency(mesh, 0.002f), (std::vector<std::uint32_t>{kNone, kNone, 1, 0, kNone, kNone}));
}

TEST(XFileAdjacency, EdgesOfMoreThanTwoFacesPairOppositeDirections) {
  Mesh mesh;
  mesh.vertices.resize(6);
  for (std::uint32_t i = 0; i < 6; ++i) mesh.vertices[i].position = {float(i), float(i * i), 0};
  // Three faces on edge (0,1): 0 and 2 run it 0->1, face 1 runs it 1->0. A degenerate face last.
  mesh.faces = {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}, {5, 5, 2}};
  auto adjacency = ComputeAdjacency(mesh, 0.0f);
  EXPECT_EQ(adjacency[0], 1u);
  EXPECT_EQ(adjacency[3], 0u);
  EXPECT_EQ(adjacency[6], kNone);
  EXPECT_EQ(adjacency[9], kNone);
  ExpectConsistent(mesh, adjacency);
}

}  // namespace
}  // namespace zr::test::xfile
