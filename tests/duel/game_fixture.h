// What every test of the whole game needs: the game's files known to the fake, and the end of
// the process simulated between tests.
#pragma once

#include <new>

#include "GameObjects.h"
#include "fake_d3dx9.h"
#include "fake_dmusic.h"

inline const char* const kTextures[] = {"../objects/textures/velkor1.png",      "../objects/textures/velkor2.png",
                           "../objects/textures/emblem.PNG",       "../objects/textures/shoot.PNG",
                           "../objects/textures/win_player_1.PNG", "../objects/textures/win_player_2.PNG"};

// The end of the process and a new one: every global object destroyed in the reverse order of
// construction, then made again.
inline void RebuildGlobals() {
  textureManager.~zr_TextureManager();
  scene.~zr_Scene();
  winPlayer2Sprite.~zr_Sprite();
  winPlayer1Sprite.~zr_Sprite();
  shotSprite.~zr_Sprite();
  emblemSprite.~zr_Sprite();
  rightPlayerSprite.~zr_Sprite();
  leftPlayerSprite.~zr_Sprite();
  input.~zr_InputManager();
  font.~zr_Font();
  graphics.~zr_DirectXGraphics();
  sound.~zr_SoundManager();
  new (&sound) zr_SoundManager;
  new (&graphics) zr_DirectXGraphics;
  new (&font) zr_Font;
  new (&input) zr_InputManager;
  new (&leftPlayerSprite) zr_Sprite;
  new (&rightPlayerSprite) zr_Sprite;
  new (&emblemSprite) zr_Sprite;
  new (&shotSprite) zr_Sprite;
  new (&winPlayer1Sprite) zr_Sprite;
  new (&winPlayer2Sprite) zr_Sprite;
  new (&scene) zr_Scene;
  new (&textureManager) zr_TextureManager;
}

// The six pictures (40 x 100) and the two sound files, for the fake's loaders.
inline void AddGameFiles() {
  for (const char* t : kTextures) fake::d3dx9::AddImage(t, 40, 100);
  fake::dmusic::Get().files = {"../objects/sfx/open.mid", "../objects/sfx/BFIRE.WAV"};
}
