// What a player hears: the performance's mix pulled offline as a device would pull it, the loader,
// the SoundFont, and the device with its fall back to SDL's dummy driver.
#include <dmusici.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <stdexcept>
#include <thread>

#include "dmusic_testing.h"
#include "sound_files.h"

namespace {

namespace hooks = zr::dmusic::testing;
namespace fs = std::filesystem;

std::string Sounds(const std::string& name) { return std::string(ZR_SOUNDS) + "/" + name; }

// The samples of a sound of sounds/ (at 44,100 Hz they are what the mix adds), as the reader reads them.
std::vector<float> Samples(const std::string& name) {
  std::ifstream in(Sounds(name), std::ios::binary);
  const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
  zr::dmusic::WaveSound sound;
  EXPECT_EQ(zr::dmusic::ReadWave(bytes.data(), bytes.size(), &sound), S_OK) << name;
  return sound.samples;
}
float Peak(const std::vector<float>& samples) {
  float peak = 0;
  for (float v : samples) peak = std::max(peak, std::fabs(v));
  return peak;
}

class Sound : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicPerformance8,
                               reinterpret_cast<void**>(&performance)), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8,
                               reinterpret_cast<void**>(&loader)), S_OK);
    ASSERT_EQ(hooks::InitAudioForPulling(performance), S_OK);
  }
  // As the game ends: the segments released, everything stopped, closed down and released.
  void TearDown() override {
    for (IDirectMusicSegment8* s : segments) s->Release();
    EXPECT_EQ(performance->Stop(nullptr, nullptr, 0, 0), S_OK);
    EXPECT_EQ(performance->CloseDown(), S_OK);
    EXPECT_EQ(performance->Release(), 0u);
    EXPECT_EQ(loader->Release(), 0u);
    CoUninitialize();
  }
  // Loaded and downloaded, as the game's sound manager does.
  IDirectMusicSegment8* Load(const std::string& name, IDirectMusicPerformance8* to = nullptr) {
    std::wstring wide(name.begin(), name.end());
    IDirectMusicSegment8* segment = nullptr;
    if (FAILED(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, wide.data(),
                                          reinterpret_cast<void**>(&segment))))
      throw std::runtime_error("cannot load " + name);
    segments.push_back(segment);
    EXPECT_EQ(segment->Download(to ? to : performance), S_OK);
    return segment;
  }
  HRESULT Play(IDirectMusicSegment8* segment, DWORD flags = DMUS_SEGF_SECONDARY) {
    return performance->PlaySegmentEx(segment, nullptr, nullptr, flags, 0, nullptr, nullptr, nullptr);
  }
  std::vector<float> Pull(std::size_t frames, std::vector<float> before = {}) {
    std::vector<float> more = hooks::PullMix(performance, frames);
    before.insert(before.end(), more.begin(), more.end());
    return before;
  }
  bool Playing(IDirectMusicSegment8* segment = nullptr) { return performance->IsPlaying(segment, nullptr) == S_OK; }

  IDirectMusicPerformance8* performance = nullptr;
  IDirectMusicLoader8* loader = nullptr;
  std::vector<IDirectMusicSegment8*> segments;
};

TEST_F(Sound, EffectsStartOnTheirFrameAddUpAndFadeOutWhenStopped) {
  // A stereo sound whose samples are all non-zero and known, its sides apart, in two files.
  const std::vector<float> tone = Samples("effects/ramp_of_3000_frames.wav");
  fs::copy_file(Sounds("effects/ramp_of_3000_frames.wav"), "b.wav", fs::copy_options::overwrite_existing);
  IDirectMusicSegment8 *a = Load(Sounds("effects/ramp_of_3000_frames.wav")), *b = Load("b.wav");
  EXPECT_EQ(Peak(Pull(777)), 0.0f);
  ASSERT_EQ(Play(a), S_OK);
  std::vector<float> mix = Pull(300);
  ASSERT_EQ(Play(a), S_OK);
  ASSERT_EQ(Play(b), S_OK);
  mix = Pull(700, mix);
  ASSERT_EQ(performance->Stop(a, nullptr, 0, 0), S_OK);
  EXPECT_FALSE(Playing(a));
  EXPECT_TRUE(Playing(b));
  mix = Pull(500, mix);
  // a from frame 0 and from 300, faded over 256 frames from 1000 on; b from 300.
  for (std::size_t i = 0; i < mix.size(); ++i) {
    const std::size_t f = i / 2;
    auto from = [&](std::size_t start) { return f >= start ? tone[i - 2 * start] : 0.0f; };
    const float gain = f < 1000 ? 1.0f : std::max(0.0f, 1.0f - (f - 999.0f) / 256);
    ASSERT_NEAR(mix[i], gain * (from(0) + from(300)) + from(300), 1e-6f) << f;
  }
}

