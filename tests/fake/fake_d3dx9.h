// State of the fake D3DX that tests set up and inspect.
#pragma once

#include <d3dx9.h>

#include <map>
#include <string>

namespace fake::d3dx9 {

struct State {
  // Image files that exist for D3DXGetImageInfoFromFileA and D3DXCreateTextureFromFileExA, by name.
  std::map<std::string, D3DXIMAGE_INFO> images;
  // The transform of the last ID3DXSprite::SetTransform and the description of the last font made.
  D3DXMATRIX lastSpriteTransform;
  D3DXFONT_DESCA lastFontDesc{};
};

State& Get();

// Makes an image file of that size known to the fake.
void AddImage(const std::string& name, UINT width, UINT height);

}  // namespace fake::d3dx9
