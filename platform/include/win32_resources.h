// The program's resources: what a resource script would compile into the executable. The program
// defines `g_programResources` once; LoadIconA, LoadMenuA and the window classes find them there.
#pragma once

#include "windef.h"

struct IconResource {
  WORD id;
  int width;
  int height;
  // Colours as 0xAARRGGBB, indexed by the characters of `rows` ('0'-'9', 'A'-'F'); ' ' is clear.
  const DWORD* palette;
  int paletteSize;
  const char* const* rows;
};

struct MenuItemResource {
  const char* text;
  UINT id;                         // command id; 0 for a popup
  const MenuItemResource* popup;   // items of a popup, or null
  int popupCount;
};

struct MenuResource {
  WORD id;
  const MenuItemResource* items;
  int count;
};

struct VersionResource {
  WORD fileVersion[4];
  WORD productVersion[4];
  const char* fileDescription;
  const char* internalName;
  const char* productName;
};

struct ResourceTable {
  WORD language;  // e.g. 0x0C07, German (Austria)
  const IconResource* icons;
  int iconCount;
  const MenuResource* menus;
  int menuCount;
  const VersionResource* version;
};

// Defined by the program; a program without resources leaves it undefined.
extern const ResourceTable g_programResources __attribute__((weak));
