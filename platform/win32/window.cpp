// Window classes and windows over SDL.
#include <cstdlib>
#include <cstring>

#include "window_state.h"
#include "win32_resources.h"

namespace zr::win32 {

namespace {

bool g_videoStarted = false;

bool DriverAllowed() {
  const char* named = std::getenv("SDL_VIDEODRIVER");
  if (named != nullptr && *named != '\0') return true;
  // SDL quietly falls back to an invisible offscreen window when there is no display.
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver != nullptr && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
}

void SendToProc(WindowRecord& w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (w.proc != nullptr) w.proc(w.handle, message, wParam, lParam);
}

}  // namespace

State& TheState() {
  static State* state = new State;  // lives until the process ends; windows may outlive main()
  return *state;
}

WindowRecord* FindWindow(HWND window) {
  auto& windows = TheState().windows;
  auto it = windows.find(window);
  return it == windows.end() ? nullptr : &it->second;
}

// SDL's video subsystem starts with the first window and stays up until the process ends, as the
// platform's window system does: stopping it would unload the OpenGL driver under the feet of
// anything that still refers to it.
bool AcquireVideo() {
  if (g_videoStarted) return true;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  if (!DriverAllowed()) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SDL_SetError("no display");
    return false;
  }
  // Every window is an OpenGL window, and SDL unloads the OpenGL library with the last of them;
  // one load of our own keeps the driver in place for the rest of the process.
  SDL_GL_LoadLibrary(nullptr);
  g_videoStarted = true;
  return true;
}

void ReleaseVideo() {}

SDL_Window* SdlWindowOf(HWND window) {
  WindowRecord* w = FindWindow(window);
  return w != nullptr ? w->sdl.get() : nullptr;
}

std::shared_ptr<SDL_Window> HoldSdlWindow(HWND window) {
  WindowRecord* w = FindWindow(window);
  return w != nullptr ? w->sdl : nullptr;
}

Activity ActivityOf(HWND window) {
  WindowRecord* w = FindWindow(window);
  return w != nullptr ? w->activity : Activity{};
}

SDL_Surface* IconSurface(HICON icon) {
  const ResourceTable* table = &g_programResources;
  if (icon == nullptr || table == nullptr) return nullptr;
  for (auto& [id, handle] : TheState().loadedIcons) {
    if (handle != icon) continue;
    for (int i = 0; i < table->iconCount; ++i) {
      const IconResource& r = table->icons[i];
      if (r.id != id) continue;
      SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, r.width, r.height, 32, SDL_PIXELFORMAT_ARGB8888);
      if (s == nullptr) return nullptr;
      for (int y = 0; y < r.height; ++y) {
        auto* row = reinterpret_cast<Uint32*>(static_cast<Uint8*>(s->pixels) + y * s->pitch);
        const char* text = r.rows[y];
        for (int x = 0; x < r.width; ++x) {
          char c = text[x];
          int index = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
          row[x] = index >= 0 && index < r.paletteSize ? r.palette[index] : 0;
        }
      }
      return s;
    }
  }
  return nullptr;
}

}  // namespace zr::win32

