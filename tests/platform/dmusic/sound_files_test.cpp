// The WAV and MIDI readers on the files of sounds/ (see its README): formats, damaged files and
// timing; the mix's limiter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
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
