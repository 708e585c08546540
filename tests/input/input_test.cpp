// Keyboard and mouse of the engine against the recording fake.
#include "engine_test.h"
#include "input/zr_InputManager.h"

namespace {

HWND kWindow = reinterpret_cast<HWND>(0x77);
namespace fi = fake::dinput8;

class Input : public EngineTest {
 protected:
  void Start(zr_InputManager& input) {
    input.Initialise(kWindow, reinterpret_cast<HINSTANCE>(0x400000));
    input.InitMouse(kWindow, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    input.InitKeyboard(kWindow, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
  }
  static std::vector<int> Fields(const zr_MouseData& m) { return {m.x, m.y, m.deltaX, m.deltaY, m.button0, m.button1}; }
};

TEST_F(Input, EachSetUpFailureRaisesItsReportButAcquiringAndBufferingMayFail) {
  const std::tuple<const char*, int, unsigned, const char*> rows[] = {  // the mouse is set up first
      {"DirectInput8Create", 1, 3, "Error, can't create the DirectInput8 Object."},
      {"IDirectInput8A::CreateDevice", 1, 7, "Error, can't create the DirectInputMouse Object."},
      {"IDirectInputDevice8A::SetDataFormat", 1, 8, "Error, can't set the Data Format (mouse)."},
      {"IDirectInputDevice8A::SetCooperativeLevel", 1, 9, "Error, can't set the cooperative mode."},
      {"IDirectInput8A::CreateDevice", 2, 4, "Error, can't create the DirectInputKeyboard Object."},
      {"IDirectInputDevice8A::SetDataFormat", 2, 5, "Error, can't set the Data Format. (keyboard)"},
      {"IDirectInputDevice8A::SetCooperativeLevel", 2, 6, "Error, can't set the cooperative mode."},
  };
  for (auto [call, nth, number, text] : rows) {
    p.Reset();
    p.ResultForCall(call, nth, E_FAIL);
    zr_InputManager input;
    zr_ErrorException e = Raised([&] { Start(input); });
    EXPECT_EQ(e.errorNumber, number);
    EXPECT_THAT(e.message, HasSubstr(text));
    EXPECT_THAT(e.message, HasSubstr("E_FAIL"));
  }
  p.Reset();
  p.ResultForAll("IDirectInputDevice8A::Acquire", DIERR_OTHERAPPHASPRIO);
  p.ResultForAll("IDirectInputDevice8A::SetProperty", E_FAIL);
  zr_InputManager input;
  EXPECT_EQ(Raised([&] { Start(input); }).errorNumber, 999u);
}

TEST_F(Input, ADeviceSetUpBeforeInitialiseIsLoggedAndTheDeviceReadsNothing) {
  const std::tuple<void (zr_InputManager::*)(HWND, unsigned long), const char*> rows[] = {
      {&zr_InputManager::InitKeyboard,
       " ** Error_33 ** Error, can't create the DirectInputKeyboard Object without the DirectInput8 Object."},
      {&zr_InputManager::InitMouse,
       " ** Error_34 ** Error, can't create the DirectInputMouse Object without the DirectInput8 Object."},
  };
  for (auto [init, logged] : rows) {
    SCOPED_TRACE(logged);
    p.Reset();
    zr_InputManager input;
    EXPECT_EQ(Raised([&] { (input.*init)(kWindow, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND); }).errorNumber, 999u);
    EXPECT_THAT(Log(), ::testing::EndsWith(logged));
    fi::Get().keys[DIK_SPACE] = 0x80;
    fi::AddMouseEvent(DIMOFS_X, 5);
    zr_KeyboardData keyboard{};
    keyboard.keys[DIK_A] = 0x80;
    zr_MouseData mouse{1, 2, 3, 4, 1, 0};
    input.GetKeyboardInput(&keyboard);
    input.GetMouseInput(&mouse);
    EXPECT_THAT(keyboard.keys, ::testing::Each(0));
    EXPECT_EQ(Fields(mouse), (std::vector<int>{1, 2, 0, 0, 1, 0}));
    EXPECT_THAT(p.Calls(), ::testing::IsEmpty()) << "nothing is asked of DirectInput";
  }
}

TEST_F(Input, KeysAreCopiedAndAFailedReadShowsEveryKeyUpAndGetsTheKeyboardBack) {
  zr_InputManager input;
  Start(input);
  p.Reset();
  fi::Get().keys[DIK_ESCAPE] = fi::Get().keys[DIK_RCONTROL] = 0x80;
  zr_KeyboardData keyboard{};
  input.GetKeyboardInput(&keyboard);
  EXPECT_EQ(Args(keyboard.keys[DIK_ESCAPE], keyboard.keys[DIK_RCONTROL], keyboard.keys[DIK_SPACE]), "128 128 0");
  EXPECT_THAT(p.ArgsOf("IDirectInputDevice8A::GetDeviceState"), ElementsAre("keyboard 256"));

  // The failed read leaves what it read; Acquire is repeated while the input is lost, up to the
  // first other answer.
  fi::Get().failedReadsDeliver = true;
  p.ResultForCall("IDirectInputDevice8A::GetDeviceState", 2, DIERR_INPUTLOST);
  p.ResultForCall("IDirectInputDevice8A::Acquire", 1, DIERR_INPUTLOST);
  p.ResultForCall("IDirectInputDevice8A::Acquire", 2, DIERR_INPUTLOST);
  p.ResultForCall("IDirectInputDevice8A::Acquire", 3, DIERR_OTHERAPPHASPRIO);
  input.GetKeyboardInput(&keyboard);
  EXPECT_THAT(keyboard.keys, ::testing::Each(0));
  EXPECT_THAT(p.ArgsOf("IDirectInputDevice8A::Acquire"), ElementsAre("keyboard", "keyboard", "keyboard"));
  keyboard.keys[DIK_A] = 0x80;
  zr_InputManager().GetKeyboardInput(&keyboard);
  EXPECT_THAT(keyboard.keys, ::testing::Each(0)) << "without a keyboard every key is up";
}

// The mouse buffers 16 events; each read takes four.
TEST_F(Input, MouseEventsMoveAndPressAsTheRecordSays) {
  zr_InputManager input;
  Start(input);
  const std::string property = Args(sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE, 16);
  EXPECT_THAT(p.ArgsOf("IDirectInputDevice8A::SetProperty"), ElementsAre("mouse DIPROP_BUFFERSIZE " + property));
  p.Reset();
  zr_MouseData mouse{10, 0, 0, 0, 0, 0};
  struct Read {
    std::vector<std::pair<DWORD, LONG>> events;  // queued before this read
    std::vector<int> after;                      // x, y, deltaX, deltaY, button0, button1
  };
  const Read reads[] = {
      {{{DIMOFS_X, 2}, {DIMOFS_X, 3}, {DIMOFS_X, -1}, {DIMOFS_Z, 120}}, {14, 0, -1, 0, 0, 0}},  // no wheel
      {{{DIMOFS_Y, 1}, {DIMOFS_Y, 2}, {DIMOFS_Y, 3}, {DIMOFS_Y, 4}, {DIMOFS_Y, 5}, {DIMOFS_Y, 6}},
       {14, 10, 0, 4, 0, 0}},  // four events a read
      {{}, {14, 21, 0, 6, 0, 0}},
      {{{DIMOFS_BUTTON0, 0x80}, {DIMOFS_BUTTON1, 0x80}}, {14, 21, 0, 0, 1, 1}},
      {{}, {14, 21, 0, 0, 1, 1}},  // a read without events keeps the rest and clears the deltas
      {{{DIMOFS_BUTTON2, 0x80}, {DIMOFS_BUTTON0, 0x80}, {DIMOFS_BUTTON0, 0}}, {14, 21, 0, 0, 0, 1}},
  };
  for (const Read& r : reads) {
    for (auto [offset, value] : r.events) fi::AddMouseEvent(offset, value);
    input.GetMouseInput(&mouse);
    EXPECT_EQ(Fields(mouse), r.after);
  }
  EXPECT_EQ(p.ArgsOf("IDirectInputDevice8A::GetDeviceData")[0], Args("mouse", sizeof(DIDEVICEOBJECTDATA), 4, 0));

  // A failed read applies nothing of what it handed out, and gets the mouse back.
  p.Reset();
  fi::Get().failedReadsDeliver = true;
  fi::AddMouseEvent(DIMOFS_X, 7);
  fi::AddMouseEvent(DIMOFS_BUTTON0, 0x80);
  p.ResultForAll("IDirectInputDevice8A::GetDeviceData", DIERR_NOTACQUIRED);
  input.GetMouseInput(&mouse);
  EXPECT_TRUE(fi::Get().mouseEvents.empty()) << "the failed read handed the events out";
  EXPECT_EQ(Fields(mouse), (std::vector<int>{14, 21, 0, 0, 0, 1}));
  EXPECT_THAT(p.ArgsOf("IDirectInputDevice8A::Acquire"), ElementsAre("mouse"));
}

}  // namespace
