#include "Application.h"

#include <new>

#include "Game.h"
#include "GameObjects.h"
#include "errorfile/zr_ErrorException.h"

HWND mainWindow = nullptr;
int framesPerSecond = 0;
bool deviceLost = false;

namespace {

LONGLONG counterFrequency = 0;
LONGLONG lastTick = 0;
LONGLONG nowTick = 0;
float frameCount = 0.0f;

// Waits until the device can be reset, then releases, resets and restores it. Returns false,
// leaving the device lost, when the main window went away during the wait: nothing would ever
// give the device back, and the quit message that its destruction posted ends the loop.
bool RecoverDevice(MSG& msg) {
  while (graphics.TestCooperativeLevel() != 1) {
    while (PeekMessageA(&msg, mainWindow, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (!IsWindow(mainWindow)) return false;
    Sleep(100);
  }
  ReleaseGameDeviceObjects();
  graphics.RestoreObject();
  RestoreGameDeviceObjects();
  deviceLost = false;
  return true;
}

void RunFrameTimer() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  nowTick = now.QuadPart;
  const LONGLONG third = counterFrequency / 3;
  if (nowTick - lastTick > third) {
    lastTick = nowTick;
    framesPerSecond = static_cast<int>(frameCount * 3.0);
    frameCount = 0.0f;
  } else {
    frameCount = frameCount + 1.0f;
  }
}

void RunMainLoop() {
  MSG msg{};
  while (msg.message != WM_QUIT) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      continue;
    }
    if (deviceLost && !RecoverDevice(msg)) continue;
    RunFrameTimer();
    RunGameFrame();
  }
}

void Report(zr_ErrorException& report) {
  report.GenerateText();
  report.WriteErrorToLog(kErrorLogFile);
  report.DisplayError();
}

}  // namespace

void StartFrameTimer() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  lastTick = now.QuadPart;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      ShowWindow(window, SW_SHOWMAXIMIZED);
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

HWND CreateMainWindow(HINSTANCE instance) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(WNDCLASSEXA);
  windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = instance;
  // The platform's resources are loaded in this order: brush, cursor, then the icon twice.
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCE(103));
  windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCE(103));
  windowClass.lpszMenuName = MAKEINTRESOURCE(101);
  windowClass.lpszClassName = "WindowClass";
  RegisterClassExA(&windowClass);
  return CreateWindowExA(0, "WindowClass", "Velkor Editor", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_MAXIMIZE, 10, 10,
                         800, 600, nullptr, nullptr, instance, nullptr);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  mainWindow = nullptr;
  counterFrequency = lastTick = nowTick = 0;
  frameCount = 0.0f;
  framesPerSecond = 0;
  deviceLost = false;
  try {
    LARGE_INTEGER frequency;
    if (!QueryPerformanceFrequency(&frequency))
      ExceptionGameError("", 0, 13, "Frequence counter doesn't exist", true);
    counterFrequency = frequency.QuadPart;

    mainWindow = CreateMainWindow(instance);
    if (mainWindow == nullptr) {
      MessageBoxA(nullptr, "Windows can't be created.", "Error", MB_OK);
      return 0;
    }
    graphics.Init(mainWindow, false, 16, false, 1024, 768, kErrorLogFile);
    if (StartGame(instance) != 0) return 0;
    RunMainLoop();
  } catch (zr_ErrorException& report) {
    Report(report);
  } catch (std::bad_alloc&) {
    zr_ErrorException report(12, "Storage error, there isn't anough storage", 0);
    Report(report);
  }
  return 0;
}
