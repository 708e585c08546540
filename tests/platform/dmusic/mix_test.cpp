// What a player hears: the performance's mix pulled offline, frame by frame, as a device would.
#include <gtest/gtest.h>

#include "dmusic_fixture.h"
#include "sound_files.h"

using namespace sound_builders;

namespace {

constexpr std::size_t kFade = 256;  // frames a stopped voice takes to fade out

// A 44,100 Hz stereo effect whose every sample is non-zero and known: left and right differ.
std::vector<int> Ramp(int frames, int scale = 40) {
  std::vector<int> s;
  for (int i = 0; i < frames; ++i) {
    s.push_back((i % 97 + 1) * scale);
    s.push_back(-(i % 53 + 1) * scale);
  }
  return s;
}

float Value(int sample) { return sample / 32768.0f; }

std::size_t FirstSound(const std::vector<float>& stereo, float above = 0.0f) {
  for (std::size_t i = 0; i < stereo.size(); ++i)
    if (std::fabs(stereo[i]) > above) return i / 2;
  return stereo.size() / 2;
}

using Mix = PulledPerformance;

TEST_F(Mix, AnEffectStartsOnTheFrameItWasPlayedAt) {
  const std::vector<int> samples = Ramp(2000);
  IDirectMusicSegment8* effect = Load("ramp.wav", Wav(2, 44100, 16, Pcm16(samples)));
  ASSERT_NE(effect, nullptr);
  std::vector<float> before = Pull(777);
  EXPECT_EQ(Peak(before), 0.0f);
  ASSERT_EQ(Play(effect), S_OK);
  std::vector<float> after = Pull(3000);
  ASSERT_EQ(FirstSound(after), 0u);
  for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_FLOAT_EQ(after[i], Value(samples[i])) << i;
  for (std::size_t i = samples.size(); i < after.size(); ++i) ASSERT_EQ(after[i], 0.0f) << i;
  // Played in the middle of what a device would pull next: the pulls in between change nothing.
  ASSERT_EQ(Play(effect), S_OK);
  std::vector<float> pieces = Pull(1);
  for (std::size_t n : {10, 1023, 1024, 1025}) {
    std::vector<float> more = Pull(n);
    pieces.insert(pieces.end(), more.begin(), more.end());
  }
  for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_FLOAT_EQ(pieces[i], Value(samples[i])) << i;
}

TEST_F(Mix, TwoPlaysOfOneEffectOverlapAndAdd) {
  const std::vector<int> samples = Ramp(1500, 20);
  IDirectMusicSegment8* effect = Load("twice.wav", Wav(2, 44100, 16, Pcm16(samples)));
  ASSERT_NE(effect, nullptr);
  ASSERT_EQ(Play(effect), S_OK);
  ASSERT_EQ(Play(effect), S_OK);
  std::vector<float> both = Pull(1500);
  for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_FLOAT_EQ(both[i], 2 * Value(samples[i])) << i;
  // The second play 300 frames after the first.
  ASSERT_EQ(Play(effect), S_OK);
  std::vector<float> mix = Pull(300);
  ASSERT_EQ(Play(effect), S_OK);
  std::vector<float> rest = Pull(1500);
  mix.insert(mix.end(), rest.begin(), rest.end());
  for (std::size_t i = 0; i < mix.size(); ++i) {
    float expected = (i < samples.size() ? Value(samples[i]) : 0.0f) +
                     (i >= 600 && i - 600 < samples.size() ? Value(samples[i - 600]) : 0.0f);
    ASSERT_FLOAT_EQ(mix[i], expected) << i;
  }
}

TEST_F(Mix, AMidiPieceSoundsTheSameOnEveryRunWhateverThePulls) {
  const Bytes melody = Melody(6);
  IDirectMusicSegment8* music = Load("melody.mid", melody);
  ASSERT_NE(music, nullptr);
  ASSERT_EQ(Play(music), S_OK);
  std::vector<float> first = Pull(44100 * 2);
  EXPECT_GT(Energy(first), 1.0);

  // A second performance pulled in odd pieces.
  IDirectMusicPerformance8* other = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicPerformance8,
                             reinterpret_cast<void**>(&other)),
            S_OK);
  ASSERT_EQ(zr::dmusic::testing::InitAudioForPulling(other), S_OK);
  ASSERT_EQ(music->Download(other), S_OK);
  ASSERT_EQ(other->PlaySegmentEx(music, nullptr, nullptr, DMUS_SEGF_SECONDARY, 0, nullptr, nullptr, nullptr), S_OK);
  std::vector<float> second;
  for (std::size_t n = 1; second.size() < first.size(); n = n * 3 % 2000 + 1) {
    std::vector<float> piece = zr::dmusic::testing::PullMix(other, std::min(n, (first.size() - second.size()) / 2));
    second.insert(second.end(), piece.begin(), piece.end());
  }
  EXPECT_EQ(music->Unload(other), S_OK);
  other->Release();
  ASSERT_EQ(second.size(), first.size());
  EXPECT_TRUE(second == first) << "the two runs differ";
}

