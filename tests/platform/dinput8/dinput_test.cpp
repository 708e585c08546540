// DirectInput over SDL's events, on SDL's offscreen driver: events are pushed in as the desktop
// would deliver them, focus is taken and given with the window system's test hooks.
#include <SDL.h>
#include <dinput.h>
#include <gtest/gtest.h>

#include <vector>

#include "win32_internal.h"
#include "win32_testing.h"

namespace {

class DirectInputDevices : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSEXA c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = DefWindowProcA;
    c.lpszClassName = "InputTest";
    RegisterClassExA(&c);
  }
  void SetUp() override {
    window = CreateWindowExA(0, "InputTest", "input", WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    zr::win32::testing::SetFocus(window, true);
    ASSERT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                 reinterpret_cast<void**>(&input), nullptr),
              DI_OK);
    ASSERT_EQ(input->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr), DI_OK);
    ASSERT_EQ(input->CreateDevice(GUID_SysMouse, &mouse, nullptr), DI_OK);
    ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
    ASSERT_EQ(keyboard->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
    ASSERT_EQ(mouse->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
    SetBuffer(mouse, 16);
  }
  void TearDown() override {
    if (keyboard) keyboard->Release();
    if (mouse) mouse->Release();
    if (input) input->Release();
    DestroyWindow(window);
  }
  static HRESULT SetBuffer(IDirectInputDevice8A* device, DWORD size) {
    DIPROPDWORD p{};
    p.diph.dwSize = sizeof p;
    p.diph.dwHeaderSize = sizeof p.diph;
    p.diph.dwHow = DIPH_DEVICE;
    p.dwData = size;
    return device->SetProperty(DIPROP_BUFFERSIZE, &p.diph);
  }
  Uint32 WindowId() const { return SDL_GetWindowID(zr::win32::SdlWindowOf(window)); }
  void Key(SDL_Scancode scancode, SDL_Keycode label, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = WindowId();
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = label;
    SDL_PushEvent(&e);
  }
  void Motion(int dx, int dy) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = WindowId();
    e.motion.xrel = dx;
    e.motion.yrel = dy;
    SDL_PushEvent(&e);
  }
  void Button(Uint8 button, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = WindowId();
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    SDL_PushEvent(&e);
  }
  std::vector<BYTE> Keys(HRESULT* hr = nullptr) {
    std::vector<BYTE> keys(256, 0xEE);
    HRESULT result = keyboard->GetDeviceState(256, keys.data());
    if (hr != nullptr) *hr = result;
    return keys;
  }
  std::vector<DIDEVICEOBJECTDATA> Events(DWORD most, HRESULT* hr = nullptr) {
    std::vector<DIDEVICEOBJECTDATA> events(most);
    DWORD count = most;
    HRESULT result = mouse->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events.data(), &count, 0);
    if (hr != nullptr) *hr = result;
    events.resize(count);
    return events;
  }

  HWND window = nullptr;
  IDirectInput8A* input = nullptr;
  IDirectInputDevice8A* keyboard = nullptr;
  IDirectInputDevice8A* mouse = nullptr;
};

TEST_F(DirectInputDevices, KeysReadByPositionWhileAcquired) {
  HRESULT hr;
  Keys(&hr);
  EXPECT_EQ(hr, DIERR_NOTACQUIRED);
  ASSERT_EQ(keyboard->Acquire(), DI_OK);
  Key(SDL_SCANCODE_W, SDLK_w, true);
  Key(SDL_SCANCODE_RCTRL, SDLK_RCTRL, true);
  Key(SDL_SCANCODE_Z, SDLK_y, true);  // a German keyboard: the label says Y, the position is Z
  std::vector<BYTE> keys = Keys(&hr);
  EXPECT_EQ(hr, DI_OK);
  EXPECT_EQ(keys[DIK_W], 0x80);
  EXPECT_EQ(keys[DIK_RCONTROL], 0x80);
  EXPECT_EQ(keys[DIK_LCONTROL], 0);
  EXPECT_EQ(keys[DIK_Z], 0x80);
  EXPECT_EQ(keys[DIK_Y], 0);
  Key(SDL_SCANCODE_W, SDLK_w, false);
  keys = Keys();
  EXPECT_EQ(keys[DIK_W], 0);
  EXPECT_EQ(keys[DIK_RCONTROL], 0x80);
}

TEST_F(DirectInputDevices, LosingFocusLosesTheInputAndLeavesNoKeyDown) {
  ASSERT_EQ(keyboard->Acquire(), DI_OK);
  Key(SDL_SCANCODE_UP, SDLK_UP, true);
  EXPECT_EQ(Keys()[DIK_UP], 0x80);

  zr::win32::testing::SetFocus(window, false);
  HRESULT hr;
  Keys(&hr);
  EXPECT_EQ(hr, DIERR_INPUTLOST);
  Keys(&hr);
  EXPECT_EQ(hr, DIERR_NOTACQUIRED);
  EXPECT_EQ(keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);

  // The key went up in another window; back here nothing is stuck.
  zr::win32::testing::SetFocus(window, true);
  ASSERT_EQ(keyboard->Acquire(), DI_OK);
  std::vector<BYTE> keys = Keys(&hr);
  EXPECT_EQ(hr, DI_OK);
  for (int k = 0; k < 256; ++k) ASSERT_EQ(keys[k], 0) << k;

  // A focus change the desktop reports through SDL works the same way.
  Key(SDL_SCANCODE_SPACE, SDLK_SPACE, true);
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  e.window.windowID = WindowId();
  SDL_PushEvent(&e);
  Keys(&hr);
  EXPECT_EQ(hr, DIERR_INPUTLOST);
}

