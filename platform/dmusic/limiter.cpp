// The mix's soft limiter.
#include "limiter.h"

#include <algorithm>
#include <cmath>

#include "sound_files.h"

namespace zr::dmusic {
namespace {

constexpr float kOneDbDown = 0.891251f;  // 10^(-1/20)

float Coefficient(double seconds) { return static_cast<float>(1.0 - std::exp(-1.0 / (seconds * kMixRate))); }

float Knee(float x) {
  float magnitude = std::fabs(x);
  if (magnitude <= Limiter::kKnee) return x;
  constexpr float room = 1.0f - Limiter::kKnee;
  float y = Limiter::kKnee + room * std::tanh((magnitude - Limiter::kKnee) / room);
  return std::copysign(std::min(y, 1.0f), x);
}

}  // namespace

Limiter::Limiter() : attack_(Coefficient(0.001)), release_(Coefficient(0.150)) {}

void Limiter::Process(float* stereo, std::size_t frames) {
  for (std::size_t i = 0; i < frames; ++i) {
    float& left = stereo[2 * i];
    float& right = stereo[2 * i + 1];
    float peak = std::max(std::fabs(left), std::fabs(right));
    if (!std::isfinite(peak)) {  // nothing a voice makes should be, but one must not poison the gain
      left = right = peak = 0.0f;
    }
    envelope_ = peak > envelope_ ? peak : envelope_ - (envelope_ - peak) * release_;
    float target = envelope_ > kThreshold ? kThreshold / envelope_ : 1.0f;
    if (target < gain_) gain_ += (target - gain_) * attack_;
    else if (gain_ < 1.0f) gain_ = std::min(1.0f, gain_ + (target - gain_) * release_ + 1e-7f);
    activity_.energyIn += double{left} * left + double{right} * right;
    if (gain_ < 1.0f || peak * gain_ > kKnee) {
      ++activity_.framesChanged;
      if (gain_ < kOneDbDown) ++activity_.framesDownOverOneDb;
      activity_.lowestGain = std::min(activity_.lowestGain, gain_);
    }
    if (gain_ < 1.0f) {
      left *= gain_;
      right *= gain_;
    }
    left = Knee(left);
    right = Knee(right);
    activity_.energyOut += double{left} * left + double{right} * right;
  }
  activity_.frames += frames;
}

}  // namespace zr::dmusic
