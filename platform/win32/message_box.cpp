// Message boxes: a real modal dialog through SDL when a display is there, otherwise the caption
// and the text on standard error. A box never waits for an answer that nobody can give.
#include <SDL.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Button {
  int id;
  const char* label;
};

// The buttons of each MB_ type, in the order they are shown.
std::vector<Button> ButtonsFor(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case MB_ABORTRETRYIGNORE:
      return {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
    case MB_YESNOCANCEL:
      return {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
    case MB_YESNO:
      return {{IDYES, "Yes"}, {IDNO, "No"}};
    case MB_RETRYCANCEL:
      return {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
    default:
      return {{IDOK, "OK"}};
  }
}

int DefaultButton(UINT type, const std::vector<Button>& buttons) {
  size_t index = (type & MB_DEFMASK) >> 8;
  return buttons[index < buttons.size() ? index : 0].id;
}

bool HasButton(const std::vector<Button>& buttons, int id) {
  for (const Button& b : buttons)
    if (b.id == id) return true;
  return false;
}

// SDL quietly falls back to its offscreen driver when no display exists, and a dialog there
// would wait for ever; only a named display counts.
bool DisplayAvailable() {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0))
    return false;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

int ShowDialog(const char* text, const char* caption, UINT type, const std::vector<Button>& buttons) {
  std::vector<SDL_MessageBoxButtonData> data;
  const int defaultId = DefaultButton(type, buttons);
  const int escapeId = HasButton(buttons, IDCANCEL) ? IDCANCEL : (buttons.size() == 1 ? buttons[0].id : 0);
  for (const Button& b : buttons) {
    Uint32 flags = 0;
    if (b.id == defaultId) flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    if (b.id == escapeId) flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    data.push_back({flags, b.id, b.label});
  }
  Uint32 kind = 0;
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
      kind = SDL_MESSAGEBOX_ERROR;
      break;
    case MB_ICONEXCLAMATION:
      kind = SDL_MESSAGEBOX_WARNING;
      break;
    case MB_ICONASTERISK:
    case MB_ICONQUESTION:
      kind = SDL_MESSAGEBOX_INFORMATION;
      break;
  }
  SDL_MessageBoxData box{};
  box.flags = kind;
  box.window = nullptr;
  box.title = caption;
  box.message = text;
  box.numbuttons = static_cast<int>(data.size());
  box.buttons = data.data();
  int pressed = -1;
  if (SDL_ShowMessageBox(&box, &pressed) != 0) return 0;
  // Closed by the window manager: Cancel where there is one, as the platform does.
  if (pressed < 0) return escapeId != 0 ? escapeId : defaultId;
  return pressed;
}

}  // namespace

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "Error";
  const std::vector<Button> buttons = ButtonsFor(type);
  if (DisplayAvailable()) {
    int pressed = ShowDialog(text, caption, type, buttons);
    if (pressed != 0) return pressed;
  }
  std::string out = std::string("[") + caption + "]\n" + text;
  if (out.empty() || out.back() != '\n') out += '\n';
  std::fputs(out.c_str(), stderr);
  std::fflush(stderr);
  return DefaultButton(type, buttons);
}
