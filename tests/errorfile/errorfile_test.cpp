// Error reports (error.log, message boxes, the debugger trace) and the names of result codes,
// against the recording fake.
#include <d3d9.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "allocation_counter.h"
#include "errorfile/DXErrorLookup.h"
#include "errorfile/zr_ErrorException.h"
#include "fake_platform.h"
#include "scratch_directory.h"

using ::testing::ElementsAre;

namespace {

// What the code under test allocates on this thread while `run` runs (what the fake allocates to
// record a call left out): this program's operator new and delete are the benchmarks' counting ones.
std::size_t Allocations(const std::function<void()>& run) {
  zr::bench::IgnoreAllocationsWhile(&fake::Platform::Recording);
  zr::bench::AllocationCount count;
  run();
  return count.Count();
}

// Sat Dec 05 15:59:05 2026 UTC, and Fri Jan 01 2027: a day of one digit.
std::time_t FixedClock() { return 1796486345; }
std::time_t EarlyInMonthClock() { return 1796486345 + 27 * 24 * 3600; }
const std::string kStamp = "Sat Dec 05 15:59:05 2026\r\n";

fake::Platform& P() { return fake::Platform::Get(); }

std::vector<std::string> Pieces() {
  std::vector<std::string> out;
  for (const fake::Call& c : P().CallsTo("OutputDebugStringA")) out.push_back(c.Arg(0));
  return out;
}

class ErrorReport : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    zr_SetErrorClock(FixedClock);
    P().Reset();
  }
  void TearDown() override { zr_SetErrorClock(nullptr); }
  ScratchDirectory dir;
};

TEST_F(ErrorReport, EveryKindOfReportWritesItsLogAndShowsItsBox) {
  const std::string dx =
      "Error: 2\n\nMessage:\n\nError by creating a Device\n\nDirectX Information: Errorname: "
      "D3DERR_INVALIDCALL\nDescripton:\nInvalid call";
  const std::string dxLog =
      "Error: 2\r\n\r\nMessage:\r\n\r\nError by creating a Device\r\n\r\nDirectX Information: "
      "Errorname: D3DERR_INVALIDCALL\r\nDescripton:\r\nInvalid call";
  // What happens, what it returns (-1: it raises a report, which is handled as the program's top
  // level does), error.log afterwards byte for byte, and the text of the one message box if any.
  const std::tuple<const char*, std::function<int()>, int, std::string, std::string> cases[] = {
      {"success", [] { return DXTestForError(S_OK, "", 1, true) + DXTestForError(S_FALSE, "", 1, false); }, 0, "", ""},
      {"DirectX, logged", [] { return DXTestForError(D3DERR_INVALIDCALL, "no texture a.png", 19, false); }, 1,
       "************************ " + kStamp + "*** Error_19 ** no texture a.png\r\n", ""},
      {"DirectX, raised", [] { return DXTestForError(D3DERR_INVALIDCALL, "Error by creating a Device", 2, true); }, -1,
       dxLog, dx},
      {"game, logged", [] { return ExceptionGameError("", 0, 11, "reference device", false), 0; }, 0,
       kStamp + " ** Error_11 ** reference device", ""},
      {"game, raised", [] { return ExceptionGameError("", 0, 13, "no counter", true), 0; }, -1,
       "************************ " + kStamp + "*** Error_13 ** no counter\r\n",
       "Error: 13\n\nMessage:\n\nno counter\n\n"},
      {"file and line", []() -> int { throw zr_ErrorException("game.cpp", 42, 7, "went wrong"); }, -1,
       "Error_7 ** File game.cpp ** Line 42 ** Message went wrong\r\n",
       "Error: 7\nIn File:game.cpp\nIn Line:42\n\nMessage:\n\nwent wrong\n\n"},
      {"raw text", []() -> int { throw zr_ErrorException(5, "100% %s %d %n\nline 2", 1); }, -1,
       "100% %s %d %n\r\nline 2", "100% %s %d %n\nline 2"},
      {"percent signs",
       [] {
         const int result = DXTestForError(E_FAIL, "%s%s%n%d", 4, false);
         return ExceptionGameError("%s", 0, 4, "%n%n", false), result;
       },
       1, "************************ " + kStamp + "*** Error_4 ** %s%s%n%d\r\n" + kStamp + " ** Error_4 ** %n%n", ""},
      {"appended, on a day of one digit",
       [] {
         std::ofstream("error.log", std::ios::binary) << "old\r\n";
         return zr_SetErrorClock(EarlyInMonthClock), ExceptionGameError("", 0, 3, "new", false), 0;
       },
       0, "old\r\nFri Jan 01 15:59:05 2027\r\n ** Error_3 ** new", ""},
      {"log unwritable or unnamed",
       [] {
         std::filesystem::create_directory("error.log");  // cannot be opened as a file, whoever runs the test
         zr_ErrorException(21, "m", 1).WriteErrorToLog(nullptr);
         const int result = DXTestForError(E_FAIL, "m", 21, false);
         return std::filesystem::remove("error.log"), result;  // still empty
       },
       1, "", ""},
  };
  for (const auto& [what, act, result, log, box] : cases) {
    SCOPED_TRACE(what);
    ScratchDirectory scratch;
    P().Reset();
    zr_SetErrorClock(FixedClock);
    int returned = -1;
    try {
      returned = act();
    } catch (zr_ErrorException& e) {
      e.GenerateText();
      e.WriteErrorToLog(kErrorLogFile);
      e.DisplayError();
    }
    EXPECT_EQ(returned, result);
    EXPECT_EQ(scratch.Read("error.log"), log);
    std::vector<fake::Call> boxes = P().CallsTo("MessageBoxA");
    ASSERT_EQ(boxes.size(), box.empty() ? 0u : 1u);
    for (const fake::Call& shown : boxes) EXPECT_THAT(shown.args, ElementsAre("<null>", box, "Error", "0"));
  }
}