using namespace zr::win32;

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* windowClass) {
  if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXA) || windowClass->lpszClassName == nullptr ||
      IS_INTRESOURCE(windowClass->lpszClassName) || windowClass->lpfnWndProc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  State& s = TheState();
  std::string name = windowClass->lpszClassName;
  if (s.classes.count(name) != 0) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  WindowClass& c = s.classes[name];
  c.record = *windowClass;
  c.name = name;
  if (windowClass->lpszMenuName != nullptr && !IS_INTRESOURCE(windowClass->lpszMenuName))
    c.menuName = windowClass->lpszMenuName;
  c.record.lpszClassName = c.name.c_str();
  if (!c.menuName.empty()) c.record.lpszMenuName = c.menuName.c_str();
  return static_cast<ATOM>(0xC000 + s.classes.size());
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE) {
  if (className == nullptr || IS_INTRESOURCE(className)) return FALSE;
  State& s = TheState();
  for (auto& [handle, w] : s.windows)
    if (w.className == className) return FALSE;
  return s.classes.erase(className) != 0 ? TRUE : FALSE;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  State& s = TheState();
  if (className == nullptr || IS_INTRESOURCE(className) || s.classes.count(className) == 0) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  const WindowClass& c = s.classes[className];
  if (!AcquireVideo()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI;
  if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
  if ((style & WS_POPUP) && !(style & WS_CAPTION)) flags |= SDL_WINDOW_BORDERLESS;
  int w = width == CW_USEDEFAULT || width <= 0 ? 640 : width;
  int h = height == CW_USEDEFAULT || height <= 0 ? 480 : height;
  int px = x == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : x;
  int py = y == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : y;
  SDL_Window* raw = SDL_CreateWindow(windowName != nullptr ? windowName : "", px, py, w, h, flags);
  if (raw == nullptr) {
    ReleaseVideo();
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  std::shared_ptr<SDL_Window> sdl(raw, [](SDL_Window* window) {
    SDL_DestroyWindow(window);
    ReleaseVideo();
  });
  if (SDL_Surface* icon = IconSurface(c.record.hIcon)) {
    SDL_SetWindowIcon(raw, icon);
    SDL_FreeSurface(icon);
  }

  HWND handle = reinterpret_cast<HWND>(s.nextHandle);
  s.nextHandle += 0x10;
  WindowRecord& record = s.windows[handle];
  record.handle = handle;
  record.proc = c.record.lpfnWndProc;
  record.className = c.name;
  record.style = style;
  record.sdl = std::move(sdl);
  record.menu = menu;
  record.activity.exists = true;
  if (record.menu == nullptr && c.record.lpszMenuName != nullptr)
    record.menu = LoadMenuA(c.record.hInstance, c.record.lpszMenuName);
  s.bySdlId[SDL_GetWindowID(raw)] = handle;

  CREATESTRUCTA create{};
  create.lpCreateParams = param;
  create.hInstance = instance;
  create.hMenu = record.menu;
  create.hwndParent = parent;
  create.cx = width;
  create.cy = height;
  create.x = x;
  create.y = y;
  create.style = static_cast<LONG>(style);
  create.lpszName = windowName;
  create.lpszClass = className;
  create.dwExStyle = exStyle;
  LRESULT answer = record.proc(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create));
  if (answer == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  if (WindowRecord* still = FindWindow(handle); still != nullptr && (style & WS_VISIBLE) && !still->visible) {
    ShowWindow(handle, (style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED : (style & WS_MINIMIZE) ? SW_SHOWMINIMIZED : SW_SHOW);
  }
  return FindWindow(handle) != nullptr ? handle : nullptr;
}

BOOL WINAPI DestroyWindow(HWND window) {
  WindowRecord* w = FindWindow(window);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  SendToProc(*w, WM_DESTROY, 0, 0);
  State& s = TheState();
  w = FindWindow(window);  // the procedure may have destroyed it already
  if (w == nullptr) return TRUE;
  SDL_HideWindow(w->sdl.get());
  s.bySdlId.erase(SDL_GetWindowID(w->sdl.get()));
  s.windows.erase(window);
  for (auto it = s.posted.begin(); it != s.posted.end();) it = it->hwnd == window ? s.posted.erase(it) : it + 1;
  return TRUE;
}

BOOL WINAPI IsWindow(HWND window) { return FindWindow(window) != nullptr ? TRUE : FALSE; }

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text) {
  WindowRecord* w = FindWindow(window);
  if (w == nullptr) return FALSE;
  SDL_SetWindowTitle(w->sdl.get(), text != nullptr ? text : "");
  return TRUE;
}

BOOL WINAPI ShowWindow(HWND window, int command) {
  WindowRecord* w = FindWindow(window);
  if (w == nullptr) return FALSE;
  BOOL wasVisible = w->visible ? TRUE : FALSE;
  SDL_Window* sdl = w->sdl.get();
  switch (command) {
    case SW_HIDE:
      SDL_HideWindow(sdl);
      w->visible = false;
      break;
    case SW_SHOWMAXIMIZED:
      SDL_ShowWindow(sdl);
      SDL_MaximizeWindow(sdl);
      w->visible = true;
      break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
      SDL_ShowWindow(sdl);
      SDL_MinimizeWindow(sdl);
      w->visible = true;
      break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
      SDL_ShowWindow(sdl);
      SDL_RestoreWindow(sdl);
      w->visible = true;
      break;
    default:
      SDL_ShowWindow(sdl);
      w->visible = true;
      break;
  }
  return wasVisible;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
  WindowRecord* w = FindWindow(window);
  if (w == nullptr || rect == nullptr) return FALSE;
  int width = 0;
  int height = 0;
  SDL_GL_GetDrawableSize(w->sdl.get(), &width, &height);
  *rect = RECT{0, 0, width, height};
  return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_SYSKEYDOWN:
      if (wParam == VK_F4) SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(window, WM_CLOSE, 0, 0);
      return 0;
    default:
      return 0;
  }
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
  if (point == nullptr) return FALSE;
  int x = 0;
  int y = 0;
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_GetGlobalMouseState(&x, &y);
  point->x = x;
  point->y = y;
  return TRUE;
}

namespace {

// Predefined icons and cursors have handles of their own and no picture here: the desktop draws
// its own arrow and window icon.
HICON PredefinedHandle(LPCSTR name, std::uintptr_t base) {
  if (!IS_INTRESOURCE(name)) return nullptr;
  auto id = reinterpret_cast<std::uintptr_t>(name);
  if (id < 32512 || id > 32650) return nullptr;
  return reinterpret_cast<HICON>(base + id);
}

const ResourceTable* Resources(HINSTANCE instance) {
  if (instance == nullptr || instance != GetModuleHandleA(nullptr)) return nullptr;
  return &g_programResources;
}

}  // namespace

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (instance == nullptr) return PredefinedHandle(name, 0x7000000);
  const ResourceTable* table = Resources(instance);
  if (table == nullptr || !IS_INTRESOURCE(name)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  WORD id = static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name));
  State& s = TheState();
  if (auto it = s.loadedIcons.find(id); it != s.loadedIcons.end()) return it->second;
  for (int i = 0; i < table->iconCount; ++i) {
    if (table->icons[i].id == id) {
      HICON handle = reinterpret_cast<HICON>(0x6000000 + id);
      s.loadedIcons[id] = handle;
      return handle;
    }
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (instance == nullptr) return PredefinedHandle(name, 0x7100000);
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return nullptr;
}

