// DirectInput over SDL's events, on SDL's offscreen driver: events are pushed in as the desktop
// delivers them, the focus is taken and given with the window system's test hooks.
#include <dinput.h>

#include <vector>

#include "test_window.h"
#include "win32_testing.h"

namespace {

class Input : public ::testing::Test {
 protected:
  // The keyboard as the engine sets it up: in the foreground. (No program here uses what the mouse
  // reads; how the engine reads it is its unit tests'.)
  void SetUp() override {
    window = MakeWindow("Input", WS_VISIBLE);
    zr::win32::testing::SetFocus(window, true);
    ASSERT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                 reinterpret_cast<void**>(&input), nullptr), DI_OK);
    ASSERT_EQ(input->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr), DI_OK);
    ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    ASSERT_EQ(keyboard->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
  }
  void TearDown() override {
    for (IUnknown* object : std::vector<IUnknown*>{keyboard, input})
      if (object != nullptr) object->Release();
    DestroyWindow(window);
  }
  void Key(SDL_Scancode scancode, SDL_Keycode label, bool down) {
    SDL_Event e = EventOf(window, down ? SDL_KEYDOWN : SDL_KEYUP);
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = label;
    SDL_PushEvent(&e);
  }
  // The codes of the keys held.
  std::vector<int> Held(HRESULT expected = DI_OK) {
    BYTE keys[256];
    EXPECT_EQ(keyboard->GetDeviceState(256, keys), expected);
    std::vector<int> held;
    for (int k = 0; expected == DI_OK && k < 256; ++k)
      if (keys[k] != 0) held.push_back(keys[k] == 0x80 ? k : -k);
    return held;
  }

  HWND window = nullptr;
  IDirectInput8A* input = nullptr;
  IDirectInputDevice8A* keyboard = nullptr;
};

TEST_F(Input, TheGamesKeysAreReadByTheirPositionNotTheirLabel) {
  input->Release();  // the devices live on without it, as the engine's are when it is released first
  input = nullptr;
  ASSERT_EQ(keyboard->Acquire(), DI_OK);
  // The key's position, its label, and its DirectInput code. Last, a German keyboard: the label
  // says Y where a US keyboard has Z.
  for (auto [scancode, label, code] :
       {std::tuple{SDL_SCANCODE_W, SDLK_w, DIK_W}, {SDL_SCANCODE_S, SDLK_s, DIK_S}, {SDL_SCANCODE_UP, SDLK_UP, DIK_UP},
        {SDL_SCANCODE_DOWN, SDLK_DOWN, DIK_DOWN}, {SDL_SCANCODE_TAB, SDLK_TAB, DIK_TAB},
        {SDL_SCANCODE_RCTRL, SDLK_RCTRL, DIK_RCONTROL}, {SDL_SCANCODE_SPACE, SDLK_SPACE, DIK_SPACE},
        {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, DIK_ESCAPE}, {SDL_SCANCODE_Z, SDLK_y, DIK_Z}}) {
    Key(scancode, label, true);
    EXPECT_EQ(Held(), std::vector<int>{code}) << SDL_GetScancodeName(scancode);
    Key(scancode, label, false);
    EXPECT_EQ(Held(), std::vector<int>{}) << SDL_GetScancodeName(scancode);
  }
}

TEST_F(Input, LosingTheFocusLosesTheInputAndLeavesNoKeyHeld) {
  Held(DIERR_NOTACQUIRED);
  ASSERT_EQ(keyboard->Acquire(), DI_OK);
  Key(SDL_SCANCODE_UP, SDLK_UP, true);
  EXPECT_EQ(Held(), std::vector<int>{DIK_UP});
  // The key goes up in another program's window: this one never hears of it.
  zr::win32::testing::SetFocus(window, false);
  Held(DIERR_INPUTLOST);
  Held(DIERR_NOTACQUIRED);
  EXPECT_EQ(keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);
  zr::win32::testing::SetFocus(window, true);
  ASSERT_EQ(keyboard->Acquire(), DI_OK);
  EXPECT_EQ(Held(), std::vector<int>{});
  // A focus loss the desktop reports through SDL counts the same.
  SDL_Event lost = EventOf(window, SDL_WINDOWEVENT);
  lost.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  SDL_PushEvent(&lost);
  Held(DIERR_INPUTLOST);
}

}  // namespace
