// Shows one message box and prints the id of the button that closed it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  UINT type = argc > 1 ? static_cast<UINT>(std::strtoul(argv[1], nullptr, 0)) : MB_OK;
  int pressed = MessageBoxA(nullptr, "Error: 2\n\nMessage:\n\nprobe", "Probe Error", type);
  std::printf("pressed %d\n", pressed);
  return 0;
}
