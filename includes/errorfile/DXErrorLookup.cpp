#include "errorfile/DXErrorLookup.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

struct ResultCodeText {
  HRESULT value;
  const char* text;
};

// kResultNames and kResultDescriptions, sorted by value; made by tools/errornames/generate.py.
#include "errorfile/DXErrorTables.inc"

// Halving without branches: the table is small enough to stay in cache, and a random code would
// mispredict about half of the comparisons of an ordinary binary search.
template <size_t N>
const char* Find(const ResultCodeText (&table)[N], HRESULT hr, const char* missing) {
  const ResultCodeText* base = table;
  size_t n = N;
  while (n > 1) {
    size_t half = n / 2;
    base = base[half].value <= hr ? base + half : base;
    n -= half;
  }
  return base->value == hr ? base->text : missing;
}

// Pieces of a trace line are held to these sizes, terminator included.
constexpr size_t kLineTextSize = 128;
constexpr size_t kResultTextSize = 256;
constexpr size_t kPieceSize = 3000;
constexpr size_t kLongestMessage = 1024;

}  // namespace

const char* DXErrorName(HRESULT hr) { return Find(kResultNames, hr, "Unknown"); }

const char* DXErrorDescription(HRESULT hr) { return Find(kResultDescriptions, hr, "n/a"); }

HRESULT DXErrorTrace(const char* file, unsigned long line, HRESULT hr, const char* message,
                     bool showMessageBox) {
  // Nothing here allocates: every piece is formatted into a buffer of its own on the stack.
  // The line is written as "%ld" writes the platform's 32-bit long: its low 32 bits as a signed
  // number, so 0xFFFFFFFF is "-1".
  char lineText[kLineTextSize];
  std::snprintf(lineText, sizeof lineText, "%" PRId32, static_cast<std::int32_t>(static_cast<std::uint32_t>(line)));

  // The whole line, for the message box, is held to the size of one piece as well.
  char piece[kPieceSize];
  char whole[kPieceSize];
  whole[0] = '\0';
  size_t wholeLength = 0;
  const auto write = [&](const char* text) {
    OutputDebugStringA(text);
    const int written = std::snprintf(whole + wholeLength, sizeof whole - wholeLength, "%s", text);
    if (written > 0) wholeLength = std::min(wholeLength + static_cast<size_t>(written), sizeof whole - 1);
  };
  if (file != nullptr) {
    std::snprintf(piece, sizeof piece, "%s(%s): ", file, lineText);
    write(piece);
  }
  // A message of kLongestMessage characters or more counts as no message.
  if (message != nullptr) {
    size_t length = strnlen(message, kLongestMessage);
    if (length > 0 && length < kLongestMessage) {
      std::snprintf(piece, sizeof piece, "%s ", message);
      write(piece);
    }
  }
  char resultText[kResultTextSize];
  std::snprintf(resultText, sizeof resultText, "%s (0x%.8x)", DXErrorName(hr), static_cast<unsigned>(hr));
  std::snprintf(piece, sizeof piece, "hr=%s", resultText);
  write(piece);
  OutputDebugStringA("\n");

  if (showMessageBox) MessageBoxA(nullptr, whole, "Unexpected error encountered", MB_OK | MB_ICONERROR);
  return hr;
}
