// D3DX 9 sprites and fonts.
#pragma once

#include "d3d9.h"
#include "d3dx9math.h"

// ID3DXSprite::Begin flags.
#define D3DXSPRITE_DONOTSAVESTATE (1 << 0)
#define D3DXSPRITE_DONOTMODIFY_RENDERSTATE (1 << 1)
#define D3DXSPRITE_OBJECTSPACE (1 << 2)
#define D3DXSPRITE_BILLBOARD (1 << 3)
#define D3DXSPRITE_ALPHABLEND (1 << 4)
#define D3DXSPRITE_SORT_TEXTURE (1 << 5)
#define D3DXSPRITE_SORT_DEPTH_FRONTTOBACK (1 << 6)
#define D3DXSPRITE_SORT_DEPTH_BACKTOFRONT (1 << 7)
#define D3DXSPRITE_DO_NOT_ADDREF_TEXTURE (1 << 8)

// Draws textured rectangles in screen space. Between Begin and End, each Draw places a texture
// (or the part of it that `srcRect` names) with its `center` at `position` (the origin when
// null), transformed by the sprite's transform, and modulated by `color`.
struct ID3DXSprite : public IUnknown {
  STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9* device) PURE;
  STDMETHOD(GetTransform)(D3DXMATRIX* transform) PURE;
  STDMETHOD(SetTransform)(const D3DXMATRIX* transform) PURE;
  STDMETHOD(Begin)(DWORD flags) PURE;
  // D3DERR_INVALIDCALL for a null texture or outside Begin / End.
  STDMETHOD(Draw)(LPDIRECT3DTEXTURE9 texture, const RECT* srcRect, const D3DXVECTOR3* center,
                  const D3DXVECTOR3* position, D3DCOLOR color) PURE;
  STDMETHOD(Flush)() PURE;
  STDMETHOD(End)() PURE;
  STDMETHOD(OnLostDevice)() PURE;
  STDMETHOD(OnResetDevice)() PURE;
};
typedef ID3DXSprite* LPD3DXSPRITE;

HRESULT WINAPI D3DXCreateSprite(LPDIRECT3DDEVICE9 device, LPD3DXSPRITE* sprite);

#define LF_FACESIZE 32

typedef struct _D3DXFONT_DESCA {
  INT Height;
  UINT Width;
  UINT Weight;
  UINT MipLevels;
  BOOL Italic;
  BYTE CharSet;
  BYTE OutputPrecision;
  BYTE Quality;
  BYTE PitchAndFamily;
  CHAR FaceName[LF_FACESIZE];
} D3DXFONT_DESCA;

// Draws text. DrawTextA with DT_CALCRECT measures instead: it sets the rectangle's right and
// bottom so that it bounds the text and draws nothing. Returns the height of the text drawn or
// measured, 0 on failure. `count` -1 means a NUL-terminated text.
struct ID3DXFont : public IUnknown {
  STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9* device) PURE;
  STDMETHOD(GetDescA)(D3DXFONT_DESCA* desc) PURE;
  STDMETHOD_(INT, DrawTextA)(LPD3DXSPRITE sprite, LPCSTR text, INT count, LPRECT rect, DWORD format,
                             D3DCOLOR color) PURE;
  STDMETHOD(OnLostDevice)() PURE;
  STDMETHOD(OnResetDevice)() PURE;
};
typedef ID3DXFont* LPD3DXFONT;

HRESULT WINAPI D3DXCreateFontIndirectA(LPDIRECT3DDEVICE9 device, const D3DXFONT_DESCA* desc, LPD3DXFONT* font);
