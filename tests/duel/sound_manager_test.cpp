#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_dmusic.h"
#include "fake_platform.h"
#include "zr_SoundManager.h"

using ::testing::ElementsAre;

namespace {

const char* kMusic = "../objects/sfx/open.mid";
const char* kShot = "../objects/sfx/BFIRE.WAV";

std::vector<std::string> Lines(const std::vector<fake::Call>& calls) {
  std::vector<std::string> out;
  for (const fake::Call& c : calls) {
    std::string line = c.name;
    for (const std::string& a : c.args) line += " " + a;
    out.push_back(line);
  }
  return out;
}

class SoundManager : public ::testing::Test {
 protected:
  void SetUp() override {
    p.Reset();
    fake::dmusic::Get().files = {kMusic, kShot};
  }
  fake::Platform& p = fake::Platform::Get();
};

TEST_F(SoundManager, InitialiseStartsComThePerformanceAndTheLoader) {
  zr_SoundManager sound;
  sound.Initialise();
  EXPECT_THAT(Lines(p.Calls()),
              ElementsAre("CoInitialize <null>",
                          "CoCreateInstance CLSID_DirectMusicPerformance <null> 3 IID_IDirectMusicPerformance8",
                          "CoCreateInstance CLSID_DirectMusicLoader <null> 3 IID_IDirectMusicLoader8",
                          "IDirectMusicPerformance8::InitAudio <null> <null> <null> 8 8 63 <null>",
                          "MultiByteToWideChar 0 0 ../../media -1 260",
                          "IDirectMusicLoader8::SetSearchDirectory GUID_DirectMusicAllTypes ../../media 0"));
}

TEST_F(SoundManager, MusicAndEffectsAreLoadedDownloadedAndPlayedAsSecondarySegments) {
  zr_SoundManager sound;
  sound.Initialise();
  p.Reset();
  fake::dmusic::Get().files = {kMusic, kShot};
  sound.AddBackgroundMusic(kMusic);
  sound.PlayBackgroundMusic();
  sound.AddSound(kShot);
  sound.PlaySoundEffect(kShot);
  sound.PlaySoundEffect(kShot);
  std::vector<std::string> lines = Lines(p.Calls());
  std::vector<std::string> music(lines.begin(), lines.begin() + 4);
  EXPECT_THAT(music, ElementsAre("MultiByteToWideChar 0 0 ../objects/sfx/open.mid -1 260",
                                 "IDirectMusicLoader8::LoadObjectFromFile CLSID_DirectMusicSegment "
                                 "IID_IDirectMusicSegment8 ../objects/sfx/open.mid",
                                 "IDirectMusicSegment8::Download ../objects/sfx/open.mid ptr",
                                 "IDirectMusicPerformance8::PlaySegmentEx ../objects/sfx/open.mid <null> <null> 128 0 "
                                 "<null> <null> <null>"));
  auto plays = p.CallsTo("IDirectMusicPerformance8::PlaySegmentEx");
  ASSERT_EQ(plays.size(), 3u);
  EXPECT_EQ(plays[1].Arg(0), kShot);
  EXPECT_EQ(plays[2].Arg(0), kShot);  // a second play while the first may still sound
  EXPECT_EQ(p.CountOf("IDirectMusicPerformance8::Stop"), 0u);
  EXPECT_EQ(p.CountOf("MessageBoxA"), 0u);
}

TEST_F(SoundManager, NamesMustMatchExactlyAndUnknownNamesPlayNothing) {
  zr_SoundManager sound;
  sound.Initialise();
  sound.AddSound(kShot);
  p.Reset();
  sound.PlaySoundEffect("../objects/sfx/bfire.wav");
  sound.PlaySoundEffect("BFIRE.WAV");
  sound.PlaySoundEffect("never added");
  EXPECT_TRUE(p.Calls().empty());
}

TEST_F(SoundManager, FilesThatCannotBeLoadedAreToldInAMessageBox) {
  zr_SoundManager sound;
  sound.Initialise();
  fake::dmusic::Get().files.clear();
  sound.AddBackgroundMusic(kMusic);
  sound.AddSound(kShot);
  EXPECT_THAT(Lines(p.CallsTo("MessageBoxA")),
              ElementsAre("MessageBoxA <null> Fehler beim Laden der Datei AddBackgroundMusic 0",
                          "MessageBoxA <null> Fehler beim Laden der Datei AddSound 0"));
  p.Reset();
  sound.PlayBackgroundMusic();
  sound.PlaySoundEffect(kShot);
  EXPECT_TRUE(p.Calls().empty());
  EXPECT_EQ(p.CountOf("IDirectMusicSegment8::Download"), 0u);
}

TEST_F(SoundManager, WithoutPerformanceOrLoaderNothingHappens) {
  p.ResultForCall("CoCreateInstance", 2, REGDB_E_CLASSNOTREG);
  zr_SoundManager sound;
  sound.Initialise();
  sound.AddSound(kShot);
  sound.AddBackgroundMusic(kMusic);
  sound.PlaySoundEffect(kShot);
  EXPECT_EQ(p.CountOf("MessageBoxA"), 0u);
  EXPECT_EQ(p.CountOf("IDirectMusicPerformance8::PlaySegmentEx"), 0u);
  EXPECT_EQ(p.CountOf("IDirectMusicLoader8::SetSearchDirectory"), 0u);
}

TEST_F(SoundManager, DestructionReleasesInOrderAndEndsCom) {
  {
    zr_SoundManager sound;
    sound.Initialise();
    fake::dmusic::Get().files.insert("b.wav");
    fake::dmusic::Get().files.insert("a.wav");
    sound.AddSound("b.wav");
    sound.AddSound("a.wav");
    sound.AddBackgroundMusic(kMusic);
    p.Reset();
  }
  EXPECT_THAT(Lines(p.Calls()),
              ElementsAre("IDirectMusicSegment8::Release a.wav", "IDirectMusicSegment8::Release b.wav",
                          "IDirectMusicSegment8::Release ../objects/sfx/open.mid",
                          "IDirectMusicPerformance8::Stop <null> <null> 0 0", "IDirectMusicPerformance8::CloseDown",
                          "IDirectMusicPerformance8::Release", "IDirectMusicLoader8::Release", "CoUninitialize"));
  p.Reset();
  { zr_SoundManager never; }
  EXPECT_TRUE(p.Calls().empty());
}

TEST_F(SoundManager, OverlongNamesLoadNothing) {
  zr_SoundManager sound;
  sound.Initialise();
  std::string longName(400, 'x');
  fake::dmusic::Get().files.insert(longName);
  sound.AddSound(longName);
  auto loads = p.CallsTo("IDirectMusicLoader8::LoadObjectFromFile");
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_EQ(loads[0].Arg(2), "");
  EXPECT_EQ(p.CountOf("MessageBoxA"), 1u);
}

}  // namespace
