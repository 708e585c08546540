// The game's generated data, read by the platform's own readers that the game loads it with:
// generators that make the same bytes however they are built, pictures of the sizes the game
// relies on and with transparency, music that is well formed beyond what the reader requires (it
// accepts tracks without an end and notes never switched off), and a shot sound that neither
// clicks nor clips.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "image_file.h"
#include "sound_files.h"

namespace {

const std::string kData = ZR_DATA_DIR;

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The generators built for this test, with the sanitizers at -O1, must make exactly the bytes
// that the build's own generators (at -O2, without them) made.
TEST(Generators, MakeTheSameBytesInAnyBuild) {
  const std::filesystem::path out = std::filesystem::absolute("again");
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  for (const std::string& command : {std::string(ZR_MAKE_PICTURES) + " " + out.string(),
                                     std::string(ZR_MAKE_MUSIC) + " " + (out / "open.mid").string(),
                                     std::string(ZR_MAKE_SOUND) + " " + (out / "BFIRE.WAV").string()})
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (const char* file : {"textures/velkor1.png", "textures/velkor2.png", "textures/emblem.PNG", "textures/shoot.PNG",
                           "textures/win_player_1.PNG", "textures/win_player_2.PNG", "sfx/open.mid", "sfx/BFIRE.WAV"}) {
    const std::vector<uint8_t> built = Bytes(kData + "/" + file);
    EXPECT_FALSE(built.empty()) << file;
    EXPECT_TRUE(built == Bytes((out / std::filesystem::path(file).filename()).string())) << file << " differs";
  }
}

// Each picture's size where the game's rules and layout depend on it (the hit bands are a figure's
// 100 rows and a shot's 10, the win pictures fill the middle of the screen), with an alpha channel
// that leaves the corners clear.
TEST(Pictures, HaveTheirSizesAndClearCorners) {
  const struct {
    const char* name;
    UINT minWidth, maxWidth, height;
  } pictures[] = {{"velkor1.png", 40, 74, 100},        {"velkor2.png", 40, 74, 100},
                  {"emblem.PNG", 374, 374, 360},       {"shoot.PNG", 12, 32, 10},
                  {"win_player_1.PNG", 600, 600, 500}, {"win_player_2.PNG", 600, 600, 500}};
  for (const auto& want : pictures) {
    SCOPED_TRACE(want.name);
    zr::d3dx9::Image image;
    ASSERT_EQ(zr::d3dx9::DecodeImageFile((kData + "/textures/" + want.name).c_str(), &image), D3D_OK);
    EXPECT_EQ(image.format, D3DFMT_A8R8G8B8);
    EXPECT_GE(image.width, want.minWidth);
    EXPECT_LE(image.width, want.maxWidth);
    EXPECT_EQ(image.height, want.height);
    const size_t w = image.width, h = image.height;
    for (size_t corner : {size_t{0}, w - 1, (h - 1) * w, h * w - 1}) EXPECT_EQ(image.argb[corner] >> 24, 0u) << corner;
  }
}

TEST(Music, IsAPieceOfOverAMinuteWithDrumsAndEveryNoteEnded) {
  const std::vector<uint8_t> file = Bytes(kData + "/sfx/open.mid");
  zr::dmusic::MidiSong song;
  ASSERT_EQ(zr::dmusic::ReadMidi(file.data(), file.size(), &song), S_OK);
  const double seconds = static_cast<double>(song.lengthFrames) / zr::dmusic::kMixRate;
  EXPECT_GT(seconds, 60);
  EXPECT_LT(seconds, 120);
  std::set<int> channels;
  std::map<int, int> sounding;  // channel * 128 + key -> notes on
  for (const zr::dmusic::MidiEvent& e : song.events) {
    const int kind = e.status & 0xF0, key = (e.status & 0x0F) * 128 + e.data1;
    if (kind == 0x90 && e.data2 > 0) {
      channels.insert(e.status & 0x0F);
      ++sounding[key];
    } else if ((kind == 0x80 || kind == 0x90) && sounding[key]-- == 0) {
      ADD_FAILURE() << "a note switched off that was not on, at frame " << e.frame;
    }
  }
  for (const auto& [key, n] : sounding) EXPECT_EQ(n, 0) << "a note left on: channel " << key / 128 + 1;
  EXPECT_GE(channels.size(), 4u) << "voices on several channels";
  EXPECT_EQ(channels.count(9), 1u) << "drums on channel 10";
}

TEST(Sound, ShotIsShortBelowFullScaleAndStartsAndEndsQuietly) {
  const std::vector<uint8_t> file = Bytes(kData + "/sfx/BFIRE.WAV");
  zr::dmusic::WaveSound sound;
  ASSERT_EQ(zr::dmusic::ReadWave(file.data(), file.size(), &sound), S_OK);
  ASSERT_EQ(sound.channels, 1u);
  const std::vector<float>& s = sound.samples;
  ASSERT_GE(s.size(), sound.rate * 15 / 100);
  EXPECT_LE(s.size(), sound.rate * 35 / 100);
  float peak = 0;
  for (float v : s) peak = std::max(peak, std::fabs(v));
  // Quiet enough for the 15 copies that overlap when both players keep firing (-14 dBFS), loud
  // enough to be heard over the music's -20 dBFS RMS (-18 dBFS).
  EXPECT_LT(peak, 0.2f);
  EXPECT_GT(peak, 0.126f);
  // No click: the first and last millisecond stay well below the peak.
  for (size_t i = 0; i < sound.rate / 1000; ++i) {
    EXPECT_LT(std::fabs(s[i]), peak / 2) << i;
    EXPECT_LT(std::fabs(s[s.size() - 1 - i]), peak / 4) << i;
  }
}

}  // namespace
