// The registry of loaded textures, keyed by the image file name they were loaded from: one image
// file is loaded once however many objects name it.
#pragma once

#include <d3dx9.h>

#include <map>
#include <string>

class zr_TextureManager {
 public:
  zr_TextureManager();
  // Releases every texture, in ascending name order; DeleteTexture does nothing afterwards.
  ~zr_TextureManager();
  // Copies would share the textures without references of their own and release them twice.
  zr_TextureManager(const zr_TextureManager&) = delete;
  zr_TextureManager& operator=(const zr_TextureManager&) = delete;

  // The device textures are created on; not owned.
  void Initialise(IDirect3DDevice9* device);
  // Loads the image file as a texture unless the name already has one. Returns 1 when the name has
  // a texture afterwards, 0 when loading failed (logged as error 19; the name stays registered
  // without a texture). `colourKey` is not used: textures have no colour key.
  int AddTexture(const char* fileName, D3DPOOL pool, DWORD filter, UINT mipLevels, DWORD colourKey);
  // The texture of that name without a reference for the caller, or null.
  IDirect3DTexture9* GetTexture(const char* fileName);
  // Releases the texture of that name for all its users; the name stays registered. Does nothing
  // before Initialise, and nothing on a manager that has been destroyed: sprites that outlive the
  // game's manager still call it from their destructors.
  void DeleteTexture(const char* fileName);

 private:
  // Whether `manager` is a manager that is alive now; decided without reading it.
  static bool IsAlive(const zr_TextureManager* manager);

  IDirect3DDevice9* device_;
  // Looked up by the caller's C string as it is, with no string made for every sprite drawn.
  std::map<std::string, IDirect3DTexture9*, std::less<>> registry_;
  bool initialised_;
  zr_TextureManager* nextAlive_;  // the list of the managers alive now
};
