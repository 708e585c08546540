// All global engine objects are defined here, in one translation unit, so that their order of
// construction is the order of definition.
#include "GameObjects.h"

zr_DirectXGraphics graphics;
