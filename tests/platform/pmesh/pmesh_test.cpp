// The progressive mesh at every level of a sphere (two materials, a texture seam) and of the same
// sphere opened and given a fin, against a replay of the collapse log and what a level must be.
// Adjacency, cleaning, validation, reordering and normals are tested through the D3DX functions on
// the device in ../d3dx9mesh, the quality of the vertex-cache order in bench/.
#include "pmesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <set>

namespace zr::d3dx9::pmesh {
namespace {

// Rings of segments + 1 vertices (the first and last at one place, u 0 and 1: the seam), single
// poles; material 0 above the equator, 1 below. The payload of a vertex is its position and u.
// Flat, the rings lie in the plane y = 0 at radius theta, where every collapse costs the same.
MeshInput SeamSphere(std::uint32_t rings, std::uint32_t segments, bool flat = false) {
  MeshInput m;
  m.payloadStride = 16;
  auto add = [&m, flat](float theta, float phi, float u) {
    const float r = flat ? theta : std::sin(theta);
    m.positions.push_back({r * std::cos(phi), flat ? 0 : std::cos(theta), r * std::sin(phi)});
    m.payload.resize(m.payload.size() + 16);
    std::memcpy(m.payload.data() + m.payload.size() - 16, m.positions.back().data(), 12);
    std::memcpy(m.payload.data() + m.payload.size() - 4, &u, 4);
  };
  const float pi = 3.14159265f;
  add(0, 0, 0.5f);
  for (std::uint32_t r = 1; r < rings; ++r)
    for (std::uint32_t s = 0; s <= segments; ++s)
      add(pi * r / rings, 2 * pi * (s % segments) / segments, float(s) / segments);
  const auto south = static_cast<std::uint32_t>(m.positions.size());
  add(pi, 0, 0.5f);
  auto at = [&](std::uint32_t r, std::uint32_t s) { return 1 + (r - 1) * (segments + 1) + s; };
  for (std::uint32_t s = 0; s < segments; ++s) {
    m.faces.insert(m.faces.end(),
                   {Face{0, at(1, s + 1), at(1, s)}, Face{south, at(rings - 1, s), at(rings - 1, s + 1)}});
    m.attributes.insert(m.attributes.end(), {0, 1});
  }
  for (std::uint32_t r = 1; r + 1 < rings; ++r) {
    for (std::uint32_t s = 0; s < segments; ++s) {
      const std::uint32_t a = at(r, s), b = at(r, s + 1), c = at(r + 1, s), d = at(r + 1, s + 1);
      m.faces.insert(m.faces.end(), {Face{a, b, d}, Face{a, d, c}});
      m.attributes.insert(m.attributes.end(), 2, 2 * r < rings ? 0u : 1u);
    }
  }
  return m;
}
float U(const MeshInput& m, std::uint32_t v) {
  float u;
  std::memcpy(&u, m.payload.data() + v * 16 + 12, 4);
  return u;
}

std::vector<std::uint32_t> Buffer(const ProgressiveMesh& pm) {
  std::vector<std::uint32_t> out(pm.GetMaxFaces() * 3);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = pm.Index(i);
  return out;
}

// What every level must be: each subset's active faces of its material, on active vertices that
// faces of that material use in the input, apart from the seam, not degenerate; exactly the
// active vertices used; for a closed mesh, every edge between places with a face on each side.
void CheckLevel(const ProgressiveMesh& pm, const MeshInput& in, bool closed) {
  SCOPED_TRACE("level " + std::to_string(pm.Level()));
  const std::vector<std::uint32_t> place = PointReps(pm.Positions(), 0.0f);
  std::vector<std::set<std::uint32_t>> materials(in.positions.size());  // by input vertex
  for (std::size_t f = 0; f < in.faces.size(); ++f)
    for (std::uint32_t v : in.faces[f]) materials[v].insert(in.attributes[f]);
  std::uint32_t faces = 0;
  std::vector<bool> used(pm.NumVertices(), false);
  std::vector<std::uint64_t> edges;
  for (const SubsetRange& s : pm.Subsets()) {
    faces += s.faceCount;
    ASSERT_TRUE(s.faceCount >= s.minFaces && s.faceCount <= s.maxFaces);
    for (std::uint32_t i = s.faceStart; i < s.faceStart + s.faceCount; ++i) {
      ASSERT_EQ(in.attributes[pm.FaceSource()[i]], s.attribute) << "face " << i << " in another material's range";
      float uMin = 1, uMax = 0;
      for (int k = 0; k < 3; ++k) {
        const std::uint32_t v = pm.Index(i * 3 + k), next = pm.Index(i * 3 + (k + 1) % 3);
        ASSERT_LT(v, pm.NumActiveVertices());
        ASSERT_TRUE(materials[pm.VertexSource()[v]].count(s.attribute)) << "face " << i << " crosses its boundary";
        ASSERT_NE(place[v], place[next]) << "degenerate face " << i;
        used[v] = true;
        edges.push_back(std::uint64_t{place[v]} << 32 | place[next]);
        uMin = std::min(uMin, U(in, pm.VertexSource()[v]));
        uMax = std::max(uMax, U(in, pm.VertexSource()[v]));
      }
      ASSERT_FALSE(uMin < 0.25f && uMax > 0.75f) << "face " << i << " spans the texture seam";
    }
  }
  ASSERT_EQ(faces, pm.GetNumFaces());
  ASSERT_EQ(std::count(used.begin(), used.end(), true), pm.NumActiveVertices());
  if (!closed) return;
  std::sort(edges.begin(), edges.end());
  ASSERT_EQ(std::adjacent_find(edges.begin(), edges.end()), edges.end()) << "an edge run twice one way";
  for (std::uint64_t e : edges)
    ASSERT_TRUE(std::binary_search(edges.begin(), edges.end(), e << 32 | e >> 32)) << "a crack";
}

// Every level from the minimum up, random jumps against a replay of the log from the maximum, and
// every reachable count asked for by itself and by one less. (Counts past either end, and the
// maximum's buffer again after the minimum, are the device's test in ../d3dx9mesh.)
void Exercise(ProgressiveMesh& pm, const MeshInput& in, bool closed) {
  const std::vector<std::uint32_t> maxBuffer = Buffer(pm);
  const auto levels = pm.LevelFaces();
  ASSERT_TRUE(std::is_sorted(levels.rbegin(), levels.rend()) &&
              std::adjacent_find(levels.begin(), levels.end()) == levels.end());
  for (std::size_t level = pm.NumCollapses() + 1; level-- > 0;) {
    pm.SetLevel(level);
    ASSERT_NO_FATAL_FAILURE(CheckLevel(pm, in, closed));
  }
  std::mt19937 random(7);
  for (int jump = 0; jump < 40; ++jump) {
    pm.SetLevel(random() % (pm.NumCollapses() + 1));
    std::vector<std::uint32_t> replay = maxBuffer;
    for (std::size_t c = 0; c < pm.Level(); ++c) {
      const CollapseRecord& r = pm.Collapses()[c];
      for (const IndexRewrite& w : pm.Rewrites().subspan(r.rewriteStart, r.rewriteCount)) {
        ASSERT_EQ(replay[w.slot], w.fine) << "collapse " << c << " finds another value in its slot";
        replay[w.slot] = w.coarse;
      }
    }
    ASSERT_EQ(Buffer(pm), replay) << "jump " << jump;
  }
  for (std::size_t k = 0; k < levels.size(); ++k) {
    pm.SetNumFaces(levels[k]);
    ASSERT_EQ(pm.Level(), k) << levels[k] << " faces";
    pm.SetNumFaces(levels[k] - 1);
    ASSERT_EQ(pm.Level(), std::min(k + 1, levels.size() - 1)) << levels[k] - 1 << " faces";
    pm.SetNumVertices(pm.LevelVertices()[k]);
    ASSERT_EQ(pm.Level(), k) << pm.LevelVertices()[k] << " vertices";
  }
}

TEST(ProgressiveMesh, TwoMaterialSphereKeepsMaterialsAndSeamAtEveryLevel) {
  const MeshInput sphere = SeamSphere(8, 12);
  ProgressiveMesh pm = Build(sphere, 101);
  // Each collapse of a closed surface removes two faces: 101 cannot be reached, 102 is.
  EXPECT_EQ(pm.GetMaxFaces(), 168u);
  EXPECT_EQ(pm.GetMinFaces(), 102u);
  EXPECT_GT(pm.Stats().featureEdges, 0u);
  EXPECT_FALSE(pm.Uses32BitIndices());
  ASSERT_EQ(pm.Subsets().size(), 2u);
  for (std::size_t v = 0; v < pm.NumVertices(); ++v)  // the payload went with its vertex
    ASSERT_EQ(std::memcmp(pm.Payload().data() + v * 16, sphere.payload.data() + pm.VertexSource()[v] * 16, 16), 0);
  Exercise(pm, sphere, true);
  pm.SetNumFaces(0);
  pm.SetNumFaces(pm.GetMaxFaces());  // back from the minimum, every subset draws all its faces again
  for (const SubsetRange& s : pm.Subsets()) EXPECT_EQ(s.faceCount, s.maxFaces);
}

// Flat and without its south cap the sphere is a disc whose border never moves; a fin on an edge
// inside gives a third face there, which OpenMesh refuses: it stays at every level.
TEST(ProgressiveMesh, BorderAndRefusedFacesStayAtEveryLevel) {
  MeshInput open = SeamSphere(8, 12, true);
  for (std::size_t f = open.faces.size(); f-- > 0;)
    if (f % 2 == 1 && f < 24)
      open.faces.erase(open.faces.begin() + f), open.attributes.erase(open.attributes.begin() + f);
  const Face inner = open.faces[40];
  open.positions.push_back({0, 1, 0});
  open.payload.resize(open.payload.size() + 16);
  open.faces.push_back({inner[0], inner[2], static_cast<std::uint32_t>(open.positions.size() - 1)});
  open.attributes.push_back(0);
  ProgressiveMesh pm = Build(open, 0);
  EXPECT_EQ(pm.Stats().keptFaces, 1u);
  ASSERT_GT(pm.NumCollapses(), 20u);
  Exercise(pm, open, false);
  pm.SetNumFaces(0);
  std::set<std::uint32_t> border, fin;
  for (const SubsetRange& s : pm.Subsets()) {
    for (std::uint32_t i = s.faceStart; i < s.faceStart + s.faceCount; ++i) {
      if (pm.FaceSource()[i] == open.faces.size() - 1) fin.insert(i);
      for (int k = 0; k < 3; ++k)
        if (std::hypot(pm.Positions()[pm.Index(i * 3 + k)][0], pm.Positions()[pm.Index(i * 3 + k)][2]) > 2.6f)
          border.insert(pm.VertexSource()[pm.Index(i * 3 + k)]);
    }
  }
  EXPECT_EQ(border.size(), 13u);  // the outer ring, its seam copy included
  EXPECT_EQ(fin.size(), 1u);
}

}  // namespace
}  // namespace zr::d3dx9::pmesh
