// Test hooks of the window system: what a user does to a window, done on purpose.
#pragma once

#include <windows.h>

namespace zr::win32::testing {

// The window loses (false) or regains (true) the keyboard focus, with the messages that go with
// it, as when the user switches to another program and back.
void SetFocus(HWND window, bool focused);

// The window is minimised (true) or restored (false), with its WM_SIZE message.
void SetMinimised(HWND window, bool minimised);

}  // namespace zr::win32::testing