TEST_F(Mix, MidiNotesSoundWhenTheTempoMapSays) {
  Track t;
  t.Tempo(0, 400000).Event(0, {0xC0, 0}).Event(480, {0x90, 72, 110}).Event(480, {0x80, 72, 0}).End();
  IDirectMusicSegment8* music = Load("late.mid", Smf(0, 480, {t}));
  ASSERT_NE(music, nullptr);
  ASSERT_EQ(Play(music), S_OK);
  std::vector<float> mix = Pull(44100);
  // One beat at 0.4 s: 17,640 frames; FluidSynth starts notes on its 64-frame blocks.
  std::size_t onset = FirstSound(mix, 1e-4f);
  EXPECT_GE(onset, 17640u);
  EXPECT_LE(onset, 17640u + 64 + 32);
}

TEST_F(Mix, AMidiPiecePlaysUntilItsNotesHaveDecayed) {
  Track t;
  t.Event(0, {0xC0, 0}).Event(0, {0x90, 60, 100}).Event(240, {0x80, 60, 0}).End();  // a quarter second
  IDirectMusicSegment8* music = Load("short.mid", Smf(0, 480, {t}));
  ASSERT_NE(music, nullptr);
  ASSERT_EQ(Play(music), S_OK);
  EXPECT_TRUE(Playing(music));
  Pull(11025);
  EXPECT_TRUE(Playing(music));
  std::size_t frames = 11025;
  while (Playing(music) && frames < 44100 * 12) {
    Pull(1024);
    frames += 1024;
  }
  EXPECT_FALSE(Playing(music));
  EXPECT_GT(frames, 11025u + 1024);      // the release and the reverb's tail take time
  EXPECT_LT(frames, 44100u * 5);         // but not ten seconds
  EXPECT_EQ(Peak(Pull(4096)), 0.0f);     // and nothing is left in the mix
}

TEST_F(Mix, TheMusicGoesOnUnderThirtyOverlappingEffects) {
  const Bytes melody = Melody(8, 60);
  const std::vector<int> shot = SineSamples(1, 22050, 700.0, 0.004, 11025);  // half a second, quiet
  IDirectMusicSegment8* music = Load("music.mid", melody);
  IDirectMusicSegment8* effect = Load("shot.wav", Wav(1, 22050, 16, Pcm16(shot)));
  ASSERT_NE(music, nullptr);
  ASSERT_NE(effect, nullptr);

  // The music alone, on a performance of its own.
  IDirectMusicPerformance8* alone = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicPerformance8,
                             reinterpret_cast<void**>(&alone)),
            S_OK);
  ASSERT_EQ(zr::dmusic::testing::InitAudioForPulling(alone), S_OK);
  ASSERT_EQ(music->Download(alone), S_OK);
  ASSERT_EQ(alone->PlaySegmentEx(music, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr), S_OK);
  const std::size_t frames = 44100 * 2;
  std::vector<float> musicAlone = zr::dmusic::testing::PullMix(alone, frames);
  alone->Release();
  ASSERT_GT(Energy(musicAlone), 1.0);
  ASSERT_LT(Peak(musicAlone), 0.6f) << "the music must stay under the limiter for this comparison";

  // The music with thirty effects started 40 ms apart, all sounding together from 0.5 s on.
  ASSERT_EQ(Play(music, 0), S_OK);
  std::vector<float> mix;
  std::vector<std::size_t> starts;
  for (int i = 0; i < 30; ++i) {
    starts.push_back(mix.size() / 2);
    ASSERT_EQ(Play(effect), S_OK);
    std::vector<float> piece = Pull(1764);
    mix.insert(mix.end(), piece.begin(), piece.end());
  }
  std::vector<float> rest = Pull(frames - mix.size() / 2);
  mix.insert(mix.end(), rest.begin(), rest.end());

  // Take out what the effects added (each the converted sound, from where it was played): the
  // music is left, sample for sample.
  zr::dmusic::WaveSound decoded;
  const Bytes file = Wav(1, 22050, 16, Pcm16(shot));
  ASSERT_EQ(zr::dmusic::ReadWave(file.data(), file.size(), &decoded), S_OK);
  const std::vector<float> converted = zr::dmusic::ConvertToMix(decoded);
  std::vector<float> left(mix);
  for (std::size_t start : starts)
    for (std::size_t i = 0; i < converted.size() && 2 * start + i < left.size(); ++i) left[2 * start + i] -= converted[i];
  float worst = 0;
  for (std::size_t i = 0; i < left.size(); ++i) worst = std::max(worst, std::fabs(left[i] - musicAlone[i]));
  EXPECT_LT(worst, 1e-5f);  // and the effects were all there, or their removal would leave a trace
}

