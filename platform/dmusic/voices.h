// The two kinds of voice: a prepared sound played from memory, and a MIDI piece played by a
// synthesizer of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "mixer.h"
#include "sound_files.h"
#include "sound_font.h"

namespace zr::dmusic {

inline constexpr std::uint32_t kRepeatForever = 0xFFFFFFFF;

class WaveVoice final : public Voice {
 public:
  // `samples`: the sound in the mix format, shared with every other play of it. `repeats`: times
  // it plays again after the first.
  WaveVoice(std::uint64_t segment, bool primary, std::shared_ptr<const std::vector<float>> samples,
            std::uint32_t repeats);

 protected:
  std::size_t Produce(float* out, std::size_t frames) override;

 private:
  std::shared_ptr<const std::vector<float>> samples_;
  std::size_t position_ = 0;  // in frames
  std::uint32_t repeatsLeft_;
};

// Plays a piece through its synthesizer, which renders in blocks of kBlockFrames frames whatever
// the mixer asks for, each block cut at the piece's events: the output depends on the piece
// alone, so it is the same on every run and for every output buffer size. After the last
// repetition every channel gets "all notes off", and the voice ends once the synthesizer has no
// voice left and its output (the reverb's tail) has faded below kQuiet, or kMostTailFrames later.
// Without a synthesizer (no SoundFont) the piece plays as silence for its length.
class MidiVoice final : public Voice {
 public:
  static constexpr std::size_t kBlockFrames = 512;
  static constexpr float kQuiet = 1e-4f;  // -80 dB
  static constexpr std::uint64_t kMostTailFrames = std::uint64_t{kMixRate} * 10;

  MidiVoice(std::uint64_t segment, bool primary, std::shared_ptr<const MidiSong> song,
            std::unique_ptr<PlayerSynth> synth, std::uint32_t repeats);

  void Attach() override;
  void Detach() override;

 protected:
  std::size_t Produce(float* out, std::size_t frames) override;

 private:
  void RenderBlock();
  void Dispatch(const MidiEvent& e);
  void AllNotesOff();
  void Write(float* out, std::size_t frames);

  std::shared_ptr<const MidiSong> song_;
  std::unique_ptr<PlayerSynth> synth_;
  std::uint32_t repeatsLeft_;
  std::uint64_t songFrame_ = 0;  // within the current repetition
  std::size_t nextEvent_ = 0;
  bool tail_ = false;
  bool ended_ = false;  // the block in hand is the last
  std::uint64_t tailFrames_ = 0;
  std::vector<float> block_;
  std::size_t blockRead_ = 0;
  std::size_t blockSize_ = 0;
};

}  // namespace zr::dmusic
