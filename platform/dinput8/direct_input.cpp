// The DirectInput object and the data formats of the system keyboard and mouse.
#include <dinput.h>

#include "device.h"

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 0x2, 256, 256, nullptr};
const DIDATAFORMAT c_dfDIMouse = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 0x2, sizeof(DIMOUSESTATE), 7,
                                  nullptr};

namespace zr::dinput8 {
namespace {

class DirectInput final : public IDirectInput8A {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDirectInput8A) {
      AddRef();
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  // Devices live on their own: releasing this object leaves them working.
  HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID device, LPDIRECTINPUTDEVICE8A* created, LPUNKNOWN outer) override {
    if (created == nullptr) return DIERR_INVALIDPARAM;
    *created = nullptr;
    if (outer != nullptr) return DIERR_NOAGGREGATION;
    if (device == GUID_SysKeyboard) *created = new Device(Device::Kind::kKeyboard);
    else if (device == GUID_SysMouse) *created = new Device(Device::Kind::kMouse);
    else return DIERR_DEVICENOTREG;
    return DI_OK;
  }

 private:
  ~DirectInput() = default;
  ULONG refs_ = 1;
};

}  // namespace
}  // namespace zr::dinput8

HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID iid, LPVOID* out, LPUNKNOWN outer) {
  if (out == nullptr) return DIERR_INVALIDPARAM;
  *out = nullptr;
  if (instance == nullptr) return DIERR_INVALIDPARAM;
  if (version < DIRECTINPUT_VERSION) return DIERR_OLDDIRECTINPUTVERSION;
  if (version > DIRECTINPUT_VERSION) return DIERR_BETADIRECTINPUTVERSION;
  if (outer != nullptr) return DIERR_NOAGGREGATION;
  if (!(iid == IID_IDirectInput8A) && !(iid == IID_IUnknown)) return DIERR_NOINTERFACE;
  *out = static_cast<IDirectInput8A*>(new zr::dinput8::DirectInput);
  return DI_OK;
}
