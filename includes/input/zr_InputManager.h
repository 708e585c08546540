// The system keyboard and mouse through DirectInput, read once per frame into two plain records.
#pragma once

#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>

#include <cstdint>

// The state byte of every key by its DirectInput code (DIK_ESCAPE is 1, DIK_SPACE 0x39, ...):
// nonzero while the key is down.
struct zr_KeyboardData {
  std::uint8_t keys[256];
};

// Mouse movement summed over all reads (x, y), the last movement of the latest read (deltaX,
// deltaY) and the two main buttons (1 while down).
struct zr_MouseData {
  std::int32_t x;
  std::int32_t y;
  std::int32_t deltaX;
  std::int32_t deltaY;
  std::int32_t button0;
  std::int32_t button1;
};

class zr_InputManager {
 public:
  zr_InputManager();
  // Releases the DirectInput object, then unacquires and releases the mouse, then the keyboard.
  ~zr_InputManager();
  // Copies would share the devices without references of their own.
  zr_InputManager(const zr_InputManager&) = delete;
  zr_InputManager& operator=(const zr_InputManager&) = delete;

  // Creates the DirectInput object; a failure is raised as report 3.
  void Initialise(HWND window, HINSTANCE instance);
  // Sets up the keyboard for immediate reading; failures are raised as reports 4 to 6. Before
  // Initialise there is nothing to set it up with: that is logged as report 33, and the keyboard
  // reads all keys up.
  void InitKeyboard(HWND window, unsigned long cooperativeFlags);
  // Sets up the mouse with a buffer of 16 events; failures are raised as reports 7 to 9. Before
  // Initialise: logged as report 34, and the mouse reads no events.
  void InitMouse(HWND window, unsigned long cooperativeFlags);
  // Overwrites the record with the state of every key; all keys read as up after a failed read,
  // which also gets the keyboard back if it can.
  void GetKeyboardInput(zr_KeyboardData* keyboard);
  // Applies up to 4 buffered mouse events to the record.
  void GetMouseInput(zr_MouseData* mouse);
  // The position of the system cursor in screen coordinates.
  void GetCursorPosition(int* x, int* y);

 private:
  IDirectInput8A* directInput_;
  IDirectInputDevice8A* keyboardDevice_;
  IDirectInputDevice8A* mouseDevice_;
};
