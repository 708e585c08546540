// The game's part of the main loop: start-up, one frame, and the two steps of device recovery.
#pragma once

#include <windows.h>

// Returns 0 when the game is ready to run, anything else to end the program.
int StartGame(HINSTANCE instance);
void RunGameFrame();
// Before the device is reset: every D3DX object lets go of its device resources.
void ReleaseGameDeviceObjects();
// After the reset: they take them again.
void RestoreGameDeviceObjects();
