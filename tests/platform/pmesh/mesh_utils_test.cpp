// Adjacency, Clean, Validate, ComputeNormals and Optimize on small meshes made here.
#include <gtest/gtest.h>

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "pmesh.h"
#include "test_meshes.h"

namespace zr::d3dx9::pmesh {
namespace {

bool HasFinding(const ValidateResult& r, Problem p, std::uint32_t face) {
  return std::any_of(r.findings.begin(), r.findings.end(),
                     [&](const Finding& f) { return f.problem == p && f.face == face; });
}

TEST(Adjacency, MatchesSharedVerticesAndPlacesWithinEpsilon) {
  // Two triangles on the edge 1-2; the second copy of the edge is 1e-4 away.
  const std::vector<Float3> p = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1.0001f, 0, 0}, {0, 1, 0}};
  const std::vector<Face> shared = {{0, 1, 2}, {2, 1, 3}};
  EXPECT_EQ(GenerateAdjacency(shared, p, 0.0f), (std::vector<std::uint32_t>{kNone, 1, kNone, 0, kNone, kNone}));
  const std::vector<Face> split = {{0, 1, 2}, {5, 4, 3}};
  EXPECT_EQ(GenerateAdjacency(split, p, 0.0f)[1], kNone);
  const auto near = GenerateAdjacency(split, p, 1e-3f);
  EXPECT_EQ(near[1], 1u);
  EXPECT_EQ(near[3], 0u);
  // The same direction twice is no match (faces wound against each other).
  const std::vector<Face> against = {{0, 1, 2}, {1, 2, 3}};
  EXPECT_EQ(GenerateAdjacency(against, p, 0.0f), std::vector<std::uint32_t>(6, kNone));
}

TEST(Adjacency, ClosedSphereHasMutualNeighboursEverywhere) {
  const MeshInput s = testing::Icosphere(2);
  const auto adjacency = GenerateAdjacency(s.faces, s.positions, 0.0f);
  const ValidateResult r = Validate(s.faces, adjacency, s.positions);
  EXPECT_TRUE(r.valid) << r.text;
  EXPECT_EQ(std::count(adjacency.begin(), adjacency.end(), kNone), 0);
}

TEST(Clean, SplitsABowtieAndRemovesADegenerateFace) {
  MeshInput m;
  m.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {-1, 0, 0}, {-1, -1, 0}};
  m.faces = {{0, 1, 2}, {0, 3, 4}, {1, 1, 2}};
  m.attributes = {7, 8, 9};
  const ValidateResult before = Validate(m.faces, GenerateAdjacency(m.faces, m.positions, 0), m.positions);
  EXPECT_TRUE(HasFinding(before, Problem::Bowtie, 1));
  EXPECT_TRUE(HasFinding(before, Problem::DegenerateFace, 2));

  const CleanReport report = Clean(m, kCleanBowties);
  EXPECT_TRUE(report.Changed());
  EXPECT_EQ(report.degenerateFacesRemoved, 1u);
  EXPECT_EQ(report.bowtieVerticesSplit, 1u);
  EXPECT_EQ(report.verticesAdded, 1u);
  EXPECT_NE(report.text.find("bowtie"), std::string::npos);
  ASSERT_EQ(m.faces.size(), 2u);
  EXPECT_EQ(m.attributes, (std::vector<std::uint32_t>{7, 8}));
  EXPECT_EQ(report.faceSource, (std::vector<std::uint32_t>{0, 1}));
  ASSERT_EQ(m.positions.size(), 6u);
  EXPECT_EQ(report.vertexSource[5], 0u);
  EXPECT_EQ(m.positions[5], m.positions[0]);
  EXPECT_EQ(m.faces[1], (Face{5, 3, 4}));
  EXPECT_TRUE(Validate(m.faces, m.adjacency, m.positions).valid);
  // Clean again: nothing left to do.
  EXPECT_FALSE(Clean(m, kCleanSimplification).Changed());
}