TEST_F(Mix, TheLimiterKeepsLoudSumsInsideWithoutSteps) {
  // A 0.3 sine plays; then eight plays of a 0.45 sine join it at once (3.9 before limiting) where
  // the first is at its crest, so a gain that jumped would show as a step.
  const std::vector<int> background = SineSamples(2, 44100, 441.0, 0.3, 44100);
  const std::vector<int> loud = SineSamples(2, 44100, 220.0, 0.45, 22050);
  IDirectMusicSegment8* under = Load("under.wav", Wav(2, 44100, 16, Pcm16(background)));
  IDirectMusicSegment8* effect = Load("loud.wav", Wav(2, 44100, 16, Pcm16(loud)));
  ASSERT_NE(effect, nullptr);
  ASSERT_EQ(Play(under), S_OK);
  std::vector<float> mix = Pull(1025);
  for (int i = 0; i < 8; ++i) ASSERT_EQ(Play(effect), S_OK);
  std::vector<float> rest = Pull(22050);
  mix.insert(mix.end(), rest.begin(), rest.end());
  float biggestInputStep = 0, biggestStep = 0;
  float previousInput = 0, previous = 0;
  for (std::size_t i = 0; i < mix.size(); i += 2) {
    ASSERT_LE(std::fabs(mix[i]), 1.0f) << i / 2;
    ASSERT_LE(std::fabs(mix[i + 1]), 1.0f) << i / 2;
    float input = Value(background[i]) + (i >= 2050 ? 8 * Value(loud[i - 2050]) : 0.0f);
    biggestInputStep = std::max(biggestInputStep, std::fabs(input - previousInput));
    biggestStep = std::max(biggestStep, std::fabs(mix[i] - previous));
    previousInput = input;
    previous = mix[i];
  }
  // The gain comes down smoothly: no sample jumps further than the unlimited sum would have.
  EXPECT_LE(biggestStep, biggestInputStep);
  // Yet the level stays up near full scale rather than being scaled away.
  EXPECT_GT(Peak(mix), 0.75f);
  // Once the loud part is over the gain comes back up within two seconds, and a quiet effect
  // passes unchanged.
  Pull(44100 * 2);
  const std::vector<int> soft = Ramp(500);
  IDirectMusicSegment8* small = Load("soft.wav", Wav(2, 44100, 16, Pcm16(soft)));
  ASSERT_EQ(Play(small), S_OK);
  std::vector<float> after = Pull(500);
  for (std::size_t i = 0; i < soft.size(); ++i) ASSERT_FLOAT_EQ(after[i], Value(soft[i])) << i;
}

