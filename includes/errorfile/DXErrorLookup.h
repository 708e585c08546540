// Names and descriptions of the platform's result codes, and a trace line about one of them.
#pragma once

#include <windows.h>

// The symbolic name of a result code ("D3DERR_DEVICELOST"); names that share one value are joined
// by " & ". "Unknown" for a code the table does not hold. Never null.
const char* DXErrorName(HRESULT hr);

// A short English description of a result code; "n/a" when there is none. Never null.
const char* DXErrorDescription(HRESULT hr);

// Writes one line about `hr` to the debugger output: "file(line): ", the message and a blank, and
// "hr=NAME (0x%08x)", then a line feed. `file` and `message` may be null. With `showMessageBox`
// the line is also shown in a message box. Returns `hr`.
HRESULT DXErrorTrace(const char* file, unsigned long line, HRESULT hr, const char* message,
                     bool showMessageBox);