TEST(Clean, GivesABackFacingFaceItsOwnVerticesAndDropsARepeat) {
  MeshInput m;
  m.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  m.payloadStride = 1;
  m.payload = {std::byte{10}, std::byte{11}, std::byte{12}};
  m.faces = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}};
  const CleanReport report = Clean(m, kCleanBackfacing);
  EXPECT_EQ(report.duplicateFacesRemoved, 1u);
  EXPECT_EQ(report.backfacingFacesSplit, 1u);
  ASSERT_EQ(m.faces.size(), 2u);
  EXPECT_EQ(m.faces[1], (Face{3, 4, 5}));
  EXPECT_EQ(m.payload[4], std::byte{12});
  EXPECT_EQ(std::count(m.adjacency.begin(), m.adjacency.end(), kNone), 6);
}

TEST(Validate, ReportsBrokenAdjacencyDegenerateAndDuplicateFaces) {
  const MeshInput s = testing::Icosphere(1);
  std::vector<Face> faces = s.faces;
  std::vector<std::uint32_t> adjacency = GenerateAdjacency(faces, s.positions, 0.0f);
  adjacency[5 * 3] = 9;                // face 5 names face 9, which does not name it
  adjacency[6 * 3 + 1] = 6;            // face 6 names itself
  adjacency[7 * 3 + 2] = 5000;         // face 7 names no face
  faces.push_back({0, 0, 1});          // 80: degenerate
  faces.push_back(faces[3]);           // 81: a repeat of face 3
  faces.push_back({faces[4][0], faces[4][2], faces[4][1]});  // 82: face 4 reversed
  adjacency.resize(faces.size() * 3, kNone);
  const ValidateResult r = Validate(faces, adjacency, s.positions);
  EXPECT_FALSE(r.valid);
  EXPECT_TRUE(HasFinding(r, Problem::NotMutual, 5));
  EXPECT_TRUE(HasFinding(r, Problem::NeighbourIsSelf, 6));
  EXPECT_TRUE(HasFinding(r, Problem::NeighbourOutOfRange, 7));
  EXPECT_TRUE(HasFinding(r, Problem::DegenerateFace, 80));
  EXPECT_TRUE(HasFinding(r, Problem::DuplicateFace, 81));
  EXPECT_TRUE(HasFinding(r, Problem::DuplicateFace, 82));
  EXPECT_NE(r.text.find("face 81: same vertices as face 3"), std::string::npos) << r.text;
  // The list is bounded; the rest is counted.
  const ValidateResult few = Validate(faces, adjacency, s.positions, 2);
  EXPECT_EQ(few.findings.size(), 2u);
  EXPECT_EQ(few.problems, r.problems);
  EXPECT_NE(few.text.find("and " + std::to_string(r.problems - 2) + " more"), std::string::npos) << few.text;
  EXPECT_TRUE(HasFinding(Validate(faces, std::vector<std::uint32_t>(3), s.positions), Problem::AdjacencySize, kNone));
}

TEST(ComputeNormals, CubeCornerWeighsFacesByArea) {
  // Three squares meeting at the origin, each split by a diagonal from the corner; the x side is
  // twice as wide, so it has four times the area.
  MeshInput m;
  m.positions = {{0, 0, 0}, {0, 2, 0}, {0, 2, 2}, {0, 0, 2}, {1, 0, 0}, {1, 0, 1}, {1, 1, 0}};
  m.faces = {{0, 2, 1}, {0, 3, 2},   // x = 0 side, normal -x, area 4
             {0, 4, 5}, {0, 5, 3},   // y = 0 side (partly), normal -y
             {0, 1, 6}, {0, 6, 4}};  // z = 0 side (partly), normal -z
  const auto n = ComputeNormals(m.positions, m.faces);
  // Areas: x side 4; y side: (0,4,5) 0.5 + (0,5,3) 1 = 1.5; z side: (0,1,6) 1 + (0,6,4) 0.5 = 1.5.
  const float len = std::sqrt(16.0f + 2.25f + 2.25f);
  EXPECT_NEAR(n[0][0], -4.0f / len, 1e-5f);
  EXPECT_NEAR(n[0][1], -1.5f / len, 1e-5f);
  EXPECT_NEAR(n[0][2], -1.5f / len, 1e-5f);
  EXPECT_NEAR(n[4][0], 0.0f, 1e-6f);  // on the y and z sides only
  EXPECT_NEAR(n[4][1], -std::sqrt(0.5f), 1e-5f);
}

