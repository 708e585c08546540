// Windows and devices for the Direct3D 9 benchmarks, and the small things they all measure.
#pragma once

#include <SDL.h>
#include <d3d9.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace d3d9bench {

inline LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

inline HWND MakeWindow(int width, int height) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSEXA c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = Procedure;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "D3D9Bench";
    registered = RegisterClassExA(&c) != 0;
  }
  return CreateWindowExA(0, "D3D9Bench", "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, width, height, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

// A windowed device whose back buffer is the window's client area.
inline IDirect3DDevice9* MakeDevice(IDirect3D9* d3d, HWND window, UINT interval) {
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.hDeviceWindow = window;
  pp.Windowed = TRUE;
  pp.PresentationInterval = interval;
  IDirect3DDevice9* device = nullptr;
  if (d3d == nullptr ||
      d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device) !=
          D3D_OK)
    return nullptr;
  return device;
}

// A windowed device of the given back-buffer size with a 16-bit depth buffer, presenting at once,
// as the 3D benchmarks draw.
inline IDirect3DDevice9* MakeDepthDevice(IDirect3D9* d3d, HWND window, UINT width, UINT height) {
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = width;
  pp.BackBufferHeight = height;
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.hDeviceWindow = window;
  pp.Windowed = TRUE;
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D16;
  pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  IDirect3DDevice9* device = nullptr;
  if (window == nullptr || d3d == nullptr ||
      d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device) !=
          D3D_OK)
    return nullptr;
  return device;
}

inline double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Processor time of the whole process (every thread, llvmpipe's included), in seconds.
inline double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The value of "--name=value" among the arguments, or `otherwise`.
inline std::string StringOption(int argc, char** argv, const char* name, std::string otherwise) {
  std::string prefix = std::string("--") + name + "=";
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) return argv[i] + prefix.size();
  return otherwise;
}

inline double Option(int argc, char** argv, const char* name, double otherwise) {
  const std::string value = StringOption(argc, argv, name, "");
  return value.empty() ? otherwise : std::atof(value.c_str());
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : (v[(v.size() - 1) / 2] + v[v.size() / 2]) / 2;
}

// Runs this program again with `args` (null-terminated) and `environment`, and collects what it
// writes to its standard output; true when it ran and exited with 0.
inline bool SpawnAndRead(char* const* args, std::string& out, char** environment = environ) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  pid_t pid = 0;
  const bool spawned = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, args, environment) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  char buffer[256];
  ssize_t n = 0;
  while (spawned && (n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  return spawned && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline const char* VideoDriver() {
  const char* d = SDL_GetCurrentVideoDriver();
  return d != nullptr ? d : "none";
}

}  // namespace d3d9bench
