// Presentation intervals: how often Present lets a frame through.
#include <chrono>

#include "d3d9_test_support.h"
#include "frame_pacer.h"

using namespace d3d9test;
using zr::d3d9::FramePacer;

TEST(Pacing, IntervalsShowAtMostOneFramePerPeriodAndImmediateNeverWaits) {
  for (UINT interval : {D3DPRESENT_INTERVAL_DEFAULT, D3DPRESENT_INTERVAL_TWO, D3DPRESENT_INTERVAL_IMMEDIATE}) {
    SCOPED_TRACE(interval);
    TestWindow window;
    Device d;
    D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 64, 64);
    pp.PresentationInterval = interval;
    MakeDevice(window.handle(), pp, d);
    bool immediate = interval == D3DPRESENT_INTERVAL_IMMEDIATE;
    EXPECT_EQ(d.gl()->Pacer().TimerPaces(), !immediate);
    double hz = 1e9 / static_cast<double>(d.gl()->Pacer().PeriodNanoseconds());  // frames per second at most
    EXPECT_TRUE(interval == D3DPRESENT_INTERVAL_TWO ? hz <= 40.0 : hz > 20.0) << hz;
    int frames = immediate ? 240 : 16;  // far more frames than a paced second would allow
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
      d->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(i, 0, 0), 1, 0);
      ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (immediate) EXPECT_LT(seconds, 3.5) << "an absurdly generous time";
    else EXPECT_GE(seconds, (frames - 1) / hz * 0.99);
  }
}

TEST(FramePacer, AStallStartsAFreshScheduleInsteadOfABurst) {
  FramePacer pacer;
  pacer.Configure(1, 100.0, false);
  std::int64_t t = FramePacer::Now();
  pacer.Presented(t, t);
  // A tenth of a second later (a stall), the next frame still waits a whole period: it does not
  // rush to catch up with the nine frames that were missed.
  std::int64_t late = t + 100'000'000;
  pacer.Presented(late, late);
  pacer.WaitForTurn();
  EXPECT_GE(FramePacer::Now(), late + 10'000'000);
}

TEST(FramePacer, HandsOverToASwapThatBlocksAndTakesBackWhenItStops) {
  FramePacer pacer;
  pacer.Configure(1, 100.0, true);
  EXPECT_TRUE(pacer.TimerPaces());
  std::int64_t t = 1'000'000'000;
  for (int i = 0; i < 16; ++i, t += 10'000'000) pacer.Presented(t, t + 8'000'000);  // swaps wait 8 of 10 ms
  EXPECT_FALSE(pacer.TimerPaces()) << "the swap paces on its own";
  for (int i = 0; i < 16; ++i, t += 2'000'000) pacer.Presented(t, t + 100'000);  // then stops waiting
  EXPECT_TRUE(pacer.TimerPaces());
  for (int i = 0; i < 16; ++i, t += 10'000'000) pacer.Presented(t, t + 8'000'000);
  EXPECT_TRUE(pacer.TimerPaces()) << "a swap that failed to pace once is not trusted again";
}
