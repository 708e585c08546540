// Reading .X files: the data objects of the token stream walked without recursion over frames,
// each Mesh kept as the file gives it, then all of them merged into one Mesh.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "xfile.h"
#include "xfile_errors.h"
#include "xfile_lexer.h"
#include "xfile_stream.h"

namespace zr::d3dx9::xfile {
namespace {

using detail::Guid;
using detail::Lexer;
using detail::Token;
using detail::TokenKind;

#define ZR_TRY(expr)                  \
  do {                                \
    if (HRESULT hr_ = (expr); FAILED(hr_)) return hr_; \
  } while (false)

using Matrix = std::array<float, 16>;  // row-major, row vectors: p' = p * M
constexpr Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// A reference to a material, or the material itself.
struct MaterialSlot {
  bool inlined = true;
  Material material;
  std::string name;  // of the reference
  bool hasGuid = false;
  Guid guid;
};

// A Mesh as the file gives it.
struct RawMesh {
  std::uint32_t frame = 0;
  std::vector<std::array<float, 3>> positions;
  std::vector<std::uint32_t> polygonEnds;  // end of each polygon in `corners`
  std::vector<std::uint32_t> corners;      // vertex index per corner
  bool hasNormals = false;
  std::vector<std::array<float, 3>> normals;
  std::vector<std::uint32_t> normalCorners;  // normal index per corner
  bool hasUvs = false;
  std::vector<std::array<float, 2>> uvs;
  bool hasColors = false;
  std::vector<std::uint32_t> colors;  // per vertex, white where unset
  bool hasMaterials = false;
  std::vector<std::uint32_t> polygonMaterials;  // one per polygon
  std::vector<MaterialSlot> materials;
};

struct NamedMaterial {
  std::string name;
  bool hasGuid = false;
  Guid guid;
  Material material;
};

struct Frame {
  std::uint32_t parent = 0;
  Matrix local = kIdentity;
};

struct ObjectHeader {
  std::string_view type;
  std::string_view name;
  bool hasName = false;
  bool hasGuid = false;
  Guid guid;
};

float ToFloat(double value) {
  if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
  if (value > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
  if (value < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

std::uint32_t ColorByte(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 1.0f) return 255;
  return static_cast<std::uint32_t>(value * 255.0f + 0.5f);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

class Parser {
 public:
  explicit Parser(const detail::TokenStream& stream) : lexer_(stream), streamBytes_(stream.size) {
    frames_.push_back(Frame{});
  }

  HRESULT ParseFile();
  HRESULT Merge(Mesh* out);

 private:
  // Tokens and values.
  HRESULT NextSolid(Token* token);  // the next token that is not a comma or semicolon
  HRESULT ReadUint(std::uint32_t* value);
  HRESULT ReadFloat(float* value);
  HRESULT ReadFloats(float* values, int count);
  HRESULT ReadString(std::string* value);
  // Fails unless `count` items of `valuesEach` values could fit in the bytes left.
  HRESULT Room(std::uint64_t count, std::uint64_t valuesEach) const;

  // Structure.
  HRESULT ReadHeader(std::string_view type, ObjectHeader* header);
  HRESULT SkipBody();  // after '{': up to and including its '}'
  HRESULT SkipTemplate();
  HRESULT ReadReference(std::string* name, bool* hasGuid, Guid* guid);  // after '{'

  // Objects, each after its '{'.
  HRESULT ParseMesh(std::uint32_t frame);
  HRESULT ParseNormals(RawMesh* mesh);
  HRESULT ParseTextureCoords(RawMesh* mesh);
  HRESULT ParseVertexColors(RawMesh* mesh);
  HRESULT ParseMaterialList(RawMesh* mesh);
  HRESULT ParseMaterial(Material* material);
  void RegisterMaterial(const ObjectHeader& header, const Material& material);

  Lexer lexer_;
  std::size_t streamBytes_;
  std::vector<Frame> frames_;  // frames_[0]: the file itself
  std::vector<RawMesh> meshes_;
  std::vector<NamedMaterial> namedMaterials_;
};

HRESULT Parser::NextSolid(Token* token) {
  for (;;) {
    ZR_TRY(lexer_.Next(token));
    if (token->kind != TokenKind::kComma && token->kind != TokenKind::kSemicolon) return S_OK;
  }
}

HRESULT Parser::ReadUint(std::uint32_t* value) {
  Token t;
  ZR_TRY(NextSolid(&t));
  if (t.kind == TokenKind::kInteger) {
    *value = t.integer;
    return S_OK;
  }
  if (t.kind != TokenKind::kName || lexer_.binary()) return DXFILEERR_PARSEERROR;
  std::uint32_t v = 0;
  auto [end, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
  if (ec != std::errc() || end != t.text.data() + t.text.size()) return DXFILEERR_PARSEERROR;
  *value = v;
  return S_OK;
}

HRESULT Parser::ReadFloat(float* value) {
  Token t;
  ZR_TRY(NextSolid(&t));
  if (t.kind == TokenKind::kFloat) {
    *value = ToFloat(t.real);
    return S_OK;
  }
  if (t.kind == TokenKind::kInteger) {
    *value = static_cast<float>(t.integer);
    return S_OK;
  }
  if (t.kind != TokenKind::kName || lexer_.binary()) return DXFILEERR_PARSEERROR;
  std::string_view text = t.text;
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return DXFILEERR_PARSEERROR;
  *value = ToFloat(v);
  return S_OK;
}

HRESULT Parser::ReadFloats(float* values, int count) {
  for (int i = 0; i < count; ++i) ZR_TRY(ReadFloat(&values[i]));
  return S_OK;
}

HRESULT Parser::ReadString(std::string* value) {
  Token t;
  ZR_TRY(NextSolid(&t));
  if (t.kind != TokenKind::kString) return DXFILEERR_PARSEERROR;
  value->assign(t.text);
  return S_OK;
}

HRESULT Parser::Room(std::uint64_t count, std::uint64_t valuesEach) const {
  // A binary value takes at least 4 bytes; a text value at least a character and a separator.
  std::uint64_t bytesEach = lexer_.binary() ? 4 : 2;
  if (count * valuesEach * bytesEach > lexer_.Remaining()) return DXFILEERR_BADARRAYSIZE;
  return S_OK;
}

HRESULT Parser::ReadHeader(std::string_view type, ObjectHeader* header) {
  header->type = type;
  for (;;) {
    Token t;
    ZR_TRY(lexer_.Next(&t));
    if (t.kind == TokenKind::kOpenBrace) return S_OK;
    if (t.kind == TokenKind::kName && !header->hasName && !header->hasGuid) {
      header->name = t.text;
      header->hasName = true;
    } else if (t.kind == TokenKind::kGuid && !header->hasGuid) {
      header->guid = t.guid;
      header->hasGuid = true;
    } else if (!(t.kind == TokenKind::kOther && lexer_.binary())) {  // binary '<' '>' around a GUID
      return DXFILEERR_PARSEERROR;
    }
  }
}

HRESULT Parser::SkipBody() {
  std::size_t depth = 1;
  for (;;) {
    Token t;
    ZR_TRY(lexer_.Next(&t));
    switch (t.kind) {
      case TokenKind::kEnd: return DXFILEERR_PARSEERROR;
      case TokenKind::kOpenBrace: ++depth; break;
      case TokenKind::kCloseBrace:
        if (--depth == 0) return S_OK;
        break;
      case TokenKind::kInteger:
      case TokenKind::kFloat: lexer_.DropList(); break;
      default: break;
    }
  }
}

HRESULT Parser::SkipTemplate() {
  Token t;
  ZR_TRY(lexer_.Next(&t));
  if (t.kind != TokenKind::kName) return DXFILEERR_PARSEERROR;
  ZR_TRY(lexer_.Next(&t));
  if (t.kind != TokenKind::kOpenBrace) return DXFILEERR_PARSEERROR;
  return SkipBody();
}

HRESULT Parser::ReadReference(std::string* name, bool* hasGuid, Guid* guid) {
  bool any = false;
  for (;;) {
    Token t;
    ZR_TRY(lexer_.Next(&t));
    if (t.kind == TokenKind::kCloseBrace) return any ? S_OK : DXFILEERR_PARSEERROR;
    if (t.kind == TokenKind::kName && !any) {
      name->assign(t.text);
    } else if (t.kind == TokenKind::kGuid && !*hasGuid) {
      *guid = t.guid;
      *hasGuid = true;
    } else if (!(t.kind == TokenKind::kOther && lexer_.binary())) {
      return DXFILEERR_PARSEERROR;
    }
    any = true;
  }
}

HRESULT Parser::ParseFile() {
  std::vector<std::uint32_t> open;  // the frames being read, innermost last
  for (;;) {
    Token t;
    ZR_TRY(NextSolid(&t));
    std::uint32_t frame = open.empty() ? 0 : open.back();
    switch (t.kind) {
      case TokenKind::kEnd:
        if (!open.empty()) return DXFILEERR_PARSEERROR;
        return meshes_.empty() ? DXFILEERR_NOTFOUND : S_OK;
      case TokenKind::kCloseBrace:
        if (open.empty()) return DXFILEERR_PARSEERROR;
        open.pop_back();
        break;
      case TokenKind::kTemplate: ZR_TRY(SkipTemplate()); break;
      case TokenKind::kOpenBrace: {
        // A reference to an object from inside a frame: not instanced.
        std::string name;
        bool hasGuid = false;
        Guid guid;
        ZR_TRY(ReadReference(&name, &hasGuid, &guid));
        break;
      }
      case TokenKind::kName: {
        ObjectHeader header;
        ZR_TRY(ReadHeader(t.text, &header));
        if (header.type == "Frame") {
          frames_.push_back(Frame{frame, kIdentity});
          open.push_back(static_cast<std::uint32_t>(frames_.size() - 1));
        } else if (header.type == "FrameTransformMatrix" && frame != 0) {
          ZR_TRY(ReadFloats(frames_[frame].local.data(), 16));
          ZR_TRY(SkipBody());
        } else if (header.type == "Mesh") {
          ZR_TRY(ParseMesh(frame));
        } else if (header.type == "Material") {
          Material material;
          ZR_TRY(ParseMaterial(&material));
          RegisterMaterial(header, material);
        } else {
          ZR_TRY(SkipBody());
        }
        break;
      }
      default: return DXFILEERR_PARSEERROR;
    }
  }
}

void Parser::RegisterMaterial(const ObjectHeader& header, const Material& material) {
  if (!header.hasName && !header.hasGuid) return;
  namedMaterials_.push_back(NamedMaterial{std::string(header.name), header.hasGuid, header.guid, material});
}

HRESULT Parser::ParseMesh(std::uint32_t frame) {
  RawMesh mesh;
  mesh.frame = frame;
  std::uint32_t vertexCount = 0;
  ZR_TRY(ReadUint(&vertexCount));
  ZR_TRY(Room(vertexCount, 3));
  mesh.positions.resize(vertexCount);
  for (auto& p : mesh.positions) ZR_TRY(ReadFloats(p.data(), 3));

  std::uint32_t polygonCount = 0;
  ZR_TRY(ReadUint(&polygonCount));
  ZR_TRY(Room(polygonCount, 4));
  mesh.polygonEnds.reserve(polygonCount);
  mesh.corners.reserve(std::size_t{polygonCount} * 3);
  for (std::uint32_t f = 0; f < polygonCount; ++f) {
    std::uint32_t n = 0;
    ZR_TRY(ReadUint(&n));
    if (n < 3) return D3DXERR_INVALIDDATA;
    ZR_TRY(Room(n, 1));
    for (std::uint32_t i = 0; i < n; ++i) {
      std::uint32_t index = 0;
      ZR_TRY(ReadUint(&index));
      if (index >= vertexCount) return D3DXERR_INVALIDDATA;
      mesh.corners.push_back(index);
    }
    if (mesh.corners.size() > std::numeric_limits<std::uint32_t>::max()) return D3DXERR_INVALIDDATA;
    mesh.polygonEnds.push_back(static_cast<std::uint32_t>(mesh.corners.size()));
  }

  for (;;) {
    Token t;
    ZR_TRY(NextSolid(&t));
    if (t.kind == TokenKind::kCloseBrace) break;
    if (t.kind == TokenKind::kOpenBrace) {
      std::string name;
      bool hasGuid = false;
      Guid guid;
      ZR_TRY(ReadReference(&name, &hasGuid, &guid));
      continue;
    }
    if (t.kind != TokenKind::kName) return DXFILEERR_PARSEERROR;
    ObjectHeader header;
    ZR_TRY(ReadHeader(t.text, &header));
    if (header.type == "MeshNormals") ZR_TRY(ParseNormals(&mesh));
    else if (header.type == "MeshTextureCoords") ZR_TRY(ParseTextureCoords(&mesh));
    else if (header.type == "MeshVertexColors") ZR_TRY(ParseVertexColors(&mesh));
    else if (header.type == "MeshMaterialList") ZR_TRY(ParseMaterialList(&mesh));
    else ZR_TRY(SkipBody());
  }
  meshes_.push_back(std::move(mesh));
  return S_OK;
}

HRESULT Parser::ParseNormals(RawMesh* mesh) {
  std::uint32_t normalCount = 0;
  ZR_TRY(ReadUint(&normalCount));
  ZR_TRY(Room(normalCount, 3));
  std::vector<std::array<float, 3>> normals(normalCount);
  for (auto& n : normals) ZR_TRY(ReadFloats(n.data(), 3));
  std::uint32_t faceCount = 0;
  ZR_TRY(ReadUint(&faceCount));
  if (faceCount != mesh->polygonEnds.size()) return D3DXERR_INVALIDDATA;
  std::vector<std::uint32_t> normalCorners;
  normalCorners.reserve(mesh->corners.size());
  std::uint32_t start = 0;
  for (std::uint32_t end : mesh->polygonEnds) {
    std::uint32_t n = 0;
    ZR_TRY(ReadUint(&n));
    if (n != end - start) return D3DXERR_INVALIDDATA;
    for (std::uint32_t i = 0; i < n; ++i) {
      std::uint32_t index = 0;
      ZR_TRY(ReadUint(&index));
      if (index >= normalCount) return D3DXERR_INVALIDDATA;
      normalCorners.push_back(index);
    }
    start = end;
  }
  ZR_TRY(SkipBody());
  mesh->hasNormals = true;
  mesh->normals = std::move(normals);
  mesh->normalCorners = std::move(normalCorners);
  return S_OK;
}

HRESULT Parser::ParseTextureCoords(RawMesh* mesh) {
  std::uint32_t count = 0;
  ZR_TRY(ReadUint(&count));
  ZR_TRY(Room(count, 2));
  if (count != mesh->positions.size()) return D3DXERR_INVALIDDATA;
  std::vector<std::array<float, 2>> uvs(count);
  for (auto& uv : uvs) ZR_TRY(ReadFloats(uv.data(), 2));
  ZR_TRY(SkipBody());
  mesh->hasUvs = true;
  mesh->uvs = std::move(uvs);
  return S_OK;
}

HRESULT Parser::ParseVertexColors(RawMesh* mesh) {
  std::uint32_t count = 0;
  ZR_TRY(ReadUint(&count));
  ZR_TRY(Room(count, 5));
  std::vector<std::uint32_t> colors(mesh->positions.size(), 0xFFFFFFFFu);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t index = 0;
    float rgba[4];
    ZR_TRY(ReadUint(&index));
    ZR_TRY(ReadFloats(rgba, 4));
    if (index >= colors.size()) return D3DXERR_INVALIDDATA;
    colors[index] = (ColorByte(rgba[3]) << 24) | (ColorByte(rgba[0]) << 16) | (ColorByte(rgba[1]) << 8) | ColorByte(rgba[2]);
  }
  ZR_TRY(SkipBody());
  mesh->hasColors = true;
  mesh->colors = std::move(colors);
  return S_OK;
}

HRESULT Parser::ParseMaterialList(RawMesh* mesh) {
  std::uint32_t materialCount = 0, indexCount = 0;
  ZR_TRY(ReadUint(&materialCount));
  ZR_TRY(ReadUint(&indexCount));
  ZR_TRY(Room(indexCount, 1));
  std::size_t polygons = mesh->polygonEnds.size();
  if (indexCount > polygons) return D3DXERR_INVALIDDATA;
  std::vector<std::uint32_t> perPolygon;
  perPolygon.reserve(polygons);
  for (std::uint32_t i = 0; i < indexCount; ++i) {
    std::uint32_t index = 0;
    ZR_TRY(ReadUint(&index));
    if (index >= materialCount) return D3DXERR_INVALIDDATA;
    perPolygon.push_back(index);
  }
  // Fewer indices than polygons: the last repeats (none at all: material 0).
  if (polygons > 0 && materialCount == 0) return D3DXERR_INVALIDDATA;
  std::uint32_t last = perPolygon.empty() ? 0 : perPolygon.back();
  perPolygon.resize(polygons, last);

  std::vector<MaterialSlot> slots;
  for (;;) {
    Token t;
    ZR_TRY(NextSolid(&t));
    if (t.kind == TokenKind::kCloseBrace) break;
    if (t.kind == TokenKind::kOpenBrace) {
      MaterialSlot slot;
      slot.inlined = false;
      ZR_TRY(ReadReference(&slot.name, &slot.hasGuid, &slot.guid));
      slots.push_back(std::move(slot));
      continue;
    }
    if (t.kind != TokenKind::kName) return DXFILEERR_PARSEERROR;
    ObjectHeader header;
    ZR_TRY(ReadHeader(t.text, &header));
    if (header.type != "Material") {
      ZR_TRY(SkipBody());
      continue;
    }
    MaterialSlot slot;
    ZR_TRY(ParseMaterial(&slot.material));
    RegisterMaterial(header, slot.material);
    slots.push_back(std::move(slot));
  }
  if (slots.size() != materialCount) return D3DXERR_INVALIDDATA;
  mesh->hasMaterials = true;
  mesh->polygonMaterials = std::move(perPolygon);
  mesh->materials = std::move(slots);
  return S_OK;
}

HRESULT Parser::ParseMaterial(Material* material) {
  float values[11];
  ZR_TRY(ReadFloats(values, 11));
  D3DMATERIAL9& m = material->material;
  m = D3DMATERIAL9{};
  m.Diffuse = {values[0], values[1], values[2], values[3]};
  m.Power = values[4];
  m.Specular = {values[5], values[6], values[7], 1.0f};
  m.Emissive = {values[8], values[9], values[10], 1.0f};
  for (;;) {
    Token t;
    ZR_TRY(NextSolid(&t));
    if (t.kind == TokenKind::kCloseBrace) return S_OK;
    if (t.kind == TokenKind::kOpenBrace) {
      std::string name;
      bool hasGuid = false;
      Guid guid;
      ZR_TRY(ReadReference(&name, &hasGuid, &guid));
      continue;
    }
    if (t.kind != TokenKind::kName) return DXFILEERR_PARSEERROR;
    ObjectHeader header;
    ZR_TRY(ReadHeader(t.text, &header));
    if (EqualsIgnoringCase(header.type, "TextureFilename")) {
      ZR_TRY(ReadString(&material->textureFilename));
    }
    ZR_TRY(SkipBody());
  }
}

// ---------------------------------------------------------------------------------------------
// Merging

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix r{};
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[row * 4 + k] * b[k * 4 + col];
      r[row * 4 + col] = sum;
    }
  }
  return r;
}

std::array<float, 3> TransformPoint(const Matrix& m, const std::array<float, 3>& p) {
  std::array<float, 3> r;
  for (int c = 0; c < 3; ++c) r[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
  return r;
}

// Normals go through the inverse transpose of the matrix's 3x3 part. For row vectors that is the
// cofactor matrix divided by the determinant; only the direction matters, since the result is
// scaled back to the normal's own length.
std::array<float, 3> TransformNormal(const Matrix& m, const std::array<float, 3>& n) {
  auto at = [&m](int r, int c) { return m[r * 4 + c]; };
  float cof[3][3];
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
      cof[r][c] = at(r1, c1) * at(r2, c2) - at(r1, c2) * at(r2, c1);
    }
  }
  float det = at(0, 0) * cof[0][0] + at(0, 1) * cof[0][1] + at(0, 2) * cof[0][2];
  float sign = det < 0 ? -1.0f : 1.0f;
  std::array<float, 3> r;
  for (int c = 0; c < 3; ++c) r[c] = sign * (n[0] * cof[0][c] + n[1] * cof[1][c] + n[2] * cof[2][c]);
  double before = std::sqrt(double{n[0]} * n[0] + double{n[1]} * n[1] + double{n[2]} * n[2]);
  double after = std::sqrt(double{r[0]} * r[0] + double{r[1]} * r[1] + double{r[2]} * r[2]);
  if (after > 0 && std::isfinite(after) && std::isfinite(before)) {
    for (float& v : r) v = ToFloat(v * (before / after));
  }
  return r;
}

// What the texture names copied by material references may add beyond the stream's own size.
constexpr std::uint64_t kCopiedNameAllowance = 16u << 20;

struct GuidHash {
  std::size_t operator()(const Guid& g) const {
    std::uint64_t h = g.data1;
    h = h * 0x9E3779B97F4A7C15ull + (std::uint64_t{g.data2} << 16 | g.data3);
    for (std::uint8_t b : g.data4) h = h * 0x100000001B3ull + b;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
};

// The named materials by name and by GUID, the first of each in file order, so that a file of
// many references and many materials is not searched once per reference.
class MaterialIndex {
 public:
  explicit MaterialIndex(const std::vector<NamedMaterial>& named) {
    for (const NamedMaterial& m : named) {
      if (!m.name.empty()) byName_.try_emplace(m.name, &m.material);
      if (m.hasGuid) byGuid_.try_emplace(m.guid, &m.material);
    }
  }
  // A reference with a name is looked up by that name alone.
  const Material* Find(const MaterialSlot& slot) const {
    if (!slot.name.empty()) {
      auto found = byName_.find(slot.name);
      return found != byName_.end() ? found->second : nullptr;
    }
    if (slot.hasGuid) {
      auto found = byGuid_.find(slot.guid);
      return found != byGuid_.end() ? found->second : nullptr;
    }
    return nullptr;
  }

