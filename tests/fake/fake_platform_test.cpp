// The fake's own contract: later tests rely on its counting and its chosen results.
#include "fake_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

using ::testing::ElementsAre;

class FakePlatform : public ::testing::Test {
 protected:
  void SetUp() override { p.Reset(); }
  fake::Platform& p = fake::Platform::Get();
};

TEST_F(FakePlatform, RecordsCallsWithTheirArgumentsInOrder) {
  OutputDebugStringA("first");
  MessageBoxA(nullptr, "text", nullptr, MB_YESNO);
  OutputDebugStringA("second");

  EXPECT_THAT(p.Names(), ElementsAre("OutputDebugStringA", "MessageBoxA", "OutputDebugStringA"));
  const fake::Call& box = p.Calls()[1];
  EXPECT_THAT(box.args, ElementsAre("<null>", "text", "<null>", "4"));
  EXPECT_EQ(box.IntArg(3), MB_YESNO);
  EXPECT_EQ(p.CountOf("OutputDebugStringA"), 2u);
  EXPECT_EQ(p.CallsTo("OutputDebugStringA")[1].Arg(0), "second");
  EXPECT_THROW(box.Arg(4), std::out_of_range);
}

TEST_F(FakePlatform, ChosenResultsApplyToTheNthCallThenToAll) {
  p.ResultForCall("MessageBoxA", 3, IDCANCEL);
  p.ResultForAll("MessageBoxA", IDNO);
  p.ResultForCall("MessageBoxA", 5, IDYES);
  std::vector<int> results;
  for (int i = 0; i < 6; ++i) results.push_back(MessageBoxA(nullptr, "", "", MB_OK));
  EXPECT_THAT(results, ElementsAre(IDNO, IDNO, IDCANCEL, IDNO, IDYES, IDNO));
}

TEST_F(FakePlatform, UnchosenCallsReturnTheirFallback) {
  EXPECT_EQ(MessageBoxA(nullptr, "", "", MB_OK), IDOK);
}

TEST_F(FakePlatform, HooksRunOnEachCallAndResetForgetsEverything) {
  int seen = 0;
  p.OnCall("OutputDebugStringA", [&](const fake::Call& c) { seen += c.Arg(0) == "x" ? 1 : 100; });
  p.ResultForAll("MessageBoxA", IDNO);
  OutputDebugStringA("x");
  OutputDebugStringA("x");
  EXPECT_EQ(seen, 2);

  p.Reset();
  OutputDebugStringA("x");
  EXPECT_EQ(seen, 2);
  EXPECT_EQ(p.Calls().size(), 1u);
  EXPECT_EQ(p.CountOf("MessageBoxA"), 0u);
  EXPECT_EQ(MessageBoxA(nullptr, "", "", MB_OK), IDOK);
}
