// The WAV and MIDI readers on bytes in memory: formats, conversion to the mix, timing, and damaged
// files.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <tuple>

#include "sound_builders.h"
#include "sound_files.h"

using namespace sound_builders;
using namespace zr::dmusic;

namespace {

HRESULT Wave(const Bytes& b, WaveSound* s) { return ReadWave(b.data(), b.size(), s); }
HRESULT Midi(const Bytes& b, MidiSong* s) { return ReadMidi(b.data(), b.size(), s); }

TEST(WaveFile, ReadsEachSampleFormatToOneScalePastChunksOfOddSize) {
  Bytes f32, f64, extensible = Format(0xFFFE, 1, 22050, 16);
  for (float v : {-1.0f, 0.0f, 0.5f}) Put(f32, std::bit_cast<std::uint32_t>(v), 4);
  for (double v : {-1.0, 0.0, 0.5}) Put(f64, std::bit_cast<std::uint64_t>(v), 8);
  Put(extensible, 22, 2);  // the extension's size, then valid bits, channel mask and the PCM sub-format
  Put(extensible, 16, 2);
  Put(extensible, 4, 4);
  extensible.insert(extensible.end(), {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
  struct {
    Bytes format, data;  // three mono samples: full negative, zero, half positive
  } const cases[] = {
      {Format(1, 1, 22050, 8), {0x00, 0x80, 0xC0}},
      {Format(1, 1, 22050, 16), {0x00, 0x80, 0x00, 0x00, 0x00, 0x40}},
      {Format(1, 1, 22050, 24), {0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40}},
      {Format(1, 1, 22050, 32), {0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x40}},
      {Format(3, 1, 22050, 32), f32},
      {Format(3, 1, 22050, 64), f64},
      {extensible, {0x00, 0x80, 0x00, 0x00, 0x00, 0x40}},
  };
  for (const auto& c : cases) {
    WaveSound s;
    ASSERT_EQ(Wave(Riff("WAVE", {Chunk("LIST", {'a', 'b', 'c'}), Chunk("fmt ", c.format), Chunk("data", c.data)}), &s),
              S_OK);
    EXPECT_EQ(std::pair(s.rate, s.channels), std::pair(22050u, 1u));
    EXPECT_EQ(s.samples, (std::vector<float>{-1.0f, 0.0f, 0.5f})) << "format " << c.format[0] << ", bits " << c.format[14];
  }
}

TEST(WaveFile, RefusesDamagedFilesAsInvalidAndOthersAsUnsupported) {
  const Bytes good = Wav(1, 22050, 16, Pcm16({1, 2, 3, 4}));
  Bytes riffTooLong = good, blockTooBig = Format(1, 1, 22050, 16);
  riffTooLong[4] += 10;
  blockTooBig[12] = 4;
  const Bytes format = Format(1, 1, 22050, 16);
  const std::pair<Bytes, HRESULT> cases[] = {
      {Bytes(good.begin(), good.end() - 3), DMUS_E_INVALIDFILE},
      {riffTooLong, DMUS_E_INVALIDFILE},
      {Wav(1, 22050, 16, {}), DMUS_E_INVALIDFILE},      // no samples
      {Wav(2, 22050, 16, {1, 2}), DMUS_E_INVALIDFILE},  // less than a frame
      {Riff("WAVE", {Chunk("fmt ", format)}), DMUS_E_INVALIDFILE},
      {Riff("WAVE", {Chunk("data", Pcm16({1, 2}))}), DMUS_E_INVALIDFILE},
      {Riff("WAVE", {Chunk("fmt ", format, 4000), Chunk("data", Pcm16({1}))}), DMUS_E_INVALIDFILE},
      {Riff("WAVE", {Chunk("fmt ", format), Chunk("data", Pcm16({1}), 1000)}), DMUS_E_INVALIDFILE},
      {Riff("WAVE", {Chunk("fmt ", Bytes(12, 1)), Chunk("data", Pcm16({1}))}), DMUS_E_INVALIDFILE},
      {Riff("WAVE", {Chunk("fmt ", blockTooBig), Chunk("data", Pcm16({1, 2}))}), DMUS_E_INVALIDFILE},
      {Wav(0, 22050, 16, Pcm16({1})), DMUS_E_INVALIDFILE},
      {Wav(1, 0, 16, Pcm16({1})), DMUS_E_INVALIDFILE},
      {Wav(4, 22050, 16, Pcm16({1, 2, 3, 4})), DMUS_E_UNSUPPORTED_STREAM},
      {Wav(1, 22050, 4, {0x12}, 2), DMUS_E_UNSUPPORTED_STREAM},  // ADPCM
      {Wav(1, 22050, 12, Bytes(6)), DMUS_E_UNSUPPORTED_STREAM},
      {Wav(1, 1000, 16, Pcm16({1})), DMUS_E_UNSUPPORTED_STREAM},
      {Wav(1, 400000, 16, Pcm16({1})), DMUS_E_UNSUPPORTED_STREAM},
      {Wav(1, 4000, 8, Bytes(4000 * 601, 0x80)), DMUS_E_UNSUPPORTED_STREAM},  // over the cap of ten minutes
      {Bytes{'R', 'I', 'F', 'F'}, DMUS_E_UNSUPPORTED_STREAM},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    WaveSound s;
    EXPECT_EQ(Wave(cases[i].first, &s), cases[i].second) << i;
  }
}

// The frequency of side `side` of a stereo sine from its rising zero crossings, in hertz.
double Frequency(const std::vector<float>& stereo, int side) {
  std::vector<double> crossings;
  for (std::size_t i = 1; i < stereo.size() / 2; ++i) {
    float a = stereo[2 * (i - 1) + side], b = stereo[2 * i + side];
    if (a < 0 && b >= 0) crossings.push_back(i - 1 + a / (a - b));
  }
  return crossings.size() < 2 ? 0 : 44100.0 * (crossings.size() - 1) / (crossings.back() - crossings.front());
}

TEST(WaveFile, ConversionToTheMixKeepsTheSidesPitchLengthAndLevel) {
  WaveSound s;
  ASSERT_EQ(Wave(Wav(1, 44100, 16, Pcm16({1000, -2000})), &s), S_OK);
  const float a = 1000 / 32768.0f, b = -2000 / 32768.0f;
  EXPECT_EQ(ConvertToMix(s), (std::vector<float>{a, a, b, b}));
  ASSERT_EQ(Wave(Wav(2, 44100, 16, Pcm16({1000, -2000, -2000, 1000})), &s), S_OK);
  EXPECT_EQ(ConvertToMix(s), (std::vector<float>{a, b, b, a}));
  for (int rate : {8000, 11025, 22050, 48000, 96000}) {
    ASSERT_EQ(Wave(Wav(2, rate, 16, Pcm16(Sine(rate, 441.0, {0.5, 0.25}, rate / 2))), &s), S_OK);
    const std::vector<float> mixed = ConvertToMix(s);
    EXPECT_EQ(mixed.size() / 2, (std::size_t(rate / 2) * 44100 + rate - 1) / rate) << rate;
    for (int side : {0, 1}) {
      float peak = 0;
      for (std::size_t i = side; i < mixed.size(); i += 2) peak = std::max(peak, std::fabs(mixed[i]));
      EXPECT_NEAR(Frequency(mixed, side), 441.0, 0.05) << rate;
      EXPECT_NEAR(peak, side == 0 ? 0.5f : 0.25f, 0.01f) << rate;
    }
  }
}

TEST(MidiFile, PutsEventsOnTheMixClockThroughTempoChangesAndEndsTracksAtTheirEnd) {
  Track conductor, notes;
  conductor.Tempo(0, 500000).Tempo(960, 250000).End(960);  // 120 bpm for two beats, then 240 bpm
  notes.Event(480, {0x90, 60, 100}).Event(960, {0x80, 60, 0}).Event(480, {62, 100});  // the last in running status
  notes.Event(0, {0xF0, 5, 0x7E, 0x7F, 0x09, 0x01, 0xF7}).Event(0, {0xE0, 0x00, 0x40}).End(30);
  notes.Event(0, {0x90, 64, 100}).End(5000);  // after the end of the track: never played
  MidiSong song;
  ASSERT_EQ(Midi(Smf(1, 480, {conductor, notes}), &song), S_OK);
  const std::uint64_t beat1 = 22050, beat3 = 44100 + 11025, beat4 = 44100 + 22050;  // 0.5 s, 1.25 s, 1.5 s
  std::vector<std::tuple<std::uint64_t, int, int>> events;
  for (const MidiEvent& e : song.events) events.emplace_back(e.frame, e.status, e.status == 0xF0 ? e.sysexLength : e.data1);
  EXPECT_EQ(events, (decltype(events){{beat1, 0x90, 60}, {beat3, 0x80, 60}, {beat4, 0x80, 62}, {beat4, 0xF0, 4},
                                      {beat4, 0xE0, 0}}));
  EXPECT_EQ(song.sysex, (Bytes{0x7E, 0x7F, 0x09, 0x01}));
  EXPECT_EQ(song.lengthFrames, beat4 + 30u * 11025u / 480u);  // 30 ticks of 250,000 / 480 microseconds
  // SMPTE time, 25 frames a second of 40 ticks: a thousand ticks a second; and a RIFF wrapper.
  Track smpte;
  smpte.Event(0, {0x90, 60, 100}).Event(25, {0x80, 60, 0}).End(1000);
  for (const Bytes& file : {Smf(0, 0xE728, {smpte}), Riff("RMID", {Chunk("data", Smf(0, 0xE728, {smpte}))})}) {
    ASSERT_EQ(Midi(file, &song), S_OK);
    ASSERT_EQ(song.events.size(), 2u);
    EXPECT_EQ(std::pair(song.events[1].frame, song.lengthFrames), std::pair(std::uint64_t{1102}, std::uint64_t{45202}));
  }
}

TEST(MidiFile, RefusesDamagedFilesAsInvalidAndOthersAsUnsupported) {
  const Bytes good = Melody(3);
  Bytes lying = good, junk = {'M', 'T', 'h', 'd'};
  lying[21] = 0x7F;  // the track's size, far beyond the file
  for (int i = 0; i < 200; ++i) junk.push_back(static_cast<std::uint8_t>(i * 37 + 11));
  auto one = [](Bytes bytes) {
    Track t;
    t.bytes = std::move(bytes);
    return Smf(0, 480, {t});
  };
  Track day;  // 30 deltas of 2^28 - 1 ticks at 16.7 s a tick
  day.Tempo(0, 0xFFFFFF);
  for (int i = 0; i < 30; ++i) day.Event(0x0FFFFFFF, {0x90, 60, 1});
  const std::pair<Bytes, HRESULT> cases[] = {
      {Bytes(good.begin(), good.end() - 5), DMUS_E_INVALIDFILE},
      {lying, DMUS_E_INVALIDFILE},
      {junk, DMUS_E_INVALIDFILE},
      {one({0, 0x90, 60}), DMUS_E_INVALIDFILE},                        // a data byte missing
      {one({0, 0x90, 60, 0x90}), DMUS_E_INVALIDFILE},                  // a status byte for data
      {one({0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 100}), DMUS_E_INVALIDFILE},  // a five-byte number
      {one({0, 0xF8}), DMUS_E_INVALIDFILE},                            // a real-time message
      {one({0, 60, 100}), DMUS_E_INVALIDFILE},                         // running status first
      {one({0, 0xF0, 1, 0xF7, 0, 60, 100}), DMUS_E_INVALIDFILE},      // running status after system exclusive
      {one({0, 0xFF, 0x51, 2, 0x07, 0xA1}), DMUS_E_INVALIDFILE},      // a tempo of two bytes
      {Smf(1, 480, {Track().End()}, 2), DMUS_E_INVALIDFILE},           // a track missing
      {Smf(0, 480, {Track().End(), Track().End()}), DMUS_E_INVALIDFILE},
      {Smf(0, 0, {Track().End()}), DMUS_E_INVALIDFILE},                // no ticks a beat
      {Smf(0, 0xE300, {Track().End()}), DMUS_E_INVALIDFILE},           // no ticks a frame
      {Smf(0, 0xE928, {Track().End()}), DMUS_E_INVALIDFILE},           // 23 frames a second
      {Smf(2, 480, {Track().End()}), DMUS_E_UNSUPPORTED_STREAM},
      {Smf(0, 1, {day.End()}), DMUS_E_UNSUPPORTED_STREAM},             // longer than a day
      {Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'}, DMUS_E_UNSUPPORTED_STREAM},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    MidiSong song;
    EXPECT_EQ(Midi(cases[i].first, &song), cases[i].second) << i;
    EXPECT_TRUE(song.events.empty()) << i;
  }
}

}  // namespace
