// Face adjacency of a mesh, as GenerateAdjacency gives it: vertices welded by index or position,
// then each face's edges matched with the same edge of other faces.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <unordered_map>

#include "xfile.h"

namespace zr::d3dx9::xfile {
namespace {

constexpr std::uint32_t kNoFace = 0xFFFFFFFFu;

struct PositionKey {
  std::uint32_t bits[3];
  bool operator==(const PositionKey&) const = default;
};
struct PositionKeyHash {
  std::size_t operator()(const PositionKey& k) const {
    std::uint64_t h = k.bits[0];
    h = h * 0x9E3779B97F4A7C15ull + k.bits[1];
    h = h * 0x9E3779B97F4A7C15ull + k.bits[2];
    return static_cast<std::size_t>(h ^ (h >> 31));
  }
};

bool HasNan(const std::array<float, 3>& p) { return std::isnan(p[0]) || std::isnan(p[1]) || std::isnan(p[2]); }

// The vertex that stands for each vertex: the first with an identical position.
std::vector<std::uint32_t> WeldExact(const std::vector<Vertex>& vertices) {
  std::vector<std::uint32_t> rep(vertices.size());
  std::unordered_map<PositionKey, std::uint32_t, PositionKeyHash> first;
  first.reserve(vertices.size());
  for (std::uint32_t i = 0; i < vertices.size(); ++i) {
    const auto& p = vertices[i].position;
    if (HasNan(p)) {
      rep[i] = i;
      continue;
    }
    PositionKey key;
    for (int c = 0; c < 3; ++c) {
      float v = p[c] + 0.0f;  // -0 becomes 0
      std::memcpy(&key.bits[c], &v, 4);
    }
    rep[i] = first.emplace(key, i).first->second;
  }
  return rep;
}

std::uint32_t Find(std::vector<std::uint32_t>& parent, std::uint32_t i) {
  while (parent[i] != i) {
    parent[i] = parent[parent[i]];
    i = parent[i];
  }
  return i;
}

// Vertices within `epsilon` on every axis joined, and joined transitively: a sweep along x.
std::vector<std::uint32_t> WeldNear(const std::vector<Vertex>& vertices, float epsilon) {
  std::vector<std::uint32_t> parent(vertices.size());
  std::iota(parent.begin(), parent.end(), 0u);
  std::vector<std::uint32_t> order;
  order.reserve(vertices.size());
  for (std::uint32_t i = 0; i < vertices.size(); ++i) {
    if (!HasNan(vertices[i].position)) order.push_back(i);
  }
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    float xa = vertices[a].position[0], xb = vertices[b].position[0];
    return xa < xb || (xa == xb && a < b);
  });
  for (std::size_t i = 0; i < order.size(); ++i) {
    const auto& p = vertices[order[i]].position;
    for (std::size_t j = i + 1; j < order.size(); ++j) {
      const auto& q = vertices[order[j]].position;
      if (!(q[0] - p[0] <= epsilon)) break;
      if (std::fabs(q[1] - p[1]) <= epsilon && std::fabs(q[2] - p[2]) <= epsilon) {
        std::uint32_t a = Find(parent, order[i]), b = Find(parent, order[j]);
        if (a != b) parent[std::max(a, b)] = std::min(a, b);
      }
    }
  }
  for (std::uint32_t i = 0; i < parent.size(); ++i) parent[i] = Find(parent, i);
  return parent;
}

struct EdgeUse {
  std::uint64_t key;   // the two ends, smaller first
  std::uint32_t slot;  // face * 3 + edge
  bool forward;        // runs from the smaller end to the larger
};

}  // namespace

std::vector<std::uint32_t> ComputeAdjacency(const Mesh& mesh, float epsilon) {
  const std::size_t faceCount = mesh.faces.size();
  std::vector<std::uint32_t> rep = epsilon > 0 ? WeldNear(mesh.vertices, epsilon) : WeldExact(mesh.vertices);
  auto represent = [&rep](std::uint32_t index) -> std::uint64_t { return index < rep.size() ? rep[index] : index; };

  std::vector<EdgeUse> uses;
  uses.reserve(faceCount * 3);
  for (std::size_t f = 0; f < faceCount; ++f) {
    for (int e = 0; e < 3; ++e) {
      std::uint64_t a = represent(mesh.faces[f][e]), b = represent(mesh.faces[f][(e + 1) % 3]);
      if (a == b) continue;
      uses.push_back(EdgeUse{(std::min(a, b) << 32) | std::max(a, b), static_cast<std::uint32_t>(f * 3 + e), a < b});
    }
  }
  std::sort(uses.begin(), uses.end(),
            [](const EdgeUse& x, const EdgeUse& y) { return x.key < y.key || (x.key == y.key && x.slot < y.slot); });

  std::vector<std::uint32_t> adjacency(faceCount * 3, kNoFace);
  auto pair = [&adjacency](std::uint32_t s, std::uint32_t t) {
    if (s / 3 == t / 3) return;
    adjacency[s] = t / 3;
    adjacency[t] = s / 3;
  };
  std::vector<std::uint32_t> forward, backward;
  for (std::size_t begin = 0; begin < uses.size();) {
    std::size_t end = begin + 1;
    while (end < uses.size() && uses[end].key == uses[begin].key) ++end;
    if (end - begin == 2) {
      pair(uses[begin].slot, uses[begin + 1].slot);
    } else if (end - begin > 2) {
      forward.clear();
      backward.clear();
      for (std::size_t i = begin; i < end; ++i) (uses[i].forward ? forward : backward).push_back(uses[i].slot);
      for (std::size_t k = 0; k < std::min(forward.size(), backward.size()); ++k) pair(forward[k], backward[k]);
    }
    begin = end;
  }
  return adjacency;
}

}  // namespace zr::d3dx9::xfile
