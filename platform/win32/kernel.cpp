// Time, sleeping, the program's module, character conversion and the last error.
#include <windows.h>

#include <cerrno>
#include <ctime>

namespace {
thread_local DWORD g_lastError = 0;
}

DWORD WINAPI GetLastError() { return g_lastError; }
void WINAPI SetLastError(DWORD error) { g_lastError = error; }

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (frequency == nullptr) return FALSE;
  frequency->QuadPart = 1'000'000'000;
  return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (count == nullptr) return FALSE;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  count->QuadPart = static_cast<LONGLONG>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
  return TRUE;
}

void WINAPI Sleep(DWORD milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1'000'000};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  // The program's own image, as the platform loads it; other modules are not known here.
  if (name != nullptr) return nullptr;
  return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x400000));
}

namespace {

// Decodes one UTF-8 sequence at `s` (of `n` bytes); returns its length, or 0 when invalid.
int DecodeUtf8(const unsigned char* s, int n, char32_t* out) {
  unsigned char c = s[0];
  int length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  if (length == 0 || length > n) return 0;
  char32_t value = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
  for (int i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (s[i] & 0x3F);
  }
  static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *out = value;
  return length;
}

}  // namespace

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR destination,
                               int destinationLength) {
  if (source == nullptr || sourceLength == 0 || sourceLength < -1 || destinationLength < 0 ||
      (destinationLength > 0 && destination == nullptr) || (codePage != CP_ACP && codePage != CP_UTF8)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(source);
  int length = sourceLength;
  if (length == -1) {
    length = 0;
    while (bytes[length] != 0) ++length;
    ++length;  // the terminator is converted too
  }
  int written = 0;
  for (int i = 0; i < length;) {
    char32_t value = 0;
    int used = DecodeUtf8(bytes + i, length - i, &value);
    if (used == 0) {
      if (flags & MB_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      value = 0xFFFD;
      used = 1;
    }
    if (destinationLength > 0) {
      if (written >= destinationLength) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
      destination[written] = static_cast<WCHAR>(value);
    }
    ++written;
    i += used;
  }
  return written;
}
