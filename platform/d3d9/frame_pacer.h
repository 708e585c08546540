// Paces presentation to the display refresh: at most one frame per `interval` refreshes.
//
// The GL swap interval is asked for first, but on many systems it does not wait (GLX under Xvfb
// refuses it; SDL's offscreen EGL driver accepts it and never waits), so a timer of our own paces
// frames against absolute deadlines on CLOCK_MONOTONIC, sleeping with clock_nanosleep. When the
// swap is seen to block on its own for a good part of a refresh, the driver paces and the timer
// stands aside (no double waiting); if presents then come too fast after all, the timer returns
// for good.
#pragma once

#include <cstdint>

namespace zr::d3d9 {

class FramePacer {
 public:
  // interval: 0 never waits (D3DPRESENT_INTERVAL_IMMEDIATE), 1 to 4 refreshes per frame.
  // swapIntervalTakes: the GL swap interval was set to `interval` without error.
  void Configure(unsigned interval, double refreshHz, bool swapIntervalTakes);

  // Waits, if the timer paces, until this frame may be shown. Call right before swapping.
  void WaitForTurn();
  // Reports the swap: when it started and when it returned (CLOCK_MONOTONIC nanoseconds).
  void Presented(std::int64_t swapStart, std::int64_t swapEnd);

  bool TimerPaces() const { return interval_ != 0 && timerPaces_; }
  std::int64_t PeriodNanoseconds() const { return period_; }

  static std::int64_t Now();

 private:
  unsigned interval_ = 1;
  std::int64_t period_ = 0;      // interval times the refresh period
  std::int64_t refresh_ = 0;     // one refresh period
  std::int64_t deadline_ = -1;   // earliest time of the next frame; -1 before the first
  bool swapMayPace_ = false;
  bool timerPaces_ = true;
  bool swapDistrusted_ = false;  // the swap stopped pacing once: never hand over to it again
  int observed_ = 0;             // frames in the current observation window
  int blockingSwaps_ = 0;        // swaps in the window that blocked for a quarter refresh or more
  std::int64_t windowStart_ = -1;
};

}  // namespace zr::d3d9
