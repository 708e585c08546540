// Writes .X files for the reader's tests: the same calls give the text or the binary token stream,
// and any stream can be framed as MSZIP blocks (zlib's raw deflate) for the compressed forms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zr::test::xfile {

enum class Format { kText, kBinary, kTextZip, kBinaryZip };
inline constexpr Format kAllFormats[] = {Format::kText, Format::kBinary, Format::kTextZip, Format::kBinaryZip};
const char* FormatName(Format format);
inline bool IsBinary(Format f) { return f == Format::kBinary || f == Format::kBinaryZip; }
inline bool IsZip(Format f) { return f == Format::kTextZip || f == Format::kBinaryZip; }

class XWriter {
 public:
  explicit XWriter(bool binary, bool doubles = false) : binary_(binary), doubles_(doubles) {}

  // template Name { <guid> DWORD a; array FLOAT b[a]; [...] }
  void Template(std::string_view name, std::string_view guid);
  // Type [name] [<guid>] {
  void Begin(std::string_view type, std::string_view name = "", std::string_view guid = "");
  void End();
  // How text separates values (binary has one list for any shape):
  //   kMembers  the members of one structure:            1;2;3;
  //   kArray    an array of structures of `group` values: 1;2;,3;4;;   (group 1: 1,2,3;)
  //   kFaces    an array of MeshFace (n, then n indices): 3;0,1,2;,3;2,1,0;;
  enum class Shape { kMembers, kArray, kFaces };
  void Ints(const std::vector<std::uint32_t>& values, Shape shape = Shape::kMembers, int group = 1);
  void Floats(const std::vector<double>& values, Shape shape = Shape::kMembers, int group = 1);
  // A terminating semicolon token in binary, text as given.
  void String(std::string_view text);
  // { name } or, for a name in <>, { <guid> }
  void Reference(std::string_view target);
  // Raw bytes of the stream (text comments, binary tokens by hand).
  void Raw(std::string_view bytes) { out_ += bytes; }
  // Separators that only text has (the closing ';' of a nested structure).
  void TextOnly(std::string_view text) {
    if (!binary_) out_ += text;
  }
  // Binary strings end with a semicolon token; `wideTerminator` writes it as 32 bits.
  void set_wide_terminator(bool wide) { wideTerminator_ = wide; }
  void Token(unsigned token);  // a binary 16-bit token
  void Dword(std::uint32_t value);

  const std::string& body() const { return out_; }

 private:
  void Name(std::string_view name);
  void Guid(std::string_view guid);
  void TextValues(const std::vector<std::string>& values, Shape shape, int group);

  bool binary_;
  bool doubles_;
  bool wideTerminator_ = false;
  std::string out_;
};

// A whole file: the header for `format` and the stream, compressed for the zip forms in blocks of
// `blockBytes` (each using the previous output as its dictionary).
std::string MakeFile(Format format, const std::string& body, bool doubles = false, std::size_t blockBytes = 32768);
// The MSZIP part alone, for a stream that becomes a file of `plain.size() + 16` bytes.
std::string Mszip(std::string_view plain, std::size_t blockBytes = 32768);

// The reference scene: two meshes (one in two frames with transforms, normals that need a vertex
// copy, texture coordinates, colours, a quad, a material list shorter than its polygons naming a
// top-level textured material and an inline translucent one; one in a frame without a
// transform with nothing but positions), in the given format. With `fullMaterialList` the list has an index for every
// polygon (Assimp refuses shorter lists), giving the same materials.
std::string SceneFile(Format format, bool doubles = false, std::size_t blockBytes = 32768,
                      bool fullMaterialList = false);

// The scene's data, for computing what the reader must give.
struct Scene {
  static const std::vector<double> kPositions;        // 6 x 3
  static const std::vector<std::uint32_t> kFaces;     // MeshFace lists: 3 polygons
  static const std::vector<double> kNormals;          // 3 x 3
  static const std::vector<std::uint32_t> kFaceNormals;
  static const std::vector<double> kUvs;              // 6 x 2
  static const std::vector<double> kRootMatrix;       // 16
  static const std::vector<double> kChildMatrix;      // 16
  static const std::vector<double> kTriangle;         // 3 x 3, the top-level mesh
  static const std::vector<double> kColors;           // 6 x RGBA
};

// Material "name" { faceColor RGBA, power, specular RGB, emissive RGB }.
void WriteMaterial(XWriter& w, std::string_view name, const std::vector<double>& values);

}  // namespace zr::test::xfile
