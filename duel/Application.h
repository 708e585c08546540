// The program's entry, its window and the main loop with frame timing and device recovery.
#pragma once

#include <windows.h>

// The main window.
extern HWND mainWindow;
// Frames per second, measured over windows of a third of a second; 0 until the first closes.
extern int framesPerSecond;
// Set when Present reports a lost device; the next frame recovers it first.
extern bool deviceLost;

HWND CreateMainWindow(HINSTANCE instance);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Starts the first measuring window of the frame timer.
void StartFrameTimer();
