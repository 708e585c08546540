// Assimp as an oracle on good files: it reads the same scene in every encoding, and what it gives
// must match the reader's mesh as multisets (Assimp splits meshes per material, gives each face
// corner its own vertex and triangulates in its own way), once it is asked to keep the file's
// left-handed coordinates. Compressed files are cut into two blocks: Assimp 5.2 fails on more
// (real files have blocks of 32 KiB, which this scene does not fill).
#include <assimp/cimport.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "xfile.h"
#include "xfile_writer.h"

namespace zr::test::xfile {
namespace {

using namespace zr::d3dx9::xfile;

// A position (and normal), rounded so that float noise from different arithmetic disappears.
using Key = std::array<long, 6>;
long Round(float v) { return std::lround(v * 1000.0f); }
Key MakeKey(const float* p, const float* n) {
  return {Round(p[0]), Round(p[1]), Round(p[2]), n ? Round(n[0]) : 0, n ? Round(n[1]) : 0, n ? Round(n[2]) : 0};
}

double Area(const float* a, const float* b, const float* c) {
  double u[3], v[3];
  for (int i = 0; i < 3; ++i) {
    u[i] = b[i] - a[i];
    v[i] = c[i] - a[i];
  }
  double x = u[1] * v[2] - u[2] * v[1], y = u[2] * v[0] - u[0] * v[2], z = u[0] * v[1] - u[1] * v[0];
  return std::sqrt(x * x + y * y + z * z) / 2;
}

struct Summary {
  std::size_t triangles = 0;
  double area = 0;                      // of all triangles: the same for either diagonal of a flat quad
  std::set<Key> positions;              // distinct positions
  std::set<Key> positionsWithNormals;   // distinct (position, normal) pairs
};

Summary Ours(const Mesh& mesh) {
  Summary s;
  s.triangles = mesh.faces.size();
  for (const auto& f : mesh.faces) {
    s.area += Area(mesh.vertices[f[0]].position.data(), mesh.vertices[f[1]].position.data(),
                   mesh.vertices[f[2]].position.data());
  }
  for (const Vertex& v : mesh.vertices) {
    s.positions.insert(MakeKey(v.position.data(), nullptr));
    s.positionsWithNormals.insert(MakeKey(v.position.data(), v.normal.data()));
  }
  return s;
}

Summary Theirs(const aiScene* scene) {
  Summary s;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh* mesh = scene->mMeshes[m];
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
      const aiFace& face = mesh->mFaces[f];
      EXPECT_EQ(face.mNumIndices, 3u);
      ++s.triangles;
      s.area += Area(&mesh->mVertices[face.mIndices[0]].x, &mesh->mVertices[face.mIndices[1]].x,
                     &mesh->mVertices[face.mIndices[2]].x);
    }
    for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
      static const float kZero[3] = {0, 0, 0};
      const float* normal = mesh->mNormals ? &mesh->mNormals[v].x : kZero;
      s.positions.insert(MakeKey(&mesh->mVertices[v].x, nullptr));
      s.positionsWithNormals.insert(MakeKey(&mesh->mVertices[v].x, normal));
    }
  }
  return s;
}

TEST(XFileAssimpOracle, TheSceneMatchesInEveryEncoding) {
  for (Format format : kAllFormats) {
    for (bool doubles : {false, true}) {
      SCOPED_TRACE(std::string(FormatName(format)) + (doubles ? " 0064" : " 0032"));
      std::size_t plain = SceneFile(IsBinary(format) ? Format::kBinary : Format::kText, doubles).size() - 16;
      std::string file = SceneFile(format, doubles, (plain + 1) / 2, true);
      Mesh mesh;
      ASSERT_EQ(ReadMeshMemory(file.data(), file.size(), &mesh), S_OK);
      const aiScene* scene = aiImportFileFromMemory(file.data(), static_cast<unsigned>(file.size()),
                                                    aiProcess_Triangulate | aiProcess_PreTransformVertices | aiProcess_MakeLeftHanded, "x");
      ASSERT_NE(scene, nullptr) << aiGetErrorString();
      Summary ours = Ours(mesh), theirs = Theirs(scene);
      aiReleaseImport(scene);
      EXPECT_EQ(ours.triangles, theirs.triangles);
      EXPECT_NEAR(ours.area, theirs.area, 1e-4);
      EXPECT_EQ(ours.positions, theirs.positions);
      // The meshes with normals: each (position, normal) pair once in ours, as vertices in theirs.
      EXPECT_EQ(ours.positionsWithNormals, theirs.positionsWithNormals);
    }
  }
}

}  // namespace
}  // namespace zr::test::xfile
