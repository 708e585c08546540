#include "graphics/zr_TextureManager.h"

#include <cstdio>

#include "errorfile/zr_ErrorException.h"

namespace {

// The managers alive now, linked through their nextAlive_. A plain pointer, set before any
// constructor runs and never destroyed, so that it can still be asked after the managers and the
// other globals of the program are gone.
constinit zr_TextureManager* g_aliveManagers = nullptr;

}  // namespace

zr_TextureManager::zr_TextureManager() : device_(nullptr), initialised_(false), nextAlive_(g_aliveManagers) {
  g_aliveManagers = this;
}

zr_TextureManager::~zr_TextureManager() {
  for (auto& [name, texture] : registry_) {
    if (texture != nullptr) {
      texture->Release();
      texture = nullptr;
    }
  }
  initialised_ = false;
  // Sprites destroyed after the manager still call DeleteTexture. A destroyed object must not be
  // read, not even its flag: those calls find the manager gone from the list and turn back.
  for (zr_TextureManager** link = &g_aliveManagers; *link != nullptr; link = &(*link)->nextAlive_) {
    if (*link == this) {
      *link = nextAlive_;
      break;
    }
  }
}

bool zr_TextureManager::IsAlive(const zr_TextureManager* manager) {
  for (const zr_TextureManager* alive = g_aliveManagers; alive != nullptr; alive = alive->nextAlive_)
    if (alive == manager) return true;
  return false;
}

void zr_TextureManager::Initialise(IDirect3DDevice9* device) {
  device_ = device;
  initialised_ = true;
}

int zr_TextureManager::AddTexture(const char* fileName, D3DPOOL pool, DWORD filter, UINT mipLevels, DWORD) {
  if (GetTexture(fileName) != nullptr) return 1;
  const char* name = fileName != nullptr ? fileName : "";

  D3DXIMAGE_INFO info{};
  D3DXGetImageInfoFromFileA(name, &info);

  char failure[256];
  std::snprintf(failure, sizeof failure, "Error, can't create a texture %s", name);

  IDirect3DTexture9* texture = nullptr;
  HRESULT hr = D3DXCreateTextureFromFileExA(device_, name, info.Width, info.Height, mipLevels, 0, D3DFMT_UNKNOWN, pool,
                                            filter, filter, 0, nullptr, nullptr, &texture);
  if (DXTestForError(hr, failure, 19, false) != 0 || texture == nullptr) {
    if (texture != nullptr) texture->Release();
    if (fileName != nullptr) registry_[fileName] = nullptr;
    return 0;
  }
  registry_[name] = texture;
  return 1;
}

IDirect3DTexture9* zr_TextureManager::GetTexture(const char* fileName) {
  if (fileName == nullptr) return nullptr;
  auto entry = registry_.find(fileName);
  return entry != registry_.end() ? entry->second : nullptr;
}

void zr_TextureManager::DeleteTexture(const char* fileName) {
  if (!IsAlive(this) || !initialised_ || fileName == nullptr) return;
  auto entry = registry_.find(fileName);
  if (entry == registry_.end() || entry->second == nullptr) return;
  entry->second->Release();
  entry->second = nullptr;
}
