#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

TEST(HeadlessMessageBox, WritesCaptionAndTextToStandardErrorAndReturnsAtOnce) {
  ASSERT_EQ(std::getenv("DISPLAY"), nullptr) << "run this test without a display";
  ::testing::internal::CaptureStderr();
  int pressed = MessageBoxA(nullptr, "Error: 13\n\nMessage:\n\nFrequence counter doesn't exist\n\n", "Error", MB_OK);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(pressed, IDOK);
  EXPECT_EQ(err, "[Error]\nError: 13\n\nMessage:\n\nFrequence counter doesn't exist\n\n");
}

TEST(HeadlessMessageBox, ReturnsTheDefaultButtonOfItsType) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNO), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_RETRYCANCEL | MB_DEFBUTTON2), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_OK | MB_DEFBUTTON3), IDOK);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(err.ends_with("q\n[Error]\n")) << err;
}

TEST(HeadlessMessageBox, OffscreenVideoDriverNeverOpensADialog) {
  setenv("DISPLAY", ":12345", 1);
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OKCANCEL), IDOK);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[c]\nt\n");
  unsetenv("DISPLAY");
  unsetenv("SDL_VIDEODRIVER");
}

TEST(HeadlessDebugOutput, GoesToStandardErrorUnchanged) {
  ::testing::internal::CaptureStderr();
  OutputDebugStringA("a(1): ");
  OutputDebugStringA(nullptr);
  OutputDebugStringA("hr=S_OK (0x00000000)\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "a(1): hr=S_OK (0x00000000)\n");
}
