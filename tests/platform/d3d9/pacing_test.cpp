// Presentation intervals: how often Present lets a frame through.
#include <chrono>

#include "d3d9_test_support.h"
#include "frame_pacer.h"

using namespace d3d9test;

namespace {

double SecondsFor(IDirect3DDevice9* device, int presents) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < presents; ++i) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(i, 0, 0), 1, 0);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double RefreshHz(IDirect3DDevice9* device) {
  auto* gl = static_cast<zr::d3d9::GlDevice*>(device);
  return 1e9 / static_cast<double>(gl->Pacer().PeriodNanoseconds());
}

}  // namespace

TEST(Pacing, TheDefaultIntervalShowsAtMostOneFramePerRefresh) {
  TestWindow window;
  Device d;
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 64, 64);
  pp.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
  MakeDevice(window.handle(), pp, d);
  double hz = RefreshHz(d.device.get());
  ASSERT_GT(hz, 20.0);
  constexpr int kFrames = 30;
  EXPECT_GE(SecondsFor(d.device.get(), kFrames), (kFrames - 1) / hz * 0.99);
}

TEST(Pacing, IntervalTwoShowsEveryOtherRefresh) {
  TestWindow window;
  Device d;
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 64, 64);
  pp.PresentationInterval = D3DPRESENT_INTERVAL_TWO;
  MakeDevice(window.handle(), pp, d);
  double hzOverTwo = RefreshHz(d.device.get());
  constexpr int kFrames = 16;
  EXPECT_GE(SecondsFor(d.device.get(), kFrames), (kFrames - 1) / hzOverTwo * 0.99);
  EXPECT_LE(hzOverTwo, 40.0) << "the period covers two refreshes";
}

TEST(Pacing, ImmediateNeverWaits) {
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 64, 64), d);  // IMMEDIATE
  EXPECT_FALSE(d.gl()->Pacer().TimerPaces());
  // Far more frames than a paced second would allow, in an absurdly generous time.
  EXPECT_LT(SecondsFor(d.device.get(), 240), 3.5);
}

// The pacer on its own, with no device.
TEST(FramePacer, AStallStartsAFreshScheduleInsteadOfABurst) {
  zr::d3d9::FramePacer pacer;
  pacer.Configure(1, 100.0, false);
  std::int64_t t = zr::d3d9::FramePacer::Now();
  pacer.Presented(t, t);
  // A tenth of a second later (a stall), the next frame still waits a whole period: it does not
  // rush to catch up with the nine frames that were missed.
  std::int64_t late = t + 100'000'000;
  pacer.Presented(late, late);
  pacer.WaitForTurn();
  EXPECT_GE(zr::d3d9::FramePacer::Now(), late + 10'000'000);
}

TEST(FramePacer, HandsOverToASwapThatBlocksAndTakesBackWhenItStops) {
  zr::d3d9::FramePacer pacer;
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
