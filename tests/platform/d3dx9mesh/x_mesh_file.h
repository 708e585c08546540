// .X files of whole meshes for the mesh tests and benchmarks: positions, optional normals and
// texture coordinates, faces and a material list with textures, in any encoding (the .X reader's
// test writer does the tokens).
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "xfile_writer.h"

namespace zr::test::xfile {

struct XMaterial {
  double r = 1, g = 1, b = 1, a = 1;
  double power = 0;
  std::string texture;  // empty: none
};

struct XMesh {
  std::vector<double> positions;  // 3 per vertex
  std::vector<double> normals;    // 3 per vertex, or empty
  std::vector<double> uvs;        // 2 per vertex, or empty
  std::vector<std::uint32_t> faces;       // 3 per triangle
  std::vector<std::uint32_t> attributes;  // 1 per triangle, or empty (no material list)
  std::vector<XMaterial> materials;
  std::size_t Vertices() const { return positions.size() / 3; }
  std::size_t Triangles() const { return faces.size() / 3; }
};

inline std::string XMeshFile(const XMesh& m, Format format) {
  XWriter w(IsBinary(format));
  using Shape = XWriter::Shape;
  std::vector<std::uint32_t> faceList;  // MeshFace: 3, then the corners
  faceList.reserve(m.faces.size() / 3 * 4);
  for (std::size_t f = 0; f < m.faces.size(); f += 3) faceList.insert(faceList.end(), {3, m.faces[f], m.faces[f + 1], m.faces[f + 2]});
  const auto vertices = static_cast<std::uint32_t>(m.Vertices()), triangles = static_cast<std::uint32_t>(m.Triangles());
  w.Begin("Mesh", "Model");
  w.Ints({vertices});
  w.Floats(m.positions, Shape::kArray, 3);
  w.Ints({triangles});
  w.Ints(faceList, Shape::kFaces);
  if (!m.normals.empty()) {
    w.Begin("MeshNormals");
    w.Ints({vertices});
    w.Floats(m.normals, Shape::kArray, 3);
    w.Ints({triangles});
    w.Ints(faceList, Shape::kFaces);
    w.End();
  }
  if (!m.uvs.empty()) {
    w.Begin("MeshTextureCoords");
    w.Ints({vertices});
    w.Floats(m.uvs, Shape::kArray, 2);
    w.End();
  }
  if (!m.attributes.empty()) {
    w.Begin("MeshMaterialList");
    w.Ints({static_cast<std::uint32_t>(m.materials.size()), triangles});
    w.Ints(m.attributes, Shape::kArray);
    for (const XMaterial& x : m.materials) {
      w.Begin("Material");  // faceColor, power, specular, emissive
      w.Floats({x.r, x.g, x.b, x.a});
      w.TextOnly(";");
      w.Floats({x.power});
      w.Floats({0, 0, 0});
      w.TextOnly(";");
      w.Floats({0, 0, 0});
      w.TextOnly(";\n");
      if (!x.texture.empty()) {
        w.Begin("TextureFilename");
        w.String(x.texture);
        w.End();
      }
      w.End();
    }
    w.End();
  }
  w.End();
  return MakeFile(format, w.body());
}

// A unit sphere of `rings` bands and `segments` slices (2 x segments x (rings - 1) triangles),
// clockwise seen from outside; a texture seam where u wraps from 1 to 0; material 0 above the
// equator, 1 below.
inline XMesh Sphere(std::uint32_t rings, std::uint32_t segments) {
  XMesh m;
  const double pi = 3.14159265358979;
  auto add = [&](double theta, double phi, double u, double v) {
    const double n[3] = {std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
    m.positions.insert(m.positions.end(), {n[0], n[1], n[2]});
    m.normals.insert(m.normals.end(), {n[0], n[1], n[2]});
    m.uvs.insert(m.uvs.end(), {u, v});
  };
  add(0, 0, 0.5, 0);
  for (std::uint32_t r = 1; r < rings; ++r)
    for (std::uint32_t s = 0; s <= segments; ++s)
      add(pi * r / rings, 2 * pi * (s % segments) / segments, double(s) / segments, double(r) / rings);
  const auto south = static_cast<std::uint32_t>(m.Vertices());
  add(pi, 0, 0.5, 1);
  auto at = [&](std::uint32_t r, std::uint32_t s) { return 1 + (r - 1) * (segments + 1) + s; };
  auto face = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t material) {
    m.faces.insert(m.faces.end(), {a, b, c});
    m.attributes.push_back(material);
  };
  for (std::uint32_t s = 0; s < segments; ++s) {
    face(0, at(1, s + 1), at(1, s), 0);
    face(south, at(rings - 1, s), at(rings - 1, s + 1), 1);
  }
  for (std::uint32_t r = 1; r + 1 < rings; ++r) {
    for (std::uint32_t s = 0; s < segments; ++s) {
      const std::uint32_t a = at(r, s), b = at(r, s + 1), c = at(r + 1, s), d = at(r + 1, s + 1);
      const std::uint32_t material = 2 * r < rings ? 0 : 1;
      face(a, b, d, material);
      face(a, d, c, material);
    }
  }
  m.materials = {{0.8, 0.3, 0.2, 1, 10, "upper.png"}, {0.2, 0.4, 0.9, 1, 10, ""}};
  return m;
}

}  // namespace zr::test::xfile
