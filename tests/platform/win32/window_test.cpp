// The window system over SDL, run on SDL's offscreen driver (asked for by name).
#include <SDL.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "win32_internal.h"
#include "win32_testing.h"

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

namespace {

std::vector<UINT> g_seen;
LRESULT g_createAnswer = 0;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back(message);
  if (message == WM_CREATE) return g_createAnswer;
  if (message == WM_DESTROY) PostQuitMessage(7);
  return DefWindowProcA(window, message, wParam, lParam);
}

class Win32Window : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSEXA c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = RecordingProc;
    c.lpszClassName = "TestClass";
    ASSERT_NE(RegisterClassExA(&c), 0);
  }
  void SetUp() override {
    g_seen.clear();
    g_createAnswer = 0;
    MSG drain;
    while (PeekMessageA(&drain, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  void TearDown() override {
    for (HWND w : made_)
      if (IsWindow(w)) DestroyWindow(w);
    MSG drain;
    while (PeekMessageA(&drain, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  HWND Make(DWORD style = WS_OVERLAPPEDWINDOW) {
    HWND w = CreateWindowExA(0, "TestClass", "test", style, 10, 10, 320, 200, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    if (w != nullptr) made_.push_back(w);
    return w;
  }
  std::vector<HWND> made_;
};

TEST_F(Win32Window, CreationSendsCreateBeforeReturningAndCanBeRefused) {
  HWND w = Make();
  ASSERT_NE(w, nullptr);
  EXPECT_THAT(g_seen, ElementsAre(WM_CREATE));
  EXPECT_NE(zr::win32::SdlWindowOf(w), nullptr);

  g_seen.clear();
  g_createAnswer = -1;
  EXPECT_EQ(Make(), nullptr);
  EXPECT_THAT(g_seen, ElementsAre(WM_CREATE, WM_DESTROY));
}

TEST_F(Win32Window, ClassesAreUniqueAndMustExist) {
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = RecordingProc;
  c.lpszClassName = "TestClass";
  EXPECT_EQ(RegisterClassExA(&c), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(Win32Window, QueueFiltersByWindowAndRangeAndKeepsQuitForLast) {
  HWND a = Make();
  HWND b = Make();
  PostQuitMessage(3);
  PostMessageA(a, WM_USER + 1, 11, 0);
  PostMessageA(b, WM_USER + 2, 22, 0);
  PostMessageA(a, WM_USER + 3, 33, 0);

  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, b, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 33u);
  ASSERT_TRUE(PeekMessageA(&msg, a, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  EXPECT_FALSE(PeekMessageA(&msg, a, 0, 0, PM_REMOVE));  // WM_QUIT belongs to no window
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Win32Window, CloseButtonPostsCloseWhichDestroysTheWindowAndQuits) {
  HWND w = Make();
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = SDL_WINDOWEVENT_CLOSE;
  e.window.windowID = SDL_GetWindowID(zr::win32::SdlWindowOf(w));
  ASSERT_EQ(SDL_PushEvent(&e), 1);

  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_CLOSE));
  PostMessageA(w, WM_USER, 0, 0);
  DispatchMessageA(&msg);
  EXPECT_FALSE(IsWindow(w));
  EXPECT_THAT(g_seen, ElementsAre(WM_CREATE, WM_CLOSE, WM_DESTROY));
  // Messages posted to the window went with it; the quit message of its procedure remains.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
}

// Ctrl+C or SIGTERM in the terminal that started the program arrive as SDL's quit event.
TEST_F(Win32Window, AnEndRequestClosesEveryWindow) {
  HWND first = Make();
  HWND second = Make();
  SDL_Event e{};
  e.type = SDL_QUIT;
  ASSERT_EQ(SDL_PushEvent(&e), 1);
  MSG msg{};
  std::vector<HWND> closed;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_CLOSE) closed.push_back(msg.hwnd);
    DispatchMessageA(&msg);
  }
  EXPECT_THAT(closed, UnorderedElementsAre(first, second));
  EXPECT_FALSE(IsWindow(first));
  EXPECT_FALSE(IsWindow(second));
}

TEST_F(Win32Window, AltF4ClosesTheWindow) {
  HWND w = Make();
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.windowID = SDL_GetWindowID(zr::win32::SdlWindowOf(w));
  e.key.state = SDL_PRESSED;
  e.key.keysym.scancode = SDL_SCANCODE_F4;
  e.key.keysym.sym = SDLK_F4;
  e.key.keysym.mod = KMOD_LALT;
  ASSERT_EQ(SDL_PushEvent(&e), 1);
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_SYSKEYDOWN));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(VK_F4));
  DispatchMessageA(&msg);
  EXPECT_FALSE(IsWindow(w));
}

TEST_F(Win32Window, LosingFocusSendsTheDeactivationMessagesAndCountsIt) {
  HWND w = Make();
  zr::win32::testing::SetFocus(w, true);
  g_seen.clear();
  auto before = zr::win32::ActivityOf(w);
  EXPECT_TRUE(before.exists);
  EXPECT_TRUE(before.active);
  zr::win32::testing::SetFocus(w, false);
  EXPECT_THAT(g_seen, ElementsAre(WM_KILLFOCUS, WM_ACTIVATE, WM_ACTIVATEAPP));
  auto after = zr::win32::ActivityOf(w);
  EXPECT_FALSE(after.active);
  EXPECT_EQ(after.deactivations, before.deactivations + 1);
  zr::win32::testing::SetMinimised(w, true);
  EXPECT_EQ(zr::win32::ActivityOf(w).deactivations, before.deactivations + 2);
  EXPECT_TRUE(zr::win32::ActivityOf(w).minimised);
}

TEST_F(Win32Window, DestroyedWindowsStayOpenWhileHeld) {
  HWND w = Make();
  std::shared_ptr<SDL_Window> hold = zr::win32::HoldSdlWindow(w);
  ASSERT_TRUE(hold);
  Uint32 id = SDL_GetWindowID(hold.get());
  DestroyWindow(w);
  EXPECT_EQ(zr::win32::SdlWindowOf(w), nullptr);
  EXPECT_FALSE(zr::win32::ActivityOf(w).exists);
  EXPECT_EQ(SDL_GetWindowFromID(id), hold.get());
  hold.reset();
  EXPECT_EQ(SDL_GetWindowFromID(id), nullptr);
}

TEST(Win32Kernel, PerformanceCounterIsMonotonicNanosecondsAndSleepWaits) {
  LARGE_INTEGER f{}, a{}, b{};
  ASSERT_TRUE(QueryPerformanceFrequency(&f));
  EXPECT_EQ(f.QuadPart, 1'000'000'000);
  ASSERT_TRUE(QueryPerformanceCounter(&a));
  Sleep(20);
  ASSERT_TRUE(QueryPerformanceCounter(&b));
  EXPECT_GE(b.QuadPart - a.QuadPart, 20'000'000);
}

TEST(Win32Kernel, MultiByteToWideCharIsUtf8AndBounded) {
  const char* text = "Gr\xC3\xBC\xC3\x9F" "e";  // "Grüße"
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0), 6);
  WCHAR out[6];
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, out, 6), 6);
  EXPECT_EQ(std::wstring(out), L"Gr\u00FC\u00DFe");

  WCHAR small[3] = {L'x', L'x', L'x'};
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, small, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(small[2], L'x');

  const char bad[] = {'a', '\xC3', '(', 0};
  WCHAR fixed[4];
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, bad, -1, fixed, 4), 4);
  EXPECT_EQ(fixed[1], static_cast<WCHAR>(0xFFFD));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, -1, fixed, 4), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, fixed, 4), 3);  // no terminator when a length is given
}

TEST(Win32NoDisplay, WindowsCannotBeCreatedWithoutADisplay) {
  // Run in a child so that this process keeps its video driver.
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER " + std::string(self) +
                        " --gtest_filter=Win32NoDisplayChild.* > /dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST(Win32NoDisplayChild, CreateWindowFails) {
  if (std::getenv("SDL_VIDEODRIVER") != nullptr || std::getenv("DISPLAY") != nullptr) GTEST_SKIP();
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = DefWindowProcA;
  c.lpszClassName = "Lonely";
  ASSERT_NE(RegisterClassExA(&c), 0);
  EXPECT_EQ(CreateWindowExA(0, "Lonely", "", WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr), nullptr);
}

}  // namespace
