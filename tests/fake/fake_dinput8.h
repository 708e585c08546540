// State of the fake DirectInput that tests set up.
#pragma once

#include <dinput.h>

#include <array>
#include <deque>

namespace fake::dinput8 {

struct State {
  // What the keyboard's GetDeviceState reads when it succeeds.
  std::array<BYTE, 256> keys{};
  // Buffered mouse events that GetDeviceData hands out, oldest first, as many as asked for.
  std::deque<DIDEVICEOBJECTDATA> mouseEvents;
  // The buffer size the last SetProperty(DIPROP_BUFFERSIZE) gave.
  DWORD bufferSize = 0;
};

State& Get();

// Queues a mouse event for the next reads.
void AddMouseEvent(DWORD offset, LONG value);

// Whether a mouse read that fails still hands out the pending events it would have read, with
// their count, as some drivers do. Off until set, and again after fake::Platform::Reset().
void SetEventsOnFailedRead(bool on);

}  // namespace fake::dinput8