TEST_F(Mix, StopEndsASegmentsPlaysWithAShortFadeAndLeavesTheOthers) {
  const std::vector<int> tone = Ramp(44100);
  IDirectMusicSegment8* a = Load("a.wav", Wav(2, 44100, 16, Pcm16(tone)));
  IDirectMusicSegment8* b = Load("b.wav", Wav(2, 44100, 16, Pcm16(tone)));
  ASSERT_EQ(Play(a), S_OK);
  ASSERT_EQ(Play(a), S_OK);
  ASSERT_EQ(Play(b), S_OK);
  Pull(1000);
  EXPECT_TRUE(Playing(a));
  ASSERT_EQ(performance->Stop(a, nullptr, 0, 0), S_OK);
  EXPECT_FALSE(Playing(a));
  EXPECT_TRUE(Playing(b));
  std::vector<float> mix = Pull(2000);
  for (std::size_t f = kFade; f < 2000; ++f) ASSERT_FLOAT_EQ(mix[2 * f], Value(tone[2 * (1000 + f)])) << f;
  // During the fade, a's two plays go from full to nothing, one step at a time.
  for (std::size_t f = 0; f < kFade; ++f) {
    float aPart = mix[2 * f] - Value(tone[2 * (1000 + f)]);
    float full = 2 * Value(tone[2 * (1000 + f)]);
    ASSERT_NEAR(aPart, full * (1.0f - (f + 1.0f) / kFade), 1e-6f) << f;
  }
  ASSERT_EQ(performance->Stop(nullptr, nullptr, 0, 0), S_OK);
  EXPECT_FALSE(Playing());
  Pull(kFade);
  EXPECT_EQ(Peak(Pull(1000)), 0.0f);
}

TEST_F(Mix, APrimarySegmentReplacesThePrimaryOneAndSecondariesStopNothing) {
  IDirectMusicSegment8* first = Load("first.mid", Melody(20));
  IDirectMusicSegment8* second = Load("second.mid", Melody(20));
  IDirectMusicSegment8* effect = Load("fx.wav", Wav(2, 44100, 16, Pcm16(Ramp(30000))));
  ASSERT_EQ(Play(first, DMUS_SEGF_DEFAULT), S_OK);
  ASSERT_EQ(Play(effect), S_OK);
  Pull(4410);
  ASSERT_EQ(Play(effect), S_OK);
  EXPECT_TRUE(Playing(first));
  ASSERT_EQ(Play(second, 0), S_OK);
  EXPECT_FALSE(Playing(first));
  EXPECT_TRUE(Playing(second));
  EXPECT_TRUE(Playing(effect));
  Pull(4410);
  ASSERT_EQ(Play(first, DMUS_SEGF_SECONDARY), S_OK);
  EXPECT_TRUE(Playing(first));
  EXPECT_TRUE(Playing(second));
}

TEST_F(Mix, RepeatsPlayTheWholeSegmentAgain) {
  const std::vector<int> samples = Ramp(300);
  IDirectMusicSegment8* effect = Load("again.wav", Wav(2, 44100, 16, Pcm16(samples)));
  DWORD repeats = 7;
  ASSERT_EQ(effect->GetRepeats(&repeats), S_OK);
  EXPECT_EQ(repeats, 0u);
  ASSERT_EQ(effect->SetRepeats(2), S_OK);
  ASSERT_EQ(effect->GetRepeats(&repeats), S_OK);
  EXPECT_EQ(repeats, 2u);
  ASSERT_EQ(Play(effect), S_OK);
  std::vector<float> mix = Pull(1000);
  for (std::size_t i = 0; i < 1800; ++i) ASSERT_FLOAT_EQ(mix[i], Value(samples[i % 600])) << i;
  for (std::size_t i = 1800; i < 2000; ++i) ASSERT_EQ(mix[i], 0.0f) << i;
  EXPECT_FALSE(Playing(effect));

  Track t;
  t.Event(0, {0xC0, 0}).Event(0, {0x90, 60, 100}).Event(100, {0x80, 60, 0}).End(380);  // half a second
  IDirectMusicSegment8* music = Load("loop.mid", Smf(0, 480, {t}));
  ASSERT_EQ(music->SetRepeats(DMUS_SEG_REPEAT_INFINITE), S_OK);
  ASSERT_EQ(Play(music), S_OK);
  std::vector<float> loop = Pull(44100 * 3);
  // The note comes back every half second.
  for (int pass = 0; pass < 6; ++pass) {
    std::vector<float> start(loop.begin() + pass * 44100, loop.begin() + pass * 44100 + 2 * 1000);
    EXPECT_GT(Peak(start), 0.01f) << pass;
  }
  EXPECT_TRUE(Playing(music));
}

