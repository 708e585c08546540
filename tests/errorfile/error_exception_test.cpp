#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "errorfile/zr_ErrorException.h"
#include "fake_platform.h"
#include "scratch_directory.h"

namespace {

// Sat Dec 05 15:59:05 2026 UTC, and a day with one digit.
std::time_t FixedClock() { return 1796486345; }
std::time_t EarlyInMonthClock() { return 1796486345 + 24 * 3600 * 27; }  // Fri Jan 01 2027

std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

class ErrorReport : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    zr_SetErrorClock(FixedClock);
    fake::Platform::Get().Reset();
  }
  void TearDown() override { zr_SetErrorClock(nullptr); }

  // What the top level does with a raised report.
  static void Handle(zr_ErrorException& e) {
    e.GenerateText();
    e.WriteErrorToLog(kErrorLogFile);
    e.DisplayError();
  }
  static fake::Call OnlyMessageBox() {
    auto boxes = fake::Platform::Get().CallsTo("MessageBoxA");
    EXPECT_EQ(boxes.size(), 1u);
    return boxes.empty() ? fake::Call{} : boxes[0];
  }

  ScratchDirectory dir;
};

TEST_F(ErrorReport, SuccessCodesReportNothing) {
  for (HRESULT hr : {S_OK, S_FALSE, static_cast<HRESULT>(0x7FFFFFFF), static_cast<HRESULT>(0x00040002)}) {
    EXPECT_EQ(DXTestForError(hr, "never", 19, false), 0);
    EXPECT_EQ(DXTestForError(hr, "never", 19, true), 0);
  }
  EXPECT_FALSE(dir.Exists("error.log"));
  EXPECT_TRUE(fake::Platform::Get().Calls().empty());
}

TEST_F(ErrorReport, LoggedDirectXFailureAppendsTheAsteriskFormAndTracesIt) {
  EXPECT_EQ(DXTestForError(static_cast<HRESULT>(0x8876086C), "Error, can't create a texture a.png", 19, false), 1);
  const std::string entry = "************************ Sat Dec 05 15:59:05 2026\n*** Error_19 ** Error, can't create a texture a.png\n";
  EXPECT_EQ(dir.Read("error.log"), Crlf(entry));

  std::vector<std::string> trace;
  for (const fake::Call& c : fake::Platform::Get().CallsTo("OutputDebugStringA")) trace.push_back(c.Arg(0));
  EXPECT_THAT(trace, ::testing::ElementsAre("includes/errorfile/zr_ErrorException.cpp(240): ", entry + "\n\r ",
                                            "hr=S_OK (0x00000000)", "\n"));
  EXPECT_EQ(fake::Platform::Get().CountOf("MessageBoxA"), 0u);
}

TEST_F(ErrorReport, RaisedDirectXFailureIsLoggedAndShownAsItsFinishedText) {
  try {
    DXTestForError(static_cast<HRESULT>(0x8876086C), "Error by creating a Device", 2, true);
    FAIL() << "no exception";
  } catch (zr_ErrorException& e) {
    EXPECT_EQ(e.rawText, 1);
    Handle(e);
  }
  const std::string text =
      "Error: 2\n\nMessage:\n\nError by creating a Device\n\n"
      "DirectX Information: Errorname: D3DERR_INVALIDCALL\nDescripton:\nInvalid call";
  EXPECT_EQ(dir.Read("error.log"), Crlf(text));
  fake::Call box = OnlyMessageBox();
  EXPECT_THAT(box.args, ::testing::ElementsAre("<null>", text, "Error", "0"));
  EXPECT_EQ(fake::Platform::Get().CountOf("OutputDebugStringA"), 0u);
}

TEST_F(ErrorReport, LoggedGameErrorHasNoLineFeedAfterTheMessage) {
  ExceptionGameError("", 0, 11, "Starting DirectGraphics, in Reference Device Mode", false);
  zr_SetErrorClock(EarlyInMonthClock);
  ExceptionGameError("", 0, 1, "second", false);
  EXPECT_EQ(dir.Read("error.log"),
            "Sat Dec 05 15:59:05 2026\r\n ** Error_11 ** Starting DirectGraphics, in Reference Device Mode"
            "Fri Jan 01 15:59:05 2027\r\n ** Error_1 ** second");
  EXPECT_TRUE(fake::Platform::Get().Calls().empty());
}

TEST_F(ErrorReport, RaisedGameErrorUsesTheShortForms) {
  try {
    ExceptionGameError("", 0, 13, "Frequence counter doesn't exist", true);
    FAIL() << "no exception";
  } catch (zr_ErrorException& e) {
    Handle(e);
  }
  EXPECT_EQ(dir.Read("error.log"),
            "************************ Sat Dec 05 15:59:05 2026\r\n*** Error_13 ** Frequence counter doesn't exist\r\n");
  EXPECT_EQ(OnlyMessageBox().Arg(1), "Error: 13\n\nMessage:\n\nFrequence counter doesn't exist\n\n");
}

