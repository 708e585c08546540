// The program's resources through the real window system.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <win32_resources.h>
#include <windows.h>

#include <set>
#include <string>

#include "window_state.h"

namespace {

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

std::string Text(HMENU menu, int position) {
  char text[64];
  GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
  return text;
}

TEST(ProgramResources, IconIs32By32InSixteenColoursAndLoadsOnce) {
  HICON icon = LoadIconA(Module(), MAKEINTRESOURCE(103));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(LoadIconA(Module(), MAKEINTRESOURCE(103)), icon);
  EXPECT_EQ(LoadIconA(Module(), MAKEINTRESOURCE(104)), nullptr);

  SDL_Surface* picture = zr::win32::IconSurface(icon);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->w, 32);
  EXPECT_EQ(picture->h, 32);
  std::set<Uint32> colours;
  size_t clear = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      Uint32 c = reinterpret_cast<Uint32*>(static_cast<Uint8*>(picture->pixels) + y * picture->pitch)[x];
      if (c >> 24 == 0) ++clear;
      else colours.insert(c);
    }
  SDL_FreeSurface(picture);
  EXPECT_LE(colours.size(), 16u);
  EXPECT_GE(colours.size(), 3u);
  EXPECT_GT(clear, 0u);
  EXPECT_LT(clear, 32u * 32u / 2);
}

TEST(ProgramResources, MenuCarriesItsItemsAndCommandIds) {
  HMENU bar = LoadMenuA(Module(), MAKEINTRESOURCE(101));
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(GetMenuItemCount(bar), 3);
  EXPECT_EQ(Text(bar, 0), "File");
  EXPECT_EQ(Text(bar, 1), "Render");
  EXPECT_EQ(Text(bar, 2), "?");

  HMENU file = GetSubMenu(bar, 0);
  EXPECT_EQ(GetMenuItemID(file, 0), 57600u);
  EXPECT_EQ(GetMenuItemID(file, 1), 40004u);
  HMENU render = GetSubMenu(bar, 1);
  HMENU mode = GetSubMenu(render, 0);
  EXPECT_EQ(Text(mode, 0), "Solid");
  EXPECT_EQ(GetMenuItemID(mode, 0), 40006u);
  EXPECT_EQ(GetMenuItemID(mode, 1), 40005u);
  EXPECT_EQ(GetMenuItemID(mode, 2), 40007u);
  HMENU zbuffer = GetSubMenu(render, 1);
  EXPECT_EQ(GetMenuItemID(zbuffer, 0), 40008u);
  EXPECT_EQ(GetMenuItemID(zbuffer, 1), 40009u);
  EXPECT_EQ(GetMenuItemID(render, 2), 40010u);
  EXPECT_EQ(GetMenuItemID(GetSubMenu(bar, 2), 0), 40011u);

  char text[8];
  EXPECT_EQ(GetMenuStringA(bar, 40010, text, sizeof text, MF_BYCOMMAND), 7);  // cut to the buffer
  EXPECT_STREQ(text, "Create ");
}

TEST(ProgramResources, WindowOfAClassNamingTheMenuCarriesIt) {
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = DefWindowProcA;
  c.hInstance = Module();
  c.lpszMenuName = MAKEINTRESOURCE(101);
  c.lpszClassName = "MenuClass";
  ASSERT_NE(RegisterClassExA(&c), 0);
  HWND w = CreateWindowExA(0, "MenuClass", "", 0, 0, 0, 100, 100, nullptr, nullptr, Module(), nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(GetMenu(w), LoadMenuA(Module(), MAKEINTRESOURCE(101)));
  DestroyWindow(w);
}

TEST(ProgramResources, PredefinedCursorIconAndBrushExist) {
  EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
  EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
  EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
  EXPECT_EQ(GetStockObject(99), nullptr);
}

}  // namespace
