// The message queue: SDL's events become the window messages of the platform.
#include <cstring>
#include <vector>

#include "win32_testing.h"
#include "window_state.h"

namespace zr::win32 {

namespace {

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRecord* w = FindWindow(window);
  return w != nullptr && w->proc != nullptr ? w->proc(window, message, wParam, lParam) : 0;
}

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = NowMilliseconds();
  GetCursorPos(&msg.pt);
  TheState().posted.push_back(msg);
}

void Activate(HWND window, bool focused) {
  WindowRecord* w = FindWindow(window);
  if (w == nullptr || w->activity.active == focused) return;
  w->activity.active = focused;
  if (focused) {
    Send(window, WM_ACTIVATEAPP, TRUE, 0);
    Send(window, WM_ACTIVATE, WA_ACTIVE, 0);
    Send(window, WM_SETFOCUS, 0, 0);
  } else {
    ++w->activity.deactivations;
    Send(window, WM_KILLFOCUS, 0, 0);
    Send(window, WM_ACTIVATE, WA_INACTIVE, 0);
    Send(window, WM_ACTIVATEAPP, FALSE, 0);
  }
}

void Minimise(HWND window, bool minimised) {
  WindowRecord* w = FindWindow(window);
  if (w == nullptr || w->activity.minimised == minimised) return;
  w->activity.minimised = minimised;
  if (minimised) ++w->activity.deactivations;
  int width = 0;
  int height = 0;
  if (!minimised) SDL_GL_GetDrawableSize(w->sdl.get(), &width, &height);
  Send(window, WM_SIZE, minimised ? SIZE_MINIMIZED : SIZE_RESTORED, MAKELPARAM(width, height));
}

WPARAM VirtualKey(SDL_Keycode key, SDL_Scancode scancode) {
  if (key >= 'a' && key <= 'z') return static_cast<WPARAM>(key - 'a' + 'A');
  if (key >= '0' && key <= '9') return static_cast<WPARAM>(key);
  if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + (key - SDLK_F1);
  switch (scancode) {
    case SDL_SCANCODE_ESCAPE: return VK_ESCAPE;
    case SDL_SCANCODE_RETURN: return VK_RETURN;
    case SDL_SCANCODE_TAB: return VK_TAB;
    case SDL_SCANCODE_BACKSPACE: return VK_BACK;
    case SDL_SCANCODE_SPACE: return VK_SPACE;
    case SDL_SCANCODE_LEFT: return VK_LEFT;
    case SDL_SCANCODE_RIGHT: return VK_RIGHT;
    case SDL_SCANCODE_UP: return VK_UP;
    case SDL_SCANCODE_DOWN: return VK_DOWN;
    case SDL_SCANCODE_PAGEUP: return VK_PRIOR;
    case SDL_SCANCODE_PAGEDOWN: return VK_NEXT;
    case SDL_SCANCODE_HOME: return VK_HOME;
    case SDL_SCANCODE_END: return VK_END;
    case SDL_SCANCODE_INSERT: return VK_INSERT;
    case SDL_SCANCODE_DELETE: return VK_DELETE;
    case SDL_SCANCODE_PAUSE: return VK_PAUSE;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT: return VK_SHIFT;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL: return VK_CONTROL;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT: return VK_MENU;
    default: return 0;
  }
}

HWND WindowOfSdlId(Uint32 id) {
  auto& ids = TheState().bySdlId;
  auto it = ids.find(id);
  return it == ids.end() ? nullptr : it->second;
}

