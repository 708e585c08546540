// Debugger output. This platform's debugger reads standard error.
#include <windows.h>

#include <cstdio>

void WINAPI OutputDebugStringA(LPCSTR text) {
  if (text == nullptr) return;
  std::fputs(text, stderr);
  std::fflush(stderr);
}
