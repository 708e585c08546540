// The performance: the audio output, the mixer, and the segments playing in it.
#include <windows.h>

#include <atomic>

#include "objects.h"
#include "voices.h"

namespace zr::dmusic {
namespace {

std::atomic<std::uint64_t> nextPerformance{1};

}  // namespace

Performance::Performance() : id_(nextPerformance++) {}

Performance::~Performance() { CloseDown(); }

Performance* Performance::From(IUnknown* object) {
  if (object == nullptr) return nullptr;
  void* self = nullptr;
  if (FAILED(object->QueryInterface(kIID_OurPerformance, &self))) return nullptr;
  auto* performance = static_cast<Performance*>(self);
  performance->Release();
  return performance;
}

HRESULT Performance::QueryInterface(REFIID iid, void** object) {
  if (iid == kIID_OurPerformance) return Answer(true, this, object);
  return Answer(iid == IID_IUnknown || iid == IID_IDirectMusicPerformance8, static_cast<IDirectMusicPerformance8*>(this),
                object);
}

HRESULT Performance::Open(DWORD defaultPathType, bool pulled) {
  if (open()) return DMUS_E_ALREADY_INITED;
  switch (defaultPathType) {
    case 0:  // no default audio path: every play must name one, and we make none
      defaultPath_ = false;
      break;
    case DMUS_APATH_SHARED_STEREOPLUSREVERB:
    case DMUS_APATH_DYNAMIC_3D:
    case DMUS_APATH_DYNAMIC_MONO:
    case DMUS_APATH_DYNAMIC_STEREO:
      defaultPath_ = true;  // all played as stereo
      break;
    default:
      return E_INVALIDARG;
  }
  mixer_ = std::make_unique<Mixer>();
  pulled_ = pulled;
  // Never fails for want of sound: with no device at all the performance stays open and silent.
  if (!pulled) output_.Open(mixer_.get());
  return S_OK;
}

// There are no DirectMusic or DirectSound objects: `music` and `sound` are left as they are. The
// channel count, features and parameters change nothing: the mix is always stereo at 44,100 Hz.
HRESULT Performance::InitAudio(IDirectMusic**, IDirectSound**, HWND, DWORD defaultPathType, DWORD, DWORD,
                               DMUS_AUDIOPARAMS*) {
  return Open(defaultPathType, false);
}

HRESULT Performance::Pull(float* out, std::size_t frames) {
  if (!open() || !pulled_) return DMUS_E_NOT_INIT;
  if (out == nullptr && frames > 0) return E_POINTER;
  mixer_->Render(out, frames);
  return S_OK;
}

std::string Performance::driver() const {
  if (!open()) return "";
  return pulled_ ? "pull" : output_.driver();
}

HRESULT Performance::PlaySegmentEx(IUnknown* source, WCHAR*, IUnknown*, DWORD flags, LONGLONG,
                                   IDirectMusicSegmentState** segmentState, IUnknown*, IUnknown* audioPath) {
  if (segmentState != nullptr) *segmentState = nullptr;  // no segment state objects are made
  if (!open()) return DMUS_E_NOT_INIT;
  if (source == nullptr) return E_POINTER;
  Segment* segment = Segment::From(source);
  if (segment == nullptr) return E_INVALIDARG;
  if (audioPath != nullptr) return E_INVALIDARG;  // we make no audio path objects
  if (!defaultPath_) return DMUS_E_NO_AUDIOPATH;
  if (!segment->DownloadedTo(id_)) {
    OutputDebugStringA("sound: a segment was played before it was downloaded to the performance\n");
    return DMUS_E_NOT_FOUND;
  }
  mixer_->Reap();
  mixer_->Add(segment->NewVoice((flags & DMUS_SEGF_SECONDARY) == 0));
  return S_OK;
}

HRESULT Performance::Stop(IDirectMusicSegment* segment, IDirectMusicSegmentState*, MUSIC_TIME, DWORD) {
  if (!open()) return S_OK;
  if (segment == nullptr) {
    mixer_->Stop(0);
  } else {
    Segment* ours = Segment::From(segment);
    if (ours == nullptr) return E_INVALIDARG;
    mixer_->Stop(ours->id());
  }
  mixer_->Reap();
  return S_OK;
}

HRESULT Performance::IsPlaying(IDirectMusicSegment* segment, IDirectMusicSegmentState*) {
  if (!open()) return DMUS_E_NOT_INIT;
  std::uint64_t id = 0;
  if (segment != nullptr) {
    Segment* ours = Segment::From(segment);
    if (ours == nullptr) return E_INVALIDARG;
    id = ours->id();
  }
  mixer_->Reap();
  return mixer_->IsPlaying(id) ? S_OK : S_FALSE;
}

HRESULT Performance::CloseDown() {
  if (!open()) return S_OK;
  mixer_->SilenceAll();
  output_.Close();  // the audio thread is done with the mixer after this
  mixer_.reset();
  pulled_ = false;
  return S_OK;
}

}  // namespace zr::dmusic
