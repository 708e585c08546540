#include "xfile_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace zr::test::xfile {
namespace {

void Le16(std::string* out, unsigned v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Le32(std::string* out, std::uint32_t v) {
  Le16(out, v & 0xFFFF);
  Le16(out, v >> 16);
}

int Hex(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

}  // namespace

const char* FormatName(Format format) {
  switch (format) {
    case Format::kText: return "txt";
    case Format::kBinary: return "bin";
    case Format::kTextZip: return "tzip";
    case Format::kBinaryZip: return "bzip";
  }
  return "?";
}

void XWriter::Token(unsigned token) { Le16(&out_, token); }
void XWriter::Dword(std::uint32_t value) { Le32(&out_, value); }

void XWriter::Name(std::string_view name) {
  if (!binary_) {
    out_ += name;
    out_ += ' ';
    return;
  }
  Token(1);
  Dword(static_cast<std::uint32_t>(name.size()));
  out_ += name;
}

void XWriter::Guid(std::string_view guid) {
  if (!binary_) {
    out_ += '<';
    out_ += guid;
    out_ += "> ";
    return;
  }
  // 8-4-4-4-12 hex digits: Data1, Data2, Data3 little-endian, Data4 as bytes.
  std::string hex;
  for (char c : guid) {
    if (c != '-') hex += c;
  }
  auto byte = [&hex](std::size_t i) { return static_cast<std::uint32_t>(Hex(hex[2 * i]) * 16 + Hex(hex[2 * i + 1])); };
  Token(5);
  Dword((byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3));
  Le16(&out_, (byte(4) << 8) | byte(5));
  Le16(&out_, (byte(6) << 8) | byte(7));
  for (std::size_t i = 8; i < 16; ++i) out_.push_back(static_cast<char>(byte(i)));
}

void XWriter::Template(std::string_view name, std::string_view guid) {
  if (!binary_) {
    out_ += "template ";
    out_ += name;
    out_ += " {\n ";
    Guid(guid);
    out_ += "\n DWORD nValues;\n array FLOAT values[nValues];\n [...]\n}\n";
    return;
  }
  Token(31);
  Name(name);
  Token(10);
  Guid(guid);
  Token(41);  // DWORD nValues;
  Name("nValues");
  Token(20);
  Token(52);  // array FLOAT values[nValues];
  Token(42);
  Name("values");
  Token(14);
  Name("nValues");
  Token(15);
  Token(20);
  Token(14);  // [...]
  Token(18);
  Token(18);
  Token(18);
  Token(15);
  Token(11);
}

void XWriter::Begin(std::string_view type, std::string_view name, std::string_view guid) {
  Name(type);
  if (!name.empty()) Name(name);
  if (!guid.empty()) Guid(guid);
  if (binary_) Token(10);
  else out_ += "{\n";
}

void XWriter::End() {
  if (binary_) Token(11);
  else out_ += "}\n";
}

void XWriter::TextValues(const std::vector<std::string>& values, Shape shape, int group) {
  if (shape == Shape::kMembers) {
    for (const std::string& v : values) out_ += v + ";";
  } else if (shape == Shape::kArray && group == 1) {
    for (std::size_t i = 0; i < values.size(); ++i) out_ += values[i] + (i + 1 == values.size() ? ";" : ",");
  } else if (shape == Shape::kArray) {
    for (std::size_t i = 0; i < values.size(); ++i) {
      out_ += values[i] + ";";
      if ((i + 1) % group == 0) out_ += i + 1 == values.size() ? ";\n" : ",\n";
    }
  } else {
    for (std::size_t i = 0; i < values.size();) {
      std::size_t n = std::stoul(values[i]);
      out_ += values[i] + ";";
      for (std::size_t k = 1; k <= n && i + k < values.size(); ++k) out_ += values[i + k] + (k == n ? ";" : ",");
      i += n + 1;
      out_ += i >= values.size() ? ";\n" : ",\n";
    }
  }
  out_ += '\n';
}

void XWriter::Ints(const std::vector<std::uint32_t>& values, Shape shape, int group) {
  if (!binary_) {
    std::vector<std::string> text;
    for (std::uint32_t v : values) text.push_back(std::to_string(v));
    TextValues(text, shape, group);
    return;
  }
  Token(6);
  Dword(static_cast<std::uint32_t>(values.size()));
  for (std::uint32_t v : values) Dword(v);
}

void XWriter::Floats(const std::vector<double>& values, Shape shape, int group) {
  if (!binary_) {
    std::vector<std::string> text;
    for (double v : values) {
      char number[40];
      std::snprintf(number, sizeof number, "%.9g", v);
      text.push_back(number);
      if (text.back().find_first_of(".en") == std::string::npos) text.back() += ".0";  // as exporters write
    }
    TextValues(text, shape, group);
    return;
  }
  Token(7);
  Dword(static_cast<std::uint32_t>(values.size()));
  for (double v : values) {
    char bytes[8];
    if (doubles_) {
      std::memcpy(bytes, &v, 8);
      out_.append(bytes, 8);
    } else {
      float f = static_cast<float>(v);
      std::memcpy(bytes, &f, 4);
      out_.append(bytes, 4);
    }
  }
}

void XWriter::String(std::string_view text) {
  if (!binary_) {
    out_ += '"';
    out_ += text;
    out_ += "\";\n";
    return;
  }
  Token(2);
  Dword(static_cast<std::uint32_t>(text.size()));
  out_ += text;
  if (wideTerminator_) Dword(20);
  else Token(20);
}

void XWriter::Reference(std::string_view target) {
  if (binary_) Token(10);
  else out_ += "{ ";
  if (!target.empty() && target.front() == '<') Guid(target.substr(1, target.size() - 2));
  else Name(target);
  if (binary_) Token(11);
  else out_ += "}\n";
}

std::string Mszip(std::string_view plain, std::size_t blockBytes) {
  std::string out;
  Le32(&out, static_cast<std::uint32_t>(plain.size() + 16));
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
  for (std::size_t at = 0; at < plain.size(); at += blockBytes) {
    std::size_t n = std::min(blockBytes, plain.size() - at);
    deflateReset(&z);
    if (at > 0) {
      std::size_t window = std::min<std::size_t>(at, 32768);
      deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(plain.data() + at - window), static_cast<uInt>(window));
    }
    std::string packed(deflateBound(&z, n), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data() + at));
    z.avail_in = static_cast<uInt>(n);
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = static_cast<uInt>(packed.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    packed.resize(packed.size() - z.avail_out);
    Le16(&out, static_cast<unsigned>(n));
    Le16(&out, static_cast<unsigned>(packed.size() + 2));
    out += "CK";
    out += packed;
  }
  deflateEnd(&z);
  return out;
}

std::string MakeFile(Format format, const std::string& body, bool doubles, std::size_t blockBytes) {
  static const char* const kWords[] = {"txt ", "bin ", "tzip", "bzip"};
  std::string file = "xof 0303";
  file += kWords[static_cast<int>(format)];
  file += doubles ? "0064" : "0032";
  file += IsZip(format) ? Mszip(body, blockBytes) : body;
  return file;
}

const std::vector<double> Scene::kPositions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 0, 0.5, 2, 1, 0.5};
const std::vector<std::uint32_t> Scene::kFaces = {4, 0, 1, 2, 3, 3, 1, 4, 5, 3, 1, 5, 2};
// Normal 2 equals normal 0 under another index: it must not copy vertex 2.
const std::vector<double> Scene::kNormals = {0, 0, 1, 0.6, 0, 0.8, 0, 0, 1};
const std::vector<std::uint32_t> Scene::kFaceNormals = {4, 0, 0, 0, 0, 3, 1, 1, 1, 3, 1, 1, 2};
const std::vector<double> Scene::kUvs = {0, 0, 1, 0, 1, 1, 0, 1, 0.25, 0.5, 0.75, 0.125};
// Root: translate by (10, 20, 30). Child: 90 degrees about z, then scale by 2 ((x,y,z) -> (-2y, 2x, 2z)).
const std::vector<double> Scene::kRootMatrix = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1};
const std::vector<double> Scene::kChildMatrix = {0, 2, 0, 0, -2, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
const std::vector<double> Scene::kTriangle = {5, 5, 5, 6, 5, 5, 5, 6, 5};
// RGBA per panel vertex, written in reverse order by index.
const std::vector<double> Scene::kColors = {1, 0, 0, 1, 1, 1, 1, 1, 0, 1, 0, 1, 0, 0, 1, 0.5, 0.2, 0.4, 0.6, 0.8, 0, 0, 0, 0};

namespace {

using Shape = XWriter::Shape;

// Material { ColorRGBA faceColor; FLOAT power; ColorRGB specularColor; ColorRGB emissiveColor; }
void MaterialValues(XWriter& w, std::vector<double> v) {
  w.Floats({v[0], v[1], v[2], v[3]});
  w.TextOnly(";");
  w.Floats({v[4]});
  w.Floats({v[5], v[6], v[7]});
  w.TextOnly(";");
  w.Floats({v[8], v[9], v[10]});
  w.TextOnly(";\n");
}

void Matrix(XWriter& w, const std::vector<double>& m) {
  w.Begin("FrameTransformMatrix");
  w.Floats(m, Shape::kArray);
  w.TextOnly(";");
  w.End();
}

}  // namespace

void WriteMaterial(XWriter& w, std::string_view name, const std::vector<double>& values) {
  w.Begin("Material", name);
  MaterialValues(w, values);
  w.End();
}

std::string SceneFile(Format format, bool doubles, std::size_t blockBytes, bool fullMaterialList) {
  XWriter w(IsBinary(format), doubles);
  w.Template("Vector", "3D82AB5E-62DA-11cf-AB39-0020AF71E433");
  w.Template("Mesh", "3D82AB44-62DA-11cf-AB39-0020AF71E433");
  w.Begin("Header");
  w.Ints({1, 0, 1});
  w.End();
  w.Begin("Material", "Brick");
  MaterialValues(w, {0.75, 0.5, 0.25, 1, 12.5, 0.1, 0.2, 0.3, 0, 0, 0.05});
  w.Begin("TextureFilename");
  w.String("textures\\Brick Wall.PNG");
  w.End();
  w.End();
  w.Begin("Frame", "Root");
  Matrix(w, Scene::kRootMatrix);
  w.Begin("Frame", "Child");
  w.Begin("Mesh", "Panel");
  w.Ints({6});
  w.Floats(Scene::kPositions, Shape::kArray, 3);
  w.Ints({3});
  w.Ints(Scene::kFaces, Shape::kFaces);
  w.Begin("MeshNormals");
  w.Ints({3});
  w.Floats(Scene::kNormals, Shape::kArray, 3);
  w.Ints({3});
  w.Ints(Scene::kFaceNormals, Shape::kFaces);
  w.End();
  w.Begin("MeshTextureCoords");
  w.Ints({6});
  w.Floats(Scene::kUvs, Shape::kArray, 2);
  w.End();
  w.Begin("MeshVertexColors");  // IndexedColor { DWORD index; ColorRGBA indexColor; }
  w.Ints({6});
  for (std::uint32_t v = 0; v < 6; ++v) {
    w.Ints({5 - v});
    w.Floats({Scene::kColors[(5 - v) * 4], Scene::kColors[(5 - v) * 4 + 1], Scene::kColors[(5 - v) * 4 + 2],
              Scene::kColors[(5 - v) * 4 + 3]});
    w.TextOnly(v == 5 ? ";;\n" : ";,\n");
  }
  w.End();
  w.Begin("MeshMaterialList");
  if (fullMaterialList) {
    w.Ints({2, 3});
    w.Ints({0, 1, 1}, Shape::kArray);
  } else {
    w.Ints({2, 2});  // 2 materials, 2 indices for 3 polygons: the last repeats
    w.Ints({0, 1}, Shape::kArray);
  }
  w.Reference("Brick");
  w.Begin("Material", "Glass");
  MaterialValues(w, {0.5, 0.5, 1, 0.25, 40, 1, 1, 1, 0, 0, 0});
  w.End();
  w.End();
  w.Begin("VertexDuplicationIndices");  // unknown here: skipped
  w.Ints({6, 6});
  w.Ints({0, 1, 2, 3, 4, 5}, Shape::kArray);
  w.End();
  w.End();  // Mesh
  // The transform may come after the mesh it applies to.
  Matrix(w, Scene::kChildMatrix);
  w.End();  // Child
  w.End();  // Root
  w.Begin("Frame", "Plain");  // no transform of its own
  w.Begin("Mesh");
  w.Ints({3});
  w.Floats(Scene::kTriangle, Shape::kArray, 3);
  w.Ints({1});
  w.Ints({3, 0, 1, 2}, Shape::kFaces);
  w.End();
  w.End();
  return MakeFile(format, w.body(), doubles, blockBytes);
}

}  // namespace zr::test::xfile
