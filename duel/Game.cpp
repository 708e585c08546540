// Until the duel is in place, a game frame clears the screen to black and presents it.
#include "Game.h"

#include "Application.h"
#include "GameObjects.h"

int StartGame(HINSTANCE) {
  StartFrameTimer();
  return 0;
}

void RunGameFrame() {
  graphics.Clear(0xFF000000, 0, 0, 0, 0);
  graphics.BeginScene();
  if (graphics.Present() == D3DERR_DEVICELOST) deviceLost = true;
}

void ReleaseGameDeviceObjects() {}

void RestoreGameDeviceObjects() {}
