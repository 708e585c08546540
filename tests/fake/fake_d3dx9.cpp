// D3DX calls of the fake.
#include <d3dx9.h>

#include "fake_platform.h"

HRESULT WINAPI D3DXSaveSurfaceToFileA(LPCSTR fileName, D3DXIMAGE_FILEFORMAT format, LPDIRECT3DSURFACE9 surface,
                                      const PALETTEENTRY* palette, const RECT* rect) {
  return static_cast<HRESULT>(fake::Platform::Get().Record("D3DXSaveSurfaceToFileA", D3D_OK, fileName, format,
                                                           static_cast<const void*>(surface),
                                                           static_cast<const void*>(palette),
                                                           static_cast<const void*>(rect)));
}
