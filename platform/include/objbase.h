// COM: the library's start and end, and objects made by class identifier.
#pragma once

#include "unknwn.h"
#include "windows.h"

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL 0x17

#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0L)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106L)

// Starts COM on this thread: S_OK the first time, S_FALSE when it is already started. Each
// successful call is matched by CoUninitialize.
HRESULT WINAPI CoInitialize(LPVOID reserved);
void WINAPI CoUninitialize();
// Makes an object of a known class: REGDB_E_CLASSNOTREG for an unknown class, E_NOINTERFACE when
// the class has not that interface, CO_E_NOTINITIALIZED before CoInitialize,
// CLASS_E_NOAGGREGATION for an outer object.
HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object);
