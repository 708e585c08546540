// State of the fake D3DX that tests set up and inspect.
#pragma once

#include <d3dx9.h>

#include <map>
#include <string>

#include "fake_platform.h"

namespace fake::d3dx9 {

struct State {
  // Image files that exist for D3DXGetImageInfoFromFileA and D3DXCreateTextureFromFileExA, by name.
  std::map<std::string, D3DXIMAGE_INFO> images;
  // The transform of the last ID3DXSprite::SetTransform and the description of the last font made.
  D3DXMATRIX lastSpriteTransform;
  D3DXFONT_DESCA lastFontDesc{};
  // The centre and position of the last ID3DXSprite::Draw (null ones as 0).
  D3DXVECTOR3 lastSpriteCentre{0, 0, 0};
  D3DXVECTOR3 lastSpritePosition{0, 0, 0};
  int spritesMade = 0;  // sprites are numbered in the order they are made
};

inline State& Get() { return StateOf<State>(); }

// Where the last sprite draw put the texel (u, v), counted from the corner of the drawn rectangle:
// the draw's centre lands on its position (the origin when null), then the transform applies.
D3DXVECTOR3 PlacedTexel(float u, float v);

// Makes an image file of that size known to the fake.
void AddImage(const std::string& name, UINT width, UINT height);

}  // namespace fake::d3dx9
