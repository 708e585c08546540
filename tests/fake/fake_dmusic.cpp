// COM and DirectMusic of the fake: calls recorded as "CoInitialize", "IDirectMusicPerformance8::
// PlaySegmentEx" and so on; a segment is named by its file in its calls and its Release.
#include "fake_state.h"

#include <string>

#include "fake_com.h"

namespace fake::dmusic {

namespace {

std::string Narrow(const WCHAR* text) {
  if (text == nullptr) return "<null>";
  std::string out;
  for (; *text != 0; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

std::string GuidName(REFGUID guid) {
  if (guid == CLSID_DirectMusicPerformance) return "CLSID_DirectMusicPerformance";
  if (guid == CLSID_DirectMusicLoader) return "CLSID_DirectMusicLoader";
  return "other";
}

class Segment final : public Counted<IDirectMusicSegment8> {
 public:
  explicit Segment(std::string file) : Counted("IDirectMusicSegment8", file), file_(std::move(file)) {}
  const std::string& File() const { return file_; }
  HRESULT STDMETHODCALLTYPE Download(IUnknown* audioPath) override { return Call("Download", S_OK, file_, audioPath); }
  FAKE_NOT_MODELLED(SetRepeats, DWORD)
  FAKE_NOT_MODELLED(GetRepeats, DWORD*)
  FAKE_NOT_MODELLED(Unload, IUnknown*)

 private:
  std::string file_;
};

std::string SegmentName(IUnknown* segment) {
  if (segment == nullptr) return "<null>";
  auto* ours = dynamic_cast<Segment*>(static_cast<IDirectMusicSegment8*>(segment));
  return ours != nullptr ? ours->File() : "ptr";
}

class Performance final : public Counted<IDirectMusicPerformance8> {
 public:
  Performance() : Counted("IDirectMusicPerformance8") {}
  HRESULT STDMETHODCALLTYPE InitAudio(IDirectMusic** music, IDirectSound** sound, HWND window, DWORD pathType,
                                      DWORD channels, DWORD flags, DMUS_AUDIOPARAMS* parameters) override {
    return Call("InitAudio", S_OK, music, sound, window, pathType, channels, flags, parameters);
  }
  HRESULT STDMETHODCALLTYPE PlaySegmentEx(IUnknown* source, WCHAR* name, IUnknown* transition, DWORD flags,
                                          LONGLONG start, IDirectMusicSegmentState** state, IUnknown* from,
                                          IUnknown* audioPath) override {
    if (state != nullptr) *state = nullptr;
    return Call("PlaySegmentEx", S_OK, SegmentName(source), Narrow(name), transition, flags, start, state, from,
                audioPath);
  }
  HRESULT STDMETHODCALLTYPE Stop(IDirectMusicSegment* segment, IDirectMusicSegmentState* state, MUSIC_TIME time,
                                 DWORD flags) override {
    return Call("Stop", S_OK, segment, state, time, flags);
  }
  FAKE_NOT_MODELLED(IsPlaying, IDirectMusicSegment*, IDirectMusicSegmentState*)
  HRESULT STDMETHODCALLTYPE CloseDown() override { return Call("CloseDown", S_OK); }
};

class Loader final : public Counted<IDirectMusicLoader8> {
 public:
  Loader() : Counted("IDirectMusicLoader8") {}
  HRESULT STDMETHODCALLTYPE SetSearchDirectory(REFGUID objectClass, WCHAR* path, BOOL clear) override {
    return Call("SetSearchDirectory", S_OK, GuidName(objectClass), Narrow(path), clear);
  }
  HRESULT STDMETHODCALLTYPE LoadObjectFromFile(REFGUID objectClass, REFIID iid, WCHAR* filePath,
                                               void** object) override {
    std::string file = Narrow(filePath);
    bool exists = Get().files.count(file) != 0;
    HRESULT hr = Call("LoadObjectFromFile", exists ? S_OK : DMUS_E_LOADER_FAILEDOPEN, GuidName(objectClass),
                      GuidName(iid), file);
    if (object == nullptr) return hr;
    *object = SUCCEEDED(hr) ? static_cast<IDirectMusicSegment8*>(new Segment(file)) : nullptr;
    return hr;
  }
  FAKE_NOT_MODELLED(ClearCache, REFGUID)
};

}  // namespace

}  // namespace fake::dmusic

using fake::Platform;

HRESULT WINAPI CoInitialize(LPVOID reserved) { return fake::Hr("CoInitialize", S_OK, reserved); }

void WINAPI CoUninitialize() { Platform::Get().Record("CoUninitialize", 0); }

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
  namespace fd = fake::dmusic;
  HRESULT hr = fake::Hr("CoCreateInstance", S_OK, fd::GuidName(clsid), outer, context, fd::GuidName(iid));
  if (object == nullptr) return hr;
  *object = nullptr;
  if (FAILED(hr)) return hr;
  if (clsid == CLSID_DirectMusicPerformance && iid == IID_IDirectMusicPerformance8)
    *object = static_cast<IDirectMusicPerformance8*>(new fd::Performance);
  else if (clsid == CLSID_DirectMusicLoader && iid == IID_IDirectMusicLoader8)
    *object = static_cast<IDirectMusicLoader8*>(new fd::Loader);
  else
    return REGDB_E_CLASSNOTREG;
  return hr;
}
