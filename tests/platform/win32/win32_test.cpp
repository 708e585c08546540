// The window system over SDL's offscreen driver (asked for by name) and the clock. Focus, minimising
// and windows held past DestroyWindow are tested in the Direct3D device's loss; text conversion (of
// ASCII names) where the game loads sounds; that no window opens without a display, and the message
// that says so, where the whole program runs without one (program_test.py).
#include <gmock/gmock.h>


#include "test_window.h"

using ::testing::ElementsAre;

namespace {

// Takes every message off the queue, dispatching each; returns their kinds.
std::vector<UINT> Drain() {
  std::vector<UINT> taken;
  for (MSG msg; taken.size() < 100 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); DispatchMessageA(&msg))
    taken.push_back(msg.message);
  EXPECT_LT(taken.size(), 100u) << "the queue never empties";
  return taken;
}

TEST(Window, TheQueueFiltersByWindowAndRangeAndGivesQuitLastAndOnce) {
  Drain();
  HWND a = MakeWindow(), b = MakeWindow();
  PostQuitMessage(3);
  PostMessageA(a, WM_USER + 1, 11, 0);
  PostMessageA(b, WM_USER + 2, 22, 0);
  PostMessageA(a, WM_USER + 3, 33, 0);
  // Peeks for a window, a range of messages and removal, and what each finds (0: nothing).
  for (auto [window, first, last, flags, message, wParam] :
       {std::tuple<HWND, UINT, UINT, UINT, UINT, WPARAM>{b, 0, 0, PM_NOREMOVE, WM_USER + 2, 22},
        {nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE, WM_USER + 3, 33}, {a, 0, 0, PM_REMOVE, WM_USER + 1, 11},
        {a, 0, 0, PM_REMOVE, 0, 0},  // the quit message belongs to no window
        {nullptr, 0, 0, PM_REMOVE, WM_USER + 2, 22}, {nullptr, 0, 0, PM_NOREMOVE, WM_QUIT, 3},
        {nullptr, 0, 0, PM_REMOVE, WM_QUIT, 3}, {nullptr, 0, 0, PM_REMOVE, 0, 0}}) {
    MSG msg{};
    EXPECT_EQ(PeekMessageA(&msg, window, first, last, flags), message != 0) << message;
    EXPECT_EQ(std::pair(msg.message, msg.wParam), std::pair(message, wParam));
  }
  DestroyWindow(a);
  DestroyWindow(b);
}

TEST(Window, TheCloseButtonAltF4AndAnEndRequestCloseWindows) {
  Drain();
  HWND first = MakeWindow(), second = MakeWindow(), third = MakeWindow();
  SDL_Event close = EventOf(first, SDL_WINDOWEVENT);
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  ASSERT_EQ(SDL_PushEvent(&close), 1);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  PostMessageA(first, WM_USER, 0, 0);
  // Messages posted to the window go with it; its procedure's quit message stays.
  EXPECT_THAT(Drain(), ElementsAre(WM_CLOSE, WM_QUIT));
  EXPECT_FALSE(IsWindow(first));
  SDL_Event altF4 = EventOf(second, SDL_KEYDOWN);
  altF4.key.keysym = {SDL_SCANCODE_F4, SDLK_F4, KMOD_LALT, 0};
  ASSERT_EQ(SDL_PushEvent(&altF4), 1);
  EXPECT_THAT(Drain(), ElementsAre(WM_SYSKEYDOWN, WM_QUIT));
  EXPECT_FALSE(IsWindow(second));
  // Ctrl+C or SIGTERM in the terminal arrive as SDL's quit event.
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  ASSERT_EQ(SDL_PushEvent(&quit), 1);
  EXPECT_THAT(Drain(), ElementsAre(WM_CLOSE, WM_QUIT));
  EXPECT_FALSE(IsWindow(third));
}

TEST(Kernel, ThePerformanceCounterAndSleepAgree) {
  LARGE_INTEGER f{}, a{}, b{};
  ASSERT_TRUE(QueryPerformanceFrequency(&f) && QueryPerformanceCounter(&a));
  Sleep(20);
  ASSERT_TRUE(QueryPerformanceCounter(&b));
  EXPECT_GE(b.QuadPart - a.QuadPart, f.QuadPart / 50) << "20 ms at the counter's own frequency";
}

}  // namespace
