// The window system's own records, shared by its source files.
#pragma once

#include <SDL.h>
#include <windows.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "win32_internal.h"

namespace zr::win32 {

struct WindowClass {
  WNDCLASSEXA record{};
  std::string name;
  std::string menuName;  // when the menu is named by a string rather than an id
};

struct WindowRecord {
  HWND handle = nullptr;
  WNDPROC proc = nullptr;
  std::string className;
  DWORD style = 0;
  std::shared_ptr<SDL_Window> sdl;
  HMENU menu = nullptr;
  Activity activity;
  bool visible = false;
};

struct Menu {
  struct Item {
    std::string text;
    UINT id = 0;
    HMENU popup = nullptr;
  };
  std::vector<Item> items;
};

struct State {
  std::map<std::string, WindowClass> classes;
  std::map<HWND, WindowRecord> windows;
  std::map<Uint32, HWND> bySdlId;
  std::deque<MSG> posted;
  bool quitPosted = false;
  int quitCode = 0;
  std::uintptr_t nextHandle = 0x10010;
  std::vector<std::unique_ptr<Menu>> menus;
  std::map<WORD, HMENU> loadedMenus;
  std::map<WORD, HICON> loadedIcons;
};

State& TheState();
WindowRecord* FindWindow(HWND window);
DWORD NowMilliseconds();

// The picture of an icon handle as an SDL surface (null for a predefined icon); owned by the
// caller.
SDL_Surface* IconSurface(HICON icon);

}  // namespace zr::win32
