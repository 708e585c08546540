// The WAV and MIDI readers on the files of sounds/ (see its README): formats, damaged files,
// files other readers open, timing; the mix's limiter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <numeric>
#include <tuple>

#include "limiter.h"
#include "sound_files.h"

using namespace zr::dmusic;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The files of one folder of sounds/, with their bytes.
std::vector<std::pair<std::string, Bytes>> Files(const std::string& folder) {
  std::vector<std::pair<std::string, Bytes>> files;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(ZR_SOUNDS) + "/" + folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files.emplace_back(entry.path().filename(), Bytes(std::istreambuf_iterator<char>(in), {}));
  }
  EXPECT_FALSE(files.empty()) << folder;
  return files;
}

TEST(SoundFiles, EachSampleFormatReadsToOneScale) {
  for (const auto& [name, bytes] : Files("formats")) {
    WaveSound s;
    ASSERT_EQ(ReadWave(bytes.data(), bytes.size(), &s), S_OK) << name;
    EXPECT_EQ(std::tuple(s.rate, s.channels, s.samples), std::tuple(22050u, 1u, std::vector<float>{-1, 0, 0.5}))
        << name;
  }
}

TEST(SoundFiles, DamagedFilesAreInvalidAndOthersUnsupported) {
  auto unsupported = Files("unsupported");
  std::ifstream header(std::string(ZR_SOUNDS) + "/header_of_ten_minutes_and_a_second.wav", std::ios::binary);
  unsupported.emplace_back("long.wav", Bytes(std::istreambuf_iterator<char>(header), {}));
  unsupported.back().second.resize(44 + 4000 * 601, 0x80);  // its samples: over the ten-minute cap
  unsupported.push_back(unsupported.back());  // the same with a data size left unknown (0xFFFFFFFF)
  std::fill_n(unsupported.back().second.begin() + 40, 4, 0xFF);
  for (const auto& [files, expected] :
       {std::pair{Files("invalid"), DMUS_E_INVALIDFILE}, {unsupported, DMUS_E_UNSUPPORTED_STREAM}})
    for (const auto& [name, b] : files) {
      WaveSound sound;
      MidiSong song{{MidiEvent{}}, {}, 0};  // a failed read leaves nothing
      EXPECT_EQ(name.ends_with(".wav") ? ReadWave(b.data(), b.size(), &sound) : ReadMidi(b.data(), b.size(), &song),
                expected) << name;
      EXPECT_TRUE(song.events.empty() || name.ends_with(".wav")) << name;
    }
}

TEST(SoundFiles, MidiEventsGoOnTheMixClockThroughTempoChangesUntilTheirTracksEnd) {
  std::map<std::string, MidiSong> songs;
  for (const auto& [name, bytes] : Files("pieces")) ASSERT_EQ(ReadMidi(bytes.data(), bytes.size(), &songs[name]), S_OK);
  const MidiSong& tempo = songs["tempo_changes.mid"];
  const std::uint64_t beat1 = 22050, beat3 = 44100 + 11025, beat4 = 44100 + 22050;  // 0.5 s, 1.25 s, 1.5 s
  std::vector<std::tuple<std::uint64_t, int, int>> events;
  for (const MidiEvent& e : tempo.events) events.emplace_back(e.frame, e.status, e.status == 0xF0 ? e.sysexLength : e.data1);
  EXPECT_EQ(events, (decltype(events){{beat1, 0x90, 60}, {beat3, 0x80, 60}, {beat4, 0x80, 62}, {beat4, 0xF0, 4},
                                      {beat4, 0xE0, 0}}));
  EXPECT_EQ(tempo.sysex, (Bytes{0x7E, 0x7F, 0x09, 0x01}));
  EXPECT_EQ(tempo.lengthFrames, beat4 + 30u * 11025u / 480u);  // 30 ticks of 250,000 / 480 microseconds
  for (const char* name : {"smpte.mid", "smpte.rmi"}) {  // a thousand ticks a second
    ASSERT_EQ(songs[name].events.size(), 2u);
    EXPECT_EQ(std::pair(songs[name].events[1].frame, songs[name].lengthFrames), std::pair(1102ul, 45202ul)) << name;
  }
}

