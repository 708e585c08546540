// libFuzzer target of the DirectMusic file readers: bytes read as a WAV sound and as a MIDI piece,
// a sound converted to the mix format. Besides the sanitizers it checks what a successful read
// promises.
#include <cmath>

#include "fuzz_check.h"
#include "sound_files.h"

using namespace zr::dmusic;

namespace {

bool Known(HRESULT hr) { return hr == S_OK || hr == DMUS_E_INVALIDFILE || hr == DMUS_E_UNSUPPORTED_STREAM; }

void CheckWave(const WaveSound& sound, std::size_t size) {
  Require((sound.channels == 1 || sound.channels == 2) && sound.rate >= 4000 && sound.rate <= 192000,
          "one or two channels at a rate in range");
  Require(sound.Frames() > 0 && sound.samples.size() == sound.Frames() * sound.channels && sound.samples.size() <= size,
          "whole frames, no more samples than bytes");
  for (float v : sound.samples) Require(v >= -1.0f && v <= 1.0f, "samples in [-1, 1]");
  const std::vector<float> mixed = ConvertToMix(sound);
  Require(mixed.size() == 2 * ((std::uint64_t{sound.Frames()} * kMixRate + sound.rate - 1) / sound.rate),
          "the converted length");
  // Catmull-Rom may overshoot the samples a little, never by much.
  for (float v : mixed) Require(std::isfinite(v) && std::fabs(v) <= 1.25f, "converted samples bounded");
}

void CheckMidi(const MidiSong& song, std::size_t size) {
  Require(song.events.size() <= size && song.lengthFrames <= kMostMidiFrames, "events and length within bounds");
  std::uint64_t last = 0;
  for (const MidiEvent& e : song.events) {
    Require(e.frame >= last && e.frame <= song.lengthFrames, "events in order, inside the piece");
    last = e.frame;
    if (e.status == 0xF0)
      Require(std::uint64_t{e.sysexOffset} + e.sysexLength <= song.sysex.size(), "system exclusive bytes inside");
    else
      Require(e.status >= 0x80 && e.status < 0xF0 && e.data1 < 0x80 && e.data2 < 0x80, "a channel message");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FileKind kind = KindOf(data, size);
  WaveSound sound;
  const HRESULT wave = ReadWave(data, size, &sound);
  Require(Known(wave) && (wave != S_OK || kind == FileKind::kWave), "a known result, a sound only from a WAV file");
  if (wave == S_OK) CheckWave(sound, size);
  MidiSong song;
  const HRESULT midi = ReadMidi(data, size, &song);
  Require(Known(midi) && (midi != S_OK || kind == FileKind::kMidi), "a known result, a piece only from a MIDI file");
  Require(midi == S_OK || (song.events.empty() && song.sysex.empty()), "a failed read leaves nothing");
  if (midi == S_OK) CheckMidi(song, size);
  return 0;
}
