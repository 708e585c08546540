// The progressive mesh: every level against a replay of the collapse log, and the properties a
// level must have (valid faces, active vertices a prefix, materials, no cracks, seams, borders).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "pmesh.h"
#include "test_meshes.h"

namespace zr::d3dx9::pmesh {
namespace {

std::vector<std::uint32_t> Buffer(const ProgressiveMesh& pm) {
  std::vector<std::uint32_t> out(pm.GetMaxFaces() * 3);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = pm.Index(i);
  return out;
}

// The buffer at `level`, replayed from the maximum level's buffer one record at a time.
std::vector<std::uint32_t> Replay(const ProgressiveMesh& pm, std::vector<std::uint32_t> buffer, std::size_t level) {
  for (std::size_t c = 0; c < level; ++c) {
    const CollapseRecord& r = pm.Collapses()[c];
    for (std::uint32_t i = 0; i < r.rewriteCount; ++i) {
      const IndexRewrite& w = pm.Rewrites()[r.rewriteStart + i];
      EXPECT_EQ(buffer[w.slot], w.fine) << "collapse " << c << " finds another value in its slot";
      buffer[w.slot] = w.coarse;
    }
  }
  return buffer;
}

// Positions in the buffer of the active faces, subset by subset.
std::vector<std::uint32_t> ActiveFaces(const ProgressiveMesh& pm) {
  std::vector<std::uint32_t> faces;
  for (const SubsetRange& s : pm.Subsets()) {
    for (std::uint32_t i = 0; i < s.faceCount; ++i) faces.push_back(s.faceStart + i);
  }
  return faces;
}

struct Expectations {
  bool closed = false;      // no edge may open
  bool checkUv = false;     // no face may stretch across the texture seam
  const MeshInput* input = nullptr;
};

// The materials of the faces around each vertex at the maximum level.
std::vector<std::set<std::uint32_t>> VertexMaterials(const ProgressiveMesh& pm, const MeshInput& input) {
  std::vector<std::set<std::uint32_t>> materials(pm.NumVertices());
  for (std::uint32_t i = 0; i < pm.GetMaxFaces(); ++i) {
    const std::uint32_t f = pm.FaceSource()[i];
    for (int k = 0; k < 3; ++k) materials[pm.Index(i * 3 + k)].insert(input.attributes.empty() ? 0 : input.attributes[f]);
  }
  return materials;
}

void CheckLevel(const ProgressiveMesh& pm, const Expectations& e, const std::vector<std::set<std::uint32_t>>& materials,
                const std::vector<std::uint32_t>& place) {
  SCOPED_TRACE("level " + std::to_string(pm.Level()) + ", " + std::to_string(pm.GetNumFaces()) + " faces");
  std::uint32_t faces = 0;
  std::vector<bool> used(pm.NumVertices(), false);
  std::vector<std::uint64_t> edges;  // directed, between places
  for (const SubsetRange& s : pm.Subsets()) {
    faces += s.faceCount;
    ASSERT_GE(s.faceCount, s.minFaces);
    ASSERT_LE(s.faceCount, s.maxFaces);
    for (std::uint32_t i = s.faceStart; i < s.faceStart + s.faceCount; ++i) {
      const std::uint32_t f = pm.FaceSource()[i];
      const std::uint32_t material = e.input->attributes.empty() ? 0 : e.input->attributes[f];
      ASSERT_EQ(material, s.attribute) << "face " << i << " is in another material's range";
      const std::uint32_t v[3] = {pm.Index(i * 3), pm.Index(i * 3 + 1), pm.Index(i * 3 + 2)};
      for (int k = 0; k < 3; ++k) {
        ASSERT_LT(v[k], pm.NumActiveVertices());
        ASSERT_TRUE(materials[v[k]].count(material)) << "face " << i << " reaches across its material's boundary";
        used[v[k]] = true;
        const std::uint32_t a = place[v[k]], b = place[v[(k + 1) % 3]];
        ASSERT_NE(a, b) << "degenerate face " << i;
        edges.push_back(std::uint64_t{a} << 32 | b);
      }
      if (e.checkUv) {
        const float u[3] = {testing::U(*e.input, pm.VertexSource()[v[0]]), testing::U(*e.input, pm.VertexSource()[v[1]]),
                            testing::U(*e.input, pm.VertexSource()[v[2]])};
        ASSERT_FALSE(std::min({u[0], u[1], u[2]}) < 0.25f && std::max({u[0], u[1], u[2]}) > 0.75f)
            << "face " << i << " spans the texture seam";
      }
    }
  }
  ASSERT_EQ(faces, pm.GetNumFaces());
  ASSERT_EQ(std::count(used.begin(), used.end(), true), pm.NumActiveVertices())
      << "active vertices are not exactly those in use";
  if (e.closed) {
    std::sort(edges.begin(), edges.end());
    ASSERT_EQ(std::adjacent_find(edges.begin(), edges.end()), edges.end()) << "edge used twice one way";
    for (std::uint64_t edge : edges) {
      ASSERT_TRUE(std::binary_search(edges.begin(), edges.end(), edge << 32 | edge >> 32))
          << "a crack: an edge has one side";
    }
  }
}

// Random jumps against the replay, every level's properties, and the way back to the maximum.
void Exercise(ProgressiveMesh& pm, const MeshInput& input, Expectations e, std::uint32_t seed) {
  e.input = &input;
  pm.SetLevel(0);
  const std::vector<std::uint32_t> maxBuffer = Buffer(pm);
  const auto materials = VertexMaterials(pm, input);
  const auto place = PointReps(pm.Positions(), 0.0f);
  const auto maxBytes = std::vector<std::byte>(pm.IndexBytes().begin(), pm.IndexBytes().end());
  for (std::size_t level = 0; level <= pm.NumCollapses(); ++level) {
    pm.SetLevel(level);
    ASSERT_NO_FATAL_FAILURE(CheckLevel(pm, e, materials, place));
  }
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::uint32_t> count(0, pm.GetMaxFaces() + 10);
  for (int jump = 0; jump < 60; ++jump) {
    pm.SetNumFaces(count(random));
    ASSERT_EQ(Buffer(pm), Replay(pm, maxBuffer, pm.Level())) << "jump " << jump;
  }
  pm.SetNumFaces(0);
  EXPECT_EQ(pm.GetNumFaces(), pm.GetMinFaces());
  pm.SetNumFaces(~0u);
  EXPECT_EQ(pm.GetNumFaces(), pm.GetMaxFaces());
  EXPECT_TRUE(std::equal(maxBytes.begin(), maxBytes.end(), pm.IndexBytes().begin(), pm.IndexBytes().end()));
}

TEST(ProgressiveMesh, ClosedSphereStaysClosedAtEveryLevel) {
  const MeshInput sphere = testing::Icosphere(3);
  ProgressiveMesh pm = Build(sphere, 40);
  EXPECT_EQ(pm.GetMaxFaces(), 1280u);
  EXPECT_EQ(pm.GetMaxVertices(), 642u);
  // Each collapse inside a closed surface removes two faces: 40 is reachable, and nothing below it.
  EXPECT_EQ(pm.GetMinFaces(), 40u);
  EXPECT_FALSE(pm.Uses32BitIndices());
  EXPECT_EQ(pm.Stats().keptFaces, 0u);
  Exercise(pm, sphere, {.closed = true}, 1);
}

TEST(ProgressiveMesh, StopsAtTheSmallestReachableCountNotBelowTheMinimum) {
  const MeshInput sphere = testing::Icosphere(2);
  const ProgressiveMesh pm = Build(sphere, 101);
  EXPECT_EQ(pm.GetMinFaces(), 102u);  // one collapse more would leave 100
  const MeshInput grid = testing::Grid(12);
  const ProgressiveMesh sliding = Build(grid, 101, {.borders = BorderPolicy::Slide});
  EXPECT_EQ(sliding.GetMinFaces(), 101u);  // a border collapse removes the odd face
  for (std::size_t c = 0; c < sliding.NumCollapses(); ++c) {
    const std::uint32_t step = sliding.LevelFaces()[c] - sliding.LevelFaces()[c + 1];
    ASSERT_TRUE(step == 1 || step == 2) << "collapse " << c << " removes " << step << " faces";
  }
}

TEST(ProgressiveMesh, SetNumFacesClampsAndSettlesOnTheLargestReachableCount) {
  const MeshInput grid = testing::Grid(10);
  ProgressiveMesh pm = Build(grid, 30, {.borders = BorderPolicy::Slide});
  const auto levels = pm.LevelFaces();
  for (std::uint32_t request = 0; request <= pm.GetMaxFaces() + 5; ++request) {
    pm.SetNumFaces(request);
    const std::uint32_t clamped = std::clamp(request, pm.GetMinFaces(), pm.GetMaxFaces());
    ASSERT_LE(pm.GetNumFaces(), clamped);
    ASSERT_EQ(pm.GetNumFaces(), levels[pm.Level()]);
    // No reachable count lies between the one chosen and the request.
    ASSERT_FALSE(pm.Level() > 0 && levels[pm.Level() - 1] <= clamped) << "request " << request;
  }
  pm.SetNumVertices(0);
  EXPECT_EQ(pm.NumActiveVertices(), pm.GetMinVertices());
  EXPECT_EQ(pm.GetNumFaces(), pm.GetMinFaces());
}

TEST(ProgressiveMesh, KeptBorderNeverMoves) {
  const MeshInput grid = testing::Grid(16);
  ProgressiveMesh pm = Build(grid, 0);
  ASSERT_GT(pm.NumCollapses(), 100u);
  Exercise(pm, grid, {}, 2);
  pm.SetNumFaces(0);
  // All 64 border vertices are still in use at the coarsest level.
  std::set<std::uint32_t> border;
  for (std::uint32_t f : ActiveFaces(pm)) {
    for (std::uint32_t k = 0; k < 3; ++k) {
      const Float3& p = pm.Positions()[pm.Index(f * 3 + k)];
      if (p[0] == 0.0f || p[0] == 1.0f || p[1] == 0.0f || p[1] == 1.0f) border.insert(pm.Index(f * 3 + k));
    }
  }
  EXPECT_EQ(border.size(), 64u);
}

TEST(ProgressiveMesh, SlidingBorderKeepsTheOutline) {
  const MeshInput grid = testing::Grid(16);
  ProgressiveMesh pm = Build(grid, 0, {.borders = BorderPolicy::Slide});
  Exercise(pm, grid, {}, 3);
  pm.SetNumFaces(0);
  // Every edge with one side runs along a side of the square, and the corners are still there.
  std::map<std::pair<std::uint32_t, std::uint32_t>, int> edges;
  std::set<Float3> corners;
  for (std::uint32_t f : ActiveFaces(pm)) {
    for (int k = 0; k < 3; ++k) {
      const std::uint32_t a = pm.Index(f * 3 + k), b = pm.Index(f * 3 + (k + 1) % 3);
      ++edges[std::minmax(a, b)];
      const Float3& p = pm.Positions()[a];
      if ((p[0] == 0.0f || p[0] == 1.0f) && (p[1] == 0.0f || p[1] == 1.0f)) corners.insert(p);
    }
  }
  EXPECT_EQ(corners.size(), 4u);
  int borderEdges = 0;
  for (const auto& [e, n] : edges) {
    if (n != 1) continue;
    ++borderEdges;
    const Float3 &p = pm.Positions()[e.first], &q = pm.Positions()[e.second];
    const bool onSide = (p[0] == q[0] && (p[0] == 0.0f || p[0] == 1.0f)) || (p[1] == q[1] && (p[1] == 0.0f || p[1] == 1.0f));
    EXPECT_TRUE(onSide) << "border edge leaves the outline";
  }
  EXPECT_LT(borderEdges, 64);  // the border did simplify
}

TEST(ProgressiveMesh, TwoMaterialSphereKeepsMaterialsAndSeamAtEveryLevel) {
  const MeshInput sphere = testing::SeamSphere(16, 24);
  ProgressiveMesh pm = Build(sphere, 0);
  EXPECT_GT(pm.Stats().featureEdges, 0u);
  ASSERT_EQ(pm.Subsets().size(), 2u);
  EXPECT_LT(pm.GetMinFaces(), pm.GetMaxFaces() / 4);
  // The payload went with its vertices.
  for (std::size_t v = 0; v < pm.NumVertices(); ++v) {
    ASSERT_TRUE(std::equal(pm.Payload().begin() + v * sphere.payloadStride, pm.Payload().begin() + (v + 1) * sphere.payloadStride,
                           sphere.payload.begin() + pm.VertexSource()[v] * sphere.payloadStride));
  }
  Exercise(pm, sphere, {.closed = true, .checkUv = true}, 4);
}

TEST(ProgressiveMesh, SplitBoxKeepsItsEdgesAndMaterials) {
  const MeshInput box = testing::SplitBox(6);
  ProgressiveMesh pm = Build(box, 0);
  // The sides' grids simplify, the box's corners (seam junctions) stay.
  EXPECT_LT(pm.GetMinFaces(), pm.GetMaxFaces() / 2);
  Exercise(pm, box, {.closed = true}, 5);
  pm.SetNumFaces(0);
  std::set<Float3> corners;
  for (std::uint32_t f : ActiveFaces(pm)) {
    for (std::uint32_t k = 0; k < 3; ++k) {
      const Float3& p = pm.Positions()[pm.Index(f * 3 + k)];
      if (std::fabs(p[0]) == 0.5f && std::fabs(p[1]) == 0.5f && std::fabs(p[2]) == 0.5f) corners.insert(p);
    }
  }
  EXPECT_EQ(corners.size(), 8u);
}

TEST(ProgressiveMesh, FacesOpenMeshRefusesStayAtEveryLevel) {
  // A fin on an inner diagonal of a grid: that edge has three faces, which OpenMesh refuses.
  MeshInput grid = testing::Grid(8);
  const Face inner = grid.faces[2 * (3 * 8 + 3)];
  grid.positions.push_back({0.4f, 0.4f, 1.0f});
  grid.faces.push_back({inner[0], inner[2], static_cast<std::uint32_t>(grid.positions.size() - 1)});
  ProgressiveMesh pm = Build(grid, 0);
  EXPECT_EQ(pm.Stats().keptFaces, 1u);
  EXPECT_EQ(pm.GetMaxFaces(), grid.faces.size());
  pm.SetNumFaces(0);
  const auto active = ActiveFaces(pm);
  EXPECT_TRUE(std::any_of(active.begin(), active.end(), [&](std::uint32_t f) { return pm.FaceSource()[f] == grid.faces.size() - 1; }));
  Exercise(pm, grid, {}, 6);
}

TEST(ProgressiveMesh, WideVertexCountsUse32BitIndices) {
  const MeshInput sphere = testing::Icosphere(4);  // 2562 vertices
  MeshInput padded = sphere;
  padded.positions.resize(70000, Float3{9, 9, 9});  // unused vertices go last
  ProgressiveMesh pm = Build(padded, 5000);
  EXPECT_TRUE(pm.Uses32BitIndices());
  EXPECT_EQ(pm.IndexBytes().size(), pm.GetMaxFaces() * 3 * 4);
  EXPECT_EQ(pm.GetMaxVertices(), 2562u);
  for (std::size_t v = pm.GetMaxVertices(); v < pm.NumVertices(); ++v) ASSERT_GE(pm.VertexSource()[v], 2562u);
}

TEST(ProgressiveMesh, RejectsInconsistentInput) {
  MeshInput sphere = testing::Icosphere(1);
  sphere.attributes = {1, 2};
  EXPECT_THROW(Build(sphere, 0), std::invalid_argument);
  sphere.attributes.clear();
  sphere.faces[3][1] = 1000;
  EXPECT_THROW(Build(sphere, 0), std::invalid_argument);
}

}  // namespace
}  // namespace zr::d3dx9::pmesh
