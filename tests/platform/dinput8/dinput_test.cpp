// DirectInput over SDL's events, on SDL's offscreen driver: events are pushed in as the desktop
// delivers them, the focus is taken and given with the window system's test hooks.
#include <SDL.h>
#include <dinput.h>
#include <gtest/gtest.h>

#include <vector>

#include "win32_internal.h"
#include "win32_testing.h"

namespace {

class Input : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSEXA c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = DefWindowProcA;
    c.lpszClassName = "InputTest";
    RegisterClassExA(&c);  // refused as a duplicate after the first test
    window = CreateWindowExA(0, "InputTest", "input", WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    zr::win32::testing::SetFocus(window, true);
    ASSERT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                 reinterpret_cast<void**>(&input), nullptr),
              DI_OK);
    // As the engine sets them up: both in the foreground, the mouse buffered.
    for (auto [guid, format, device] : {std::tuple{&GUID_SysKeyboard, &c_dfDIKeyboard, &keyboard},
                                        {&GUID_SysMouse, &c_dfDIMouse, &mouse}}) {
      ASSERT_EQ(input->CreateDevice(*guid, device, nullptr), DI_OK);
      ASSERT_EQ((*device)->SetDataFormat(format), DI_OK);
      ASSERT_EQ((*device)->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
    }
    ASSERT_EQ(SetBuffer(16), DI_OK);
  }
  void TearDown() override {
    for (IUnknown* object : std::vector<IUnknown*>{keyboard, mouse, input})
      if (object != nullptr) object->Release();
    DestroyWindow(window);
  }
  HRESULT SetBuffer(DWORD size) {
    DIPROPDWORD p{{sizeof p, sizeof p.diph, 0, DIPH_DEVICE}, size};
    return mouse->SetProperty(DIPROP_BUFFERSIZE, &p.diph);
  }
  // An event of our window, all else zero (the window's id sits at one place in every kind).
  SDL_Event Event(Uint32 type) {
    SDL_Event e{};
    e.type = type;
    e.window.windowID = SDL_GetWindowID(zr::win32::SdlWindowOf(window));
    return e;
  }
  void Key(SDL_Scancode scancode, SDL_Keycode label, bool down) {
    SDL_Event e = Event(down ? SDL_KEYDOWN : SDL_KEYUP);
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = label;
    SDL_PushEvent(&e);
  }
  void Motion(int dx, int dy) {
    SDL_Event e = Event(SDL_MOUSEMOTION);
    e.motion.xrel = dx;
    e.motion.yrel = dy;
    SDL_PushEvent(&e);
  }
  void Button(Uint8 button, bool down) {
    SDL_Event e = Event(down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP);
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    SDL_PushEvent(&e);
  }
  // The keys held, by DirectInput code.
  std::vector<int> Held(HRESULT expected = DI_OK) {
    BYTE keys[256];
    EXPECT_EQ(keyboard->GetDeviceState(256, keys), expected);
    std::vector<int> held;
    for (int k = 0; k < 256; ++k)
      if (keys[k] != 0) held.push_back(keys[k] == 0x80 ? k : -k);
    return expected == DI_OK ? held : std::vector<int>{};
  }
  // The buffered mouse events as offset, value pairs, at most `most` of them.
  std::vector<std::pair<DWORD, LONG>> Events(DWORD most, HRESULT expected = DI_OK) {
    DIDEVICEOBJECTDATA data[16];
    DWORD count = most;
    EXPECT_EQ(mouse->GetDeviceData(sizeof data[0], data, &count, 0), expected);
    std::vector<std::pair<DWORD, LONG>> events;
    for (DWORD i = 0; i < count; ++i) {
      events.emplace_back(data[i].dwOfs, static_cast<LONG>(data[i].dwData));
      if (i > 0) {
        EXPECT_GT(data[i].dwSequence, data[i - 1].dwSequence);
      }
    }
    return events;
  }

  HWND window = nullptr;
  IDirectInput8A* input = nullptr;
  IDirectInputDevice8A* keyboard = nullptr;
  IDirectInputDevice8A* mouse = nullptr;
};

