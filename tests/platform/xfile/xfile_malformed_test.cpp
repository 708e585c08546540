// The .X reader on bad files: every truncation and byte flip of small files, headers, indices out
// of range, lying counts and sizes. Each must fail cleanly with its code or read a sound mesh.
#include <gtest/gtest.h>

#include <string>

#include "xfile.h"
#include "xfile_errors.h"
#include "xfile_writer.h"

namespace zr::test::xfile {
namespace {

using namespace zr::d3dx9::xfile;

HRESULT ReadResult(const std::string& file, Mesh* mesh = nullptr) {
  Mesh local;
  return ReadMeshMemory(file.data(), file.size(), mesh ? mesh : &local);
}

// What any mesh the reader returns must satisfy.
void ExpectSound(const Mesh& mesh) {
  ASSERT_EQ(mesh.attributes.size(), mesh.faces.size());
  for (const auto& f : mesh.faces) {
    for (std::uint32_t i : f) ASSERT_LT(i, mesh.vertices.size());
  }
  for (std::uint32_t a : mesh.attributes) ASSERT_TRUE(mesh.materials.empty() ? a == 0 : a < mesh.materials.size());
}

TEST(XFileMalformed, EveryTruncationFailsOrReadsTheWholeScene) {
  for (Format format : kAllFormats) {
    SCOPED_TRACE(FormatName(format));
    std::string file = SceneFile(format, false, 200);
    Mesh whole;
    ASSERT_EQ(ReadResult(file, &whole), S_OK);
    int successes = 0;
    for (std::size_t n = 0; n < file.size(); ++n) {
      Mesh mesh;
      if (FAILED(ReadResult(file.substr(0, n), &mesh))) continue;
      // A cut between two top-level objects leaves a whole file: the meshes before the cut.
      ++successes;
      ExpectSound(mesh);
      ASSERT_LE(mesh.faces.size(), whole.faces.size());
      for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
        for (int c = 0; c < 3; ++c) {
          EXPECT_EQ(mesh.vertices[mesh.faces[f][c]].position, whole.vertices[whole.faces[f][c]].position) << n;
        }
      }
    }
    EXPECT_LE(successes, 3);
  }
}

TEST(XFileMalformed, EveryByteFlipFailsCleanlyOrReadsASoundMesh) {
  for (Format format : kAllFormats) {
    SCOPED_TRACE(FormatName(format));
    std::string file = SceneFile(format, false, 300);
    for (std::size_t at = 0; at < file.size(); ++at) {
      for (unsigned char mask : {0x01, 0x80, 0xFF}) {
        std::string bad = file;
        bad[at] = static_cast<char>(bad[at] ^ mask);
        Mesh mesh;
        if (SUCCEEDED(ReadResult(bad, &mesh))) ExpectSound(mesh);
      }
    }
  }
}

TEST(XFileMalformed, HeadersAreChecked) {
  std::string body = "Mesh{3;0;0;0;1;0;0;0;1;0;;1;3;0,1,2;;}";
  EXPECT_EQ(ReadResult("xof 0303txt 0032" + body), S_OK);
  EXPECT_EQ(ReadResult("xof 0303txt 003"), DXFILEERR_BADFILETYPE);
  EXPECT_EQ(ReadResult("xog 0303txt 0032" + body), DXFILEERR_BADFILETYPE);
  EXPECT_EQ(ReadResult("xof 0304txt 0032" + body), DXFILEERR_BADFILEVERSION);
  EXPECT_EQ(ReadResult("xof 0303zip 0032" + body), DXFILEERR_BADFILECOMPRESSIONTYPE);
  EXPECT_EQ(ReadResult("xof 0303txt 0016" + body), DXFILEERR_BADFILEFLOATSIZE);
  EXPECT_EQ(ReadResult("xof 0303txt 0032"), DXFILEERR_NOTFOUND);
  EXPECT_EQ(ReadResult("xof 0303txt 0032 Frame{}"), DXFILEERR_NOTFOUND);
  EXPECT_EQ(ReadResult("xof 0303txt 0032" + body + "}"), DXFILEERR_PARSEERROR);
  Mesh mesh;
  EXPECT_EQ(ReadMeshMemory("x", 1, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(ReadMeshMemory(nullptr, 0, &mesh), DXFILEERR_BADFILE);
}

// Text and binary variants of one mesh whose parts the caller can spoil.
struct Parts {
  std::vector<std::uint32_t> faces = {2, 3, 0, 1, 2, 3, 2, 3, 0};
  std::vector<std::uint32_t> faceNormals = {2, 3, 0, 0, 0, 3, 0, 0, 0};
  std::vector<std::uint32_t> materials = {1, 2, 0, 0};
  std::vector<std::uint32_t> colors = {1, 3};
  std::uint32_t uvCount = 4;
};

std::string Build(Format format, const Parts& p) {
  XWriter w(IsBinary(format));
  w.Begin("Mesh");
  w.Ints({4});
  w.Floats({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
  w.Ints(p.faces);
  w.Begin("MeshNormals");
  w.Ints({1});
  w.Floats({0, 0, 1});
  w.Ints(p.faceNormals);
  w.End();
  w.Begin("MeshTextureCoords");
  w.Ints({p.uvCount});
  w.Floats({0, 0, 1, 0, 1, 1, 0, 1});
  w.End();
  w.Begin("MeshVertexColors");
  w.Ints(p.colors);
  w.Floats({1, 1, 1, 1});
  w.End();
  w.Begin("MeshMaterialList");
  w.Ints(p.materials);
  w.Begin("Material");
  w.Floats({1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0});
  w.End();
  w.End();
  w.End();
  return MakeFile(format, w.body());
}

TEST(XFileMalformed, IndicesAndListsOutOfRangeAreInvalidData) {
  for (Format format : kAllFormats) {
    SCOPED_TRACE(FormatName(format));
    Parts good;
    EXPECT_EQ(ReadResult(Build(format, good)), S_OK);
    auto expectInvalid = [&](auto spoil) {
      Parts p;
      spoil(p);
      EXPECT_EQ(ReadResult(Build(format, p)), D3DXERR_INVALIDDATA);
    };
    expectInvalid([](Parts& p) { p.faces[8] = 4; });         // a vertex past the 4
    expectInvalid([](Parts& p) { p.faces = {2, 3, 0, 1, 2, 2, 2, 3}; });  // a polygon of 2
    expectInvalid([](Parts& p) { p.faceNormals[4] = 1; });   // a normal past the 1
    expectInvalid([](Parts& p) { p.faceNormals = {1, 3, 0, 0, 0}; });  // normals for 1 face of 2
    expectInvalid([](Parts& p) { p.faceNormals = {2, 3, 0, 0, 0, 4, 0, 0, 0, 0}; });  // 4 corners for 3
    expectInvalid([](Parts& p) { p.materials = {1, 2, 0, 1}; });  // material 1 of 1
    expectInvalid([](Parts& p) { p.materials = {1, 3, 0, 0, 0}; });  // 3 indices for 2 faces
    expectInvalid([](Parts& p) { p.materials = {2, 1, 0}; });  // 2 materials declared, 1 given
    expectInvalid([](Parts& p) { p.colors = {1, 4}; });       // a colour for vertex 4
    expectInvalid([](Parts& p) { p.uvCount = 3; });           // coordinates for 3 of 4
  }
}

TEST(XFileMalformed, CountsBeyondTheFileFailAtOnce) {
  for (Format format : kAllFormats) {
    SCOPED_TRACE(FormatName(format));
    for (int which = 0; which < 3; ++which) {
      XWriter w(IsBinary(format));
      w.Begin("Mesh");
      w.Ints({which == 0 ? 300000000u : 3u});
      w.Floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
      w.Ints({which == 1 ? 300000000u : 1u, which == 2 ? 300000000u : 3u, 0, 1, 2});
      w.End();
      EXPECT_EQ(ReadResult(MakeFile(format, w.body())), DXFILEERR_BADARRAYSIZE) << which;
    }
  }
  // A binary list that claims more elements than bytes follow.
  XWriter w(true);
  w.Begin("Mesh");
  w.Token(6);
  w.Dword(0x40000000);
  w.Dword(3);
  w.End();
  EXPECT_EQ(ReadResult(MakeFile(Format::kBinary, w.body())), DXFILEERR_BADARRAYSIZE);
}

TEST(XFileMalformed, CompressedFramingIsChecked) {
  std::string file = SceneFile(Format::kBinaryZip, false, 100);
  ASSERT_EQ(ReadResult(file), S_OK);
  auto spoiled = [&file](std::size_t at, std::uint32_t value, int bytes) {
    std::string bad = file;
    for (int i = 0; i < bytes; ++i) bad[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return ReadResult(bad);
  };
  // The total size: larger than the blocks could give, over the cap, under the header, off by one.
  EXPECT_EQ(spoiled(16, 0xFFFFFFF0u, 4), DXFILEERR_BADFILE);
  EXPECT_EQ(spoiled(16, 10, 4), DXFILEERR_BADFILE);
  std::uint32_t total = static_cast<std::uint8_t>(file[16]) | (static_cast<std::uint8_t>(file[17]) << 8) |
                        (static_cast<std::uint8_t>(file[18]) << 16);
  EXPECT_EQ(spoiled(16, total + 1, 4), DXFILEERR_BADFILE);
  EXPECT_EQ(spoiled(16, total - 1, 4), DXFILEERR_BADFILE);
  // The first block: its sizes, its signature, its data.
  EXPECT_EQ(spoiled(20, 101, 2), DXFILEERR_BADFILE);
  EXPECT_EQ(spoiled(20, 0, 2), DXFILEERR_BADFILE);
  EXPECT_EQ(spoiled(22, 0xFFFF, 2), DXFILEERR_BADFILE);
  EXPECT_EQ(spoiled(24, 'C' | ('C' << 8), 2), DXFILEERR_BADFILE);
  EXPECT_EQ(spoiled(26, 0xFF, 1), DXFILEERR_BADFILE);  // reserved deflate block type 3
  Limits small;
  small.maxDecompressedBytes = total - 17;
  Mesh mesh;
  EXPECT_EQ(ReadMeshMemory(file.data(), file.size(), &mesh, small), DXFILEERR_BADFILE);
}

// Every reference copies its material's texture name, so a few bytes of "{M}" per copy of one long
// name would let memory grow with the square of the file. The copies have an allowance well
// beyond real files (500 copies of a 20,000-character name read), and a file past it fails.
TEST(XFileMalformed, ReferencesMayNotMultiplyALongTextureName) {
  const std::string textureName(20000, 't');
  auto file = [&](Format format, std::uint32_t references) {
    XWriter w(IsBinary(format));
    w.Begin("Material", "M");
    w.Floats({0.5, 0.5, 0.5, 1});  // face colour; power, specular and emissive follow
    w.TextOnly(";");
    w.Floats({3});
    w.Floats({0, 0, 0});
    w.TextOnly(";");
    w.Floats({0, 0, 0});
    w.TextOnly(";\n");
    w.Begin("TextureFilename");
    w.String(textureName);
    w.End();
    w.End();
    w.Begin("Mesh");
    w.Ints({3});
    w.Floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    w.Ints({1, 3, 0, 1, 2});
    w.Begin("MeshMaterialList");
    w.Ints({references, 1, references - 1});
    for (std::uint32_t i = 0; i < references; ++i) w.Reference("M");
    w.End();
    w.End();
    return MakeFile(format, w.body());
  };
  for (Format format : kAllFormats) {
    SCOPED_TRACE(FormatName(format));
    Mesh mesh;
    ASSERT_EQ(ReadResult(file(format, 500), &mesh), S_OK);
    ASSERT_EQ(mesh.materials.size(), 500u);
    EXPECT_EQ(mesh.materials[499].textureFilename, textureName);
    EXPECT_EQ(mesh.attributes.at(0), 499u);
    EXPECT_EQ(ReadResult(file(format, 20000)), DXFILEERR_BADFILE);
  }
}

TEST(XFileMalformed, DeepUnknownObjectsAndLongNamesAreFine) {
  for (Format format : {Format::kText, Format::kBinary}) {
    SCOPED_TRACE(FormatName(format));
    XWriter w(IsBinary(format));
    for (int i = 0; i < 50000; ++i) w.Begin("Unknown", std::string(i == 7 ? 5000 : 1, 'n'));
    for (int i = 0; i < 50000; ++i) w.End();
    w.Begin("Mesh", std::string(4096, 'q'));
    w.Ints({3});
    w.Floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    w.Ints({1, 3, 0, 1, 2});
    w.End();
    EXPECT_EQ(ReadResult(MakeFile(format, w.body())), S_OK);
  }
}

}  // namespace
}  // namespace zr::test::xfile
