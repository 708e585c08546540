#include "frame_pacer.h"

#include <time.h>

#include <atomic>
#include <cerrno>

#include "d3d9_testing.h"

namespace zr::d3d9 {

namespace {

std::atomic<bool> g_pacing{true};

constexpr int kWindow = 16;  // frames looked at before deciding who paces

void SleepUntil(std::int64_t deadline) {
  timespec when{};
  when.tv_sec = static_cast<time_t>(deadline / 1'000'000'000);
  when.tv_nsec = static_cast<long>(deadline % 1'000'000'000);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr) == EINTR) {
  }
}

}  // namespace

std::int64_t FramePacer::Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void FramePacer::Configure(unsigned interval, double refreshHz, bool swapIntervalTakes) {
  if (refreshHz <= 0) refreshHz = 60;
  interval_ = interval;
  refresh_ = static_cast<std::int64_t>(1e9 / refreshHz + 0.5);
  period_ = refresh_ * interval;
  deadline_ = -1;
  swapMayPace_ = swapIntervalTakes && interval != 0 && !swapDistrusted_;
  timerPaces_ = true;
  observed_ = 0;
  blockingSwaps_ = 0;
  windowStart_ = -1;
}

void FramePacer::WaitForTurn() {
  if (!TimerPaces() || deadline_ < 0 || !testing::Pacing()) return;
  if (Now() < deadline_) SleepUntil(deadline_);
}

void FramePacer::Presented(std::int64_t swapStart, std::int64_t swapEnd) {
  if (interval_ == 0) return;
  // Deadlines advance by whole periods from the previous one so that the rate does not drift;
  // a frame more than a period late starts a new schedule instead of letting a burst catch up.
  if (deadline_ < 0 || swapStart >= deadline_ + period_)
    deadline_ = swapStart + period_;
  else
    deadline_ += period_;

  if (!swapMayPace_) return;
  if (windowStart_ < 0) windowStart_ = swapStart;
  ++observed_;
  if (swapEnd - swapStart >= refresh_ / 4) ++blockingSwaps_;
  if (observed_ < kWindow) return;
  if (timerPaces_) {
    // Most swaps waited for the display on their own: the driver paces.
    if (blockingSwaps_ >= kWindow * 3 / 4) {
      timerPaces_ = false;
      deadline_ = -1;
    }
  } else if (swapEnd - windowStart_ < (period_ * kWindow) * 9 / 10) {
    // Frames came faster than the interval allows: the swap does not pace after all.
    timerPaces_ = true;
    swapMayPace_ = false;
    swapDistrusted_ = true;
    deadline_ = swapStart + period_;
  }
  observed_ = 0;
  blockingSwaps_ = 0;
  windowStart_ = swapEnd;
}

namespace testing {

void SetPacing(bool on) { g_pacing.store(on, std::memory_order_relaxed); }
bool Pacing() { return g_pacing.load(std::memory_order_relaxed); }

}  // namespace testing

}  // namespace zr::d3d9
