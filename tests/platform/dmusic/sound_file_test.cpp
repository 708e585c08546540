// The WAV and MIDI readers on bytes in memory: formats, conversions, timing, and damaged files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "sound_builders.h"
#include "sound_files.h"

using namespace sound_builders;
using namespace zr::dmusic;

namespace {

HRESULT Wave(const Bytes& b, WaveSound* s) { return ReadWave(b.data(), b.size(), s); }
HRESULT Midi(const Bytes& b, MidiSong* s) { return ReadMidi(b.data(), b.size(), s); }

TEST(WaveFile, DecodesEachSampleFormatToTheSameScale) {
  struct Case {
    int tag, bits;
    Bytes data;  // three mono samples: full negative, zero, half positive
  };
  Bytes f32, f64;
  for (float v : {-1.0f, 0.0f, 0.5f}) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    Le(f32, u, 4);
  }
  for (double v : {-1.0, 0.0, 0.5}) {
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    Le(f64, u, 8);
  }
  const Case cases[] = {
      {1, 8, {0x00, 0x80, 0xC0}},
      {1, 16, {0x00, 0x80, 0x00, 0x00, 0x00, 0x40}},
      {1, 24, {0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40}},
      {1, 32, {0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x40}},
      {3, 32, f32},
      {3, 64, f64},
  };
  for (const Case& c : cases) {
    WaveSound s;
    ASSERT_EQ(Wave(Wav(1, 22050, c.bits, c.data, c.tag), &s), S_OK) << c.bits;
    EXPECT_EQ(s.rate, 22050u);
    ASSERT_EQ(s.samples, (std::vector<float>{-1.0f, 0.0f, 0.5f})) << "tag " << c.tag << " bits " << c.bits;
  }
}

