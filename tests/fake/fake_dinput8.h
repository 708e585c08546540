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
};

State& Get();

// Queues a mouse event for the next reads.
void AddMouseEvent(DWORD offset, LONG value);

// Whether a read that fails still writes what it would have read (the keyboard's keys, the
// pending mouse events with their count), as some drivers do. Off until set, and again after
// fake::Platform::Reset().
void SetFailedReadsDeliver(bool on);

}  // namespace fake::dinput8