// Files that bend the format and that SoX or mido open load with the content these find. Frames
// and samples: `sox FILE -t f64 -` (SoX 14.4.2; where the data size lies, `soxi -s` repeats the
// header and sox decodes what is there), SciPy where marked. Lengths, channel messages and the sum of their bytes:
// mido 1.2.10 (MidiFile.length, the messages below 0xF0). Rows marked "by hand" are files these
// readers refuse or read otherwise; sounds/README.md works their values out from the bytes.
TEST(SoundFiles, FilesOtherReadersOpenLoadWithTheContentTheyFind) {
  struct Wave { std::uint32_t rate, channels; std::size_t frames; double first, last, sum; };
  const double s16 = 1 / 32768.0;
  const std::map<std::string, Wave> waves = {
      // RIFF sizes other than the file's
      {"nonstandard-01.wav", {48000, 2, 1, 0, 0, 0}},
      {"riff_size_past_the_end.wav", {22050, 1, 4, s16, 4 * s16, 10 * s16}},
      {"riff_size_zero.wav", {22050, 1, 5, -1, 32767 * s16, -s16}},
      {"riff_size_of_the_form_type_alone.wav", {22050, 1, 5, -1, 32767 * s16, -s16}},
      {"riff_size_all_ones.wav", {22050, 1, 5, -1, 32767 * s16, -s16}},
      // data sizes other than what the file holds, the partial frame at the end dropped
      {"data_size_past_the_end.wav", {22050, 1, 1, s16, s16, s16}},
      {"data_cut_in_a_frame.wav", {22050, 1, 2, s16, 2 * s16, 3 * s16}},
      {"data_size_all_ones.wav", {11025, 2, 3, -1, 1 / 128.0, 0}},
      {"piped_by_sox.wav", {8000, 1, 40, 0.0594482421875, -0.488494873046875, 0.059295654296875}},
      {"data_size_zero_in_an_unfinished_header.wav", {22050, 1, 5, -1, 32767 * s16, -s16}},  // by hand
      // block sizes other than the samples': samples read packed, as SoX reads them, but 24-bit
      // samples in blocks of 4 bytes a channel as 32-bit containers (SciPy 1.10)
      {"block_size_contradicts_the_format.wav", {22050, 1, 2, s16, 2 * s16, 3 * s16}},
      {"pcm24_in_blocks_of_4_mono.wav", {8000, 1, 8, 0.043610899709165096, -0.1136369314044714, 1.8119275597855449}},
      {"pcm24_in_blocks_of_4_stereo.wav", {8000, 2, 8, 0.056975847110152245, 0.26393836084753275, 3.6238551195710897}},
      {"extensible_24_of_32.wav", {22050, 1, 3, 1 - 0x1p-23, 0x1p-23, 0}},  // by hand
  };
  struct Midi { double seconds; int channelMessages, byteSum; };
  const std::map<std::string, Midi> pieces = {
      // system common and real-time messages in a track
      {"test-illegal-message-f8.mid", {4.0, 16, 4764}},
      {"system_messages.mid", {1.5, 6, 1480}},
      {"running_status_across_system_messages.mid", {1.5, 6, 1536}},  // by hand
      // running status kept across meta events and system exclusive messages
      {"test-running-status-metaevent.mid", {4.0, 16, 4380}},
      {"running_status_across_a_tempo_change.mid", {1.0, 4, 1020}},
      {"running_status_across_sysex_and_meta_events.mid", {1.0, 6, 1416}},  // by hand
      {"tempo_of_four_bytes_then_of_zero.mid", {1.0, 4, 988}},
      // type 0 headers of several tracks
      {"test-2-tracks-type-0.mid", {4.5, 32, 9560}},
      {"type_0_of_three_tracks.mid", {1.25, 4, 1016}},
  };
  const auto files = Files("lenient");
  EXPECT_EQ(files.size(), waves.size() + pieces.size()) << "a file for every row";
  for (const auto& [name, b] : files) {
    WaveSound s;
    MidiSong song;
    if (name.ends_with(".wav")) {
      const Wave want = waves.contains(name) ? waves.at(name) : Wave{};
      EXPECT_EQ(ReadWave(b.data(), b.size(), &s), S_OK) << name;
      EXPECT_EQ(std::tuple(s.rate, s.channels, s.Frames()), std::tuple(want.rate, want.channels, want.frames)) << name;
      if (s.samples.empty()) continue;
      EXPECT_NEAR(s.samples.front(), want.first, 1e-7) << name;
      EXPECT_NEAR(s.samples.back(), want.last, 1e-7) << name;
      EXPECT_NEAR(std::accumulate(s.samples.begin(), s.samples.end(), 0.0), want.sum, 1e-6) << name;
    } else {
      const Midi want = pieces.contains(name) ? pieces.at(name) : Midi{-1, -1, -1};
      EXPECT_EQ(ReadMidi(b.data(), b.size(), &song), S_OK) << name;
      EXPECT_NEAR(song.lengthFrames / double{kMixRate}, want.seconds, 0.002) << name;
      int messages = 0, byteSum = 0;
      for (const MidiEvent& e : song.events)
        if (e.status != 0xF0) ++messages, byteSum += e.status + e.data1 + e.data2;
      EXPECT_EQ(std::pair(messages, byteSum), std::pair(want.channelMessages, want.byteSum)) << name;
    }
  }
}

TEST(Limiter, HoldsLoudSumsAtItsThresholdWithoutStepsAndLetsQuietOnesPass) {
  // A 0.3 sine, and eight 0.45 sines (3.6) joining it at their crest for half a second.
  std::vector<float> in;
  for (int i = 0; i < 44100 * 3; ++i) {
    const float v = 0.3f * std::sin(2 * M_PI * 441 * i / 44100) +
                    (i >= 1025 && i < 1025 + 22050 ? 3.6f * std::cos(2 * M_PI * 220 * (i - 1025) / 44100) : 0.0f);
    in.insert(in.end(), {v, v});
  }
  std::vector<float> out = in;
  zr::dmusic::Limiter limiter;
  float biggestGainStep = 0, loudPeak = 0, peak = 0;
  for (std::size_t f = 0; f < in.size() / 2; ++f) {
    const float before = limiter.gain();
    limiter.Process(&out[2 * f], 1);
    biggestGainStep = std::max(biggestGainStep, std::fabs(limiter.gain() - before));
    peak = std::max(peak, std::fabs(out[2 * f]));
    if (f >= 1025 + 441 && f < 1025 + 22050) loudPeak = std::max(loudPeak, std::fabs(out[2 * f]));
  }
  EXPECT_LE(peak, 1.0f);
  EXPECT_LE(biggestGainStep, 0.05f) << "the gain changes a little at a time";
  EXPECT_NEAR(loudPeak, 0.8f, 0.02f) << "after 10 ms the gain, not the knee, holds the level";
  // Within two seconds of the loud part the gain is back: the last half second passes unchanged.
  EXPECT_TRUE(std::equal(out.end() - 44100, out.end(), in.end() - 44100));
}

}  // namespace
