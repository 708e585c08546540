// Tokens of a .X file's text or binary stream, one value at a time: binary integer and float lists
// are handed out element by element, so no count in the file allocates anything here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "xfile_stream.h"

namespace zr::d3dx9::xfile::detail {

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};
  bool operator==(const Guid&) const = default;
};

enum class TokenKind {
  kEnd,
  kName,       // a binary name, or any text word (names and numbers alike)
  kString,     // "..." in text; its bytes as written
  kInteger,    // binary only
  kFloat,      // binary only
  kGuid,
  kOpenBrace,
  kCloseBrace,
  kComma,
  kSemicolon,
  kTemplate,
  kOther,      // punctuation and type keywords that only templates use
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string_view text;  // kName, kString
  std::uint32_t integer = 0;
  double real = 0;
  Guid guid;
};

// Parses the inside of <...>: 8-4-4-4-12 hex digits.
bool ParseGuidText(std::string_view text, Guid* guid);

class Lexer {
 public:
  explicit Lexer(const TokenStream& stream)
      : data_(stream.data), size_(stream.size), binary_(stream.encoding == Encoding::kBinary), doubles_(stream.doubles) {}

  bool binary() const { return binary_; }

  // DXFILEERR_PARSEERROR for a malformed or cut token, DXFILEERR_BADARRAYSIZE for a binary list
  // longer than the bytes left.
  HRESULT Next(Token* token);
  // Drops what is left of the binary list whose element Next last gave.
  void DropList();
  // Bytes after the last token handed out.
  std::size_t Remaining() const { return size_ - pos_; }

 private:
  HRESULT NextText(Token* token);
  HRESULT NextBinary(Token* token);

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  bool binary_;
  bool doubles_;
  // The binary list being handed out.
  std::uint32_t listLeft_ = 0;
  bool listFloats_ = false;
};

}  // namespace zr::d3dx9::xfile::detail
