// The loader: files found by name, read by content, kept in a cache as DirectMusic's loader does.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "objects.h"

namespace zr::dmusic {
namespace {

bool IsFile(const std::string& path) {
  struct stat s;
  return ::stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode);
}

bool IsDirectory(const std::string& path) {
  struct stat s;
  return ::stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

// A Windows name for a file here: backslashes separate directories.
std::string PathOf(const WCHAR* name) {
  std::string path = Narrow(name);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

bool ForSegments(REFGUID objectClass) {
  return objectClass == GUID_DirectMusicAllTypes || objectClass == CLSID_DirectMusicSegment;
}

// The whole file, or false when it cannot be read; `tooLarge` when it is over the cap.
bool ReadAll(const std::string& path, std::vector<std::uint8_t>* bytes, bool* tooLarge) {
  *tooLarge = false;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!f) return false;
  struct stat s;
  if (::fstat(fileno(f.get()), &s) != 0) return false;
  if (static_cast<std::uint64_t>(s.st_size) > kMostFileBytes) {
    *tooLarge = true;
    return false;
  }
  bytes->resize(static_cast<std::size_t>(s.st_size));
  return bytes->empty() || std::fread(bytes->data(), 1, bytes->size(), f.get()) == bytes->size();
}

}  // namespace

std::string Narrow(const WCHAR* text) {
  std::string out;
  for (; *text != 0; ++text) {
    auto c = static_cast<std::uint32_t>(*text);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

Loader::~Loader() { ClearCache(GUID_DirectMusicAllTypes); }

HRESULT Loader::QueryInterface(REFIID iid, void** object) {
  return Answer(iid == IID_IUnknown || iid == IID_IDirectMusicLoader8, static_cast<IDirectMusicLoader8*>(this),
                object);
}

HRESULT Loader::SetSearchDirectory(REFGUID objectClass, WCHAR* path, BOOL clear) {
  if (path == nullptr) return E_POINTER;
  std::string directory = PathOf(path);
  if (!IsDirectory(directory)) return DMUS_E_LOADER_BADPATH;
  if (clear) ClearCache(objectClass);
  // Only segments are loaded here: the directory of any other class is not kept.
  if (!ForSegments(objectClass)) return S_OK;
  if (directory == directory_) return S_FALSE;
  directory_ = directory;
  return S_OK;
}

std::string Loader::Find(const std::string& name) const {
  if (name.empty()) return "";
  if (IsFile(name)) return name;
  if (name[0] != '/' && !directory_.empty()) {
    std::string inDirectory = directory_ + (directory_.back() == '/' ? "" : "/") + name;
    if (IsFile(inDirectory)) return inDirectory;
  }
  return "";
}

HRESULT Loader::LoadObjectFromFile(REFGUID objectClass, REFIID iid, WCHAR* filePath, void** object) {
  if (object == nullptr || filePath == nullptr) return E_POINTER;
  *object = nullptr;
  if (!(objectClass == CLSID_DirectMusicSegment)) return DMUS_E_LOADER_FAILEDCREATE;
  if (!(iid == IID_IUnknown || iid == kIID_IDirectMusicSegment || iid == IID_IDirectMusicSegment8))
    return E_NOINTERFACE;

  std::string path = Find(PathOf(filePath));
  if (path.empty()) return DMUS_E_LOADER_FAILEDOPEN;
  std::string key = path;
  if (char* canonical = ::realpath(path.c_str(), nullptr)) {
    key = canonical;
    std::free(canonical);
  }
  if (auto cached = cache_.find(key); cached != cache_.end()) return cached->second->QueryInterface(iid, object);

  std::vector<std::uint8_t> bytes;
  bool tooLarge = false;
  if (!ReadAll(path, &bytes, &tooLarge)) return tooLarge ? DMUS_E_UNSUPPORTED_STREAM : DMUS_E_LOADER_FAILEDOPEN;
  Segment* segment = nullptr;
  switch (KindOf(bytes.data(), bytes.size())) {
    case FileKind::kWave: {
      auto wave = std::make_shared<WaveSound>();
      if (HRESULT hr = ReadWave(bytes.data(), bytes.size(), wave.get()); FAILED(hr)) return hr;
      segment = new Segment(std::shared_ptr<const WaveSound>(std::move(wave)));
      break;
    }
    case FileKind::kMidi: {
      auto song = std::make_shared<MidiSong>();
      if (HRESULT hr = ReadMidi(bytes.data(), bytes.size(), song.get()); FAILED(hr)) return hr;
      segment = new Segment(std::shared_ptr<const MidiSong>(std::move(song)));
      break;
    }
    case FileKind::kUnknown:
      return DMUS_E_UNSUPPORTED_STREAM;
  }
  cache_[key] = segment;  // the cache keeps the reference the segment was made with
  return segment->QueryInterface(iid, object);
}

HRESULT Loader::ClearCache(REFGUID objectClass) {
  if (!ForSegments(objectClass)) return S_OK;
  for (auto& [path, segment] : cache_) segment->Release();
  cache_.clear();
  return S_OK;
}

}  // namespace zr::dmusic