TEST_F(ErrorReport, ALoggedDirectXReportIsTracedWithItsLogText) {
  DXTestForError(D3DERR_INVALIDCALL, "m", 19, false);
  EXPECT_THAT(Pieces(), ElementsAre(::testing::MatchesRegex("includes/errorfile/zr_ErrorException\\.cpp\\([0-9]+\\): "),
                                    "************************ Sat Dec 05 15:59:05 2026\n*** Error_19 ** m\n\n\r ",
                                    "hr=S_OK (0x00000000)", "\n"));
}

TEST_F(ErrorReport, EveryTextIsCutTo255Characters) {
  const std::string huge(10000, 'x');
  zr_ErrorException withLine(huge, 1, 1, huge), plain(1, huge, 0);
  DXzr_ErrorException dx(2, E_FAIL, huge);
  for (zr_ErrorException* e : {&withLine, &plain, static_cast<zr_ErrorException*>(&dx)}) e->GenerateText();
  EXPECT_EQ(withLine.logText.substr(0, 16), "Error_1 ** File ");
  for (const std::string& text :
       {withLine.logText, withLine.displayText, plain.logText, plain.displayText, std::string(plain.GetLogErrorText()),
        std::string(dx.GetLogErrorText()), std::string(dx.GetDisplayErrorText())})
    EXPECT_EQ(text.size(), 255u);
  EXPECT_EQ(DXTestForError(E_FAIL, huge.c_str(), 2, false), 1);
  for (const std::string& piece : Pieces()) EXPECT_LT(piece.size(), 3000u);
}

// Each row of the data file: value, the name the lookup gives, the description.
TEST(ResultCodes, DocumentedCodesHaveTheirNamesAndDescriptions) {
  std::ifstream in(RESULT_CODES);
  int rows = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string value, name, description;
    std::getline(std::getline(std::getline(fields, value, '\t'), name, '\t'), description);
    const HRESULT hr = static_cast<HRESULT>(std::stoul(value, nullptr, 16));
    EXPECT_EQ(DXErrorName(hr), name) << value;
    EXPECT_EQ(DXErrorDescription(hr), description) << value;
    ++rows;
  }
  EXPECT_GE(rows, 30);
}

