// State of the fake DirectInput that tests set up.
#pragma once

#include <dinput.h>

#include <array>
#include <deque>

#include "fake_platform.h"

namespace fake::dinput8 {

struct State {
  // What the keyboard's GetDeviceState reads when it succeeds.
  std::array<BYTE, 256> keys{};
  // Buffered mouse events that GetDeviceData hands out, oldest first, as many as asked for.
  std::deque<DIDEVICEOBJECTDATA> mouseEvents;
  DWORD sequence = 0;  // of the last mouse event queued
  // Whether a read that fails still writes what it would have read (the keyboard's keys, the
  // pending mouse events with their count), as some drivers do.
  bool failedReadsDeliver = false;
};

inline State& Get() { return StateOf<State>(); }

// Queues a mouse event for the next reads.
void AddMouseEvent(DWORD offset, LONG value);

}  // namespace fake::dinput8