TEST(ComputeNormals, SeamCopiesShareANormalThroughAdjacency) {
  const MeshInput s = testing::SeamSphere(8, 12);
  const auto adjacency = GenerateAdjacency(s.faces, s.positions, 0.0f);
  const auto apart = ComputeNormals(s.positions, s.faces);
  const auto joined = ComputeNormals(s.positions, s.faces, adjacency);
  // Vertex 1 (u = 0) and 13 (u = 1) are one place on the first ring.
  ASSERT_EQ(s.positions[1], s.positions[13]);
  EXPECT_NE(apart[1], apart[13]);
  EXPECT_EQ(joined[1], joined[13]);
  for (std::size_t v = 0; v < s.positions.size(); ++v) {
    const Float3& p = s.positions[v];  // a unit sphere: the normal is near the position
    EXPECT_GT(joined[v][0] * p[0] + joined[v][1] * p[1] + joined[v][2] * p[2], 0.97f) << v;
  }
}

TEST(Optimize, RemapsKeepTheSameTrianglesAndImproveTheCache) {
  MeshInput m = testing::SeamSphere(12, 16);
  std::shuffle(m.faces.begin(), m.faces.end(), std::mt19937(7));  // attributes no longer match: fine
  m.positions.push_back({5, 5, 5});  // unused
  m.payload.resize(m.payload.size() + m.payloadStride);
  m.adjacency = GenerateAdjacency(m.faces, m.positions, 0.0f);
  const MeshInput before = m;
  auto acmr = [](const MeshInput& x) {
    std::vector<std::uint32_t> idx;
    for (const Face& f : x.faces) idx.insert(idx.end(), f.begin(), f.end());
    return meshopt_analyzeVertexCache(idx.data(), idx.size(), x.positions.size(), 16, 0, 0).acmr;
  };
  const OptimizeResult r = Optimize(m, kOptVertexCache);
  ASSERT_EQ(r.faceRemap.size(), before.faces.size());
  ASSERT_EQ(r.vertexRemap.size(), before.positions.size() - 1);
  for (std::size_t f = 0; f < m.faces.size(); ++f) {
    const Face& old = before.faces[r.faceRemap[f]];
    Face now{r.vertexRemap[m.faces[f][0]], r.vertexRemap[m.faces[f][1]], r.vertexRemap[m.faces[f][2]]};
    // Same triangle, same winding (possibly starting at another corner).
    const bool same = now == old || now == Face{old[1], old[2], old[0]} || now == Face{old[2], old[0], old[1]};
    ASSERT_TRUE(same) << f;
    ASSERT_EQ(m.attributes[f], before.attributes[r.faceRemap[f]]);
  }
  for (std::size_t v = 0; v < m.positions.size(); ++v) ASSERT_EQ(m.positions[v], before.positions[r.vertexRemap[v]]);
  EXPECT_TRUE(std::is_sorted(m.attributes.begin(), m.attributes.end()));
  ASSERT_EQ(r.attributeTable.size(), 2u);
  EXPECT_EQ(r.attributeTable[1].faceStart, r.attributeTable[0].faceCount);
  EXPECT_EQ(m.adjacency, GenerateAdjacency(m.faces, m.positions, 0.0f));
  EXPECT_LT(acmr(m), acmr(before));
}

TEST(Optimize, CompactAloneDropsUnusedVerticesInOrder) {
  MeshInput m;
  m.positions = {{0, 0, 0}, {9, 9, 9}, {1, 0, 0}, {0, 1, 0}};
  m.faces = {{0, 2, 3}};
  const OptimizeResult r = Optimize(m, kOptCompact);
  EXPECT_EQ(r.vertexRemap, (std::vector<std::uint32_t>{0, 2, 3}));
  EXPECT_EQ(m.faces[0], (Face{0, 1, 2}));
}

}  // namespace
}  // namespace zr::d3dx9::pmesh
