#include "graphics/zr_TextureManager.h"

#include <cstdio>

#include "errorfile/zr_ErrorException.h"

zr_TextureManager::zr_TextureManager() : device_(nullptr), initialised_(false) {}

zr_TextureManager::~zr_TextureManager() {
  for (auto& [name, texture] : registry_) {
    if (texture != nullptr) {
      texture->Release();
      texture = nullptr;
    }
  }
  // Sprites destroyed after the manager still call DeleteTexture; the cleared flag turns those
  // calls away before they reach the registry.
  initialised_ = false;
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
  if (!initialised_ || fileName == nullptr) return;
  auto entry = registry_.find(fileName);
  if (entry == registry_.end() || entry->second == nullptr) return;
  entry->second->Release();
  entry->second = nullptr;
}
