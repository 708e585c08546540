// The mixer: voices summed, then limited.
#include "mixer.h"

#include <algorithm>

namespace zr::dmusic {

void Voice::MixInto(float* mix, float* scratch, std::size_t frames) {
  if (finished_) return;
  if (stopping_) frames = std::min(frames, kFadeFrames - fadeDone_);
  std::size_t made = Produce(scratch, frames);
  if (!stopping_) {
    for (std::size_t i = 0; i < 2 * made; ++i) mix[i] += scratch[i];
  } else {
    for (std::size_t i = 0; i < made; ++i) {
      float gain = 1.0f - static_cast<float>(fadeDone_ + i + 1) / kFadeFrames;
      mix[2 * i] += scratch[2 * i] * gain;
      mix[2 * i + 1] += scratch[2 * i + 1] * gain;
    }
    fadeDone_ += made;
    if (fadeDone_ >= kFadeFrames) finished_ = true;
  }
  if (made < frames) finished_ = true;
}

Mixer::Mixer() : scratch_(2 * kBlockFrames) { voices_.reserve(64); }

Mixer::~Mixer() {
  SilenceAll();
  Reap();
}

void Mixer::Render(float* out, std::size_t frames) {
  std::lock_guard lock(mutex_);
  while (frames > 0) {
    std::size_t n = std::min(frames, kBlockFrames);
    std::fill(out, out + 2 * n, 0.0f);
    for (auto& voice : voices_) voice->MixInto(out, scratch_.data(), n);
    limiter_.Process(out, n);
    out += 2 * n;
    frames -= n;
  }
}

void Mixer::Add(std::unique_ptr<Voice> voice) {
  std::lock_guard lock(mutex_);
  if (voice->primary())
    for (auto& v : voices_)
      if (v->primary()) v->Stop();
  voice->Attach();
  voices_.push_back(std::move(voice));
}

void Mixer::Stop(std::uint64_t segment) {
  std::lock_guard lock(mutex_);
  for (auto& v : voices_)
    if (segment == 0 || v->segment() == segment) v->Stop();
}

void Mixer::SilenceAll() {
  std::lock_guard lock(mutex_);
  for (auto& v : voices_) v->Silence();
}

bool Mixer::IsPlaying(std::uint64_t segment) {
  std::lock_guard lock(mutex_);
  return std::any_of(voices_.begin(), voices_.end(),
                     [&](const auto& v) { return v->playing() && (segment == 0 || v->segment() == segment); });
}

Limiter::Activity Mixer::limiterActivity() {
  std::lock_guard lock(mutex_);
  return limiter_.activity();
}

void Mixer::Reap() {
  std::vector<std::unique_ptr<Voice>> done;
  {
    std::lock_guard lock(mutex_);
    auto keep = std::stable_partition(voices_.begin(), voices_.end(), [](const auto& v) { return !v->finished(); });
    for (auto it = keep; it != voices_.end(); ++it) {
      (*it)->Detach();
      done.push_back(std::move(*it));
    }
    voices_.erase(keep, voices_.end());
  }
}

}  // namespace zr::dmusic
