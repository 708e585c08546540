// The game's engine objects. They live for the whole process: constructed before WinMain in the
// order below and destroyed after it in the reverse order.
#pragma once

#include "graphics/zr_DirectXGraphics.h"

extern zr_DirectXGraphics graphics;
