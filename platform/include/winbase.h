// Kernel services: debugger output.
#pragma once

#include "windef.h"

// Writes the text to this platform's debugger output, which is standard error.
void WINAPI OutputDebugStringA(LPCSTR text);