 private:
  std::unordered_map<std::string_view, const Material*> byName_;
  std::unordered_map<Guid, const Material*, GuidHash> byGuid_;
};

struct NormalKey {
  std::uint32_t bits[3];
  bool operator==(const NormalKey&) const = default;
};
struct NormalKeyHash {
  std::size_t operator()(const NormalKey& k) const {
    std::uint64_t h = k.bits[0];
    h = h * 0x9E3779B97F4A7C15ull + k.bits[1];
    h = h * 0x9E3779B97F4A7C15ull + k.bits[2];
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
};

HRESULT Parser::Merge(Mesh* out) {
  Mesh result;
  // World matrices: a frame's parent always comes before it.
  std::vector<Matrix> world(frames_.size(), kIdentity);
  for (std::size_t i = 1; i < frames_.size(); ++i) world[i] = Multiply(frames_[i].local, world[frames_[i].parent]);

  const MaterialIndex materials(namedMaterials_);
  bool anyMaterials = false;
  std::uint64_t declared = 0, copiedNameBytes = 0;
  for (const RawMesh& m : meshes_) {
    declared += m.positions.size();
    if (m.hasNormals) result.components |= kNormal;
    if (m.hasUvs) result.components |= kTextureCoords;
    if (m.hasColors) result.components |= kColor;
    anyMaterials |= m.hasMaterials;
  }
  if (declared >= std::numeric_limits<std::uint32_t>::max()) return D3DXERR_INVALIDDATA;

  // The declared vertices of every mesh first.
  result.vertices.reserve(declared);
  std::vector<std::uint32_t> bases;
  for (const RawMesh& m : meshes_) {
    bases.push_back(static_cast<std::uint32_t>(result.vertices.size()));
    const Matrix& matrix = world[m.frame];
    bool identity = matrix == kIdentity;
    for (std::size_t v = 0; v < m.positions.size(); ++v) {
      Vertex vertex;
      vertex.position = identity ? m.positions[v] : TransformPoint(matrix, m.positions[v]);
      if (m.hasUvs) vertex.uv = m.uvs[v];
      if (m.hasColors) vertex.color = m.colors[v];
      result.vertices.push_back(vertex);
    }
  }

  // Then the faces, with copies of vertices for their further normals.
  for (std::size_t mi = 0; mi < meshes_.size(); ++mi) {
    const RawMesh& m = meshes_[mi];
    std::uint32_t base = bases[mi];
    std::vector<std::uint32_t> cornerVertex(m.corners.size());
    if (!m.hasNormals) {
      for (std::size_t c = 0; c < m.corners.size(); ++c) cornerVertex[c] = base + m.corners[c];
    } else {
      const Matrix& matrix = world[m.frame];
      bool identity = matrix == kIdentity;
      // Equal normals under different indices are one normal.
      std::vector<std::uint32_t> canonical(m.normals.size());
      std::vector<std::array<float, 3>> transformed(m.normals.size());
      std::unordered_map<NormalKey, std::uint32_t, NormalKeyHash> seen;
      for (std::size_t n = 0; n < m.normals.size(); ++n) {
        NormalKey key;
        std::memcpy(key.bits, m.normals[n].data(), sizeof key.bits);
        canonical[n] = seen.emplace(key, static_cast<std::uint32_t>(n)).first->second;
        transformed[n] = identity ? m.normals[n] : TransformNormal(matrix, m.normals[n]);
      }
      constexpr std::uint32_t kNone = 0xFFFFFFFFu;
      std::vector<std::uint32_t> firstNormal(m.positions.size(), kNone);
      std::unordered_map<std::uint64_t, std::uint32_t> copies;
      for (std::size_t c = 0; c < m.corners.size(); ++c) {
        std::uint32_t v = m.corners[c], normal = canonical[m.normalCorners[c]];
        if (firstNormal[v] == kNone) {
          firstNormal[v] = normal;
          result.vertices[base + v].normal = transformed[normal];
        }
        if (firstNormal[v] == normal) {
          cornerVertex[c] = base + v;
          continue;
        }
        std::uint64_t key = (std::uint64_t{v} << 32) | normal;
        auto [it, added] = copies.emplace(key, static_cast<std::uint32_t>(result.vertices.size()));
        if (added) {
          if (result.vertices.size() >= std::numeric_limits<std::uint32_t>::max()) return D3DXERR_INVALIDDATA;
          Vertex copy = result.vertices[base + v];
          copy.normal = transformed[normal];
          result.vertices.push_back(copy);
        }
        cornerVertex[c] = it->second;
      }
    }

    std::uint32_t materialBase = static_cast<std::uint32_t>(result.materials.size());
    if (m.hasMaterials) {
      for (const MaterialSlot& slot : m.materials) {
        if (slot.inlined) {
          result.materials.push_back(slot.material);
          continue;
        }
        const Material* found = materials.Find(slot);
        if (found == nullptr) return DXFILEERR_BADDATAREFERENCE;
        // Each reference copies the texture name: a few bytes of "{m}" per copy of a long name
        // would make memory grow with the square of the file's size, so the copies together
        // may not outgrow the stream by more than a fixed allowance, far beyond what real
        // files (a few hundred references to names of a path's length) need.
        copiedNameBytes += found->textureFilename.size();
        if (copiedNameBytes > streamBytes_ + kCopiedNameAllowance) return DXFILEERR_BADFILE;
        result.materials.push_back(*found);
      }
    } else if (anyMaterials) {
      Material fallback;
      fallback.material.Diffuse = {1, 1, 1, 1};
      result.materials.push_back(fallback);
    }

    std::uint32_t start = 0;
    for (std::size_t p = 0; p < m.polygonEnds.size(); ++p) {
      std::uint32_t end = m.polygonEnds[p];
      std::uint32_t attribute = anyMaterials ? materialBase + (m.hasMaterials ? m.polygonMaterials[p] : 0) : 0;
      for (std::uint32_t i = start + 1; i + 1 < end; ++i) {
        result.faces.push_back({cornerVertex[start], cornerVertex[i], cornerVertex[i + 1]});
        result.attributes.push_back(attribute);
      }
      start = end;
    }
  }
  *out = std::move(result);
  return S_OK;
}

HRESULT ReadFromBytes(const std::uint8_t* data, std::size_t size, Mesh* out, const Limits& limits) {
  try {
    detail::TokenStream stream;
    ZR_TRY(detail::OpenTokenStream(data, size, limits, &stream));
    Parser parser(stream);
    ZR_TRY(parser.ParseFile());
    return parser.Merge(out);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::length_error&) {
    return E_OUTOFMEMORY;
  }
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The whole of a regular file of at most `maxBytes`, read once. Opening does not block (on a
// FIFO); anything but a regular file is refused once open. The size is only a hint: reading stops
// one byte past the limit, so a file that grows is caught too.
HRESULT ReadWholeFile(const char* path, std::size_t maxBytes, std::vector<std::uint8_t>* bytes) {
  FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.get() < 0) return DXFILEERR_FILENOTFOUND;
  struct stat status {};
  if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return DXFILEERR_BADFILE;
  if (status.st_size <= 0 || static_cast<std::uint64_t>(status.st_size) > maxBytes) return DXFILEERR_BADFILE;
  std::vector<std::uint8_t> data;
  std::size_t used = 0;
  try {
    data.resize(std::min<std::size_t>(static_cast<std::size_t>(status.st_size) + 1, maxBytes + 1));
    for (;;) {
      if (used == data.size()) {
        if (data.size() > maxBytes) break;
        data.resize(std::min(data.size() * 2, maxBytes + 1));
      }
      ssize_t n = ::read(file.get(), data.data() + used, data.size() - used);
      if (n < 0) {
        if (errno == EINTR) continue;
        return DXFILEERR_BADFILE;
      }
      if (n == 0) break;
      used += static_cast<std::size_t>(n);
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (used == 0 || used > maxBytes) return DXFILEERR_BADFILE;
  data.resize(used);
  *bytes = std::move(data);
  return S_OK;
}

}  // namespace

HRESULT ReadMeshMemory(const void* data, std::size_t size, Mesh* out, const Limits& limits) {
  if (out == nullptr || (data == nullptr && size > 0)) return D3DERR_INVALIDCALL;
  if (size == 0) return DXFILEERR_BADFILE;
  return ReadFromBytes(static_cast<const std::uint8_t*>(data), size, out, limits);
}

HRESULT ReadMeshFile(const char* path, Mesh* out, const Limits& limits) {
  if (path == nullptr || out == nullptr) return D3DERR_INVALIDCALL;
  std::vector<std::uint8_t> bytes;
  ZR_TRY(ReadWholeFile(path, limits.maxFileBytes, &bytes));
  return ReadFromBytes(bytes.data(), bytes.size(), out, limits);
}

}  // namespace zr::d3dx9::xfile