TEST_F(Input, KeysAreReadByTheirPositionNotTheirLabel) {
  // The devices live on after the DirectInput object, which the engine releases first.
  input->Release();
  input = nullptr;
  ASSERT_EQ(keyboard->Acquire(), DI_OK);
  struct {
    SDL_Scancode scancode;
    SDL_Keycode label;
    int code;
  } const keys[] = {
      {SDL_SCANCODE_W, SDLK_w, DIK_W},           {SDL_SCANCODE_S, SDLK_s, DIK_S},
      {SDL_SCANCODE_UP, SDLK_UP, DIK_UP},        {SDL_SCANCODE_DOWN, SDLK_DOWN, DIK_DOWN},
      {SDL_SCANCODE_TAB, SDLK_TAB, DIK_TAB},     {SDL_SCANCODE_RCTRL, SDLK_RCTRL, DIK_RCONTROL},
      {SDL_SCANCODE_SPACE, SDLK_SPACE, DIK_SPACE}, {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, DIK_ESCAPE},
      {SDL_SCANCODE_Z, SDLK_y, DIK_Z},  // a German keyboard: the label says Y where a US one has Z
  };
  for (const auto& k : keys) {
    Key(k.scancode, k.label, true);
    EXPECT_EQ(Held(), std::vector<int>{k.code}) << SDL_GetScancodeName(k.scancode);
    Key(k.scancode, k.label, false);
    EXPECT_EQ(Held(), std::vector<int>{}) << SDL_GetScancodeName(k.scancode);
  }
}

TEST_F(Input, LosingTheFocusLosesTheInputAndLeavesNoKeyHeld) {
  EXPECT_EQ(Held(DIERR_NOTACQUIRED), std::vector<int>{});
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
  SDL_Event lost = Event(SDL_WINDOWEVENT);
  lost.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  SDL_PushEvent(&lost);
  Held(DIERR_INPUTLOST);
}

TEST_F(Input, MouseEventsAreBufferedInOrderAndAFullBufferKeepsTheOldest) {
  ASSERT_EQ(mouse->Acquire(), DI_OK);
  Motion(5, -3);
  Button(SDL_BUTTON_LEFT, true);
  Button(SDL_BUTTON_RIGHT, true);
  Button(SDL_BUTTON_LEFT, false);
  using E = std::vector<std::pair<DWORD, LONG>>;
  EXPECT_EQ(Events(4), (E{{DIMOFS_X, 5}, {DIMOFS_Y, -3}, {DIMOFS_BUTTON0, 0x80}, {DIMOFS_BUTTON1, 0x80}}));
  EXPECT_EQ(Events(4), (E{{DIMOFS_BUTTON0, 0}}));
  EXPECT_EQ(Events(4), E{});

  mouse->Unacquire();
  ASSERT_EQ(SetBuffer(3), DI_OK);
  ASSERT_EQ(mouse->Acquire(), DI_OK);
  for (int i = 1; i <= 5; ++i) Motion(i, 0);
  EXPECT_EQ(Events(10, DI_BUFFEROVERFLOW), (E{{DIMOFS_X, 1}, {DIMOFS_X, 2}, {DIMOFS_X, 3}}));
  Motion(9, 0);
  EXPECT_EQ(Events(10), (E{{DIMOFS_X, 9}}));
}

TEST_F(Input, MisuseGetsThePlatformsAnswers) {
  DIDATAFORMAT other = c_dfDIKeyboard;
  other.dwDataSize = 8;
  DIDEVICEOBJECTDATA data[4];
  DWORD count = 4;
  IDirectInputDevice8A* joystick = nullptr;
  void* old = nullptr;
  ASSERT_EQ(mouse->Acquire(), DI_OK);
  const std::pair<HRESULT, HRESULT> answers[] = {
      {keyboard->SetDataFormat(&other), DIERR_INVALIDPARAM},
      {keyboard->SetCooperativeLevel(window, DISCL_FOREGROUND), DIERR_INVALIDPARAM},
      {keyboard->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_BACKGROUND), DIERR_UNSUPPORTED},
      {keyboard->GetDeviceData(sizeof data[0], data, &count, 0), DIERR_NOTBUFFERED},
      {SetBuffer(8), DIERR_ACQUIRED},
      {mouse->GetDeviceData(20, data, &count, 0), DIERR_INVALIDPARAM},
      {mouse->Acquire(), DI_NOEFFECT},
      {input->CreateDevice(IID_IUnknown, &joystick, nullptr), DIERR_DEVICENOTREG},
      {DirectInput8Create(GetModuleHandleA(nullptr), 0x0700, IID_IDirectInput8A, &old, nullptr),
       DIERR_OLDDIRECTINPUTVERSION},
  };
  for (std::size_t i = 0; i < std::size(answers); ++i) EXPECT_EQ(answers[i].first, answers[i].second) << "row " << i;
  EXPECT_EQ(joystick, nullptr);
  EXPECT_EQ(old, nullptr);
}

}  // namespace
