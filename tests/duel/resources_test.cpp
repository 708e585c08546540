// The program's icon, read through the real window system as the program's window reads it for its
// title bar and task bar. (Its menu, 101, loads with the window but nothing on this platform shows it.)
#include <gtest/gtest.h>
#include <windows.h>

#include <set>

#include "window_state.h"

namespace {

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