TEST(WaveFile, ReadsExtensibleFormatsAndSkipsOtherChunks) {
  Bytes fmt = FormatChunkBody(0xFFFE, 2, 48000, 16);
  Le(fmt, 22, 2);  // extension size
  Le(fmt, 16, 2);  // valid bits
  Le(fmt, 3, 4);   // channel mask
  fmt.insert(fmt.end(), {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
  Bytes file = Riff("WAVE", {Chunk("LIST", {'a', 'b', 'c'}), Chunk("fmt ", fmt), Chunk("data", Pcm16({100, -100}))});
  WaveSound s;
  ASSERT_EQ(Wave(file, &s), S_OK);
  EXPECT_EQ(s.channels, 2u);
  EXPECT_EQ(s.rate, 48000u);
  EXPECT_FLOAT_EQ(s.samples[0], 100 / 32768.0f);
  EXPECT_FLOAT_EQ(s.samples[1], -100 / 32768.0f);
}

TEST(WaveFile, RefusesDamagedFilesAsInvalid) {
  Bytes good = Wav(1, 22050, 16, Pcm16({1, 2, 3, 4}));
  WaveSound s;
  ASSERT_EQ(Wave(good, &s), S_OK);
  Bytes truncated(good.begin(), good.end() - 3);
  Bytes riffTooLong = good;
  riffTooLong[4] += 10;
  const Bytes cases[] = {
      truncated,
      riffTooLong,
      Wav(1, 22050, 16, {}),                                                      // zero-length data
      Wav(2, 22050, 16, {1, 2}),                                                  // less than one frame
      Riff("WAVE", {Chunk("fmt ", FormatChunkBody(1, 1, 22050, 16))}),            // no data chunk
      Riff("WAVE", {Chunk("data", Pcm16({1, 2}))}),                               // no format chunk
      Riff("WAVE", {Chunk("fmt ", FormatChunkBody(1, 1, 22050, 16), 4000), Chunk("data", Pcm16({1}))}),  // lying
      Riff("WAVE", {Chunk("fmt ", FormatChunkBody(1, 1, 22050, 16)), Chunk("data", Pcm16({1}), 1000)}),  // lying
      Riff("WAVE", {Chunk("fmt ", Bytes(12, 1)), Chunk("data", Pcm16({1}))}),     // short format
      Wav(0, 22050, 16, Pcm16({1})),                                              // no channels
      Wav(1, 0, 16, Pcm16({1})),                                                  // no rate
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    s.samples.assign(3, 1.0f);
    EXPECT_EQ(Wave(cases[i], &s), DMUS_E_INVALIDFILE) << "case " << i;
  }
  // A block size that contradicts channels and bits.
  Bytes f = FormatChunkBody(1, 1, 22050, 16);
  f[12] = 4;
  EXPECT_EQ(Wave(Riff("WAVE", {Chunk("fmt ", f), Chunk("data", Pcm16({1, 2}))}), &s), DMUS_E_INVALIDFILE);
}

TEST(WaveFile, RefusesIntactFilesItDoesNotPlayAsUnsupported) {
  WaveSound s;
  EXPECT_EQ(Wave(Wav(4, 22050, 16, Pcm16({1, 2, 3, 4})), &s), DMUS_E_UNSUPPORTED_STREAM);  // four channels
  EXPECT_EQ(Wave(Wav(1, 22050, 4, {0x12}, 2), &s), DMUS_E_UNSUPPORTED_STREAM);            // ADPCM
  EXPECT_EQ(Wave(Wav(1, 22050, 12, Bytes(6)), &s), DMUS_E_UNSUPPORTED_STREAM);            // 12-bit
  EXPECT_EQ(Wave(Wav(1, 1000, 16, Pcm16({1})), &s), DMUS_E_UNSUPPORTED_STREAM);           // too slow
  EXPECT_EQ(Wave(Wav(1, 400000, 16, Pcm16({1})), &s), DMUS_E_UNSUPPORTED_STREAM);         // too fast
  // 20 minutes of 8 kHz 8-bit sound declared, and present: over the ten-minute cap.
  Bytes big = Wav(1, 8000, 8, Bytes(8000 * 1200, 0x80));
  EXPECT_EQ(Wave(big, &s), DMUS_E_UNSUPPORTED_STREAM);
  EXPECT_EQ(Wave(Bytes{'R', 'I', 'F', 'F'}, &s), DMUS_E_UNSUPPORTED_STREAM);
}

TEST(WaveConversion, MonoGoesToBothSidesAndTheMixRatePassesUnchanged) {
  WaveSound s;
  ASSERT_EQ(Wave(Wav(1, 44100, 16, Pcm16({1000, -2000, 3000})), &s), S_OK);
  std::vector<float> mixed = ConvertToMix(s);
  ASSERT_EQ(mixed.size(), 6u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(mixed[2 * i], s.samples[i]);
    EXPECT_EQ(mixed[2 * i + 1], s.samples[i]);
  }
  ASSERT_EQ(Wave(Wav(2, 44100, 8, {0x00, 0xFF}), &s), S_OK);
  EXPECT_EQ(ConvertToMix(s), (std::vector<float>{-1.0f, 127 / 128.0f}));
}

// The frequency of a sine from its zero crossings (rising), in hertz.
double Frequency(const std::vector<float>& stereo, int side, double rate) {
  std::vector<double> crossings;
  for (std::size_t i = 1; i < stereo.size() / 2; ++i) {
    float a = stereo[2 * (i - 1) + side], b = stereo[2 * i + side];
    if (a < 0 && b >= 0) crossings.push_back(i - 1 + a / (a - b));
  }
  if (crossings.size() < 2) return 0;
  return rate * (crossings.size() - 1) / (crossings.back() - crossings.front());
}

TEST(WaveConversion, ResamplingKeepsPitchLengthAndLevel) {
  for (int rate : {8000, 11025, 22050, 32000, 48000, 96000}) {
    const int frames = rate / 2;  // half a second
    WaveSound s;
    ASSERT_EQ(Wave(Wav(2, rate, 16, Pcm16(SineSamples(2, rate, 441.0, 0.5, frames))), &s), S_OK);
    std::vector<float> mixed = ConvertToMix(s);
    EXPECT_EQ(mixed.size() / 2, (std::size_t(frames) * 44100 + rate - 1) / rate) << rate;
    EXPECT_NEAR(Frequency(mixed, 0, 44100), 441.0, 0.05) << rate;
    EXPECT_NEAR(Frequency(mixed, 1, 44100), 441.0, 0.05) << rate;
    float peak = 0;
    for (float v : mixed) peak = std::max(peak, std::fabs(v));
    EXPECT_NEAR(peak, 0.5f, 0.01f) << rate;
  }
  // At twice the rate, every other output frame is an input frame.
  WaveSound s;
  ASSERT_EQ(Wave(Wav(1, 22050, 16, Pcm16(SineSamples(1, 22050, 1000.0, 0.8, 200))), &s), S_OK);
  std::vector<float> mixed = ConvertToMix(s);
  ASSERT_EQ(mixed.size(), 800u);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(mixed[4 * i], s.samples[i]) << i;
}

TEST(MidiFile, PutsEventsOnTheMixClockThroughTempoChanges) {
  Track conductor;
  conductor.Tempo(0, 500000).Tempo(960, 250000).End(960);  // 120 bpm for two beats, then 240 bpm
  Track notes;
  notes.Event(480, {0x90, 60, 100}).Event(960, {0x80, 60, 0}).Event(480, {0x90, 62, 100}).Event(0, {0xE0, 0x00, 0x40});
  notes.End(30);
  MidiSong song;
  ASSERT_EQ(Midi(Smf(1, 480, {conductor, notes}), &song), S_OK);
  ASSERT_EQ(song.events.size(), 4u);
  EXPECT_EQ(song.events[0].frame, 22050u);           // beat 1 at 0.5 s
  EXPECT_EQ(song.events[1].frame, 44100u + 11025u);  // beat 3: 1 s, then one beat at 0.25 s
  EXPECT_EQ(song.events[2].frame, 44100u + 22050u);
  EXPECT_EQ(song.events[3].status, 0xE0);
  EXPECT_EQ(song.events[3].data2, 0x40);
  // The conductor ends at tick 1920, the notes at 1950: 30 ticks of 250,000 / 480 microseconds later.
  EXPECT_EQ(song.lengthFrames, 44100u + 22050u + 30u * 11025u / 480u);
  // Whatever follows the end of a track is not played.
  Track after = notes;
  after.Event(0, {0x90, 64, 100}).End(5000);
  MidiSong same;
  ASSERT_EQ(Midi(Smf(1, 480, {conductor, after}), &same), S_OK);
  EXPECT_EQ(same.events.size(), song.events.size());
  EXPECT_EQ(same.lengthFrames, song.lengthFrames);
}

TEST(MidiFile, ReadsRunningStatusSysexAndSmpteTime) {
  Track t;
  t.Event(0, {0x90, 60, 100}).Event(25, {62, 100});  // running status
  t.Event(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7});  // GM on
  t.Event(25, {0x64, 0});  // running status is cancelled by the sysex: invalid below
  MidiSong song;
  EXPECT_EQ(Midi(Smf(0, 0xE728, {t}), &song), DMUS_E_INVALIDFILE);  // 25 fps, 40 ticks a frame
  Track u;
  u.Event(0, {0x90, 60, 100}).Event(25, {62, 100}).Event(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
  u.Event(1000, {0x80, 60, 0}).End();
  ASSERT_EQ(Midi(Smf(0, 0xE728, {u}), &song), S_OK);
  ASSERT_EQ(song.events.size(), 4u);
  EXPECT_EQ(song.events[1].status, 0x90);
  EXPECT_EQ(song.events[1].data1, 62);
  EXPECT_EQ(song.events[1].frame, 44100u / 40);  // 25 ticks at 1,000 a second
  EXPECT_EQ(song.events[2].status, 0xF0);
  ASSERT_EQ(song.events[2].sysexLength, 4u);
  EXPECT_EQ(song.sysex[song.events[2].sysexOffset + 3], 0x01);
  EXPECT_EQ(song.events[3].frame, 44100u * 1025 / 1000);
}

TEST(MidiFile, ReadsAMidiFileInARiffWrapper) {
  Bytes smf = Melody(2);
  MidiSong plain, wrapped;
  ASSERT_EQ(Midi(smf, &plain), S_OK);
  Bytes rmid = Riff("RMID", {Chunk("data", smf)});
  EXPECT_EQ(KindOf(rmid.data(), rmid.size()), FileKind::kMidi);
  ASSERT_EQ(Midi(rmid, &wrapped), S_OK);
  EXPECT_EQ(wrapped.events.size(), plain.events.size());
  EXPECT_EQ(wrapped.lengthFrames, plain.lengthFrames);
}

TEST(MidiFile, RefusesJunkTruncationAndLyingSizes) {
  Bytes good = Melody(3);
  MidiSong song;
  ASSERT_EQ(Midi(good, &song), S_OK);
  Bytes truncated(good.begin(), good.end() - 5);
  Bytes lying = good;
  lying[21] = 0x7F;  // the track's size, far beyond the file
  Track noData;
  noData.Event(0, {0x90, 60});
  Track dataAsStatus;
  dataAsStatus.Event(0, {0x90, 60, 0x90});
  Track longNumber;
  longNumber.bytes = {0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 100};
  Track realTime;
  realTime.Event(0, {0xF8});
  Track firstRunning;
  firstRunning.Event(0, {60, 100});
  Track badTempo;
  badTempo.Event(0, {0xFF, 0x51, 0x02, 0x07, 0xA1});
  Bytes junk = {'M', 'T', 'h', 'd'};
  for (int i = 0; i < 200; ++i) junk.push_back(static_cast<std::uint8_t>(i * 37 + 11));
  const Bytes cases[] = {
      truncated, lying, junk,
      Smf(0, 480, {noData}), Smf(0, 480, {dataAsStatus}), Smf(0, 480, {longNumber}), Smf(0, 480, {realTime}),
      Smf(0, 480, {firstRunning}), Smf(0, 480, {badTempo}),
      Smf(1, 480, {Track().End()}, 2),               // a track missing
      Smf(0, 480, {Track().End(), Track().End()}),   // type 0 with two tracks
      Smf(0, 0, {Track().End()}),                    // no ticks per beat
      Smf(0, 0xE300, {Track().End()}),               // 29 fps with no ticks per frame
      Smf(0, 0xE928, {Track().End()}),               // 23 fps
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Midi(cases[i], &song), DMUS_E_INVALIDFILE) << "case " << i;
    EXPECT_TRUE(song.events.empty()) << "case " << i;
  }
  EXPECT_EQ(Midi(Smf(0, 0xE828, {Track().End()}), &song), S_OK);  // 24 fps, 40 ticks a frame
  EXPECT_EQ(Midi(Smf(2, 480, {Track().End()}), &song), DMUS_E_UNSUPPORTED_STREAM);
  Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!'};
  EXPECT_EQ(Midi(text, &song), DMUS_E_UNSUPPORTED_STREAM);
  EXPECT_EQ(KindOf(text.data(), text.size()), FileKind::kUnknown);
}

TEST(MidiFile, RefusesPiecesLongerThanADay) {
  Track t;
  t.Tempo(0, 0xFFFFFF);  // 16.7 s a beat
  for (int i = 0; i < 30; ++i) t.Event(0x0FFFFFFF, {0x90, 60, 1});
  MidiSong song;
  EXPECT_EQ(Midi(Smf(0, 1, {t.End()}), &song), DMUS_E_UNSUPPORTED_STREAM);
}

}  // namespace