// Two dozen sounds at once would sum far beyond full scale: the mix stays within it, still loud.
TEST_F(Sound, ALoudMixIsLimitedToFullScale) {
  IDirectMusicSegment8* a = Load(Sounds("effects/ramp_of_3000_frames.wav"));
  ASSERT_GT(24 * Peak(Samples("effects/ramp_of_3000_frames.wav")), 2.0f);
  for (int i = 0; i < 24; ++i) ASSERT_EQ(Play(a), S_OK);
  const float peak = Peak(Pull(3000));
  EXPECT_LE(peak, 1.0f);
  EXPECT_GT(peak, 0.7f);
}

TEST_F(Sound, APrimarySegmentReplacesThePrimaryOneAndRepeatsPlayASoundAgain) {
  fs::copy_file(Sounds("effects/ramp_of_300_frames.wav"), "second.wav", fs::copy_options::overwrite_existing);
  IDirectMusicSegment8 *first = Load(Sounds("effects/ramp_of_300_frames.wav")), *second = Load("second.wav");
  ASSERT_EQ(Play(first, 0), S_OK);
  ASSERT_EQ(Play(second), S_OK);
  ASSERT_EQ(Play(second, 0), S_OK);
  EXPECT_FALSE(Playing(first));
  EXPECT_TRUE(Playing(second)) << "a secondary play goes on";
  ASSERT_EQ(second->SetRepeats(2), S_OK);
  ASSERT_EQ(Play(second), S_OK);
  Pull(899);
  EXPECT_TRUE(Playing(second));
  Pull(2);  // past the end
  EXPECT_FALSE(Playing(second)) << "three times 300 frames";
}

TEST_F(Sound, MidiNotesSoundWhenTheTempoMapSaysAndThePieceEndsOnceTheyDecay) {
  IDirectMusicSegment8* music = Load(Sounds("pieces/one_note_at_0.4_s.mid"));  // from 17,640 to 35,280
  ASSERT_EQ(Play(music), S_OK);
  EXPECT_LT(Peak(Pull(17640)), 1e-4f);
  EXPECT_GT(Peak(Pull(96)), 1e-4f);  // FluidSynth starts notes on its 64-frame blocks
  std::size_t frames = 17640 + 96;
  for (; Playing(music) && frames < 44100 * 5; frames += 1023) Pull(1023);
  EXPECT_GT(frames, 35280u + 1023) << "the release and the reverb's tail take time";
  EXPECT_FALSE(Playing(music));
  EXPECT_EQ(Peak(Pull(4096)), 0.0f);
}

