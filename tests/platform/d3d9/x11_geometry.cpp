#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

namespace d3d9test {

SDL_Rect XWindowGeometry(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return {};
  Display* display = info.info.x11.display;
  XSync(display, False);
  XWindowAttributes a{};
  XGetWindowAttributes(display, info.info.x11.window, &a);
  int x = 0;
  int y = 0;
  Window child = 0;
  XTranslateCoordinates(display, info.info.x11.window, a.root, 0, 0, &x, &y, &child);
  return {x, y, a.width, a.height};
}

}  // namespace d3d9test
