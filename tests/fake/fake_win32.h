// State of the fake window system that tests set up and inspect.
#pragma once

#include <windows.h>

#include <deque>
#include <map>
#include <cstdint>
#include <string>

#include "fake_platform.h"

namespace fake::win32 {

struct State {
  // The performance counter: QueryPerformanceCounter reads `counter`, then adds `counterStep`.
  LONGLONG frequency = 1'000'000'000;
  LONGLONG counter = 0;
  LONGLONG counterStep = 0;
  // Posted messages, in order; PeekMessageA takes from here. WM_QUIT comes when nothing else waits.
  std::deque<MSG> queue;
  bool quitPosted = false;
  int quitCode = 0;
  std::map<std::string, WNDCLASSEXA> classes;
  std::map<HWND, WNDPROC> windows;
  std::uintptr_t lastHandle = 0x1000;  // windows are made at handles 0x1010, 0x1020, ...
};

// The fake's state; fake::Platform::Reset() restores it to the above.
inline State& Get() { return StateOf<State>(); }

// Puts a message in the queue, as a window or the user would.
void Post(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

}  // namespace fake::win32
