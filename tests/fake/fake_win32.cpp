// Win32 calls of the fake: recorded, with a small window system behind them so that window
// procedures see WM_CREATE, WM_DESTROY and dispatched messages as they would on the platform.
#include "fake_state.h"

#include <windows.h>

#include <cstring>

#include "fake_platform.h"

namespace fake::win32 {

namespace {
HWND NextHandle() { return reinterpret_cast<HWND>(Get().lastHandle += 0x10); }

LRESULT SendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto it = Get().windows.find(window);
  if (it == Get().windows.end() || it->second == nullptr) return 0;
  return it->second(window, message, wParam, lParam);
}

std::string ResourceName(LPCSTR name) {
  if (name == nullptr) return "<null>";
  if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(name));
  return name;
}
}  // namespace

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Get().queue.push_back(MSG{window, message, wParam, lParam, 0, POINT{0, 0}});
}

}  // namespace fake::win32

using fake::Platform;
namespace fw = fake::win32;

void WINAPI OutputDebugStringA(LPCSTR text) { Platform::Get().Record("OutputDebugStringA", 0, text); }

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return static_cast<int>(Platform::Get().Record("MessageBoxA", IDOK, owner, text, caption, type));
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  BOOL ok = static_cast<BOOL>(Platform::Get().Record("QueryPerformanceFrequency", TRUE));
  if (frequency != nullptr) frequency->QuadPart = ok ? fw::Get().frequency : 0;
  return ok;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
  Platform::Get().Record("QueryPerformanceCounter", TRUE);
  if (count == nullptr) return FALSE;
  count->QuadPart = fw::Get().counter;
  fw::Get().counter += fw::Get().counterStep;
  return TRUE;
}

void WINAPI Sleep(DWORD milliseconds) { Platform::Get().Record("Sleep", 0, milliseconds); }

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR destination,
                               int destinationLength) {
  Platform::Get().Record("MultiByteToWideChar", 0, codePage, flags, source, sourceLength, destinationLength);
  // Byte for wide character: enough for the ASCII names the engine converts.
  if (source == nullptr) return 0;
  int length = sourceLength == -1 ? static_cast<int>(std::strlen(source)) + 1 : sourceLength;
  if (destinationLength == 0) return length;
  if (length > destinationLength) return 0;
  for (int i = 0; i < length; ++i) destination[i] = static_cast<unsigned char>(source[i]);
  return length;
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* windowClass) {
  if (windowClass == nullptr) return static_cast<ATOM>(Platform::Get().Record("RegisterClassExA", 0, nullptr));
  ATOM atom = static_cast<ATOM>(
      Platform::Get().Record("RegisterClassExA", 0xC001, windowClass->lpszClassName, windowClass->style,
                             windowClass->cbSize, windowClass->hIcon, windowClass->hIconSm, windowClass->hCursor,
                             windowClass->hbrBackground, reinterpret_cast<std::uintptr_t>(windowClass->lpszMenuName)));
  if (atom != 0 && windowClass->lpszClassName != nullptr) fw::Get().classes[windowClass->lpszClassName] = *windowClass;
  return atom;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  HWND planned = fw::NextHandle();
  auto result =
      Platform::Get().Record("CreateWindowExA", static_cast<long long>(reinterpret_cast<uintptr_t>(planned)), exStyle,
                             className, windowName, style, x, y, width, height, parent, menu, instance, param);
  HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(result));
  if (window == nullptr) return nullptr;
  auto cls = className != nullptr ? fw::Get().classes.find(className) : fw::Get().classes.end();
  if (cls == fw::Get().classes.end()) return nullptr;
  fw::Get().windows[window] = cls->second.lpfnWndProc;
  CREATESTRUCTA create{};
  create.lpszClass = className;
  create.lpszName = windowName;
  create.style = static_cast<LONG>(style);
  if (fw::SendTo(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    fw::Get().windows.erase(window);
    return nullptr;
  }
  return window;
}

BOOL WINAPI DestroyWindow(HWND window) {
  Platform::Get().Record("DestroyWindow", TRUE, window);
  if (fw::Get().windows.count(window) == 0) return FALSE;
  fw::SendTo(window, WM_DESTROY, 0, 0);
  fw::Get().windows.erase(window);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND window) { return fw::Get().windows.count(window) != 0; }

BOOL WINAPI ShowWindow(HWND window, int command) {
  return static_cast<BOOL>(Platform::Get().Record("ShowWindow", FALSE, window, command));
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Platform::Get().Record("DefWindowProcA", 0, window, message, wParam, lParam);
  if (message == WM_CLOSE) DestroyWindow(window);
  return 0;
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT removeFlags) {
  Platform::Get().Record("PeekMessageA", 0, window, first, last, removeFlags);
  auto& state = fw::Get();
  for (auto it = state.queue.begin(); it != state.queue.end(); ++it) {
    if (window != nullptr && it->hwnd != window) continue;
    if (msg != nullptr) *msg = *it;
    if (removeFlags & PM_REMOVE) state.queue.erase(it);
    return TRUE;
  }
  if (state.quitPosted && window == nullptr) {
    if (msg != nullptr) *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(state.quitCode), 0, 0, POINT{0, 0}};
    if (removeFlags & PM_REMOVE) state.quitPosted = false;
    return TRUE;
  }
  return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  return static_cast<BOOL>(Platform::Get().Record("TranslateMessage", FALSE, msg != nullptr ? msg->message : 0u));
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  Platform::Get().Record("DispatchMessageA", 0, msg != nullptr ? msg->message : 0u);
  if (msg == nullptr) return 0;
  return fw::SendTo(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
  Platform::Get().Record("PostQuitMessage", 0, exitCode);
  fw::Get().quitPosted = true;
  fw::Get().quitCode = exitCode;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
  BOOL ok = static_cast<BOOL>(Platform::Get().Record("GetCursorPos", TRUE));
  if (ok && point != nullptr) *point = POINT{0, 0};
  return ok;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  return reinterpret_cast<HICON>(Platform::Get().Record("LoadIconA", 0x6000067, instance, fw::ResourceName(name)));
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  return reinterpret_cast<HCURSOR>(Platform::Get().Record("LoadCursorA", 0x7107F00, instance, fw::ResourceName(name)));
}

HGDIOBJ WINAPI GetStockObject(int object) {
  return reinterpret_cast<HGDIOBJ>(Platform::Get().Record("GetStockObject", 0x7200000 + object, object));
}
