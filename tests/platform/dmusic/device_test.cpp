// InitAudio with a real SDL audio device, and its fall back to SDL's dummy driver when no device
// opens: the performance still plays, silently, at real-time pace.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "dmusic_fixture.h"

using namespace sound_builders;

namespace {

class Device : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicPerformance8,
                               reinterpret_cast<void**>(&performance)),
              S_OK);
  }
  void TearDown() override {
    if (performance) {
      EXPECT_EQ(performance->Release(), 0u);
    }
    CoUninitialize();
    ::unsetenv("SDL_AUDIODRIVER");
  }
  HRESULT Init(DWORD pathType = DMUS_APATH_DYNAMIC_STEREO) {
    return performance->InitAudio(nullptr, nullptr, nullptr, pathType, 64, DMUS_AUDIOF_ALL, nullptr);
  }
  IDirectMusicPerformance8* performance = nullptr;
};

TEST_F(Device, AnUnopenableDriverFallsBackToTheDummyWhichPlaysInRealTime) {
  ASSERT_EQ(::setenv("SDL_AUDIODRIVER", "no-such-driver", 1), 0);
  ASSERT_EQ(Init(), S_OK);
  EXPECT_EQ(zr::dmusic::testing::OutputDriverOf(performance), "dummy");
  EXPECT_EQ(Init(), DMUS_E_ALREADY_INITED);

  IDirectMusicLoader8* loader = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8,
                             reinterpret_cast<void**>(&loader)),
            S_OK);
  ASSERT_TRUE(WriteFile("tenth.wav", Wav(1, 22050, 16, Pcm16(SineSamples(1, 22050, 440, 0.5, 2205)))));
  std::wstring name = Wide("tenth.wav");
  IDirectMusicSegment8* effect = nullptr;
  ASSERT_EQ(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, name.data(),
                                       reinterpret_cast<void**>(&effect)),
            S_OK);
  ASSERT_EQ(effect->Download(performance), S_OK);
  // A piece of a tenth of a second too, whose synthesizer renders on SDL's audio thread.
  Track t;
  t.Event(0, {0x90, 60, 100}).Event(48, {0x80, 60, 0}).End();
  ASSERT_TRUE(WriteFile("tenth.mid", Smf(0, 240, {t})));
  std::wstring midiName = Wide("tenth.mid");
  IDirectMusicSegment8* music = nullptr;
  ASSERT_EQ(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, midiName.data(),
                                       reinterpret_cast<void**>(&music)),
            S_OK);
  ASSERT_EQ(music->Download(performance), S_OK);
  ASSERT_EQ(performance->PlaySegmentEx(music, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr), S_OK);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(performance->PlaySegmentEx(effect, nullptr, nullptr, DMUS_SEGF_SECONDARY, 0, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(performance->IsPlaying(effect, nullptr), S_OK);
  // The dummy's thread pulls the mix at the pace of real sound: a tenth of a second of sound is
  // over well within five, and not before most of a tenth has passed (a thread that pulled as
  // fast as it could would end it within a few milliseconds).
  std::chrono::steady_clock::duration effectEnded{};
  while (performance->IsPlaying(nullptr, nullptr) == S_OK && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
    if (effectEnded == std::chrono::steady_clock::duration{} && performance->IsPlaying(effect, nullptr) == S_FALSE)
      effectEnded = std::chrono::steady_clock::now() - start;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(performance->IsPlaying(effect, nullptr), S_FALSE);
  EXPECT_EQ(performance->IsPlaying(music, nullptr), S_FALSE);
  if (effectEnded == std::chrono::steady_clock::duration{}) effectEnded = std::chrono::steady_clock::now() - start;
  EXPECT_GE(std::chrono::duration<double>(effectEnded).count(), 0.07);
  effect->Release();
  music->Release();
  loader->Release();
  EXPECT_EQ(performance->CloseDown(), S_OK);
  EXPECT_EQ(performance->CloseDown(), S_OK);
  EXPECT_EQ(zr::dmusic::testing::OutputDriverOf(performance), "");
}

TEST_F(Device, TheDefaultDriverOpensOrFallsBackAndNeverFails) {
  ::unsetenv("SDL_AUDIODRIVER");
  ASSERT_EQ(Init(), S_OK);
  std::string driver = zr::dmusic::testing::OutputDriverOf(performance);
  EXPECT_FALSE(driver.empty());
  EXPECT_NE(driver, "pull");
  EXPECT_EQ(performance->IsPlaying(nullptr, nullptr), S_FALSE);
  EXPECT_EQ(performance->CloseDown(), S_OK);
  // Opened again after closing down.
  ASSERT_EQ(Init(), S_OK);
  EXPECT_EQ(zr::dmusic::testing::OutputDriverOf(performance), driver);
}

TEST_F(Device, AudioPathTypesAreCheckedAndNoDefaultPathMeansNoPlaying) {
  ASSERT_EQ(::setenv("SDL_AUDIODRIVER", "dummy", 1), 0);
  EXPECT_EQ(Init(99), E_INVALIDARG);
  EXPECT_EQ(zr::dmusic::testing::OutputDriverOf(performance), "");
  ASSERT_EQ(Init(0), S_OK);
  EXPECT_EQ(zr::dmusic::testing::OutputDriverOf(performance), "dummy");
  IDirectMusicSegment8* empty = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicSegment, nullptr, CLSCTX_INPROC, IID_IDirectMusicSegment8,
                             reinterpret_cast<void**>(&empty)),
            S_OK);
  ASSERT_EQ(empty->Download(performance), S_OK);
  EXPECT_EQ(performance->PlaySegmentEx(empty, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr), DMUS_E_NO_AUDIOPATH);
  EXPECT_EQ(performance->CloseDown(), S_OK);
  ASSERT_EQ(Init(DMUS_APATH_SHARED_STEREOPLUSREVERB), S_OK);
  EXPECT_EQ(empty->Download(performance), S_OK);
  EXPECT_EQ(performance->PlaySegmentEx(empty, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(empty->Release(), 0u);
}

}  // namespace
