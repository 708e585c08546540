// DirectInput 8 of the fake: calls recorded as "IDirectInput8A::Method" and
// "IDirectInputDevice8A::Method" (the keyboard's and the mouse's both under that name, with the
// device as first argument: "keyboard" or "mouse").
#include "fake_state.h"

#include <cstring>
#include <string>

#include "fake_com.h"

namespace fake::dinput8 {

namespace {

std::string GuidName(REFGUID guid) { return guid == DIPROP_BUFFERSIZE ? "DIPROP_BUFFERSIZE" : "other"; }

class Device final : public Counted<IDirectInputDevice8A> {
 public:
  explicit Device(bool keyboard) : Counted("IDirectInputDevice8A"), which_(keyboard ? "keyboard" : "mouse") {}

  HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT format) override {
    return Call("SetDataFormat", DI_OK, which_, format);
  }
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override {
    return Call("SetCooperativeLevel", DI_OK, which_, window, flags);
  }
  FAKE_NOT_MODELLED(GetProperty, REFGUID, LPDIPROPHEADER)
  HRESULT STDMETHODCALLTYPE SetProperty(REFGUID property, LPCDIPROPHEADER header) override {
    if (header == nullptr) return Call("SetProperty", DIERR_INVALIDPARAM, which_, GuidName(property), nullptr);
    DWORD value = header->dwSize >= sizeof(DIPROPDWORD) ? reinterpret_cast<const DIPROPDWORD*>(header)->dwData : 0;
    return Call("SetProperty", DI_OK, which_, GuidName(property), header->dwSize, header->dwHeaderSize, header->dwObj,
                header->dwHow, value);
  }
  HRESULT STDMETHODCALLTYPE Acquire() override { return Call("Acquire", DI_OK, which_); }
  HRESULT STDMETHODCALLTYPE Unacquire() override { return Call("Unacquire", DI_OK, which_); }
  HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD size, LPVOID data) override {
    HRESULT hr = Call("GetDeviceState", DI_OK, which_, size);
    bool deliver = SUCCEEDED(hr) || Get().failedReadsDeliver;
    if (deliver && which_ == "keyboard" && data != nullptr && size == 256) std::memcpy(data, Get().keys.data(), 256);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetDeviceData(DWORD objectDataSize, LPDIDEVICEOBJECTDATA data, LPDWORD count,
                                          DWORD flags) override {
    HRESULT hr = Call("GetDeviceData", DI_OK, which_, objectDataSize, count != nullptr ? *count : 0u, flags);
    if (count == nullptr) return hr;
    DWORD taken = 0;
    auto& events = Get().mouseEvents;
    bool deliver = SUCCEEDED(hr) || Get().failedReadsDeliver;
    while (deliver && which_ == "mouse" && data != nullptr && taken < *count && !events.empty()) {
      data[taken++] = events.front();
      events.pop_front();
    }
    *count = taken;
    return hr;
  }

 private:
  std::string which_;
};

class DirectInput final : public Counted<IDirectInput8A> {
 public:
  DirectInput() : Counted("IDirectInput8A") {}
  HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID device, LPDIRECTINPUTDEVICE8A* created, LPUNKNOWN outer) override {
    HRESULT hr = Call("CreateDevice", DI_OK, device == GUID_SysKeyboard ? "keyboard" : "mouse", outer);
    if (created != nullptr) *created = SUCCEEDED(hr) ? new Device(device == GUID_SysKeyboard) : nullptr;
    return hr;
  }
};

}  // namespace

void AddMouseEvent(DWORD offset, LONG value) {
  Get().mouseEvents.push_back(DIDEVICEOBJECTDATA{offset, static_cast<DWORD>(value), 0, ++Get().sequence, 0});
}

}  // namespace fake::dinput8

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 0x2, 256, 256, nullptr};
const DIDATAFORMAT c_dfDIMouse = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 0x2, sizeof(DIMOUSESTATE), 7,
                                  nullptr};

HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID, LPVOID* out, LPUNKNOWN outer) {
  HRESULT hr = fake::Hr("DirectInput8Create", DI_OK, instance, version, outer);
  if (out != nullptr) *out = SUCCEEDED(hr) ? static_cast<IDirectInput8A*>(new fake::dinput8::DirectInput) : nullptr;
  return hr;
}
