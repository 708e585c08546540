#pragma once
// Helpers shared by the utilities and the progressive-mesh build.
#include <cstdint>
#include <numeric>
#include <span>
#include <vector>

#include "pmesh.h"

namespace zr::d3dx9::pmesh::detail {

// Union-find whose roots are the lowest member.
class DisjointSets {
 public:
  explicit DisjointSets(std::size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), 0u); }
  std::uint32_t Find(std::uint32_t x) noexcept {
    while (parent_[x] != x) {
      parent_[x] = parent_[parent_[x]];
      x = parent_[x];
    }
    return x;
  }
  void Unite(std::uint32_t a, std::uint32_t b) noexcept {
    a = Find(a);
    b = Find(b);
    if (a < b) parent_[b] = a;
    else if (b < a) parent_[a] = b;
  }

 private:
  std::vector<std::uint32_t> parent_;
};

// Throws std::invalid_argument when a face names a vertex past vertexCount.
void CheckFaces(std::span<const Face> faces, std::size_t vertexCount);

// The edge of `other` whose neighbour is `face` (the one joining the same points when several
// are), or kNone: the link is one-sided.
std::uint32_t BackEdge(std::span<const Face> faces, std::span<const std::uint32_t> adjacency,
                       std::span<const Float3> positions, std::uint32_t face, std::uint32_t edge,
                       std::uint32_t other);

// For each vertex, the lowest vertex it is joined to: the same place of one surface, reached
// through the corners of mutually adjacent faces (a seam's copies join; two surfaces that only
// touch do not).
std::vector<std::uint32_t> WeldByAdjacency(std::span<const Face> faces,
                                           std::span<const std::uint32_t> adjacency,
                                           std::span<const Float3> positions);

// The mesh's seam keys, or keys from its payload bytes, or each vertex its own.
std::vector<std::uint32_t> ResolveSeamKeys(const MeshInput& mesh);

// CSR lists of the faces around each vertex.
struct VertexFaces {
  std::vector<std::uint32_t> start;  // vertexCount + 1
  std::vector<std::uint32_t> faces;
};
VertexFaces FacesAroundVertices(std::span<const Face> faces, std::size_t vertexCount);

// Groups the faces around `vertex` into fans joined across adjacent edges that keep the vertex;
// returns the number of fans and writes each listed face's fan (0-based, by first face) to fanOf.
std::uint32_t FansAround(std::span<const Face> faces, std::span<const std::uint32_t> adjacency,
                         std::uint32_t vertex, std::span<const std::uint32_t> around,
                         std::vector<std::uint32_t>& fanOf);

}  // namespace zr::d3dx9::pmesh::detail
