// Sounds from memory and MIDI pieces through FluidSynth.
#include "voices.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zr::dmusic {

WaveVoice::WaveVoice(std::uint64_t segment, bool primary, std::shared_ptr<const std::vector<float>> samples,
                     std::uint32_t repeats)
    : Voice(segment, primary), samples_(std::move(samples)), repeatsLeft_(repeats) {}

std::size_t WaveVoice::Produce(float* out, std::size_t frames) {
  const std::size_t total = samples_->size() / 2;
  std::size_t made = 0;
  while (made < frames && total > 0) {
    if (position_ == total) {
      if (repeatsLeft_ == 0) break;
      if (repeatsLeft_ != kRepeatForever) --repeatsLeft_;
      position_ = 0;
    }
    std::size_t n = std::min(frames - made, total - position_);
    std::memcpy(out + 2 * made, samples_->data() + 2 * position_, n * 2 * sizeof(float));
    position_ += n;
    made += n;
  }
  return made;
}

MidiVoice::MidiVoice(std::uint64_t segment, bool primary, std::shared_ptr<const MidiSong> song,
                     std::unique_ptr<PlayerSynth> synth, std::uint32_t repeats)
    : Voice(segment, primary),
      song_(std::move(song)),
      synth_(std::move(synth)),
      repeatsLeft_(song_->lengthFrames == 0 ? 0 : repeats),  // an empty piece cannot loop
      block_(2 * kBlockFrames) {}

void MidiVoice::Attach() {
  if (synth_) synth_->Attach();
}

void MidiVoice::Detach() {
  if (synth_) synth_->Detach();
}

std::size_t MidiVoice::Produce(float* out, std::size_t frames) {
  std::size_t made = 0;
  while (made < frames) {
    if (blockRead_ == blockSize_) {
      if (ended_) break;
      RenderBlock();
    }
    std::size_t n = std::min(frames - made, blockSize_ - blockRead_);
    std::memcpy(out + 2 * made, block_.data() + 2 * blockRead_, n * 2 * sizeof(float));
    blockRead_ += n;
    made += n;
  }
  return made;
}

void MidiVoice::Write(float* out, std::size_t frames) {
  if (frames == 0) return;
  if (synth_ && synth_->attached()) {
    fluid_synth_write_float(synth_->get(), static_cast<int>(frames), out, 0, 2, out, 1, 2);
  } else {
    std::fill(out, out + 2 * frames, 0.0f);
  }
}

void MidiVoice::Dispatch(const MidiEvent& e) {
  if (!synth_ || !synth_->attached()) return;
  fluid_synth_t* s = synth_->get();
  int channel = e.status & 0x0F;
  switch (e.status & 0xF0) {
    case 0x80:
      fluid_synth_noteoff(s, channel, e.data1);
      break;
    case 0x90:
      if (e.data2 == 0) fluid_synth_noteoff(s, channel, e.data1);
      else fluid_synth_noteon(s, channel, e.data1, e.data2);
      break;
    case 0xA0:
      fluid_synth_key_pressure(s, channel, e.data1, e.data2);
      break;
    case 0xB0:
      fluid_synth_cc(s, channel, e.data1, e.data2);
      break;
    case 0xC0:
      fluid_synth_program_change(s, channel, e.data1);
      break;
    case 0xD0:
      fluid_synth_channel_pressure(s, channel, e.data1);
      break;
    case 0xE0:
      fluid_synth_pitch_bend(s, channel, e.data1 | e.data2 << 7);
      break;
    case 0xF0:
      fluid_synth_sysex(s, reinterpret_cast<const char*>(song_->sysex.data() + e.sysexOffset),
                        static_cast<int>(e.sysexLength), nullptr, nullptr, nullptr, 0);
      break;
    default:
      break;
  }
}

void MidiVoice::AllNotesOff() {
  if (!synth_ || !synth_->attached()) return;
  for (int channel = 0; channel < 16; ++channel) fluid_synth_cc(synth_->get(), channel, 123, 0);
}

void MidiVoice::RenderBlock() {
  const std::vector<MidiEvent>& events = song_->events;
  std::size_t done = 0;
  while (done < kBlockFrames) {
    if (tail_) {
      std::size_t n = kBlockFrames - done;
      Write(block_.data() + 2 * done, n);
      tailFrames_ += n;
      done += n;
      break;
    }
    while (nextEvent_ < events.size() && events[nextEvent_].frame <= songFrame_) Dispatch(events[nextEvent_++]);
    if (songFrame_ >= song_->lengthFrames) {
      AllNotesOff();
      if (repeatsLeft_ == 0) {
        tail_ = true;
        continue;
      }
      if (repeatsLeft_ != kRepeatForever) --repeatsLeft_;
      songFrame_ = 0;
      nextEvent_ = 0;
      continue;
    }
    std::uint64_t until = nextEvent_ < events.size() ? events[nextEvent_].frame : song_->lengthFrames;
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockFrames - done, until - songFrame_));
    Write(block_.data() + 2 * done, n);
    songFrame_ += n;
    done += n;
  }
  blockRead_ = 0;
  blockSize_ = kBlockFrames;
  if (tail_) {
    bool sounding = synth_ && synth_->attached() && fluid_synth_get_active_voice_count(synth_->get()) > 0;
    float peak = 0.0f;
    for (float v : block_) peak = std::max(peak, std::fabs(v));
    if ((!sounding && peak < kQuiet) || tailFrames_ >= kMostTailFrames) ended_ = true;
  }
}

}  // namespace zr::dmusic
