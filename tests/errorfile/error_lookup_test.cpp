#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "errorfile/DXErrorLookup.h"
#include "fake_platform.h"

namespace {

// The generated tables themselves, to check their order against the lookup.
struct ResultCodeText {
  HRESULT value;
  const char* text;
};
#include "errorfile/DXErrorTables.inc"

HRESULT Code(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

struct Row {
  std::uint32_t value;
  const char* name;
  const char* description;
};

const Row kKnownRows[] = {
    {0x00000000, "S_OK", "The function completed successfully"},
    {0x00000001, "S_FALSE", "Call successful, but returned FALSE"},
    {0x00000002, "ERROR_FILE_NOT_FOUND", "The system cannot find the file specified."},
    {0x80070002, "ERROR_FILE_NOT_FOUND", "The system cannot find the file specified."},
    // Win32 error 1 shares its small number with S_FALSE, which keeps it, but its HRESULT form is
    // named by nothing else.
    {0x80070001, "ERROR_INVALID_FUNCTION", "Incorrect function."},
    {0x80004005, "E_FAIL", "An undetermined error occurred"},
    {0x8007000E, "E_OUTOFMEMORY", "Ran out of memory"},
    {0x80070057, "E_INVALIDARG", "An invalid parameter was passed to the returning function"},
    {0x8007000C, "ERROR_INVALID_ACCESS & DIERR_NOTACQUIRED",
     "The operation cannot be performed unless the device is acquired."},
    {0x8007001E, "ERROR_READ_FAULT & DIERR_INPUTLOST", "Access to the device has been lost.  It must be re-acquired."},
    {0x88760868, "D3DERR_DEVICELOST", "Device lost"},
    {0x88760869, "D3DERR_DEVICENOTRESET", "Device not reset"},
    {0x8876086C, "D3DERR_INVALIDCALL", "Invalid call"},
};

TEST(DXErrorLookup, KnownRowsGiveTheirNameAndDescription) {
  for (const Row& row : kKnownRows) {
    SCOPED_TRACE(row.name);
    EXPECT_STREQ(DXErrorName(Code(row.value)), row.name);
    EXPECT_STREQ(DXErrorDescription(Code(row.value)), row.description);
  }
}

TEST(DXErrorLookup, ValuesWithSeveralNamesJoinThemInAFixedOrder) {
  EXPECT_STREQ(DXErrorName(Code(0x00040002)), "OLE_S_MAC_CLIPFORMAT & MS_S_NOUPDATE & WBEM_S_RESET_TO_DEFAULT");
  EXPECT_STREQ(DXErrorName(Code(0x00040001)), "OLE_S_STATIC & MS_S_PENDING & WBEM_S_ALREADY_EXISTS");
  EXPECT_STREQ(DXErrorName(Code(0x00040003)), "MS_S_ENDOFSTREAM & WBEM_S_DIFFERENT");
  EXPECT_STREQ(DXErrorName(Code(0x800700AA)), "ERROR_BUSY & DIERR_ACQUIRED");
  EXPECT_STREQ(DXErrorName(Code(0x80070015)), "ERROR_NOT_READY & DIERR_NOTINITIALIZED");
  EXPECT_STREQ(DXErrorName(Code(0x80040204)), "DIERR_HASEFFECTS & VFW_E_ALREADY_CONNECTED & DMO_E_NOTACCEPTING");

  int joined = 0;
  for (const ResultCodeText& row : kResultNames)
    if (std::string(row.text).find(" & ") != std::string::npos) ++joined;
  EXPECT_EQ(joined, 28);
}

TEST(DXErrorLookup, DirectInputDriverCodesHavePlaceholderDescriptions) {
  for (int i = 1; i <= 5; ++i)
    EXPECT_EQ(DXErrorDescription(Code(0x80040300 + i)), "DIERR_DRIVERFIRST+" + std::to_string(i));
}

TEST(DXErrorLookup, MissingValuesGiveTheDefaultTexts) {
  // A name without a description, and a value in neither table.
  EXPECT_STREQ(DXErrorName(Code(0x80041001)), "WBEM_E_FAILED");
  EXPECT_STREQ(DXErrorDescription(Code(0x80041001)), "n/a");
  for (std::uint32_t missing : {0x12345678u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u}) {
    EXPECT_STREQ(DXErrorName(Code(missing)), "Unknown");
    EXPECT_STREQ(DXErrorDescription(Code(missing)), "n/a");
  }
}

TEST(DXErrorLookup, TablesAreStrictlySortedAndEveryRowIsFound) {
  std::set<std::string> names;
  for (size_t i = 0; i < std::size(kResultNames); ++i) {
    if (i > 0) {
      ASSERT_LT(kResultNames[i - 1].value, kResultNames[i].value) << i;
    }
    ASSERT_STREQ(DXErrorName(kResultNames[i].value), kResultNames[i].text);
    std::string joined = kResultNames[i].text;
    for (size_t start = 0;;) {
      size_t end = joined.find(" & ", start);
      names.insert(joined.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 3;
    }
  }
  for (size_t i = 0; i < std::size(kResultDescriptions); ++i) {
    if (i > 0) {
      ASSERT_LT(kResultDescriptions[i - 1].value, kResultDescriptions[i].value) << i;
    }
    ASSERT_STREQ(DXErrorDescription(kResultDescriptions[i].value), kResultDescriptions[i].text);
  }
  EXPECT_GT(names.size(), 3500u);
  EXPECT_GT(std::size(kResultDescriptions), 600u);
}

class DXErrorTraceTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::Platform::Get().Reset(); }
  std::vector<std::string> Pieces() const {
    std::vector<std::string> out;
    for (const fake::Call& c : fake::Platform::Get().CallsTo("OutputDebugStringA")) out.push_back(c.Arg(0));
    return out;
  }
};

TEST_F(DXErrorTraceTest, WritesFileMessageResultAndLineFeedAsSeparatePieces) {
  EXPECT_EQ(DXErrorTrace("src/x.cpp", 240, S_OK, "it failed", false), S_OK);
  EXPECT_THAT(Pieces(), ::testing::ElementsAre("src/x.cpp(240): ", "it failed ", "hr=S_OK (0x00000000)", "\n"));
  EXPECT_EQ(fake::Platform::Get().CountOf("MessageBoxA"), 0u);
}

TEST_F(DXErrorTraceTest, WithoutFileBeginsWithTheMessageAndNamesUnknownCodes) {
  EXPECT_EQ(DXErrorTrace(nullptr, 7, Code(0x8ABCDEF0), "msg", false), Code(0x8ABCDEF0));
  EXPECT_THAT(Pieces(), ::testing::ElementsAre("msg ", "hr=Unknown (0x8abcdef0)", "\n"));
}

TEST_F(DXErrorTraceTest, EmptyAndOverlongMessagesAreLeftOut) {
  DXErrorTrace(nullptr, 0, Code(0x8876086C), "", false);
  DXErrorTrace(nullptr, 0, Code(0x8876086C), nullptr, false);
  DXErrorTrace(nullptr, 0, Code(0x8876086C), std::string(1024, 'm').c_str(), false);
  EXPECT_THAT(Pieces(), ::testing::ElementsAre("hr=D3DERR_INVALIDCALL (0x8876086c)", "\n",
                                               "hr=D3DERR_INVALIDCALL (0x8876086c)", "\n",
                                               "hr=D3DERR_INVALIDCALL (0x8876086c)", "\n"));
  fake::Platform::Get().Reset();
  const std::string longest(1023, 'm');
  DXErrorTrace(nullptr, 0, S_OK, longest.c_str(), false);
  EXPECT_EQ(Pieces().front(), longest + " ");
}

TEST_F(DXErrorTraceTest, PiecesAreCutAtTheirBounds) {
  const std::string file(5000, 'f');
  DXErrorTrace(file.c_str(), 4294967295ul, S_OK, nullptr, false);
  const std::string piece = Pieces().front();
  EXPECT_EQ(piece.size(), 2999u);
  EXPECT_EQ(piece, std::string(2999, 'f'));
}

TEST_F(DXErrorTraceTest, LineIsWrittenAsASigned32BitLong) {
  DXErrorTrace("f", 4294967295ul, S_OK, nullptr, false);
  DXErrorTrace("f", 2147483648ul, S_OK, nullptr, false);
  DXErrorTrace("f", 2147483647ul, S_OK, nullptr, false);
  DXErrorTrace("f", 0, S_OK, nullptr, false);
  EXPECT_THAT(Pieces(), ::testing::ElementsAre("f(-1): ", "hr=S_OK (0x00000000)", "\n",
                                               "f(-2147483648): ", "hr=S_OK (0x00000000)", "\n",
                                               "f(2147483647): ", "hr=S_OK (0x00000000)", "\n",
                                               "f(0): ", "hr=S_OK (0x00000000)", "\n"));
}

TEST_F(DXErrorTraceTest, MessageBoxOnlyWhenAskedFor) {
  DXErrorTrace("a.cpp", 1, E_FAIL, "m", true);
  auto boxes = fake::Platform::Get().CallsTo("MessageBoxA");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Arg(1), "a.cpp(1): m hr=E_FAIL (0x80004005)");
}

}  // namespace
