// DirectInput key codes of SDL's scan codes: the key's position on the keyboard, not its label.
#pragma once

#include <SDL.h>

namespace zr::dinput8 {

// The DirectInput code (DIK_) of a scan code, or 0 for a key that has none.
unsigned char KeyCodeOf(SDL_Scancode scancode);

}  // namespace zr::dinput8
