// The text and binary token streams of .X files.
#include "xfile_lexer.h"

#include <cstring>

#include "xfile_errors.h"

namespace zr::d3dx9::xfile::detail {
namespace {

// Binary token values.
enum : unsigned {
  kTokName = 1,
  kTokString = 2,
  kTokInteger = 3,
  kTokGuid = 5,
  kTokIntegerList = 6,
  kTokFloatList = 7,
  kTokOpenBrace = 10,
  kTokCloseBrace = 11,
  kTokOpenParen = 12,
  kTokDot = 18,
  kTokComma = 19,
  kTokSemicolon = 20,
  kTokTemplate = 31,
  kTokWord = 40,
  kTokArray = 52,
};

unsigned Le16(const std::uint8_t* p) { return p[0] | (unsigned{p[1]} << 8); }
std::uint32_t Le32(const std::uint8_t* p) { return Le16(p) | (std::uint32_t{Le16(p + 2)} << 16); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsSpace(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == 0; }

// Characters that end a text word.
bool EndsWord(std::uint8_t c) {
  return IsSpace(c) || c == '{' || c == '}' || c == ',' || c == ';' || c == '<' || c == '>' || c == '"' ||
         c == '(' || c == ')' || c == '[' || c == ']';
}

}  // namespace

bool ParseGuidText(std::string_view text, Guid* guid) {
  while (!text.empty() && IsSpace(static_cast<std::uint8_t>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && IsSpace(static_cast<std::uint8_t>(text.back()))) text.remove_suffix(1);
  static constexpr int kGroups[] = {8, 4, 4, 4, 12};
  if (text.size() != 36) return false;
  std::uint8_t bytes[16];
  std::size_t at = 0, byte = 0;
  for (int g = 0; g < 5; ++g) {
    if (g > 0 && text[at++] != '-') return false;
    for (int i = 0; i < kGroups[g]; i += 2) {
      int hi = HexDigit(text[at]), lo = HexDigit(text[at + 1]);
      if (hi < 0 || lo < 0) return false;
      bytes[byte++] = static_cast<std::uint8_t>(hi * 16 + lo);
      at += 2;
    }
  }
  guid->data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
  guid->data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  guid->data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  std::memcpy(guid->data4, bytes + 8, 8);
  return true;
}

HRESULT Lexer::Next(Token* token) {
  *token = Token{};
  return binary_ ? NextBinary(token) : NextText(token);
}

void Lexer::DropList() {
  std::size_t element = listFloats_ && doubles_ ? 8 : 4;
  pos_ += std::size_t{listLeft_} * element;  // within the data: checked when the list began
  listLeft_ = 0;
}

HRESULT Lexer::NextText(Token* token) {
  // Blanks and comments (// or # to the end of the line).
  for (;;) {
    while (pos_ < size_ && IsSpace(data_[pos_])) ++pos_;
    if (pos_ < size_ && (data_[pos_] == '#' || (data_[pos_] == '/' && size_ - pos_ >= 2 && data_[pos_ + 1] == '/'))) {
      while (pos_ < size_ && data_[pos_] != '\n') ++pos_;
      continue;
    }
    break;
  }
  if (pos_ == size_) {
    token->kind = TokenKind::kEnd;
    return S_OK;
  }
  const char* chars = reinterpret_cast<const char*>(data_);
  std::uint8_t c = data_[pos_];
  switch (c) {
    case '{': token->kind = TokenKind::kOpenBrace; ++pos_; return S_OK;
    case '}': token->kind = TokenKind::kCloseBrace; ++pos_; return S_OK;
    case ',': token->kind = TokenKind::kComma; ++pos_; return S_OK;
    case ';': token->kind = TokenKind::kSemicolon; ++pos_; return S_OK;
    case '(': case ')': case '[': case ']': token->kind = TokenKind::kOther; ++pos_; return S_OK;
    case '>': return DXFILEERR_PARSEERROR;
    case '<': {
      const void* close = std::memchr(data_ + pos_, '>', size_ - pos_);
      if (close == nullptr) return DXFILEERR_PARSEERROR;
      std::size_t end = static_cast<const std::uint8_t*>(close) - data_;
      if (!ParseGuidText(std::string_view(chars + pos_ + 1, end - pos_ - 1), &token->guid)) return DXFILEERR_PARSEERROR;
      token->kind = TokenKind::kGuid;
      pos_ = end + 1;
      return S_OK;
    }
    case '"': {
      const void* close = std::memchr(data_ + pos_ + 1, '"', size_ - pos_ - 1);
      if (close == nullptr) return DXFILEERR_PARSEERROR;
      std::size_t end = static_cast<const std::uint8_t*>(close) - data_;
      token->kind = TokenKind::kString;
      token->text = std::string_view(chars + pos_ + 1, end - pos_ - 1);
      pos_ = end + 1;
      return S_OK;
    }
    default: break;
  }
  std::size_t start = pos_;
  while (pos_ < size_ && !EndsWord(data_[pos_])) ++pos_;
  token->text = std::string_view(chars + start, pos_ - start);
  token->kind = token->text == "template" ? TokenKind::kTemplate : TokenKind::kName;
  return S_OK;
}

HRESULT Lexer::NextBinary(Token* token) {
  for (;;) {
    if (listLeft_ > 0) {
      --listLeft_;
      if (listFloats_) {
        token->kind = TokenKind::kFloat;
        if (doubles_) {
          std::memcpy(&token->real, data_ + pos_, 8);
          pos_ += 8;
        } else {
          float f;
          std::memcpy(&f, data_ + pos_, 4);
          token->real = f;
          pos_ += 4;
        }
      } else {
        token->kind = TokenKind::kInteger;
        token->integer = Le32(data_ + pos_);
        pos_ += 4;
      }
      return S_OK;
    }
    if (pos_ == size_) {
      token->kind = TokenKind::kEnd;
      return S_OK;
    }
    if (size_ - pos_ < 2) return DXFILEERR_PARSEERROR;
    unsigned kind = Le16(data_ + pos_);
    pos_ += 2;
    std::size_t left = size_ - pos_;
    switch (kind) {
      case kTokName:
      case kTokString: {
        if (left < 4) return DXFILEERR_PARSEERROR;
        std::uint32_t count = Le32(data_ + pos_);
        if (count > left - 4) return DXFILEERR_PARSEERROR;
        token->kind = kind == kTokName ? TokenKind::kName : TokenKind::kString;
        token->text = std::string_view(reinterpret_cast<const char*>(data_ + pos_ + 4), count);
        pos_ += 4 + std::size_t{count};
        if (kind == kTokString && size_ - pos_ >= 2) {
          // The terminator: a semicolon or comma token, written as a 32-bit value (or, by some
          // writers, as a 16-bit token alone).
          unsigned end = Le16(data_ + pos_);
          if (end == kTokSemicolon || end == kTokComma) {
            pos_ += 2;
            if (size_ - pos_ >= 2 && Le16(data_ + pos_) == 0) pos_ += 2;
          }
        }
        return S_OK;
      }
      case kTokInteger:
        if (left < 4) return DXFILEERR_PARSEERROR;
        token->kind = TokenKind::kInteger;
        token->integer = Le32(data_ + pos_);
        pos_ += 4;
        return S_OK;
      case kTokGuid:
        if (left < 16) return DXFILEERR_PARSEERROR;
        token->kind = TokenKind::kGuid;
        token->guid.data1 = Le32(data_ + pos_);
        token->guid.data2 = static_cast<std::uint16_t>(Le16(data_ + pos_ + 4));
        token->guid.data3 = static_cast<std::uint16_t>(Le16(data_ + pos_ + 6));
        std::memcpy(token->guid.data4, data_ + pos_ + 8, 8);
        pos_ += 16;
        return S_OK;
      case kTokIntegerList:
      case kTokFloatList: {
        if (left < 4) return DXFILEERR_PARSEERROR;
        std::uint32_t count = Le32(data_ + pos_);
        pos_ += 4;
        listFloats_ = kind == kTokFloatList;
        std::size_t element = listFloats_ && doubles_ ? 8 : 4;
        if (count > (left - 4) / element) return DXFILEERR_BADARRAYSIZE;
        listLeft_ = count;
        continue;  // its first element, or the next token for an empty list
      }
      case kTokOpenBrace: token->kind = TokenKind::kOpenBrace; return S_OK;
      case kTokCloseBrace: token->kind = TokenKind::kCloseBrace; return S_OK;
      case kTokComma: token->kind = TokenKind::kComma; return S_OK;
      case kTokSemicolon: token->kind = TokenKind::kSemicolon; return S_OK;
      case kTokTemplate: token->kind = TokenKind::kTemplate; return S_OK;
      default:
        if ((kind >= kTokOpenParen && kind <= kTokDot) || (kind >= kTokWord && kind <= kTokArray)) {
          token->kind = TokenKind::kOther;
          return S_OK;
        }
        return DXFILEERR_PARSEERROR;
    }
  }
}

}  // namespace zr::d3dx9::xfile::detail
