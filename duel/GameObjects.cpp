// All global engine objects are defined here, in one translation unit, so that their order of
// construction is the order of definition.
#include "GameObjects.h"

zr_SoundManager sound;
zr_DirectXGraphics graphics;
zr_Font font;
zr_InputManager input;
zr_Sprite leftPlayerSprite;
zr_Sprite rightPlayerSprite;
zr_Sprite emblemSprite;
zr_Sprite shotSprite;
zr_Sprite winPlayer1Sprite;
zr_Sprite winPlayer2Sprite;
zr_Scene scene;
zr_TextureManager textureManager;

zr_KeyboardData keyboard;
zr_MouseData mouse;
