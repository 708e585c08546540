// Segments: a sound or a MIDI piece, prepared for the performances it is downloaded to.
#include <atomic>

#include "objects.h"
#include "sound_font.h"
#include "voices.h"

namespace zr::dmusic {
namespace {

std::atomic<std::uint64_t> nextSegment{1};

}  // namespace

Segment::Segment() : id_(nextSegment++) {}
Segment::Segment(std::shared_ptr<const WaveSound> wave) : id_(nextSegment++), wave_(std::move(wave)) {}
Segment::Segment(std::shared_ptr<const MidiSong> song) : id_(nextSegment++), song_(std::move(song)) {}

Segment* Segment::From(IUnknown* object) {
  if (object == nullptr) return nullptr;
  void* self = nullptr;
  if (FAILED(object->QueryInterface(kIID_OurSegment, &self))) return nullptr;
  auto* segment = static_cast<Segment*>(self);
  segment->Release();
  return segment;
}

HRESULT Segment::QueryInterface(REFIID iid, void** object) {
  if (iid == kIID_OurSegment) return Answer(true, this, object);
  return Answer(iid == IID_IUnknown || iid == kIID_IDirectMusicSegment || iid == IID_IDirectMusicSegment8,
                static_cast<IDirectMusicSegment8*>(this), object);
}

HRESULT Segment::SetRepeats(DWORD repeats) {
  repeats_ = repeats;
  return S_OK;
}

HRESULT Segment::GetRepeats(DWORD* repeats) {
  if (repeats == nullptr) return E_POINTER;
  *repeats = repeats_;
  return S_OK;
}

HRESULT Segment::Download(IUnknown* audioPath) {
  if (audioPath == nullptr) return E_POINTER;
  Performance* performance = Performance::From(audioPath);
  if (performance == nullptr) return E_INVALIDARG;
  if (!performance->open()) return DMUS_E_NOT_INIT;
  // A sound is converted to the mix format once, whatever the number of performances and plays.
  if (wave_ && !mixed_) mixed_ = std::make_shared<const std::vector<float>>(ConvertToMix(*wave_));
  // A piece needs the SoundFont, loaded once per process; its synthesizers come with each play.
  if (song_) SoundFontBank::Get();
  ++downloads_[performance->id()];
  return S_OK;
}

HRESULT Segment::Unload(IUnknown* audioPath) {
  if (audioPath == nullptr) return E_POINTER;
  Performance* performance = Performance::From(audioPath);
  if (performance == nullptr) return E_INVALIDARG;
  auto it = downloads_.find(performance->id());
  if (it == downloads_.end()) return S_FALSE;
  if (--it->second == 0) downloads_.erase(it);
  // Plays under way keep their own reference to the converted sound.
  if (downloads_.empty()) mixed_.reset();
  return S_OK;
}

std::unique_ptr<Voice> Segment::NewVoice(bool primary) const {
  if (song_) return std::make_unique<MidiVoice>(id_, primary, song_, SoundFontBank::Get().NewSynth(), repeats_);
  static const auto nothing = std::make_shared<const std::vector<float>>();
  return std::make_unique<WaveVoice>(id_, primary, mixed_ ? mixed_ : nothing, repeats_);
}

}  // namespace zr::dmusic
