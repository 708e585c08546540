#include "zr_SoundManager.h"

namespace {

constexpr int kPathLength = MAX_PATH;
constexpr const char* kSearchDirectory = "../../media";
constexpr const char* kLoadFailed = "Fehler beim Laden der Datei";

void Play(IDirectMusicPerformance8* performance, IDirectMusicSegment8* segment) {
  performance->PlaySegmentEx(segment, nullptr, nullptr, DMUS_SEGF_SECONDARY, 0, nullptr, nullptr, nullptr);
}

}  // namespace

zr_SoundManager::zr_SoundManager()
    : performance_(nullptr), loader_(nullptr), backgroundMusic_(nullptr), comStarted_(false) {}

zr_SoundManager::~zr_SoundManager() {
  for (auto& [name, segment] : sounds_) {
    if (segment != nullptr) {
      segment->Release();
      segment = nullptr;
    }
  }
  if (backgroundMusic_ != nullptr) {
    backgroundMusic_->Release();
    backgroundMusic_ = nullptr;
  }
  if (performance_ != nullptr) {
    performance_->Stop(nullptr, nullptr, 0, 0);
    performance_->CloseDown();
    performance_->Release();
    performance_ = nullptr;
  }
  if (loader_ != nullptr) {
    loader_->Release();
    loader_ = nullptr;
  }
  // COM is ended only by an object that started it: one whose Initialise never ran has nothing
  // to end.
  if (comStarted_) CoUninitialize();
}

void zr_SoundManager::Initialise() {
  comStarted_ = SUCCEEDED(CoInitialize(nullptr));
  CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicPerformance8,
                   reinterpret_cast<void**>(&performance_));
  CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8,
                   reinterpret_cast<void**>(&loader_));
  if (performance_ != nullptr)
    performance_->InitAudio(nullptr, nullptr, nullptr, DMUS_APATH_DYNAMIC_STEREO, 8, DMUS_AUDIOF_ALL, nullptr);
  WCHAR directory[kPathLength] = {};
  MultiByteToWideChar(CP_ACP, 0, kSearchDirectory, -1, directory, kPathLength);
  if (loader_ != nullptr) loader_->SetSearchDirectory(GUID_DirectMusicAllTypes, directory, FALSE);
}

IDirectMusicSegment8* zr_SoundManager::Load(const std::string& fileName, const char* caption) {
  if (loader_ == nullptr || performance_ == nullptr) return nullptr;
  // A name that does not fit the buffer converts to nothing and then cannot be loaded.
  WCHAR path[kPathLength] = {};
  if (MultiByteToWideChar(CP_ACP, 0, fileName.c_str(), -1, path, kPathLength) == 0) path[0] = 0;
  IDirectMusicSegment8* segment = nullptr;
  HRESULT hr = loader_->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, path,
                                           reinterpret_cast<void**>(&segment));
  if (FAILED(hr) || segment == nullptr) {
    if (segment != nullptr) segment->Release();
    MessageBoxA(nullptr, kLoadFailed, caption, MB_OK);
    return nullptr;
  }
  segment->Download(performance_);
  return segment;
}

void zr_SoundManager::AddBackgroundMusic(std::string fileName) {
  if (loader_ == nullptr || performance_ == nullptr) return;
  // What was loaded before goes, whether or not the new file loads: a file that cannot be loaded
  // leaves no music.
  IDirectMusicSegment8* segment = Load(fileName, "AddBackgroundMusic");
  if (backgroundMusic_ != nullptr) backgroundMusic_->Release();
  backgroundMusic_ = segment;
}

void zr_SoundManager::PlayBackgroundMusic() {
  if (performance_ != nullptr && backgroundMusic_ != nullptr) Play(performance_, backgroundMusic_);
}

void zr_SoundManager::AddSound(std::string fileName) {
  if (loader_ == nullptr || performance_ == nullptr) return;
  // As with the music: a name whose file cannot be loaded plays nothing, whatever it played before.
  IDirectMusicSegment8* segment = Load(fileName, "AddSound");
  IDirectMusicSegment8*& slot = sounds_[fileName];
  if (slot != nullptr) slot->Release();
  slot = segment;
}

void zr_SoundManager::PlaySoundEffect(std::string fileName) {
  auto sound = sounds_.find(fileName);
  if (performance_ != nullptr && sound != sounds_.end() && sound->second != nullptr) Play(performance_, sound->second);
}
