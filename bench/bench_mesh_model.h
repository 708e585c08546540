// The model the mesh benchmarks share: a bumpy sphere in two materials with a texture seam, as the
// pmesh library takes it (32-byte vertices: position, normal, uv).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "pmesh.h"

namespace zr::bench {

using zr::d3dx9::pmesh::MeshInput;

struct Vertex {
  float position[3], normal[3], uv[2];
};

// Rings of segments + 1 vertices (the first and last one place, u 0 and 1), single poles; the
// upper half is material 0, the lower 1. 2 * segments * (rings - 1) triangles.
inline MeshInput Model(std::uint32_t triangles) {
  const auto bands = static_cast<std::uint32_t>(std::lround(std::sqrt(triangles / 5.0)));
  const std::uint32_t rings = bands + 1, segments = triangles / (2 * bands);
  const float pi = 3.14159265358979f;
  MeshInput m;
  m.payloadStride = sizeof(Vertex);
  auto add = [&](float theta, float phi, float u, float v) {
    const float r = 1.0f + 0.04f * std::sin(9.0f * theta) * std::cos(7.0f * phi);
    const float n[3] = {std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
    Vertex vx{{r * n[0], r * n[1], r * n[2]}, {n[0], n[1], n[2]}, {u, v}};
    m.positions.push_back({vx.position[0], vx.position[1], vx.position[2]});
    const auto* bytes = reinterpret_cast<const std::byte*>(&vx);
    m.payload.insert(m.payload.end(), bytes, bytes + sizeof vx);
  };
  add(0.0f, 0.0f, 0.5f, 0.0f);
  for (std::uint32_t r = 1; r < rings; ++r) {
    for (std::uint32_t s = 0; s <= segments; ++s) {
      // The seam's second copy takes the first one's angle so the positions are identical.
      add(pi * float(r) / float(rings), 2.0f * pi * float(s % segments) / float(segments),
          float(s) / float(segments), float(r) / float(rings));
    }
  }
  const auto south = static_cast<std::uint32_t>(m.positions.size());
  add(pi, 0.0f, 0.5f, 1.0f);
  auto at = [&](std::uint32_t r, std::uint32_t s) { return 1 + (r - 1) * (segments + 1) + s; };
  for (std::uint32_t s = 0; s < segments; ++s) {
    m.faces.push_back({0, at(1, s + 1), at(1, s)});
    m.faces.push_back({south, at(rings - 1, s), at(rings - 1, s + 1)});
    m.attributes.insert(m.attributes.end(), {0, 1});
  }
  for (std::uint32_t r = 1; r + 1 < rings; ++r) {
    for (std::uint32_t s = 0; s < segments; ++s) {
      const std::uint32_t a = at(r, s), b = at(r, s + 1), c = at(r + 1, s), d = at(r + 1, s + 1);
      m.faces.push_back({a, b, d});
      m.faces.push_back({a, d, c});
      m.attributes.insert(m.attributes.end(), 2, 2 * r < rings ? 0u : 1u);
    }
  }
  return m;
}

}  // namespace zr::bench
