// The game's pictures and font, and its two screens: the duel and a player's win.
#pragma once

#include <d3d9.h>

#include "graphics/zr_Font.h"

extern zr_FontDesc fontDescription;
extern float emblemAngle;
extern int emblemAlpha;
extern int emblemAlphaStep;

// Creates the six sprites and the font; always 0.
int LoadResources(IDirect3DDevice9* device);
// One frame of play from clear to present: figures, emblem, shots (moved and hit-tested on the
// way) and the status line.
void DrawGameScreen();
// One frame of the winner's picture.
void DrawWinScreen();
// The status line as the game screen shows it; never a negative count.
void FormatStatusLine(char (&text)[256]);
