// The duellists: an armoured warrior with an arm cannon, drawn facing right in a 64 x 100 box
// (feet on the bottom edge), in any frame, so that the sprites and the win screens share it.
#pragma once

#include "canvas.h"

namespace pic {

constexpr double kFigureWidth = 64;
constexpr double kFigureHeight = 100;

struct Palette {
  Rgba armour;   // the plates, the player's colour
  Rgba cloth;    // the cape, a deeper shade of it
  Rgba trim;     // belt, rims, the cannon's rings
  Rgba metal;    // joints and the cannon's body
  Rgba glow;     // visor, chest core and muzzle
  Rgba outline;  // the silhouette's edge
};

Palette red_palette();
Palette blue_palette();

// crest 0: a plume swept back from the helmet; 1: two horns rising forward and back.
void draw_figure(Canvas& canvas, const Frame& frame, const Palette& palette, int crest);

}  // namespace pic
