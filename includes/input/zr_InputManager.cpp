#include "input/zr_InputManager.h"

#include <cstring>

#include "errorfile/zr_ErrorException.h"

namespace {

// Gets a lost device back: Acquire again for as long as the input is reported lost; any other
// answer, success or not, ends the attempt for this frame.
void Reacquire(IDirectInputDevice8A* device) {
  while (device->Acquire() == DIERR_INPUTLOST) {
  }
}

constexpr DWORD kMouseEventsPerRead = 4;
constexpr DWORD kMouseBufferSize = 16;

}  // namespace

zr_InputManager::zr_InputManager() : directInput_(nullptr), keyboardDevice_(nullptr), mouseDevice_(nullptr) {}

zr_InputManager::~zr_InputManager() {
  if (directInput_ != nullptr) {
    directInput_->Release();
    directInput_ = nullptr;
  }
  if (mouseDevice_ != nullptr) {
    mouseDevice_->Unacquire();
    mouseDevice_->Release();
    mouseDevice_ = nullptr;
  }
  if (keyboardDevice_ != nullptr) {
    keyboardDevice_->Unacquire();
    keyboardDevice_->Release();
    keyboardDevice_ = nullptr;
  }
}

void zr_InputManager::Initialise(HWND, HINSTANCE instance) {
  HRESULT hr = DirectInput8Create(instance, DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                  reinterpret_cast<void**>(&directInput_), nullptr);
  DXTestForError(hr, "Error, can't create the DirectInput8 Object.", 3, true);
}

void zr_InputManager::InitKeyboard(HWND window, unsigned long cooperativeFlags) {
  if (directInput_ == nullptr) {  // Initialise comes first; without it there is no keyboard to read
    ExceptionGameError("", 0, 33, "Error, can't create the DirectInputKeyboard Object without the DirectInput8 Object.",
                       false);
    return;
  }
  DXTestForError(directInput_->CreateDevice(GUID_SysKeyboard, &keyboardDevice_, nullptr),
                 "Error, can't create the DirectInputKeyboard Object.", 4, true);
  DXTestForError(keyboardDevice_->SetDataFormat(&c_dfDIKeyboard), "Error, can't set the Data Format. (keyboard)", 5,
                 true);
  DXTestForError(keyboardDevice_->SetCooperativeLevel(window, static_cast<DWORD>(cooperativeFlags)),
                 "Error, can't set the cooperative mode.", 6, true);
  keyboardDevice_->Acquire();
}

void zr_InputManager::InitMouse(HWND window, unsigned long cooperativeFlags) {
  if (directInput_ == nullptr) {
    ExceptionGameError("", 0, 34, "Error, can't create the DirectInputMouse Object without the DirectInput8 Object.",
                       false);
    return;
  }
  DXTestForError(directInput_->CreateDevice(GUID_SysMouse, &mouseDevice_, nullptr),
                 "Error, can't create the DirectInputMouse Object.", 7, true);
  DXTestForError(mouseDevice_->SetDataFormat(&c_dfDIMouse), "Error, can't set the Data Format (mouse).", 8, true);
  DXTestForError(mouseDevice_->SetCooperativeLevel(window, static_cast<DWORD>(cooperativeFlags)),
                 "Error, can't set the cooperative mode.", 9, true);
  DIPROPDWORD buffer{};
  buffer.diph.dwSize = sizeof(DIPROPDWORD);
  buffer.diph.dwHeaderSize = sizeof(DIPROPHEADER);
  buffer.diph.dwObj = 0;
  buffer.diph.dwHow = DIPH_DEVICE;
  buffer.dwData = kMouseBufferSize;
  mouseDevice_->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph);
  mouseDevice_->Acquire();
}

void zr_InputManager::GetKeyboardInput(zr_KeyboardData* keyboard) {
  if (keyboard == nullptr) return;
  unsigned char keys[256];
  std::memset(keys, 0, sizeof keys);
  if (keyboardDevice_ != nullptr && FAILED(keyboardDevice_->GetDeviceState(sizeof keys, keys))) {
    std::memset(keys, 0, sizeof keys);  // a failed read may have left anything: all keys up
    Reacquire(keyboardDevice_);
  }
  std::memcpy(keyboard->keys, keys, sizeof keys);
}

void zr_InputManager::GetMouseInput(zr_MouseData* mouse) {
  if (mouse == nullptr) return;
  mouse->deltaX = 0;
  mouse->deltaY = 0;
  if (mouseDevice_ == nullptr) return;
  DIDEVICEOBJECTDATA events[kMouseEventsPerRead];
  DWORD count = kMouseEventsPerRead;
  if (FAILED(mouseDevice_->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &count, 0))) {
    Reacquire(mouseDevice_);
    return;
  }
  if (count > kMouseEventsPerRead) count = kMouseEventsPerRead;
  for (DWORD i = 0; i < count; ++i) {
    const auto value = static_cast<std::int32_t>(events[i].dwData);
    switch (events[i].dwOfs) {
      case DIMOFS_X:
        mouse->deltaX = value;
        mouse->x += mouse->deltaX;
        break;
      case DIMOFS_Y:
        mouse->deltaY = value;
        mouse->y += mouse->deltaY;
        break;
      case DIMOFS_BUTTON0:
        mouse->button0 = events[i].dwData != 0 ? 1 : 0;
        break;
      case DIMOFS_BUTTON1:
        mouse->button1 = events[i].dwData != 0 ? 1 : 0;
        break;
      default:
        break;  // the wheel and the other buttons are not kept
    }
  }
}

void zr_InputManager::GetCursorPosition(int* x, int* y) {
  POINT point{0, 0};
  GetCursorPos(&point);
  if (x != nullptr) *x = point.x;
  if (y != nullptr) *y = point.y;
}
