#include "device.h"

#include <cstring>
#include <mutex>
#include <set>

#include "key_map.h"
#include "win32_internal.h"

namespace zr::dinput8 {

namespace {

// Every live device sees every SDL event through one event watch, at the moment SDL takes the
// event in (SDL_PumpEvents or SDL_PushEvent), whoever reads SDL's queue afterwards.
std::set<Device*>& Devices() {
  static std::set<Device*>* devices = new std::set<Device*>;
  return *devices;
}

DWORD g_sequence = 0;

int SDLCALL Watch(void*, SDL_Event* event) {
  for (Device* device : Devices()) device->OnEvent(*event);
  return 0;
}

void AddDevice(Device* device) {
  static std::once_flag watching;
  std::call_once(watching, [] { SDL_AddEventWatch(Watch, nullptr); });
  Devices().insert(device);
}

bool Is(LPCDIDATAFORMAT format, const DIDATAFORMAT& expected) {
  return format == &expected ||
         (format->dwSize == expected.dwSize && format->dwDataSize == expected.dwDataSize &&
          format->dwNumObjs == expected.dwNumObjs && format->dwFlags == expected.dwFlags);
}

}  // namespace

Device::Device(Kind kind) : kind_(kind) { AddDevice(this); }

Device::~Device() { Devices().erase(this); }

HRESULT Device::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDirectInputDevice8A) {
    AddRef();
    *object = this;
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG Device::AddRef() { return ++refs_; }

ULONG Device::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Device::SetDataFormat(LPCDIDATAFORMAT format) {
  if (format == nullptr) return DIERR_INVALIDPARAM;
  if (acquired_) return DIERR_ACQUIRED;
  if (!Is(format, kind_ == Kind::kKeyboard ? c_dfDIKeyboard : c_dfDIMouse)) return DIERR_INVALIDPARAM;
  formatSet_ = true;
  return DI_OK;
}

HRESULT Device::SetCooperativeLevel(HWND window, DWORD flags) {
  if (acquired_) return DIERR_ACQUIRED;
  const DWORD access = flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
  const DWORD when = flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
  if ((access != DISCL_EXCLUSIVE && access != DISCL_NONEXCLUSIVE) ||
      (when != DISCL_FOREGROUND && when != DISCL_BACKGROUND) ||
      (flags & ~(DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_BACKGROUND | DISCL_NOWINKEY)))
    return DIERR_INVALIDPARAM;
  // The keyboard cannot be had exclusively while the program is in the background.
  if (kind_ == Kind::kKeyboard && access == DISCL_EXCLUSIVE && when == DISCL_BACKGROUND) return DIERR_UNSUPPORTED;
  if (window == nullptr || !IsWindow(window)) return DIERR_INVALIDPARAM;
  window_ = window;
  cooperation_ = flags;
  return DI_OK;
}

HRESULT Device::GetProperty(REFGUID property, LPDIPROPHEADER header) {
  if (header == nullptr || header->dwHeaderSize != sizeof(DIPROPHEADER)) return DIERR_INVALIDPARAM;
  if (property != DIPROP_BUFFERSIZE) return DIERR_UNSUPPORTED;
  if (header->dwSize != sizeof(DIPROPDWORD) || header->dwHow != DIPH_DEVICE || header->dwObj != 0)
    return DIERR_INVALIDPARAM;
  reinterpret_cast<DIPROPDWORD*>(header)->dwData = bufferSize_;
  return DI_OK;
}

HRESULT Device::SetProperty(REFGUID property, LPCDIPROPHEADER header) {
  if (header == nullptr || header->dwHeaderSize != sizeof(DIPROPHEADER)) return DIERR_INVALIDPARAM;
  if (property != DIPROP_BUFFERSIZE) return DIERR_UNSUPPORTED;
  if (header->dwSize != sizeof(DIPROPDWORD) || header->dwHow != DIPH_DEVICE || header->dwObj != 0)
    return DIERR_INVALIDPARAM;
  if (acquired_) return DIERR_ACQUIRED;
  DWORD asked = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
  bufferSize_ = asked < kMostBufferedEvents ? asked : kMostBufferedEvents;
  while (buffer_.size() > bufferSize_) buffer_.pop_back();
  return asked <= kMostBufferedEvents ? DI_OK : DI_PROPNOEFFECT;
}

bool Device::WindowInForeground() const {
  win32::Activity activity = win32::ActivityOf(window_);
  return activity.exists && activity.active && !activity.minimised;
}

HRESULT Device::Acquire() {
  if (!formatSet_) return DIERR_INVALIDPARAM;
  if (acquired_) return DI_NOEFFECT;
  if ((cooperation_ & DISCL_FOREGROUND) && !WindowInForeground()) return DIERR_OTHERAPPHASPRIO;
  acquired_ = true;
  focusLostSeen_ = false;
  deactivationsSeen_ = win32::ActivityOf(window_).deactivations;
  buffer_.clear();
  overflowed_ = false;
  mouse_.lX = mouse_.lY = mouse_.lZ = 0;
  return DI_OK;
}

HRESULT Device::Unacquire() {
  if (!acquired_) return DI_NOEFFECT;
  acquired_ = false;
  return DI_OK;
}

void Device::ForgetInput() {
  keys_.fill(0);
  mouse_ = DIMOUSESTATE{};
  buffer_.clear();
  overflowed_ = false;
}

HRESULT Device::CheckAcquired() {
  if (SDL_WasInit(SDL_INIT_EVENTS)) SDL_PumpEvents();
  if (!acquired_) return DIERR_NOTACQUIRED;
  if (cooperation_ & DISCL_FOREGROUND) {
    win32::Activity activity = win32::ActivityOf(window_);
    if (focusLostSeen_ || !activity.exists || !activity.active || activity.minimised ||
        activity.deactivations != deactivationsSeen_) {
      acquired_ = false;
      ForgetInput();
      return DIERR_INPUTLOST;
    }
  }
  return DI_OK;
}

HRESULT Device::GetDeviceState(DWORD size, LPVOID data) {
  if (data == nullptr) return DIERR_INVALIDPARAM;
  if (!formatSet_) return DIERR_NOTACQUIRED;
  const DWORD expected = kind_ == Kind::kKeyboard ? 256 : sizeof(DIMOUSESTATE);
  if (size != expected) return DIERR_INVALIDPARAM;
  HRESULT hr = CheckAcquired();
  if (FAILED(hr)) return hr;
  if (kind_ == Kind::kKeyboard) {
    std::memcpy(data, keys_.data(), 256);
  } else {
    std::memcpy(data, &mouse_, sizeof mouse_);
    mouse_.lX = mouse_.lY = mouse_.lZ = 0;  // movement is relative to the last read
  }
  return DI_OK;
}

HRESULT Device::GetDeviceData(DWORD objectDataSize, LPDIDEVICEOBJECTDATA data, LPDWORD count, DWORD flags) {
  if (count == nullptr || objectDataSize != sizeof(DIDEVICEOBJECTDATA) || (flags & ~DIGDD_PEEK))
    return DIERR_INVALIDPARAM;
  if (!formatSet_) return DIERR_NOTACQUIRED;
  if (bufferSize_ == 0) return DIERR_NOTBUFFERED;
  HRESULT hr = CheckAcquired();
  if (FAILED(hr)) {
    *count = 0;
    return hr;
  }
  const bool peek = (flags & DIGDD_PEEK) != 0;
  DWORD taken = *count < buffer_.size() ? *count : static_cast<DWORD>(buffer_.size());
  if (data != nullptr)
    for (DWORD i = 0; i < taken; ++i) data[i] = buffer_[i];
  else if (!peek && *count != 0xFFFFFFFF)
    return DIERR_INVALIDPARAM;  // without an array only a flush (count INFINITE) or a peek makes sense
  if (!peek) buffer_.erase(buffer_.begin(), buffer_.begin() + taken);
  *count = taken;
  hr = overflowed_ ? DI_BUFFEROVERFLOW : DI_OK;
  if (!peek) overflowed_ = false;
  return hr;
}

void Device::Buffer(DWORD offset, DWORD value, Uint32 timestamp) {
  if (!acquired_ || bufferSize_ == 0) return;
  // When the buffer is full the newest events are the ones lost, and the next read says so.
  if (buffer_.size() >= bufferSize_) {
    overflowed_ = true;
    return;
  }
  buffer_.push_back(DIDEVICEOBJECTDATA{offset, value, timestamp, ++g_sequence, 0});
}

void Device::OnEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      // Keys released in another program's window never reach this one: forget them all.
      if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST || event.window.event == SDL_WINDOWEVENT_MINIMIZED) {
        keys_.fill(0);
        for (BYTE& b : mouse_.rgbButtons) b = 0;
        SDL_Window* ours = win32::SdlWindowOf(window_);
        if (ours != nullptr && SDL_GetWindowID(ours) == event.window.windowID) focusLostSeen_ = true;
      }
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      if (kind_ != Kind::kKeyboard) break;
      unsigned char code = KeyCodeOf(event.key.keysym.scancode);
      if (code == 0) break;
      BYTE state = event.type == SDL_KEYDOWN ? 0x80 : 0;
      if (event.key.repeat == 0 || keys_[code] != state) Buffer(code, state, event.key.timestamp);
      keys_[code] = state;
      break;
    }
    case SDL_MOUSEMOTION:
      if (kind_ != Kind::kMouse) break;
      if (acquired_) {
        mouse_.lX += event.motion.xrel;
        mouse_.lY += event.motion.yrel;
      }
      if (event.motion.xrel != 0) Buffer(DIMOFS_X, static_cast<DWORD>(event.motion.xrel), event.motion.timestamp);
      if (event.motion.yrel != 0) Buffer(DIMOFS_Y, static_cast<DWORD>(event.motion.yrel), event.motion.timestamp);
      break;
    case SDL_MOUSEWHEEL: {
      if (kind_ != Kind::kMouse || event.wheel.y == 0) break;
      LONG notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
      const LONG delta = notches * 120;  // one notch of the wheel
      if (acquired_) mouse_.lZ += delta;
      Buffer(DIMOFS_Z, static_cast<DWORD>(delta), event.wheel.timestamp);
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      if (kind_ != Kind::kMouse) break;
      int index = event.button.button == SDL_BUTTON_LEFT     ? 0
                  : event.button.button == SDL_BUTTON_RIGHT  ? 1
                  : event.button.button == SDL_BUTTON_MIDDLE ? 2
                  : event.button.button == SDL_BUTTON_X1     ? 3
                                                             : -1;
      if (index < 0) break;
      BYTE state = event.type == SDL_MOUSEBUTTONDOWN ? 0x80 : 0;
      mouse_.rgbButtons[index] = state;
      Buffer(DIMOFS_BUTTON0 + index, state, event.button.timestamp);
      break;
    }
    default:
      break;
  }
}

}  // namespace zr::dinput8
