// The mix's soft limiter: keeps the sum of any number of voices inside [-1, 1] without clipping
// hard and without steps.
//
// Two stages, both per frame and the same on both sides (the stereo image stays put):
//  1. Gain riding: a peak envelope (instant rise, 150 ms fall) of the louder side sets a target
//     gain of kThreshold / peak whenever the peak exceeds kThreshold; the gain moves towards it
//     with a 1 ms time constant down and a 150 ms one back up. The gain changes by a few percent
//     per frame at most, so it adds no step to the waveform.
//  2. A soft knee for what the gain let through in the first milliseconds of a rise: identity up
//     to kKnee, above it kKnee + (1 - kKnee) * tanh((|x| - kKnee) / (1 - kKnee)), which joins the
//     identity with slope 1 and never reaches 1.
// Below kThreshold the mix passes unchanged, bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zr::dmusic {

class Limiter {
 public:
  static constexpr float kThreshold = 0.8f;
  static constexpr float kKnee = 0.9f;

  // What the limiter did since it was made: the frames it saw, those it changed (the gain below 1
  // or the knee bending a side) and those it turned down by more than 1 dB (the gain's slow return
  // leaves it a hair under 1 for a second or two after a peak), the lowest gain, and the energy
  // (sum of squares, both sides) that came in and went out.
  struct Activity {
    std::uint64_t frames = 0;
    std::uint64_t framesChanged = 0;
    std::uint64_t framesDownOverOneDb = 0;
    float lowestGain = 1.0f;
    double energyIn = 0;
    double energyOut = 0;
  };

  Limiter();
  void Process(float* stereo, std::size_t frames);
  float gain() const { return gain_; }
  const Activity& activity() const { return activity_; }

 private:
  float attack_;
  float release_;
  float envelope_ = 0.0f;
  float gain_ = 1.0f;
  Activity activity_;
};

}  // namespace zr::dmusic