// The game's own music and shot. The music's opening 3 s (its quietest stretch, 2 dB under the
// piece) at -20 dBFS RMS give or take 3 dB, the limiter idle; the 30 shots both players holding
// fire start, one a frame at 60 a second, at most 10 dB above that over their half second, within
// full scale, and the limiter taking under 1 dB (its ceiling alone holds a burst near -10 dBFS).
TEST_F(Sound, TheGamesMusicPlaysAtMinus20DbfsAndABurstOfShotsAtMost10DbAboveIt) {
  IDirectMusicSegment8* music = Load(std::string(ZR_GAME_SOUNDS) + "/open.mid");
  IDirectMusicSegment8* shot = Load(std::string(ZR_GAME_SOUNDS) + "/BFIRE.WAV");
  const auto dbfs = [](const std::vector<float>& v, std::size_t frames) {
    return 10 * std::log10(std::inner_product(v.begin(), v.begin() + 2 * frames, v.begin(), 0.0) / (2.0 * frames));
  };
  ASSERT_EQ(Play(music), S_OK);
  const double level = dbfs(Pull(3 * 44100), 3 * 44100);
  EXPECT_NEAR(level, -20, 3);
  const zr::dmusic::Limiter::Activity quiet = hooks::LimiterActivityOf(performance);
  EXPECT_EQ(quiet.framesChanged, 0u);
  std::vector<float> burst;
  for (std::size_t frame = 0, fired = 0; frame < 22050; frame += 1024) {
    for (; fired < 30 && fired * 735 <= frame; ++fired) ASSERT_EQ(Play(shot), S_OK);
    burst = Pull(1024, burst);
  }
  EXPECT_LE(dbfs(burst, 22050), level + 10);
  EXPECT_LE(Peak(burst), 1.0f);
  const zr::dmusic::Limiter::Activity loud = hooks::LimiterActivityOf(performance);
  EXPECT_LT(loud.energyIn - quiet.energyIn, 1.26 * (loud.energyOut - quiet.energyOut));
}

TEST_F(Sound, TheLoaderLooksAtTheNameAsGivenThenInItsDirectoryAndKnowsFilesByContent) {
  fs::create_directories("media/sounds");
  for (auto [from, to] : {std::pair{"8192", "both.wav"}, {"16384", "media/both.wav"},
                          {"-8192", "media/sounds/only.mid"}})  // the last a sound under a MIDI name
    fs::copy_file(Sounds("effects/one_sample_") + from + ".wav", to, fs::copy_options::overwrite_existing);
  std::wstring directory = L"media";
  ASSERT_EQ(loader->SetSearchDirectory(GUID_DirectMusicAllTypes, directory.data(), FALSE), S_OK);
  for (auto [name, sample] : {std::pair{"both.wav", 0.25f}, {"sounds\\only.mid", -0.25f}}) {
    ASSERT_EQ(Play(Load(name)), S_OK);
    EXPECT_EQ(Pull(1), (std::vector<float>{sample, sample})) << name << ": a mono sound on both sides";
  }
}

TEST_F(Sound, WithoutASoundFontMusicIsSilentForItsLengthAndSaysSo) {
  ASSERT_TRUE(hooks::UseSoundFontPaths({"/nonexistent/none.sf2"}));
  ::testing::internal::CaptureStderr();
  IDirectMusicSegment8* music = Load(Sounds("pieces/melody_of_one_second.mid"));
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("no General MIDI SoundFont"), std::string::npos);
  EXPECT_EQ(Play(music), S_OK);
  EXPECT_EQ(Peak(Pull(22050)), 0.0f);
  EXPECT_TRUE(Playing(music));
  Pull(30000);
  EXPECT_FALSE(Playing());
  ASSERT_TRUE(hooks::UseSoundFontPaths(hooks::DefaultSoundFontPaths()));
}

TEST_F(Sound, ADriverThatOpensNothingFallsBackToTheDummyWhichPlaysOn) {
  ASSERT_EQ(::setenv("SDL_AUDIODRIVER", "no-such-driver", 1), 0);
  IDirectMusicPerformance8* device = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicPerformance8,
                             reinterpret_cast<void**>(&device)), S_OK);
  ASSERT_EQ(device->InitAudio(nullptr, nullptr, nullptr, DMUS_APATH_DYNAMIC_STEREO, 8, DMUS_AUDIOF_ALL, nullptr), S_OK);
  ::unsetenv("SDL_AUDIODRIVER");
  EXPECT_EQ(hooks::OutputDriverOf(device), "dummy");
  // A tenth of a second, played by the dummy's thread.
  IDirectMusicSegment8* effect = Load(Sounds("effects/a_tenth_of_a_second.wav"), device);
  ASSERT_EQ(device->PlaySegmentEx(effect, nullptr, nullptr, DMUS_SEGF_SECONDARY, 0, nullptr, nullptr, nullptr), S_OK);
  const auto start = std::chrono::steady_clock::now();
  while (device->IsPlaying(nullptr, nullptr) == S_OK && std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(device->IsPlaying(nullptr, nullptr), S_FALSE);
  EXPECT_EQ(device->Release(), 0u);
}

}  // namespace
