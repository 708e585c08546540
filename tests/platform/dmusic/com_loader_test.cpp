// COM's answers, reference counts, and the loader: where it looks and what it refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "dmusic_fixture.h"

using namespace sound_builders;

namespace {

const IID kIID_IDirectMusicSegment = {0xF96029A2, 0x4282, 0x11D2, {0x87, 0x17, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};

TEST(Com, StartsPerThreadAndCountsItsStarts) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8, &object),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  std::thread([] {
    void* other = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8, &other),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
  }).join();
  CoUninitialize();
  ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8, &object), S_OK);
  static_cast<IUnknown*>(object)->Release();
  CoUninitialize();  // the second start is matched now
  EXPECT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8, &object),
            CO_E_NOTINITIALIZED);
}

TEST(Com, AnswersEveryWrongRequestWithItsOwnCode) {
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  void* object = reinterpret_cast<void*>(1);
  const CLSID unknown = {0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
  EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_INPROC, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8, &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  IUnknown* outer = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IUnknown,
                             reinterpret_cast<void**>(&outer)),
            S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, outer, CLSCTX_INPROC, IID_IUnknown, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(outer->Release(), 0u);
  CoUninitialize();
}

TEST(Com, ObjectsCountTheirReferencesAndAnswerForTheirInterfaces) {
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  IDirectMusicPerformance8* performance = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicPerformance8,
                             reinterpret_cast<void**>(&performance)),
            S_OK);
  EXPECT_EQ(performance->AddRef(), 2u);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(performance->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(performance));
  EXPECT_EQ(unknown->Release(), 2u);
  void* wrong = reinterpret_cast<void*>(1);
  EXPECT_EQ(performance->QueryInterface(IID_IDirectMusicSegment8, &wrong), E_NOINTERFACE);
  EXPECT_EQ(wrong, nullptr);
  EXPECT_EQ(performance->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(performance->Release(), 1u);

  // A segment answers for IDirectMusicSegment too; every interface is one object.
  ASSERT_EQ(zr::dmusic::testing::InitAudioForPulling(performance), S_OK);
  IDirectMusicLoader8* loader = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8,
                             reinterpret_cast<void**>(&loader)),
            S_OK);
  ASSERT_TRUE(WriteFile("counted.wav", Wav(1, 22050, 16, Pcm16({1, 2, 3}))));
  std::wstring name = Wide("counted.wav");
  IDirectMusicSegment8* segment = nullptr;
  ASSERT_EQ(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, name.data(),
                                       reinterpret_cast<void**>(&segment)),
            S_OK);
  IDirectMusicSegment* plain = nullptr;
  ASSERT_EQ(segment->QueryInterface(kIID_IDirectMusicSegment, reinterpret_cast<void**>(&plain)), S_OK);
  EXPECT_EQ(static_cast<void*>(plain), static_cast<void*>(segment));
  EXPECT_EQ(plain->Release(), 2u);  // ours and the loader's cache
  // The loader's cache hands out the same object for the same file, until it is cleared.
  IDirectMusicSegment8* same = nullptr;
  ASSERT_EQ(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, name.data(),
                                       reinterpret_cast<void**>(&same)),
            S_OK);
  EXPECT_EQ(same, segment);
  EXPECT_EQ(same->Release(), 2u);
  EXPECT_EQ(loader->ClearCache(GUID_DirectMusicAllTypes), S_OK);
  // A playing segment may be released: its plays go on.
  ASSERT_EQ(segment->Download(performance), S_OK);
  ASSERT_EQ(performance->PlaySegmentEx(segment, nullptr, nullptr, DMUS_SEGF_SECONDARY, 0, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(segment->Release(), 0u);
  EXPECT_EQ(performance->IsPlaying(nullptr, nullptr), S_OK);
  std::vector<float> mix = zr::dmusic::testing::PullMix(performance, 10);
  EXPECT_NE(mix[0], 0.0f);
  EXPECT_EQ(loader->Release(), 0u);
  // Releasing the performance closes it down, playing or not.
  EXPECT_EQ(performance->Release(), 0u);
  CoUninitialize();
}

class Loading : public PulledPerformance {};

TEST_F(Loading, LooksAtTheNameAsGivenThenInTheSearchDirectory) {
  ::mkdir("media", 0755);
  ::mkdir("media/sounds", 0755);
  ASSERT_TRUE(WriteFile("both.wav", Wav(1, 44100, 16, Pcm16({8192}))));
  ASSERT_TRUE(WriteFile("media/both.wav", Wav(1, 44100, 16, Pcm16({16384}))));
  ASSERT_TRUE(WriteFile("media/sounds/only.wav", Wav(1, 44100, 16, Pcm16({-8192}))));
  std::wstring directory = Wide("media");
  ASSERT_EQ(loader->SetSearchDirectory(GUID_DirectMusicAllTypes, directory.data(), FALSE), S_OK);
  EXPECT_EQ(loader->SetSearchDirectory(GUID_DirectMusicAllTypes, directory.data(), FALSE), S_FALSE);
  std::wstring missing = Wide("no-such-directory");
  EXPECT_EQ(loader->SetSearchDirectory(GUID_DirectMusicAllTypes, missing.data(), FALSE), DMUS_E_LOADER_BADPATH);

  // The first sample of what each name plays.
  auto firstSample = [&](const std::string& name) {
    IDirectMusicSegment8* segment = nullptr;
    EXPECT_EQ(LoadFile(name, &segment), S_OK) << name;
    if (segment == nullptr) return 0.0f;
    segments.push_back(segment);
    EXPECT_EQ(segment->Download(performance), S_OK);
    EXPECT_EQ(Play(segment), S_OK);
    return Pull(1)[0];
  };
  EXPECT_EQ(firstSample("both.wav"), 0.25f);           // the working directory's
  EXPECT_EQ(firstSample("sounds\\only.wav"), -0.25f);  // a Windows name, in the search directory
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(firstSample(std::string(cwd) + "/media/both.wav"), 0.5f);  // a full path as it is
  IDirectMusicSegment8* segment = nullptr;
  EXPECT_EQ(LoadFile("sounds/nothing.wav", &segment), DMUS_E_LOADER_FAILEDOPEN);
  EXPECT_EQ(LoadFile("", &segment), DMUS_E_LOADER_FAILEDOPEN);
  EXPECT_EQ(segment, nullptr);
}

TEST_F(Loading, TheContentDecidesTheKindAndDamagedFilesFailCleanly) {
  IDirectMusicSegment8* segment = nullptr;
  ASSERT_TRUE(WriteFile("music.wav", Melody(2)));  // a MIDI file under a WAV name
  ASSERT_EQ(LoadFile("music.wav", &segment), S_OK);
  segment->Release();
  ASSERT_TRUE(WriteFile("sound.mid", Wav(1, 8000, 8, {1, 2, 3})));
  ASSERT_EQ(LoadFile("sound.mid", &segment), S_OK);
  segment->Release();

  Bytes wav = Wav(2, 22050, 16, Pcm16(SineSamples(2, 22050, 500.0, 0.5, 100)));
  Bytes midi = Melody(3);
  struct Case {
    const char* name;
    Bytes bytes;
    HRESULT expected;
  };
  const Case cases[] = {
      {"truncated.wav", Bytes(wav.begin(), wav.begin() + 60), DMUS_E_INVALIDFILE},
      {"empty-data.wav", Wav(2, 22050, 16, {}), DMUS_E_INVALIDFILE},
      {"lying.wav", Riff("WAVE", {Chunk("fmt ", FormatChunkBody(1, 1, 22050, 16), 9999), Chunk("data", {1, 2})}),
       DMUS_E_INVALIDFILE},
      {"truncated.mid", Bytes(midi.begin(), midi.end() - 10), DMUS_E_INVALIDFILE},
      {"junk.mid", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, 4, 0xF5, 0, 1, 2},
       DMUS_E_INVALIDFILE},
      {"empty.wav", {}, DMUS_E_UNSUPPORTED_STREAM},
      {"text.mid", {'n', 'o', 't', ' ', 'm', 'u', 's', 'i', 'c'}, DMUS_E_UNSUPPORTED_STREAM},
      {"type2.mid", Smf(2, 96, {Track().End()}), DMUS_E_UNSUPPORTED_STREAM},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFile(c.name, c.bytes));
    segment = reinterpret_cast<IDirectMusicSegment8*>(1);
    EXPECT_EQ(LoadFile(c.name, &segment), c.expected) << c.name;
    EXPECT_EQ(segment, nullptr) << c.name;
  }
  ASSERT_EQ(::mkdir("a-directory.wav", 0755) == 0 || errno == EEXIST, true);
  EXPECT_EQ(LoadFile("a-directory.wav", &segment), DMUS_E_LOADER_FAILEDOPEN);

  std::wstring name = Wide("music.wav");
  void* object = nullptr;
  EXPECT_EQ(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicLoader8, name.data(), &object),
            E_NOINTERFACE);
  EXPECT_EQ(loader->LoadObjectFromFile(CLSID_DirectMusicLoader, IID_IUnknown, name.data(), &object),
            DMUS_E_LOADER_FAILEDCREATE);
  EXPECT_EQ(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IUnknown, nullptr, &object), E_POINTER);
  EXPECT_EQ(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IUnknown, name.data(), nullptr), E_POINTER);
}

}  // namespace
