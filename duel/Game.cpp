// The game's part of the main loop: start-up, one frame, and the device-loss steps.
#include "Game.h"

#include "Application.h"
#include "Duel.h"
#include "GameObjects.h"
#include "Screens.h"

int StartGame(HINSTANCE instance) {
  textureManager.Initialise(graphics.GetDevice());
  int result = LoadResources(graphics.GetDevice());
  if (result != 0) return result;
  input.Initialise(mainWindow, instance);
  input.InitMouse(mainWindow, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
  input.InitKeyboard(mainWindow, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
  StartFrameTimer();
  sound.Initialise();
  sound.AddBackgroundMusic("../objects/sfx/open.mid");
  sound.PlayBackgroundMusic();
  sound.AddSound(kShotSound);
  return 0;
}

void RunGameFrame() {
  input.GetMouseInput(&mouse);
  input.GetKeyboardInput(&keyboard);
  UpdateDuel();
  if (MatchOver()) DrawWinScreen();
  else DrawGameScreen();
}

void ReleaseGameDeviceObjects() {
  leftPlayerSprite.OnLostDevice();
  rightPlayerSprite.OnLostDevice();
  emblemSprite.OnLostDevice();
  shotSprite.OnLostDevice();
  winPlayer1Sprite.OnLostDevice();
  winPlayer2Sprite.OnLostDevice();
  font.OnLostDevice();
}

void RestoreGameDeviceObjects() {
  font.OnResetDevice();
  leftPlayerSprite.OnResetDevice();
  rightPlayerSprite.OnResetDevice();
  emblemSprite.OnResetDevice();
  shotSprite.OnResetDevice();
  winPlayer2Sprite.OnResetDevice();
  winPlayer1Sprite.OnResetDevice();
}
