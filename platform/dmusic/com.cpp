// COM's start and end on a thread, and the classes it can make.
#include <objbase.h>

#include "objects.h"

namespace {

// CoInitialize calls not yet matched by CoUninitialize, on this thread.
thread_local int comStarts = 0;

}  // namespace

HRESULT WINAPI CoInitialize(LPVOID reserved) {
  if (reserved != nullptr) return E_INVALIDARG;
  return comStarts++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize() {
  if (comStarts > 0) --comStarts;
}

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (comStarts == 0) return CO_E_NOTINITIALIZED;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  IUnknown* made = nullptr;
  if (clsid == CLSID_DirectMusicPerformance) made = new zr::dmusic::Performance;
  else if (clsid == CLSID_DirectMusicLoader) made = new zr::dmusic::Loader;
  else if (clsid == CLSID_DirectMusicSegment) made = new zr::dmusic::Segment;
  else return REGDB_E_CLASSNOTREG;
  HRESULT hr = made->QueryInterface(iid, object);
  made->Release();  // the caller's reference, if any, is the one QueryInterface added
  return hr;
}