void Translate(const SDL_Event& e) {
  switch (e.type) {
    case SDL_WINDOWEVENT: {
      HWND window = WindowOfSdlId(e.window.windowID);
      if (window == nullptr) return;
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE: Post(window, WM_CLOSE, 0, 0); break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: Activate(window, true); break;
        case SDL_WINDOWEVENT_FOCUS_LOST: Activate(window, false); break;
        case SDL_WINDOWEVENT_MINIMIZED: Minimise(window, true); break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED: Minimise(window, false); break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          Send(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(e.window.data1, e.window.data2));
          break;
        default: break;
      }
      break;
    }
    case SDL_QUIT: {
      // The process was asked to end (Ctrl+C or SIGTERM, which SDL turns into this event): every
      // window is closed as its close button would close it, so the program ends its own way.
      // A window that is already being closed gets a second WM_CLOSE, which goes with it.
      std::vector<HWND> windows;
      for (const auto& [window, record] : TheState().windows) windows.push_back(window);
      for (HWND window : windows) Post(window, WM_CLOSE, 0, 0);
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      HWND window = WindowOfSdlId(e.key.windowID);
      WPARAM vk = VirtualKey(e.key.keysym.sym, e.key.keysym.scancode);
      if (window == nullptr || vk == 0) return;
      bool alt = (e.key.keysym.mod & KMOD_ALT) != 0;
      bool down = e.type == SDL_KEYDOWN;
      UINT message = alt ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
      LPARAM lParam = static_cast<LPARAM>(e.key.repeat ? 1 | (1u << 30) : 1) | (down ? 0 : static_cast<LPARAM>(3u << 30));
      Post(window, message, vk, lParam);
      break;
    }
    case SDL_MOUSEMOTION: {
      HWND window = WindowOfSdlId(e.motion.windowID);
      if (window != nullptr) Post(window, WM_MOUSEMOVE, 0, MAKELPARAM(e.motion.x, e.motion.y));
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      HWND window = WindowOfSdlId(e.button.windowID);
      if (window == nullptr) return;
      bool down = e.type == SDL_MOUSEBUTTONDOWN;
      UINT message = 0;
      if (e.button.button == SDL_BUTTON_LEFT) message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
      if (e.button.button == SDL_BUTTON_RIGHT) message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
      if (e.button.button == SDL_BUTTON_MIDDLE) message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
      if (message != 0) Post(window, message, 0, MAKELPARAM(e.button.x, e.button.y));
      break;
    }
    default:
      break;
  }
}

bool Matches(const MSG& msg, HWND window, UINT first, UINT last) {
  if (window != nullptr && msg.hwnd != window) return false;
  if (first == 0 && last == 0) return true;
  return msg.message >= first && msg.message <= last;
}

}  // namespace

DWORD NowMilliseconds() { return static_cast<DWORD>(SDL_GetTicks64()); }

void PumpEvents() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  SDL_Event e;
  while (SDL_PollEvent(&e) != 0) Translate(e);
}

namespace testing {

void SetFocus(HWND window, bool focused) { Activate(window, focused); }
void SetMinimised(HWND window, bool minimised) { Minimise(window, minimised); }

}  // namespace testing

}  // namespace zr::win32

using namespace zr::win32;

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT removeFlags) {
  if (msg == nullptr) return FALSE;
  PumpEvents();
  State& s = TheState();
  for (auto it = s.posted.begin(); it != s.posted.end(); ++it) {
    if (!Matches(*it, window, first, last)) continue;
    *msg = *it;
    if (removeFlags & PM_REMOVE) s.posted.erase(it);
    return TRUE;
  }
  // WM_QUIT belongs to no window and comes when no other posted message waits.
  if (s.quitPosted && window == nullptr && ((first == 0 && last == 0) || (WM_QUIT >= first && WM_QUIT <= last))) {
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = static_cast<WPARAM>(s.quitCode);
    msg->time = NowMilliseconds();
    if (removeFlags & PM_REMOVE) s.quitPosted = false;
    return TRUE;
  }
  return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  // Character messages are not made: nothing in this program reads them.
  if (msg == nullptr) return FALSE;
  return msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN ? TRUE : FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) return 0;
  return Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window != nullptr && FindWindow(window) == nullptr) return FALSE;
  Post(window, message, wParam, lParam);
  return TRUE;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Send(window, message, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
  State& s = TheState();
  s.quitPosted = true;
  s.quitCode = exitCode;
}