TEST_F(Mix, ASegmentPlaysOnlyWhereItWasDownloaded) {
  const std::vector<int> samples = Ramp(100);
  ASSERT_TRUE(WriteFile("plain.wav", Wav(2, 44100, 16, Pcm16(samples))));
  IDirectMusicSegment8* segment = nullptr;
  ASSERT_EQ(LoadFile("plain.wav", &segment), S_OK);
  segments.push_back(segment);
  EXPECT_EQ(Play(segment), DMUS_E_NOT_FOUND);
  ASSERT_EQ(segment->Download(performance), S_OK);
  ASSERT_EQ(segment->Download(performance), S_OK);
  EXPECT_EQ(Play(segment), S_OK);
  EXPECT_EQ(segment->Unload(performance), S_OK);
  EXPECT_EQ(Play(segment), S_OK);  // downloaded twice, unloaded once
  EXPECT_EQ(segment->Unload(performance), S_OK);
  EXPECT_EQ(segment->Unload(performance), S_FALSE);
  EXPECT_EQ(Play(segment), DMUS_E_NOT_FOUND);
  // The plays already started keep their sound.
  std::vector<float> mix = Pull(100);
  for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_FLOAT_EQ(mix[i], 2 * Value(samples[i])) << i;
  EXPECT_EQ(segment->Download(nullptr), E_POINTER);
  EXPECT_EQ(segment->Download(loader), E_INVALIDARG);
  EXPECT_EQ(performance->PlaySegmentEx(loader, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(performance->PlaySegmentEx(nullptr, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr), E_POINTER);
}

TEST_F(Mix, CloseDownStopsEverythingAndMayBeCalledTwice) {
  IDirectMusicSegment8* effect = Load("closing.wav", Wav(2, 44100, 16, Pcm16(Ramp(5000))));
  IDirectMusicSegment8* music = Load("closing.mid", Melody(4));
  ASSERT_EQ(Play(effect), S_OK);
  ASSERT_EQ(Play(music), S_OK);
  Pull(100);
  EXPECT_EQ(performance->CloseDown(), S_OK);
  EXPECT_EQ(performance->CloseDown(), S_OK);
  EXPECT_EQ(performance->IsPlaying(nullptr, nullptr), DMUS_E_NOT_INIT);
  EXPECT_EQ(Play(effect), DMUS_E_NOT_INIT);
  EXPECT_EQ(zr::dmusic::testing::PullMix(performance, 10).size(), 0u);
  EXPECT_EQ(zr::dmusic::testing::OutputDriverOf(performance), "");
  // Opened again, it starts from silence.
  ASSERT_EQ(zr::dmusic::testing::InitAudioForPulling(performance), S_OK);
  EXPECT_EQ(zr::dmusic::testing::InitAudioForPulling(performance), DMUS_E_ALREADY_INITED);
  EXPECT_EQ(performance->InitAudio(nullptr, nullptr, nullptr, DMUS_APATH_DYNAMIC_STEREO, 64, 0, nullptr),
            DMUS_E_ALREADY_INITED);
  EXPECT_FALSE(Playing());
  EXPECT_EQ(Peak(Pull(1000)), 0.0f);
}

TEST_F(Mix, WithoutASoundFontMusicIsSilentForItsLengthAndSaysSoOnce) {
  ASSERT_TRUE(zr::dmusic::testing::UseSoundFontPaths({"/nonexistent/none.sf2"}));
  ::testing::internal::CaptureStderr();
  IDirectMusicSegment8* music = Load("mute.mid", Melody(4));  // 1 s
  IDirectMusicSegment8* again = Load("mute2.mid", Melody(4));
  ASSERT_EQ(Play(music), S_OK);
  ASSERT_EQ(Play(again), S_OK);
  std::vector<float> mix = Pull(22050);
  EXPECT_TRUE(Playing(music));
  Pull(30000);
  EXPECT_FALSE(Playing(music));
  std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(Peak(mix), 0.0f);
  EXPECT_NE(said.find("no General MIDI SoundFont"), std::string::npos) << said;
  EXPECT_EQ(said.find("SoundFont"), said.rfind("SoundFont")) << said;
  ASSERT_TRUE(zr::dmusic::testing::UseSoundFontPaths(zr::dmusic::testing::DefaultSoundFontPaths()));
}

}  // namespace
