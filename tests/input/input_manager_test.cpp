#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errorfile/zr_ErrorException.h"
#include "fake_dinput8.h"
#include "fake_platform.h"
#include "fake_win32.h"
#include "input/zr_InputManager.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

HWND kWindow = reinterpret_cast<HWND>(0x77);
HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(0x400000);
const std::string kLost = std::to_string(DIERR_INPUTLOST);

class InputManager : public ::testing::Test {
 protected:
  void SetUp() override { p.Reset(); }
  void Start(zr_InputManager& input) {
    input.Initialise(kWindow, kInstance);
    input.InitMouse(kWindow, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    input.InitKeyboard(kWindow, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    p.Reset();
  }
  fake::Platform& p = fake::Platform::Get();
};

TEST_F(InputManager, SetUpCreatesBothDevicesWithTheirFormatsFlagsAndBuffer) {
  zr_InputManager input;
  input.Initialise(kWindow, kInstance);
  input.InitMouse(kWindow, 6);
  input.InitKeyboard(kWindow, 6);
  std::vector<std::string> calls;
  for (const fake::Call& c : p.Calls()) {
    std::string line = c.name;
    for (const std::string& a : c.args) line += " " + a;
    calls.push_back(line);
  }
  EXPECT_THAT(calls, ElementsAre("DirectInput8Create ptr 2048 <null>", "IDirectInput8A::CreateDevice GUID_SysMouse <null>",
                                 "IDirectInputDevice8A::SetDataFormat mouse c_dfDIMouse",
                                 "IDirectInputDevice8A::SetCooperativeLevel mouse ptr 6",
                                 "IDirectInputDevice8A::SetProperty mouse DIPROP_BUFFERSIZE 20 16 0 0 16",
                                 "IDirectInputDevice8A::Acquire mouse",
                                 "IDirectInput8A::CreateDevice GUID_SysKeyboard <null>",
                                 "IDirectInputDevice8A::SetDataFormat keyboard c_dfDIKeyboard",
                                 "IDirectInputDevice8A::SetCooperativeLevel keyboard ptr 6",
                                 "IDirectInputDevice8A::Acquire keyboard"));
}

TEST_F(InputManager, EachSetUpFailureRaisesItsReport) {
  struct Case {
    const char* call;
    int nth;
    unsigned number;
    const char* text;
  };
  const Case cases[] = {
      {"DirectInput8Create", 1, 3, "Error, can't create the DirectInput8 Object."},
      {"IDirectInput8A::CreateDevice", 2, 4, "Error, can't create the DirectInputKeyboard Object."},
      {"IDirectInputDevice8A::SetDataFormat", 2, 5, "Error, can't set the Data Format. (keyboard)"},
      {"IDirectInputDevice8A::SetCooperativeLevel", 2, 6, "Error, can't set the cooperative mode."},
      {"IDirectInput8A::CreateDevice", 1, 7, "Error, can't create the DirectInputMouse Object."},
      {"IDirectInputDevice8A::SetDataFormat", 1, 8, "Error, can't set the Data Format (mouse)."},
      {"IDirectInputDevice8A::SetCooperativeLevel", 1, 9, "Error, can't set the cooperative mode."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    p.Reset();
    p.ResultForCall(c.call, c.nth, E_FAIL);
    zr_InputManager input;
    try {
      input.Initialise(kWindow, kInstance);
      input.InitMouse(kWindow, 6);
      input.InitKeyboard(kWindow, 6);
      ADD_FAILURE() << "no report";
    } catch (zr_ErrorException& e) {
      EXPECT_EQ(e.errorNumber, c.number);
      EXPECT_THAT(e.message, HasSubstr(c.text));
      EXPECT_THAT(e.message, HasSubstr("E_FAIL"));
    }
  }
  // Acquire and SetProperty failures are not reported.
  p.Reset();
  p.ResultForAll("IDirectInputDevice8A::Acquire", DIERR_OTHERAPPHASPRIO);
  p.ResultForAll("IDirectInputDevice8A::SetProperty", E_FAIL);
  zr_InputManager input;
  EXPECT_NO_THROW({
    input.Initialise(kWindow, kInstance);
    input.InitMouse(kWindow, 6);
    input.InitKeyboard(kWindow, 6);
  });
}

TEST_F(InputManager, KeysAreCopiedAndAFailedReadShowsAllUpAndReacquires) {
  zr_InputManager input;
  Start(input);
  fake::dinput8::Get().keys[DIK_ESCAPE] = 0x80;
  fake::dinput8::Get().keys[DIK_RCONTROL] = 0x80;
  zr_KeyboardData keyboard{};
  input.GetKeyboardInput(&keyboard);
  EXPECT_EQ(keyboard.keys[DIK_ESCAPE], 0x80);
  EXPECT_EQ(keyboard.keys[DIK_RCONTROL], 0x80);
  EXPECT_EQ(keyboard.keys[DIK_SPACE], 0);

  // The read fails; Acquire is repeated while the input is lost and stops at the first other answer.
  p.ResultForCall("IDirectInputDevice8A::GetDeviceState", 2, DIERR_INPUTLOST);
  p.ResultForCall("IDirectInputDevice8A::Acquire", 1, DIERR_INPUTLOST);
  p.ResultForCall("IDirectInputDevice8A::Acquire", 2, DIERR_INPUTLOST);
  p.ResultForCall("IDirectInputDevice8A::Acquire", 3, DIERR_OTHERAPPHASPRIO);
  input.GetKeyboardInput(&keyboard);
  for (int k = 0; k < 256; ++k) ASSERT_EQ(keyboard.keys[k], 0) << k;
  EXPECT_EQ(p.CountOf("IDirectInputDevice8A::Acquire"), 3u);
  EXPECT_EQ(p.CountOf("IDirectInputDevice8A::GetDeviceState"), 2u);
}

TEST_F(InputManager, MouseEventsMoveAndPressAsTheRecordDefines) {
  zr_InputManager input;
  Start(input);
  zr_MouseData mouse{};
  mouse.x = 10;
  fake::dinput8::AddMouseEvent(DIMOFS_X, 2);
  fake::dinput8::AddMouseEvent(DIMOFS_X, 3);
  fake::dinput8::AddMouseEvent(DIMOFS_X, -1);
  fake::dinput8::AddMouseEvent(DIMOFS_Z, 120);  // the wheel changes nothing
  input.GetMouseInput(&mouse);
  EXPECT_EQ(mouse.deltaX, -1);
  EXPECT_EQ(mouse.x, 14);
  EXPECT_EQ(p.CallsTo("IDirectInputDevice8A::GetDeviceData")[0].args,
            (std::vector<std::string>{"mouse", std::to_string(sizeof(DIDEVICEOBJECTDATA)), "4", "0"}));

  // Six pending events go four now, two next time, in order.
  for (int i = 1; i <= 6; ++i) fake::dinput8::AddMouseEvent(DIMOFS_Y, i);
  input.GetMouseInput(&mouse);
  EXPECT_EQ(mouse.deltaY, 4);
  EXPECT_EQ(mouse.y, 10);
  input.GetMouseInput(&mouse);
  EXPECT_EQ(mouse.deltaY, 6);
  EXPECT_EQ(mouse.y, 21);
  EXPECT_EQ(mouse.deltaX, 0);

  fake::dinput8::AddMouseEvent(DIMOFS_BUTTON0, 0x80);
  fake::dinput8::AddMouseEvent(DIMOFS_BUTTON1, 0x80);
  input.GetMouseInput(&mouse);
  EXPECT_EQ(mouse.button0, 1);
  EXPECT_EQ(mouse.button1, 1);
  // A frame without events keeps position and buttons and clears the deltas.
  input.GetMouseInput(&mouse);
  EXPECT_EQ(mouse.x, 14);
  EXPECT_EQ(mouse.y, 21);
  EXPECT_EQ(mouse.deltaY, 0);
  EXPECT_EQ(mouse.button0, 1);
  // Down then up in one read leaves the button up.
  fake::dinput8::AddMouseEvent(DIMOFS_BUTTON2, 0x80);
  fake::dinput8::AddMouseEvent(DIMOFS_BUTTON0, 0x80);
  fake::dinput8::AddMouseEvent(DIMOFS_BUTTON0, 0);
  input.GetMouseInput(&mouse);
  EXPECT_EQ(mouse.button0, 0);
  EXPECT_EQ(mouse.button1, 1);
}

TEST_F(InputManager, AFailedMouseReadAppliesNothingAndReacquires) {
  zr_InputManager input;
  Start(input);
  zr_MouseData mouse{5, 5, 9, 9, 1, 0};
  fake::dinput8::AddMouseEvent(DIMOFS_X, 7);
  p.ResultForCall("IDirectInputDevice8A::GetDeviceData", 1, DIERR_INPUTLOST);
  input.GetMouseInput(&mouse);
  EXPECT_EQ(mouse.x, 5);
  EXPECT_EQ(mouse.deltaX, 0);
  EXPECT_EQ(mouse.button0, 1);
  EXPECT_EQ(p.CountOf("IDirectInputDevice8A::Acquire"), 1u);

  // A failed read that still reports what it read: none of it is applied either.
  fake::dinput8::SetEventsOnFailedRead(true);
  fake::dinput8::AddMouseEvent(DIMOFS_Y, 3);
  fake::dinput8::AddMouseEvent(DIMOFS_BUTTON0, 0);
  fake::dinput8::AddMouseEvent(DIMOFS_BUTTON1, 0x80);
  p.ResultForCall("IDirectInputDevice8A::GetDeviceData", 2, DIERR_NOTACQUIRED);
  input.GetMouseInput(&mouse);
  EXPECT_EQ(fake::dinput8::Get().mouseEvents.size(), 0u) << "the read must have handed the events out";
  EXPECT_EQ((std::vector<int>{mouse.x, mouse.y, mouse.deltaX, mouse.deltaY, mouse.button0, mouse.button1}),
            (std::vector<int>{5, 5, 0, 0, 1, 0}));
  EXPECT_EQ(p.CountOf("IDirectInputDevice8A::Acquire"), 2u);
}

TEST_F(InputManager, DestructionReleasesTheObjectThenTheMouseThenTheKeyboard) {
  {
    zr_InputManager input;
    Start(input);
  }
  std::vector<std::string> order;
  for (const fake::Call& c : p.Calls()) order.push_back(c.name + (c.args.empty() ? "" : " " + c.args[0]));
  EXPECT_THAT(order, ElementsAre("IDirectInput8A::Release", "IDirectInputDevice8A::Unacquire mouse",
                                 "IDirectInputDevice8A::Release", "IDirectInputDevice8A::Unacquire keyboard",
                                 "IDirectInputDevice8A::Release"));
  p.Reset();
  { zr_InputManager never; }
  EXPECT_TRUE(p.Calls().empty());
}

TEST_F(InputManager, CursorPositionComesFromTheWindowSystem) {
  zr_InputManager input;
  fake::win32::SetCursorPosition(731, 412);
  int x = -1, y = -1;
  input.GetCursorPosition(&x, &y);
  EXPECT_EQ(p.CountOf("GetCursorPos"), 1u);
  EXPECT_EQ(x, 731);
  EXPECT_EQ(y, 412);
  // Screen coordinates left of or above the main screen are negative.
  fake::win32::SetCursorPosition(-1280, -3);
  input.GetCursorPosition(&x, &y);
  EXPECT_EQ(x, -1280);
  EXPECT_EQ(y, -3);
}

}  // namespace