// The lookups and the trace (below) allocate nothing: they may be asked while memory has run out.
TEST(ResultTrace, TheLookupsAllocateNothing) {
  const char* volatile kept = nullptr;  // what a call gave, so that it is not left out
  const HRESULT codes[] = {S_OK, D3DERR_DEVICELOST, HRESULT(0x8007001E), HRESULT(0x80041001), HRESULT(0x12345678)};
  EXPECT_EQ(Allocations([&] {
              std::string text(100, 'x');  // too long to keep inline
              kept = text.c_str();
            }),
            1u)
      << "the counting itself";
  EXPECT_EQ(Allocations([&] {
              for (HRESULT hr : codes) {  // known and not
                kept = DXErrorName(hr);
                kept = DXErrorDescription(hr);
              }
            }),
            0u);
}

TEST(ResultTrace, WritesFileLineMessageAndResultAsPiecesAllocatingNothing) {
  const std::string m1023(1023, 'm'), m1024(1024, 'm'), f5000(5000, 'f');
  // File, line, result, message, whether a box is asked for, and what reaches the debugger output,
  // piece by piece, joined by '|'.
  const std::tuple<const char*, unsigned long, std::uint32_t, const char*, bool, std::string> cases[] = {
      {"src/a.cpp", 240, 0x80004005, "it failed", true, "src/a.cpp(240): |it failed |hr=E_FAIL (0x80004005)|\n"},
      {nullptr, 7, 0x8ABCDEF0, "msg", false, "msg |hr=Unknown (0x8abcdef0)|\n"},
      {nullptr, 0, 0x0876086F, "", false, "hr=D3DOK_NOAUTOGEN (0x0876086f)|\n"},
      {nullptr, 0, 0x8876086C, nullptr, false, "hr=D3DERR_INVALIDCALL (0x8876086c)|\n"},
      {nullptr, 0, 0x8876086C, m1024.c_str(), false, "hr=D3DERR_INVALIDCALL (0x8876086c)|\n"},
      {nullptr, 0, 0, m1023.c_str(), false, m1023 + " |hr=S_OK (0x00000000)|\n"},
      {"f", 4294967295ul, 0, nullptr, false, "f(-1): |hr=S_OK (0x00000000)|\n"},
      {"f", 2147483648ul, 0, nullptr, false, "f(-2147483648): |hr=S_OK (0x00000000)|\n"},
      // the file alone fills the box's text; what follows must not be written past its end
      {f5000.c_str(), 0, 0, "m", true, std::string(2999, 'f') + "|m |hr=S_OK (0x00000000)|\n"},
      {f5000.c_str(), 4294967295ul, 0x8ABCDEF0, m1023.c_str(), true,
       std::string(2999, 'f') + "|" + m1023 + " |hr=Unknown (0x8abcdef0)|\n"},
  };
  for (const auto& [file, line, value, message, box, pieces] : cases) {
    SCOPED_TRACE(pieces.substr(0, 40));
    P().Reset();
    const HRESULT hr = static_cast<HRESULT>(value);
    HRESULT returned = S_FALSE;
    EXPECT_EQ(Allocations([&] { returned = DXErrorTrace(file, line, hr, message, box); }), 0u);
    EXPECT_EQ(returned, hr);
    std::string joined, whole;
    for (const std::string& piece : Pieces()) joined += (joined.empty() ? "" : "|") + piece;
    EXPECT_EQ(joined, pieces);
    for (const std::string& piece : Pieces()) whole += piece == "\n" ? "" : piece;
    std::vector<fake::Call> boxes = P().CallsTo("MessageBoxA");
    ASSERT_EQ(boxes.size(), box ? 1u : 0u);
    for (const fake::Call& shown : boxes)  // the whole line, cut as long as a piece may be
      EXPECT_THAT(shown.args, ElementsAre("<null>", whole.substr(0, 2999), "Unexpected error encountered", "16"));
  }
}

}  // namespace
