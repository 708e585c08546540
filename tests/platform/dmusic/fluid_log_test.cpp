// FluidSynth's messages reach the debugger output, each line prefixed with "fluidsynth: ", and
// nothing of them reaches standard error raw. This program has an OutputDebugStringA of its own
// that keeps what it is given instead of writing it to standard error (as the platform's does),
// so that standard error shows only what bypassed the route.
#include <fluidsynth.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "dmusic_testing.h"
#include "sound_builders.h"

namespace {

std::mutex debugOutputLock;
std::vector<std::string> debugOutput;

std::vector<std::string> DebugLinesStartingWith(const std::string& prefix) {
  std::lock_guard<std::mutex> hold(debugOutputLock);
  std::vector<std::string> lines;
  for (const std::string& text : debugOutput)
    if (text.compare(0, prefix.size(), prefix) == 0) lines.push_back(text);
  return lines;
}

}  // namespace

void WINAPI OutputDebugStringA(LPCSTR text) {
  if (text == nullptr) return;
  std::lock_guard<std::mutex> hold(debugOutputLock);
  debugOutput.emplace_back(text);
}

namespace {

using namespace sound_builders;

std::string InstalledSoundFont() {
  for (const std::string& path : zr::dmusic::testing::DefaultSoundFontPaths()) {
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
      std::fclose(f);
      return path;
    }
  }
  return "";
}

void Collect(int level, const char* message, void* data) {
  if (level != FLUID_DBG && message != nullptr) static_cast<std::vector<std::string>*>(data)->push_back(message);
}

// Bank selects naming banks the SoundFont lacks: FluidSynth warns about each program change that
// follows and substitutes bank 0.
void SelectMissingBanks(fluid_synth_t* synth) {
  fluid_synth_cc(synth, 0, 0, 5);
  fluid_synth_program_change(synth, 0, 10);
  fluid_synth_cc(synth, 3, 0, 127);
  fluid_synth_program_change(synth, 3, 100);
}

Bytes PieceSelectingMissingBanks() {
  Track t;
  t.Event(0, {0xB0, 0, 5}).Event(0, {0xC0, 10}).Event(0, {0xB3, 0, 127}).Event(0, {0xC3, 100});
  t.Event(0, {0x90, 60, 100}).Event(48, {0x80, 60, 0}).End();
  return Smf(0, 240, {t});
}

// What FluidSynth says, left to itself, for the same events.
std::vector<std::string> WhatFluidSynthSays(const std::string& soundFont) {
  std::vector<std::string> said;
  for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level) fluid_set_log_function(level, Collect, &said);
  fluid_settings_t* settings = new_fluid_settings();
  fluid_synth_t* synth = new_fluid_synth(settings);
  EXPECT_NE(fluid_synth_sfload(synth, soundFont.c_str(), 0), FLUID_FAILED);
  SelectMissingBanks(synth);
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level)
    fluid_set_log_function(level, fluid_default_log_function, nullptr);
  return said;
}

TEST(FluidSynthMessages, EveryLineArrivesPrefixedOnTheDebugOutputAndNoneOnStandardError) {
  const std::string soundFont = InstalledSoundFont();
  ASSERT_FALSE(soundFont.empty()) << "no General MIDI SoundFont installed (timgm6mb-soundfont)";
  const std::vector<std::string> expected = WhatFluidSynthSays(soundFont);
  ASSERT_EQ(expected.size(), 2u);

  // A fresh bank, which sets up its route as a new process does.
  ASSERT_TRUE(zr::dmusic::testing::UseSoundFontPaths({soundFont}));
  ASSERT_TRUE(WriteFile("banks.mid", PieceSelectingMissingBanks()));
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  IDirectMusicPerformance8* performance = nullptr;
  IDirectMusicLoader8* loader = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicPerformance8,
                             reinterpret_cast<void**>(&performance)),
            S_OK);
  ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8,
                             reinterpret_cast<void**>(&loader)),
            S_OK);
  ASSERT_EQ(zr::dmusic::testing::InitAudioForPulling(performance), S_OK);

  ::testing::internal::CaptureStderr();
  std::wstring name = Wide("banks.mid");
  IDirectMusicSegment8* music = nullptr;
  HRESULT loaded = loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, name.data(),
                                              reinterpret_cast<void**>(&music));
  if (music != nullptr) {
    EXPECT_EQ(music->Download(performance), S_OK);
    EXPECT_EQ(performance->PlaySegmentEx(music, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr), S_OK);
    // Until the piece is over and its synthesizer gone, with its SoundFont taken off its stack.
    for (int i = 0; i < 100 && performance->IsPlaying(nullptr, nullptr) == S_OK; ++i)
      zr::dmusic::testing::PullMix(performance, 4410);
    EXPECT_EQ(performance->IsPlaying(nullptr, nullptr), S_FALSE);
  }
  EXPECT_EQ(performance->CloseDown(), S_OK);
  if (music != nullptr) music->Release();
  std::string raw = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(loaded, S_OK);

  EXPECT_EQ(raw, "");
  std::vector<std::string> routed;
  for (const std::string& message : expected) routed.push_back("fluidsynth: " + message + "\n");
  EXPECT_EQ(DebugLinesStartingWith("fluidsynth"), routed);

  EXPECT_EQ(loader->Release(), 0u);
  EXPECT_EQ(performance->Release(), 0u);
  CoUninitialize();
}

}  // namespace
