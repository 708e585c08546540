// What the other backends of the platform layer need from the window system. Not part of the
// platform's API: engine and game code never include this.
#pragma once

#include <SDL.h>
#include <windows.h>

#include <cstdint>
#include <memory>

namespace zr::win32 {

// Starts SDL's video subsystem for a window, refusing SDL's offscreen and dummy drivers unless
// they were asked for by name (SDL_VIDEODRIVER): without a display there is no window. Once up, it
// stays up until the process ends; ReleaseVideo matches each successful call for the record.
bool AcquireVideo();
void ReleaseVideo();

// The SDL window behind a window handle, or null when the handle names no live window.
SDL_Window* SdlWindowOf(HWND window);

// Keeps a window's SDL window open, even after DestroyWindow, until the last hold is dropped:
// a device draws into it for as long as it lives.
std::shared_ptr<SDL_Window> HoldSdlWindow(HWND window);

struct Activity {
  bool exists = false;     // the handle names a live window
  bool active = false;     // the window has the keyboard focus
  bool minimised = false;
  // Focus losses and minimisations since the window was created; a change means the window was
  // deactivated in between, however briefly.
  std::uint64_t deactivations = 0;
};
Activity ActivityOf(HWND window);

// Reads SDL's pending events into the message queue (and the window records). PeekMessageA does
// this on every call.
void PumpEvents();

}  // namespace zr::win32
