// libFuzzer target of the DirectMusic file readers: bytes read as a WAV sound and as a MIDI piece,
// a sound converted to the mix format. Besides the sanitizers it checks what a successful read
// promises.
#include <cmath>
#include <numeric>

#include "fuzz_check.h"
#include "sound_files.h"

using namespace zr::dmusic;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FileKind kind = KindOf(data, size);
  auto known = [](HRESULT hr) { return hr == S_OK || hr == DMUS_E_INVALIDFILE || hr == DMUS_E_UNSUPPORTED_STREAM; };
  WaveSound sound;
  const HRESULT wave = ReadWave(data, size, &sound);
  Require(known(wave) && (wave != S_OK || kind == FileKind::kWave), "a known result, a sound only from a WAV file");
  if (wave == S_OK) {
    const std::size_t frames = sound.Frames(), channels = sound.channels;
    Require((channels == 1 || channels == 2) && sound.rate >= 4000 && sound.rate <= 192000 && frames > 0 &&
                sound.samples.size() == frames * channels && sound.samples.size() <= size,
            "one or two channels at a rate in range, whole frames, no more samples than bytes");
    for (float v : sound.samples) Require(v >= -1.0f && v <= 1.0f, "samples in [-1, 1]");
    const std::vector<float> mixed = ConvertToMix(sound);
    Require(mixed.size() == 2 * ((std::uint64_t{frames} * kMixRate + sound.rate - 1) / sound.rate), "the converted length");
    // Catmull-Rom may overshoot the samples a little, never by much, and passes through them where
    // a frame of the mix falls on a frame of the sound; a mono sound goes to both sides.
    for (float v : mixed) Require(std::isfinite(v) && std::fabs(v) <= 1.25f, "converted samples bounded");
    for (std::size_t j = 0; 2 * j < mixed.size(); j += kMixRate / std::gcd(kMixRate, sound.rate))
      for (std::size_t c = 0; c < 2; ++c)
        Require(mixed[2 * j + c] == sound.samples[j * sound.rate / kMixRate * channels + c % channels],
                "the sound's own samples where the frames meet, each on its side");
  }
  MidiSong song;
  const HRESULT midi = ReadMidi(data, size, &song);
  Require(known(midi) && (midi != S_OK || kind == FileKind::kMidi), "a known result, a piece only from a MIDI file");
  Require(midi == S_OK || (song.events.empty() && song.sysex.empty()), "a failed read leaves nothing");
  Require(song.events.size() <= size && song.lengthFrames <= kMostMidiFrames, "events and length within bounds");
  std::uint64_t last = 0;
  for (const MidiEvent& e : song.events) {
    Require(e.frame >= last && e.frame <= song.lengthFrames, "events in order, inside the piece");
    last = e.frame;
    Require(e.status == 0xF0 ? std::uint64_t{e.sysexOffset} + e.sysexLength <= song.sysex.size()
                             : e.status >= 0x80 && e.status < 0xF0 && e.data1 < 0x80 && e.data2 < 0x80,
            "system exclusive bytes inside, or a channel message");
  }
  return 0;
}
