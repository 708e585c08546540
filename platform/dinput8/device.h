// The system keyboard and mouse of DirectInput over SDL's events.
#pragma once

#include <SDL.h>
#include <dinput.h>

#include <array>
#include <cstdint>
#include <deque>

namespace zr::dinput8 {

class Device final : public IDirectInputDevice8A {
 public:
  enum class Kind { kKeyboard, kMouse };
  // Most events a device buffers, whatever DIPROP_BUFFERSIZE asks for.
  static constexpr DWORD kMostBufferedEvents = 65536;

  explicit Device(Kind kind);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT format) override;
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE GetProperty(REFGUID property, LPDIPROPHEADER header) override;
  HRESULT STDMETHODCALLTYPE SetProperty(REFGUID property, LPCDIPROPHEADER header) override;
  HRESULT STDMETHODCALLTYPE Acquire() override;
  HRESULT STDMETHODCALLTYPE Unacquire() override;
  HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD size, LPVOID data) override;
  HRESULT STDMETHODCALLTYPE GetDeviceData(DWORD objectDataSize, LPDIDEVICEOBJECTDATA data, LPDWORD count,
                                          DWORD flags) override;

  // An SDL event, as the event watch hands it to every device.
  void OnEvent(const SDL_Event& event);

 private:
  ~Device();
  // Fetches SDL's pending events, then finds out whether a foreground device lost its window's
  // focus since it was acquired: such a device is no longer acquired, and the read that finds
  // out fails with DIERR_INPUTLOST.
  HRESULT CheckAcquired();
  bool WindowInForeground() const;
  void Buffer(DWORD offset, DWORD value, Uint32 timestamp);
  void ForgetInput();

  ULONG refs_ = 1;
  Kind kind_;
  bool formatSet_ = false;
  HWND window_ = nullptr;
  DWORD cooperation_ = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
  bool acquired_ = false;
  std::uint64_t deactivationsSeen_ = 0;
  // The desktop said the window lost the focus before the window system heard of it.
  bool focusLostSeen_ = false;

  std::array<BYTE, 256> keys_{};
  DIMOUSESTATE mouse_{};  // movement since the last state read, buttons now

  DWORD bufferSize_ = 0;
  std::deque<DIDEVICEOBJECTDATA> buffer_;
  bool overflowed_ = false;
};

}  // namespace zr::dinput8
