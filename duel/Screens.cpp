#include "Screens.h"

#include <algorithm>
#include <cstdio>

#include "Application.h"
#include "Duel.h"
#include "GameObjects.h"

zr_FontDesc fontDescription = {};
float emblemAngle = 0.0f;
int emblemAlpha = 0;
int emblemAlphaStep = 1;

namespace {

constexpr D3DCOLOR kBlack = 0xFF000000;
constexpr D3DCOLOR kYellow = 0xFFFFFF00;

void Present() {
  if (graphics.Present() == D3DERR_DEVICELOST) deviceLost = true;
}

}  // namespace

int LoadResources(IDirect3DDevice9* device) {
  struct Picture {
    zr_Sprite* sprite;
    const char* file;
  };
  const Picture pictures[] = {
      {&leftPlayerSprite, "../objects/textures/velkor1.png"},
      {&rightPlayerSprite, "../objects/textures/velkor2.png"},
      {&emblemSprite, "../objects/textures/emblem.PNG"},
      {&shotSprite, "../objects/textures/shoot.PNG"},
      {&winPlayer1Sprite, "../objects/textures/win_player_1.PNG"},
      {&winPlayer2Sprite, "../objects/textures/win_player_2.PNG"},
  };
  for (const Picture& p : pictures)
    p.sprite->CreateSprite(device, &textureManager, p.file, D3DXSPRITE_ALPHABLEND, D3DPOOL_MANAGED, 0);
  fontDescription.faceName = "Arial";
  font.Initialise(graphics.GetDevice(), fontDescription);
  return 0;
}

void FormatStatusLine(char (&text)[256]) {
  std::snprintf(text, sizeof text, "Velkor Engine Framerate:%d Leben Links: %d / Rechts %d", framesPerSecond,
                std::max(livesLeft, 0), std::max(livesRight, 0));
}

void DrawGameScreen() {
  graphics.Clear(kBlack, 0, 0, 0, 0);
  graphics.BeginScene();
  leftPlayerSprite.Render(50, leftY);
  rightPlayerSprite.Render(950, rightY);
  emblemSprite.Render(325, 204);
  for (Shot& shot : shots) {
    if (!shot.active) continue;
    AdvanceShot(shot);
    shotSprite.Render(shot.x, shot.y);
  }
  if (framesPerSecond != 0) emblemAngle = emblemAngle + 1.0f / static_cast<float>(framesPerSecond);
  ResolveHits();
  emblemAlpha = emblemAlpha + emblemAlphaStep;
  if (emblemAlpha == 255 || emblemAlpha == 0) emblemAlphaStep = -emblemAlphaStep;
  emblemSprite.SetRotation(emblemAngle);
  emblemSprite.SetAlpha(emblemAlpha);
  char status[256];
  FormatStatusLine(status);
  font.RenderText(status, 10, 10, 0, 0, kYellow);
  Present();
}

void DrawWinScreen() {
  graphics.Clear(kBlack, 0, 0, 0, 0);
  graphics.BeginScene();
  if (livesRight <= 0) winPlayer1Sprite.Render(212, 134);
  else winPlayer2Sprite.Render(212, 134);
  Present();
}
