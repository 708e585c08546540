// Test hooks of the Direct3D 9 backend. Not part of the platform's API: engine and game code never
// include this.
#pragma once

namespace zr::d3d9::testing {

// Presentation pacing for every device of the process: on (the default), Present keeps to the
// device's presentation interval; off, every Present returns as soon as the frame is handed to
// the driver, as at D3DPRESENT_INTERVAL_IMMEDIATE, whatever interval the device was created with.
// For soak tests and benchmarks that run a game's own frames as fast as they can be drawn. A
// device's timer follows at its next Present; the GL swap interval at its creation or next Reset.
void SetPacing(bool on);
bool Pacing();

// How many times held sprite and text quads have been drawn (flushes that drew), on every device
// of the process so far.
unsigned long QuadFlushes();

}  // namespace zr::d3d9::testing
