// D3DXGetImageInfoFromFileA on the image file reader. Results as ReadImageInfo (image_file.h):
// a file that cannot be opened is HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), bad data
// D3DXERR_INVALIDDATA, a null argument D3DERR_INVALIDCALL; `srcInfo` is written only on success.
#include <d3dx9.h>

#include "image_file.h"

HRESULT WINAPI D3DXGetImageInfoFromFileA(LPCSTR srcFile, D3DXIMAGE_INFO* srcInfo) {
  return zr::d3dx9::ReadImageInfo(srcFile, srcInfo);
}
