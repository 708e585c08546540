// A performance opened for pulling (no audio device), a loader, and segments made from files
// written by the test into its scratch directory.
#pragma once

#include <dmusici.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dmusic_testing.h"
#include "sound_builders.h"

class PulledPerformance : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicPerformance8,
                               reinterpret_cast<void**>(&performance)),
              S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8,
                               reinterpret_cast<void**>(&loader)),
              S_OK);
    ASSERT_EQ(zr::dmusic::testing::InitAudioForPulling(performance), S_OK);
  }
  void TearDown() override {
    for (IDirectMusicSegment8* s : segments) s->Release();
    if (performance) {
      EXPECT_EQ(performance->CloseDown(), S_OK);
      EXPECT_EQ(performance->Release(), 0u);
    }
    if (loader) {
      EXPECT_EQ(loader->Release(), 0u);
    }
    CoUninitialize();
  }

  HRESULT LoadFile(const std::string& name, IDirectMusicSegment8** segment) {
    std::wstring wide = sound_builders::Wide(name);
    return loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, wide.data(),
                                      reinterpret_cast<void**>(segment));
  }
  // Writes the file, loads it and downloads it to the performance; null (and a failure) when any
  // step fails.
  IDirectMusicSegment8* Load(const std::string& name, const sound_builders::Bytes& bytes) {
    EXPECT_TRUE(sound_builders::WriteFile(name, bytes));
    IDirectMusicSegment8* segment = nullptr;
    EXPECT_EQ(LoadFile(name, &segment), S_OK) << name;
    if (segment == nullptr) return nullptr;
    segments.push_back(segment);
    EXPECT_EQ(segment->Download(performance), S_OK);
    return segment;
  }
  HRESULT Play(IDirectMusicSegment8* segment, DWORD flags = DMUS_SEGF_SECONDARY) {
    return performance->PlaySegmentEx(segment, nullptr, nullptr, flags, 0, nullptr, nullptr, nullptr);
  }
  std::vector<float> Pull(std::size_t frames) { return zr::dmusic::testing::PullMix(performance, frames); }
  bool Playing(IDirectMusicSegment8* segment = nullptr) { return performance->IsPlaying(segment, nullptr) == S_OK; }

  IDirectMusicPerformance8* performance = nullptr;
  IDirectMusicLoader8* loader = nullptr;
  std::vector<IDirectMusicSegment8*> segments;
};

inline double Energy(const std::vector<float>& samples) {
  double e = 0;
  for (float v : samples) e += double{v} * v;
  return e;
}

inline float Peak(const std::vector<float>& samples) {
  float p = 0;
  for (float v : samples) p = std::max(p, std::fabs(v));
  return p;
}
