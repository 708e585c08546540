// Kernel services: debugger output, the performance counter, sleeping, modules and character
// conversion.
#pragma once

#include "windef.h"

// Writes the text to this platform's debugger output, which is standard error.
void WINAPI OutputDebugStringA(LPCSTR text);

// A monotonic clock with nanosecond resolution: the frequency is 1,000,000,000 ticks per second.
BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency);
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count);

// Suspends the calling thread for at least the given number of milliseconds.
void WINAPI Sleep(DWORD milliseconds);

// The program's own module when `name` is null.
HMODULE WINAPI GetModuleHandleA(LPCSTR name);

#define CP_ACP 0
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define ERROR_NO_UNICODE_TRANSLATION 1113L

// Converts narrow text to wide text. The narrow code page is UTF-8 here (CP_ACP and CP_UTF8
// alike). With `sourceLength` -1 the source is null-terminated and the terminator is converted
// too. With `destinationLength` 0 it returns the number of wide characters needed; otherwise it
// writes at most `destinationLength` of them and returns 0 (ERROR_INSUFFICIENT_BUFFER) when they
// do not fit. Invalid sequences become U+FFFD, or fail with MB_ERR_INVALID_CHARS.
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR destination,
                               int destinationLength);

// The last error code of the calling thread, as the functions above set it.
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD error);
