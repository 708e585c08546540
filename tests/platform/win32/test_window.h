// Windows and SDL events for the tests of the window system and of DirectInput.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>
#include <windows.h>

#include "win32_internal.h"

// As the game's: the window's end ends the program.
inline LRESULT CALLBACK TestProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(7);
  return DefWindowProcA(window, message, wParam, lParam);
}

// A window of a class registered on first use.
inline HWND MakeWindow(const char* className = "Test", DWORD style = WS_OVERLAPPEDWINDOW) {
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = TestProc;
  c.lpszClassName = className;
  EXPECT_TRUE(RegisterClassExA(&c) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS);
  return CreateWindowExA(0, className, "test", style, 10, 10, 320, 200, nullptr, nullptr, nullptr, nullptr);
}

// An SDL event of `window` (its id sits at one place in every kind of event), all else zero.
inline SDL_Event EventOf(HWND window, Uint32 type) {
  SDL_Event e{};
  e.type = type;
  e.window.windowID = SDL_GetWindowID(zr::win32::SdlWindowOf(window));
  return e;
}
