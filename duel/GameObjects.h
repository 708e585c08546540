// The game's engine objects. They live for the whole process: constructed before WinMain in the
// order below and destroyed after it in the reverse order, so the texture manager goes first and
// the sound player last.
#pragma once

#include "graphics/zr_DirectXGraphics.h"
#include "graphics/zr_Font.h"
#include "graphics/zr_Sprite.h"
#include "graphics/zr_TextureManager.h"
#include "input/zr_InputManager.h"
#include "objects3d/zr_Scene.h"
#include "zr_SoundManager.h"

extern zr_SoundManager sound;
extern zr_DirectXGraphics graphics;
extern zr_Font font;
extern zr_InputManager input;
extern zr_Sprite leftPlayerSprite;
extern zr_Sprite rightPlayerSprite;
extern zr_Sprite emblemSprite;
extern zr_Sprite shotSprite;
extern zr_Sprite winPlayer1Sprite;
extern zr_Sprite winPlayer2Sprite;
extern zr_Scene scene;
extern zr_TextureManager textureManager;

// Filled every frame by the game frame; the rules read the keyboard, nothing reads the mouse.
extern zr_KeyboardData keyboard;
extern zr_MouseData mouse;
