// The COM objects of DirectMusic: the performance, the loader and segments.
#pragma once

#include <dmusici.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio_output.h"
#include "mixer.h"
#include "sound_files.h"

namespace zr::dmusic {

// IDirectMusicSegment, which dmusici.h does not declare an identifier for.
inline constexpr IID kIID_IDirectMusicSegment = {0xF96029A2, 0x4282, 0x11D2, {0x87, 0x17, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
// Asked of an object by these identifiers, our performances and segments answer with themselves
// (AddRef'd); any other object says E_NOINTERFACE. That is how an IUnknown handed to Download or
// PlaySegmentEx is known to be ours.
inline constexpr IID kIID_OurPerformance = {0x5A3C0E71, 0x9B2D, 0x4F60, {0x8E, 0x11, 0x2C, 0x7D, 0x40, 0x93, 0xA6, 0x01}};
inline constexpr IID kIID_OurSegment = {0x5A3C0E72, 0x9B2D, 0x4F60, {0x8E, 0x11, 0x2C, 0x7D, 0x40, 0x93, 0xA6, 0x02}};

// Reference counting and QueryInterface for an object with the given interfaces.
template <typename Interface>
class ComObject : public Interface {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~ComObject() = default;
  // Hands out `self` for `iid` when `answers`, as QueryInterface does.
  HRESULT Answer(bool answers, void* self, void** object) {
    if (object == nullptr) return E_POINTER;
    if (!answers) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *object = self;
    return S_OK;
  }

 private:
  ULONG refs_ = 1;
};

class Performance final : public ComObject<IDirectMusicPerformance8> {
 public:
  Performance();
  // The performance behind an object, or null when it is not one of ours. No reference is added.
  static Performance* From(IUnknown* object);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE InitAudio(IDirectMusic** music, IDirectSound** sound, HWND window, DWORD defaultPathType,
                                      DWORD channelCount, DWORD flags, DMUS_AUDIOPARAMS* parameters) override;
  HRESULT STDMETHODCALLTYPE PlaySegmentEx(IUnknown* source, WCHAR* segmentName, IUnknown* transition, DWORD flags,
                                          LONGLONG startTime, IDirectMusicSegmentState** segmentState,
                                          IUnknown* from, IUnknown* audioPath) override;
  HRESULT STDMETHODCALLTYPE Stop(IDirectMusicSegment* segment, IDirectMusicSegmentState* segmentState,
                                 MUSIC_TIME time, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE IsPlaying(IDirectMusicSegment* segment, IDirectMusicSegmentState* segmentState) override;
  HRESULT STDMETHODCALLTYPE CloseDown() override;

  // Opens the performance: to an audio device, or (`pulled`) to nothing, the mix being pulled.
  HRESULT Open(DWORD defaultPathType, bool pulled);
  HRESULT Pull(float* out, std::size_t frames);
  bool open() const { return mixer_ != nullptr; }
  std::uint64_t id() const { return id_; }
  std::string driver() const;
  Limiter::Activity limiterActivity() const { return open() ? mixer_->limiterActivity() : Limiter::Activity{}; }

 private:
  ~Performance() override;

  std::uint64_t id_;
  std::unique_ptr<Mixer> mixer_;
  AudioOutput output_;
  bool pulled_ = false;
  bool defaultPath_ = false;
};

class Segment final : public ComObject<IDirectMusicSegment8> {
 public:
  Segment();  // empty: plays nothing
  explicit Segment(std::shared_ptr<const WaveSound> wave);
  explicit Segment(std::shared_ptr<const MidiSong> song);
  // The segment behind an object, or null when it is not one of ours. No reference is added.
  static Segment* From(IUnknown* object);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE SetRepeats(DWORD repeats) override;
  HRESULT STDMETHODCALLTYPE GetRepeats(DWORD* repeats) override;
  HRESULT STDMETHODCALLTYPE Download(IUnknown* audioPath) override;
  HRESULT STDMETHODCALLTYPE Unload(IUnknown* audioPath) override;

  std::uint64_t id() const { return id_; }
  bool DownloadedTo(std::uint64_t performance) const { return downloads_.count(performance) != 0; }
  // A new playing instance.
  std::unique_ptr<Voice> NewVoice(bool primary) const;

 private:
  ~Segment() override = default;

  std::uint64_t id_;
  std::shared_ptr<const WaveSound> wave_;
  std::shared_ptr<const MidiSong> song_;
  std::shared_ptr<const std::vector<float>> mixed_;  // the sound in the mix format, once downloaded
  DWORD repeats_ = 0;
  std::map<std::uint64_t, int> downloads_;  // per performance, Download calls not yet unloaded
};

class Loader final : public ComObject<IDirectMusicLoader8> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE SetSearchDirectory(REFGUID objectClass, WCHAR* path, BOOL clear) override;
  HRESULT STDMETHODCALLTYPE LoadObjectFromFile(REFGUID objectClass, REFIID iid, WCHAR* filePath,
                                               void** object) override;
  HRESULT STDMETHODCALLTYPE ClearCache(REFGUID objectClass) override;

 private:
  ~Loader() override;
  // The file a name stands for: as given, then in the search directory; empty when neither opens.
  std::string Find(const std::string& name) const;

  std::string directory_;
  std::map<std::string, Segment*> cache_;  // by the file's canonical path, one reference each
};

// Narrow (UTF-8) text from wide text (UTF-32 here); invalid code points become U+FFFD.
std::string Narrow(const WCHAR* text);

}  // namespace zr::dmusic