TEST_F(DirectInputDevices, BackgroundDevicesIgnoreFocus) {
  keyboard->Unacquire();
  ASSERT_EQ(keyboard->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
  zr::win32::testing::SetFocus(window, false);
  ASSERT_EQ(keyboard->Acquire(), DI_OK);
  HRESULT hr;
  Keys(&hr);
  EXPECT_EQ(hr, DI_OK);
}

TEST_F(DirectInputDevices, MouseEventsAreBufferedInOrderWithTheirOffsetsAndValues) {
  ASSERT_EQ(mouse->Acquire(), DI_OK);
  Motion(5, -3);
  Button(SDL_BUTTON_LEFT, true);
  Button(SDL_BUTTON_RIGHT, true);
  Button(SDL_BUTTON_LEFT, false);
  SDL_Event wheel{};
  wheel.type = SDL_MOUSEWHEEL;
  wheel.wheel.windowID = WindowId();
  wheel.wheel.y = -1;
  SDL_PushEvent(&wheel);

  HRESULT hr;
  std::vector<DIDEVICEOBJECTDATA> first = Events(4, &hr);
  EXPECT_EQ(hr, DI_OK);
  ASSERT_EQ(first.size(), 4u);
  EXPECT_EQ(first[0].dwOfs, static_cast<DWORD>(DIMOFS_X));
  EXPECT_EQ(static_cast<LONG>(first[0].dwData), 5);
  EXPECT_EQ(first[1].dwOfs, static_cast<DWORD>(DIMOFS_Y));
  EXPECT_EQ(static_cast<LONG>(first[1].dwData), -3);
  EXPECT_EQ(first[2].dwOfs, static_cast<DWORD>(DIMOFS_BUTTON0));
  EXPECT_EQ(first[2].dwData, 0x80u);
  EXPECT_EQ(first[3].dwOfs, static_cast<DWORD>(DIMOFS_BUTTON1));
  for (size_t i = 1; i < first.size(); ++i) EXPECT_GT(first[i].dwSequence, first[i - 1].dwSequence);

  std::vector<DIDEVICEOBJECTDATA> rest = Events(4);
  ASSERT_EQ(rest.size(), 2u);
  EXPECT_EQ(rest[0].dwOfs, static_cast<DWORD>(DIMOFS_BUTTON0));
  EXPECT_EQ(rest[0].dwData, 0u);
  EXPECT_EQ(rest[1].dwOfs, static_cast<DWORD>(DIMOFS_Z));
  EXPECT_EQ(static_cast<LONG>(rest[1].dwData), -120);
  EXPECT_TRUE(Events(4).empty());

  DIMOUSESTATE state{};
  ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
  EXPECT_EQ(state.lX, 5);
  EXPECT_EQ(state.rgbButtons[1], 0x80);
  EXPECT_EQ(state.rgbButtons[0], 0);
}

TEST_F(DirectInputDevices, AFullBufferKeepsTheOldestAndSaysSo) {
  mouse->Unacquire();
  ASSERT_EQ(SetBuffer(mouse, 3), DI_OK);
  ASSERT_EQ(mouse->Acquire(), DI_OK);
  for (int i = 1; i <= 5; ++i) Motion(i, 0);
  HRESULT hr;
  std::vector<DIDEVICEOBJECTDATA> events = Events(10, &hr);
  EXPECT_EQ(hr, DI_BUFFEROVERFLOW);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].dwData, 1u);
  EXPECT_EQ(events[2].dwData, 3u);
  Motion(9, 0);
  events = Events(10, &hr);
  EXPECT_EQ(hr, DI_OK);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].dwData, 9u);
}

TEST_F(DirectInputDevices, MisuseGetsThePlatformsAnswers) {
  DIDATAFORMAT other = c_dfDIKeyboard;
  other.dwDataSize = 8;
  EXPECT_EQ(keyboard->SetDataFormat(&other), DIERR_INVALIDPARAM);
  EXPECT_EQ(keyboard->SetCooperativeLevel(window, DISCL_FOREGROUND), DIERR_INVALIDPARAM);
  EXPECT_EQ(keyboard->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_BACKGROUND), DIERR_UNSUPPORTED);
  DWORD count = 4;
  DIDEVICEOBJECTDATA data[4];
  EXPECT_EQ(keyboard->GetDeviceData(sizeof data[0], data, &count, 0), DIERR_NOTBUFFERED);
  ASSERT_EQ(mouse->Acquire(), DI_OK);
  EXPECT_EQ(SetBuffer(mouse, 8), DIERR_ACQUIRED);
  EXPECT_EQ(mouse->GetDeviceData(20, data, &count, 0), DIERR_INVALIDPARAM);
  EXPECT_EQ(mouse->Acquire(), DI_NOEFFECT);

  IDirectInputDevice8A* joystick = nullptr;
  EXPECT_EQ(input->CreateDevice(IID_IUnknown, &joystick, nullptr), DIERR_DEVICENOTREG);
  EXPECT_EQ(joystick, nullptr);
  void* old = nullptr;
  EXPECT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), 0x0700, IID_IDirectInput8A, &old, nullptr),
            DIERR_OLDDIRECTINPUTVERSION);
  EXPECT_EQ(old, nullptr);
}

TEST_F(DirectInputDevices, DevicesOutliveTheDirectInputObject) {
  input->Release();
  input = nullptr;
  ASSERT_EQ(keyboard->Acquire(), DI_OK);
  Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, true);
  EXPECT_EQ(Keys()[DIK_ESCAPE], 0x80);
}

}  // namespace