TEST_F(ErrorReport, FileAndLineSelectTheLongForms) {
  zr_ErrorException e("game.cpp", 42, 7, "went wrong");
  Handle(e);
  EXPECT_EQ(dir.Read("error.log"), "Error_7 ** File game.cpp ** Line 42 ** Message went wrong\r\n");
  EXPECT_EQ(e.displayText, "Error: 7\nIn File:game.cpp\nIn Line:42\n\nMessage:\n\nwent wrong\n\n");
  EXPECT_EQ(OnlyMessageBox().Arg(1), e.displayText);
}

TEST_F(ErrorReport, RawTextIsShownAndLoggedUnchangedWhateverItHolds) {
  const std::string raw = "100% done %s %d %n\nsecond line";
  zr_ErrorException e(5, raw, 1);
  Handle(e);
  EXPECT_EQ(dir.Read("error.log"), Crlf(raw));
  EXPECT_EQ(OnlyMessageBox().Arg(1), raw);
}

TEST_F(ErrorReport, OutOfMemoryReportFromTheThreeArgumentForm) {
  zr_ErrorException e(12, "Storage error, there isn't anough storage", 0);
  Handle(e);
  EXPECT_EQ(dir.Read("error.log"),
            "************************ Sat Dec 05 15:59:05 2026\r\n*** Error_12 ** Storage error, there isn't anough storage\r\n");
  EXPECT_EQ(OnlyMessageBox().Arg(1), "Error: 12\n\nMessage:\n\nStorage error, there isn't anough storage\n\n");
}

TEST_F(ErrorReport, ExistingLogKeepsItsContent) {
  { std::ofstream("error.log", std::ios::binary) << "old entry\r\n"; }
  ExceptionGameError("", 0, 3, "new", false);
  EXPECT_EQ(dir.Read("error.log"), "old entry\r\nSat Dec 05 15:59:05 2026\r\n ** Error_3 ** new");
}

TEST_F(ErrorReport, PercentSignsInInputsAreNeverFormats) {
  DXTestForError(E_FAIL, "%s%s%s%n%d", 4, false);
  ExceptionGameError("%s", 0, 4, "%n%n%n", false);
  EXPECT_EQ(dir.Read("error.log"),
            "************************ Sat Dec 05 15:59:05 2026\r\n*** Error_4 ** %s%s%s%n%d\r\n"
            "Sat Dec 05 15:59:05 2026\r\n ** Error_4 ** %n%n%n");
}

TEST_F(ErrorReport, EveryGeneratedTextHoldsAtMost255Characters) {
  const std::string huge(10000, 'x');
  zr_ErrorException withLine(huge, 1, 1, huge);
  withLine.GenerateText();
  EXPECT_EQ(withLine.logText.size(), 255u);
  EXPECT_EQ(withLine.displayText.size(), 255u);
  EXPECT_EQ(withLine.logText.substr(0, 16), "Error_1 ** File ");

  zr_ErrorException plain(1, huge, 0);
  plain.GenerateText();
  EXPECT_EQ(plain.logText.size(), 255u);
  EXPECT_EQ(plain.displayText.size(), 255u);
  EXPECT_EQ(std::string(plain.GetLogErrorText()).size(), 255u);

  DXzr_ErrorException dx(2, E_FAIL, huge);
  dx.GenerateText();
  EXPECT_EQ(std::string(dx.GetLogErrorText()).size(), 255u);
  EXPECT_EQ(std::string(dx.GetDisplayErrorText()).size(), 255u);

  try {
    DXTestForError(E_FAIL, huge.c_str(), 2, true);
  } catch (zr_ErrorException& e) {
    Handle(e);
  }
  EXPECT_EQ(OnlyMessageBox().Arg(1).size(), 255u);

  fake::Platform::Get().Reset();
  EXPECT_EQ(DXTestForError(E_FAIL, huge.c_str(), 2, false), 1);
  for (const fake::Call& c : fake::Platform::Get().CallsTo("OutputDebugStringA")) EXPECT_LE(c.Arg(0).size(), 2999u);
}

TEST_F(ErrorReport, AnUnwritableLogChangesNothingElse) {
  // A directory in the log's place cannot be opened as a file, whoever runs the test.
  std::filesystem::create_directory("error.log");
  EXPECT_EQ(DXTestForError(E_FAIL, "m", 21, false), 1);
  EXPECT_EQ(fake::Platform::Get().CountOf("OutputDebugStringA"), 4u);
  ExceptionGameError("", 0, 21, "m", false);

  zr_ErrorException e(21, "m", 0);
  e.GenerateText();
  e.WriteErrorToLog("missing/folder/error.log");
  e.WriteErrorToLog(nullptr);
  e.DisplayError();
  EXPECT_EQ(fake::Platform::Get().CountOf("MessageBoxA"), 1u);
  EXPECT_TRUE(std::filesystem::is_directory("error.log"));
  EXPECT_FALSE(std::filesystem::exists("missing"));
}

}  // namespace
