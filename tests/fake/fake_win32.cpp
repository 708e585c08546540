// Win32 calls of the fake.
#include <windows.h>

#include "fake_platform.h"

void WINAPI OutputDebugStringA(LPCSTR text) { fake::Platform::Get().Record("OutputDebugStringA", 0, text); }

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return static_cast<int>(
      fake::Platform::Get().Record("MessageBoxA", IDOK, static_cast<const void*>(owner), text, caption, type));
}
