// The program's menu and icon, read through the real window system as the program's window reads them.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>

#include "window_state.h"

namespace {

// A menu as text: each item's name, then its popup in brackets or its command id.
std::string Describe(HMENU menu) {
  std::string out;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char text[64] = {};
    GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    HMENU popup = GetSubMenu(menu, i);
    out += (i == 0 ? "" : " ") + std::string(text) +
           (popup != nullptr ? "(" + Describe(popup) + ")" : "=" + std::to_string(GetMenuItemID(menu, i)));
  }
  return out;
}

TEST(ProgramResources, AWindowOfAClassNamingMenu101CarriesTheMenu) {
  WNDCLASSEXA c{sizeof c, 0,       DefWindowProcA,       0,           0,      GetModuleHandleA(nullptr), nullptr,
                nullptr,  nullptr, MAKEINTRESOURCE(101), "MenuClass", nullptr};
  ASSERT_NE(RegisterClassExA(&c), 0);
  HWND w = CreateWindowExA(0, "MenuClass", "", 0, 0, 0, 100, 100, nullptr, nullptr, c.hInstance, nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Describe(GetMenu(w)),
            "File(New=57600 Close=40004) Render(Mode(Solid=40006 Wireframe=40005 Point=40007) "
            "Z-Buffer(Enable=40008 Disable=40009) Create a Screenshot=40010) ?(Info=40011)");
  DestroyWindow(w);
}

TEST(ProgramResources, Icon103IsARoundPicture32By32InUpTo16Colours) {
  SDL_Surface* picture = zr::win32::IconSurface(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCE(103)));
  ASSERT_NE(picture, nullptr);
  ASSERT_TRUE(picture->w == 32 && picture->h == 32);
  std::set<Uint32> colours;
  Uint32 cornerAlpha = 0;  // the corners of a round picture are clear
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      Uint32 c = reinterpret_cast<Uint32*>(static_cast<Uint8*>(picture->pixels) + y * picture->pitch)[x];
      colours.insert(c >> 24 == 0 ? 0 : c);
      if (x % 31 == 0 && y % 31 == 0) cornerAlpha += c >> 24;
    }
  SDL_FreeSurface(picture);
  EXPECT_EQ(cornerAlpha, 0u);
  EXPECT_GE(colours.size(), 4u);   // clear and at least three colours
  EXPECT_LE(colours.size(), 17u);  // clear and at most sixteen
}

}  // namespace