namespace {

HMENU BuildMenu(const MenuItemResource* items, int count) {
  State& s = TheState();
  auto menu = std::make_unique<Menu>();
  for (int i = 0; i < count; ++i) {
    Menu::Item item;
    item.text = items[i].text != nullptr ? items[i].text : "";
    item.id = items[i].id;
    if (items[i].popup != nullptr) item.popup = BuildMenu(items[i].popup, items[i].popupCount);
    menu->items.push_back(std::move(item));
  }
  s.menus.push_back(std::move(menu));
  return reinterpret_cast<HMENU>(s.menus.back().get());
}

Menu* MenuOf(HMENU handle) {
  for (auto& m : TheState().menus)
    if (reinterpret_cast<HMENU>(m.get()) == handle) return m.get();
  return nullptr;
}

const Menu::Item* FindItem(Menu* menu, UINT item, UINT flags) {
  if (menu == nullptr) return nullptr;
  if (flags & MF_BYPOSITION) return item < menu->items.size() ? &menu->items[item] : nullptr;
  for (const Menu::Item& i : menu->items) {
    if (i.popup == nullptr && i.id == item) return &i;
    if (const Menu::Item* inner = FindItem(MenuOf(i.popup), item, flags)) return inner;
  }
  return nullptr;
}

}  // namespace

HMENU WINAPI LoadMenuA(HINSTANCE instance, LPCSTR name) {
  const ResourceTable* table = Resources(instance);
  if (table == nullptr || !IS_INTRESOURCE(name)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  WORD id = static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name));
  State& s = TheState();
  if (auto it = s.loadedMenus.find(id); it != s.loadedMenus.end()) return it->second;
  for (int i = 0; i < table->menuCount; ++i) {
    if (table->menus[i].id == id) {
      HMENU menu = BuildMenu(table->menus[i].items, table->menus[i].count);
      s.loadedMenus[id] = menu;
      return menu;
    }
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return nullptr;
}

HMENU WINAPI GetMenu(HWND window) {
  WindowRecord* w = FindWindow(window);
  return w != nullptr ? w->menu : nullptr;
}

int WINAPI GetMenuItemCount(HMENU menu) {
  Menu* m = MenuOf(menu);
  return m != nullptr ? static_cast<int>(m->items.size()) : -1;
}

UINT WINAPI GetMenuItemID(HMENU menu, int position) {
  Menu* m = MenuOf(menu);
  if (m == nullptr || position < 0 || static_cast<size_t>(position) >= m->items.size()) return static_cast<UINT>(-1);
  const Menu::Item& item = m->items[position];
  return item.popup != nullptr ? static_cast<UINT>(-1) : item.id;
}

HMENU WINAPI GetSubMenu(HMENU menu, int position) {
  Menu* m = MenuOf(menu);
  if (m == nullptr || position < 0 || static_cast<size_t>(position) >= m->items.size()) return nullptr;
  return m->items[position].popup;
}

int WINAPI GetMenuStringA(HMENU menu, UINT item, LPSTR text, int maxCount, UINT flags) {
  const Menu::Item* found = FindItem(MenuOf(menu), item, flags);
  if (found == nullptr) return 0;
  int length = static_cast<int>(found->text.size());
  if (text == nullptr || maxCount <= 0) return length;
  int copied = length < maxCount - 1 ? length : maxCount - 1;
  std::memcpy(text, found->text.data(), copied);
  text[copied] = '\0';
  return copied;
}

HGDIOBJ WINAPI GetStockObject(int object) {
  if (object < WHITE_BRUSH || object > NULL_BRUSH) return nullptr;
  return reinterpret_cast<HGDIOBJ>(static_cast<std::uintptr_t>(0x7200000 + object));
}
