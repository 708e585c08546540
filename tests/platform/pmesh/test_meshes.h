#pragma once
// Meshes made for the tests: a subdivided icosahedron (closed), a height-field grid (open), a
// latitude-longitude sphere with two materials and a texture seam, and a box whose sides have
// vertices of their own (a normal seam along every edge).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "pmesh.h"

namespace zr::d3dx9::pmesh::testing {

inline MeshInput Icosphere(int subdivisions) {
  const float t = (1.0f + std::sqrt(5.0f)) / 2.0f;
  MeshInput m;
  m.positions = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
                 {0, -1, -t}, {0, 1, -t}, {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
  m.faces = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
             {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
             {3, 8, 9},  {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
  auto normalise = [](Float3 p) {
    const float l = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    return Float3{p[0] / l, p[1] / l, p[2] / l};
  };
  for (Float3& p : m.positions) p = normalise(p);
  for (int s = 0; s < subdivisions; ++s) {
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> middle;
    auto mid = [&](std::uint32_t a, std::uint32_t b) {
      const auto key = std::minmax(a, b);
      auto [it, added] = middle.try_emplace({key.first, key.second}, 0u);
      if (added) {
        const Float3 &p = m.positions[a], &q = m.positions[b];
        it->second = static_cast<std::uint32_t>(m.positions.size());
        m.positions.push_back(normalise({p[0] + q[0], p[1] + q[1], p[2] + q[2]}));
      }
      return it->second;
    };
    std::vector<Face> faces;
    for (const Face& f : m.faces) {
      const std::uint32_t a = mid(f[0], f[1]), b = mid(f[1], f[2]), c = mid(f[2], f[0]);
      faces.insert(faces.end(), {Face{f[0], a, c}, Face{f[1], b, a}, Face{f[2], c, b}, Face{a, b, c}});
    }
    m.faces = std::move(faces);
  }
  return m;
}

// n x n quads over [0, 1]^2 with a gentle bump.
inline MeshInput Grid(std::uint32_t n) {
  MeshInput m;
  for (std::uint32_t y = 0; y <= n; ++y) {
    for (std::uint32_t x = 0; x <= n; ++x) {
      const float u = float(x) / float(n), v = float(y) / float(n);
      m.positions.push_back({u, v, 0.2f * std::sin(3.0f * u) * std::cos(2.0f * v)});
    }
  }
  for (std::uint32_t y = 0; y < n; ++y) {
    for (std::uint32_t x = 0; x < n; ++x) {
      const std::uint32_t a = y * (n + 1) + x, b = a + 1, c = a + n + 1, d = c + 1;
      m.faces.push_back({a, b, d});
      m.faces.push_back({a, d, c});
    }
  }
  return m;
}

// Payload of the textured meshes: position then uv, 5 floats.
struct TexturedVertex {
  float x, y, z, u, v;
};
inline void AddVertex(MeshInput& m, Float3 p, float u, float v) {
  m.positions.push_back(p);
  const TexturedVertex tv{p[0], p[1], p[2], u, v};
  const auto* bytes = reinterpret_cast<const std::byte*>(&tv);
  m.payload.insert(m.payload.end(), bytes, bytes + sizeof tv);
}
inline float U(const MeshInput& m, std::uint32_t v) {
  TexturedVertex tv;
  std::memcpy(&tv, m.payload.data() + v * sizeof tv, sizeof tv);
  return tv.u;
}

// Rings of `segments + 1` vertices (the first and last at one place with u 0 and 1: the seam),
// single poles; material 0 above the equator, 1 below.
inline MeshInput SeamSphere(std::uint32_t rings, std::uint32_t segments) {
  MeshInput m;
  m.payloadStride = sizeof(TexturedVertex);
  const float pi = 3.14159265358979f;
  AddVertex(m, {0, 1, 0}, 0.5f, 0.0f);
  for (std::uint32_t r = 1; r < rings; ++r) {
    const float theta = pi * float(r) / float(rings);
    Float3 first{};
    for (std::uint32_t s = 0; s <= segments; ++s) {
      const float phi = 2.0f * pi * float(s) / float(segments);
      Float3 p{std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
      if (s == 0) first = p;
      if (s == segments) p = first;  // the seam's copies share the position exactly
      AddVertex(m, p, float(s) / float(segments), float(r) / float(rings));
    }
  }
  const auto south = static_cast<std::uint32_t>(m.positions.size());
  AddVertex(m, {0, -1, 0}, 0.5f, 1.0f);
  auto ring = [&](std::uint32_t r, std::uint32_t s) { return 1 + (r - 1) * (segments + 1) + s; };
  for (std::uint32_t s = 0; s < segments; ++s) {
    m.faces.push_back({0, ring(1, s + 1), ring(1, s)});
    m.attributes.push_back(0);
    m.faces.push_back({south, ring(rings - 1, s), ring(rings - 1, s + 1)});
    m.attributes.push_back(1);
  }
  for (std::uint32_t r = 1; r + 1 < rings; ++r) {
    for (std::uint32_t s = 0; s < segments; ++s) {
      const std::uint32_t a = ring(r, s), b = ring(r, s + 1), c = ring(r + 1, s), d = ring(r + 1, s + 1);
      const std::uint32_t material = 2 * r < rings ? 0 : 1;
      m.faces.push_back({a, b, d});
      m.faces.push_back({a, d, c});
      m.attributes.insert(m.attributes.end(), {material, material});
    }
  }
  return m;
}

// A unit box of six n x n sides, each with its own vertices; sides facing +x, +y, +z are
// material 0, the others 1.
inline MeshInput SplitBox(std::uint32_t n) {
  MeshInput m;
  m.payloadStride = sizeof(TexturedVertex);
  for (int axis = 0; axis < 3; ++axis) {
    for (int sign : {1, -1}) {
      const auto base = static_cast<std::uint32_t>(m.positions.size());
      const int u = (axis + 1) % 3, w = (axis + 2) % 3;
      for (std::uint32_t j = 0; j <= n; ++j) {
        for (std::uint32_t i = 0; i <= n; ++i) {
          Float3 p{};
          p[axis] = 0.5f * float(sign);
          p[u] = float(i) / float(n) - 0.5f;
          p[w] = float(j) / float(n) - 0.5f;
          AddVertex(m, p, float(i) / float(n), float(j) / float(n));
        }
      }
      for (std::uint32_t j = 0; j < n; ++j) {
        for (std::uint32_t i = 0; i < n; ++i) {
          const std::uint32_t a = base + j * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
          if (sign > 0) m.faces.insert(m.faces.end(), {Face{a, b, d}, Face{a, d, c}});
          else m.faces.insert(m.faces.end(), {Face{a, d, b}, Face{a, c, d}});
          m.attributes.insert(m.attributes.end(), 2, sign > 0 ? 0u : 1u);
        }
      }
    }
  }
  return m;
}

}  // namespace zr::d3dx9::pmesh::testing
