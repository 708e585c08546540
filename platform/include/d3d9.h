// Direct3D 9: the Direct3D object, the device and its surfaces, as far as this program uses them.
#pragma once

#include "d3d9types.h"
#include "unknwn.h"
#include "windows.h"

#define D3D_SDK_VERSION 32
#define D3DADAPTER_DEFAULT 0

#define D3DCREATE_FPU_PRESERVE 0x00000002L
#define D3DCREATE_MULTITHREADED 0x00000004L
#define D3DCREATE_PUREDEVICE 0x00000010L
#define D3DCREATE_SOFTWARE_VERTEXPROCESSING 0x00000020L
#define D3DCREATE_HARDWARE_VERTEXPROCESSING 0x00000040L
#define D3DCREATE_MIXED_VERTEXPROCESSING 0x00000080L

#define _FACD3D 0x876
#define MAKE_D3DHRESULT(code) MAKE_HRESULT(1, _FACD3D, code)
#define MAKE_D3DSTATUS(code) MAKE_HRESULT(0, _FACD3D, code)

#define D3D_OK S_OK
#define D3DERR_WRONGTEXTUREFORMAT MAKE_D3DHRESULT(2072)
#define D3DERR_UNSUPPORTEDCOLOROPERATION MAKE_D3DHRESULT(2073)
#define D3DERR_UNSUPPORTEDCOLORARG MAKE_D3DHRESULT(2074)
#define D3DERR_UNSUPPORTEDALPHAOPERATION MAKE_D3DHRESULT(2075)
#define D3DERR_UNSUPPORTEDALPHAARG MAKE_D3DHRESULT(2076)
#define D3DERR_TOOMANYOPERATIONS MAKE_D3DHRESULT(2077)
#define D3DERR_CONFLICTINGTEXTUREFILTER MAKE_D3DHRESULT(2078)
#define D3DERR_UNSUPPORTEDFACTORVALUE MAKE_D3DHRESULT(2079)
#define D3DERR_CONFLICTINGRENDERSTATE MAKE_D3DHRESULT(2081)
#define D3DERR_UNSUPPORTEDTEXTUREFILTER MAKE_D3DHRESULT(2082)
#define D3DERR_CONFLICTINGTEXTUREPALETTE MAKE_D3DHRESULT(2086)
#define D3DERR_DRIVERINTERNALERROR MAKE_D3DHRESULT(2087)
#define D3DERR_NOTFOUND MAKE_D3DHRESULT(2150)
#define D3DERR_MOREDATA MAKE_D3DHRESULT(2151)
#define D3DERR_DEVICELOST MAKE_D3DHRESULT(2152)
#define D3DERR_DEVICENOTRESET MAKE_D3DHRESULT(2153)
#define D3DERR_NOTAVAILABLE MAKE_D3DHRESULT(2154)
#define D3DERR_OUTOFVIDEOMEMORY MAKE_D3DHRESULT(380)
#define D3DERR_INVALIDDEVICE MAKE_D3DHRESULT(2155)
#define D3DERR_INVALIDCALL MAKE_D3DHRESULT(2156)
#define D3DERR_DRIVERINVALIDCALL MAKE_D3DHRESULT(2157)
#define D3DERR_WASSTILLDRAWING MAKE_D3DHRESULT(540)
#define D3DOK_NOAUTOGEN MAKE_D3DSTATUS(2159)

struct IDirect3D9;
struct IDirect3DDevice9;
struct IDirect3DSurface9;
struct IDirect3DVertexBuffer9;
struct IDirect3DIndexBuffer9;

struct IDirect3D9 : public IUnknown {
  STDMETHOD_(UINT, GetAdapterCount)() PURE;
  STDMETHOD(GetAdapterDisplayMode)(UINT adapter, D3DDISPLAYMODE* mode) PURE;
  // Creates the device that draws into `focusWindow` (or the present parameters' window).
  STDMETHOD(CreateDevice)(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                          D3DPRESENT_PARAMETERS* presentationParameters, IDirect3DDevice9** device) PURE;
};

struct IDirect3DResource9 : public IUnknown {
  STDMETHOD(GetDevice)(IDirect3DDevice9** device) PURE;
  STDMETHOD_(D3DRESOURCETYPE, GetType)() PURE;
};

struct IDirect3DSurface9 : public IDirect3DResource9 {
  STDMETHOD(GetDesc)(D3DSURFACE_DESC* desc) PURE;
  STDMETHOD(LockRect)(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) PURE;
  STDMETHOD(UnlockRect)() PURE;
};

struct IDirect3DBaseTexture9 : public IDirect3DResource9 {
  STDMETHOD_(DWORD, GetLevelCount)() PURE;
};

// A texture: one surface per mip level, level 0 the largest.
struct IDirect3DTexture9 : public IDirect3DBaseTexture9 {
  STDMETHOD(GetLevelDesc)(UINT level, D3DSURFACE_DESC* desc) PURE;
  STDMETHOD(LockRect)(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) PURE;
  STDMETHOD(UnlockRect)(UINT level) PURE;
};

// Vertices for DrawPrimitive and DrawIndexedPrimitive, bound with SetStreamSource. Lock with
// offset and size 0 locks the whole buffer.
struct IDirect3DVertexBuffer9 : public IDirect3DResource9 {
  STDMETHOD(Lock)(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags) PURE;
  STDMETHOD(Unlock)() PURE;
  STDMETHOD(GetDesc)(D3DVERTEXBUFFER_DESC* desc) PURE;
};

// 16- or 32-bit indices for DrawIndexedPrimitive, bound with SetIndices.
struct IDirect3DIndexBuffer9 : public IDirect3DResource9 {
  STDMETHOD(Lock)(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags) PURE;
  STDMETHOD(Unlock)() PURE;
  STDMETHOD(GetDesc)(D3DINDEXBUFFER_DESC* desc) PURE;
};

struct IDirect3DDevice9 : public IUnknown {
  // D3D_OK while the device works; D3DERR_DEVICELOST while it is lost and cannot be reset yet;
  // D3DERR_DEVICENOTRESET once Reset can bring it back.
  STDMETHOD(TestCooperativeLevel)() PURE;
  STDMETHOD(GetDirect3D)(IDirect3D9** direct3D) PURE;
  // Fails with D3DERR_INVALIDCALL while a resource of D3DPOOL_DEFAULT or a D3DX object that was
  // not told OnLostDevice is alive.
  STDMETHOD(Reset)(D3DPRESENT_PARAMETERS* presentationParameters) PURE;
  STDMETHOD(Present)(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                     const RGNDATA* dirtyRegion) PURE;
  // Adds a reference to the surface for the caller.
  STDMETHOD(GetBackBuffer)(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                           IDirect3DSurface9** surface) PURE;
  // Copies what was last presented into a D3DFMT_A8R8G8B8 surface of D3DPOOL_SYSTEMMEM.
  STDMETHOD(GetFrontBufferData)(UINT swapChain, IDirect3DSurface9* destSurface) PURE;
  STDMETHOD(CreateOffscreenPlainSurface)(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                         IDirect3DSurface9** surface, HANDLE* sharedHandle) PURE;
  STDMETHOD(BeginScene)() PURE;
  STDMETHOD(EndScene)() PURE;
  STDMETHOD(Clear)(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) PURE;
  STDMETHOD(SetViewport)(const D3DVIEWPORT9* viewport) PURE;
  STDMETHOD(GetViewport)(D3DVIEWPORT9* viewport) PURE;
  STDMETHOD(SetRenderState)(D3DRENDERSTATETYPE state, DWORD value) PURE;
  STDMETHOD(GetRenderState)(D3DRENDERSTATETYPE state, DWORD* value) PURE;
  STDMETHOD(SetSamplerState)(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) PURE;
  STDMETHOD(GetSamplerState)(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) PURE;
  // A texture of `levels` mip levels (0: a full chain down to 1x1). A D3DPOOL_DEFAULT texture
  // counts as a resource that Reset refuses to run over.
  STDMETHOD(CreateTexture)(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                           IDirect3DTexture9** texture, HANDLE* sharedHandle) PURE;
  // Binds a texture (null: none) to the texture stage `stage`.
  STDMETHOD(SetTexture)(DWORD stage, IDirect3DBaseTexture9* texture) PURE;
  // The texture bound to `stage`, with a reference for the caller (null when none is).
  STDMETHOD(GetTexture)(DWORD stage, IDirect3DBaseTexture9** texture) PURE;
  // World, view, projection and texture transforms; identity after creation and Reset.
  STDMETHOD(SetTransform)(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) PURE;
  STDMETHOD(GetTransform)(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) PURE;
  // Lights by index; enabling one never set makes it a white directional light along +z.
  STDMETHOD(SetLight)(DWORD index, const D3DLIGHT9* light) PURE;
  STDMETHOD(GetLight)(DWORD index, D3DLIGHT9* light) PURE;
  STDMETHOD(LightEnable)(DWORD index, BOOL enable) PURE;
  STDMETHOD(GetLightEnable)(DWORD index, BOOL* enable) PURE;

  // --- Vertex and index buffers and the fixed-function pipeline ---
  // `length` bytes; with a nonzero `fvf`, room for one vertex at least. A D3DPOOL_DEFAULT
  // buffer counts as a resource that Reset refuses to run over.
  STDMETHOD(CreateVertexBuffer)(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                IDirect3DVertexBuffer9** vertexBuffer, HANDLE* sharedHandle) PURE;
  // `format` is D3DFMT_INDEX16 or D3DFMT_INDEX32.
  STDMETHOD(CreateIndexBuffer)(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                               IDirect3DIndexBuffer9** indexBuffer, HANDLE* sharedHandle) PURE;
  // The flexible vertex format (D3DFVF_*) of the vertices drawn; 0 after creation and Reset.
  STDMETHOD(SetFVF)(DWORD fvf) PURE;
  STDMETHOD(GetFVF)(DWORD* fvf) PURE;
  // Binds a vertex buffer (null: none) to a stream, its first vertex `offset` bytes in and
  // the next one `stride` bytes further.
  STDMETHOD(SetStreamSource)(UINT streamNumber, IDirect3DVertexBuffer9* streamData, UINT offsetInBytes,
                             UINT stride) PURE;
  // The buffer bound to a stream, with a reference for the caller (null when none is).
  STDMETHOD(GetStreamSource)(UINT streamNumber, IDirect3DVertexBuffer9** streamData, UINT* offsetInBytes,
                             UINT* stride) PURE;
  STDMETHOD(SetIndices)(IDirect3DIndexBuffer9* indexData) PURE;
  // The index buffer bound, with a reference for the caller (null when none is).
  STDMETHOD(GetIndices)(IDirect3DIndexBuffer9** indexData) PURE;
  // Draws `primitiveCount` primitives from the vertices of stream 0, from `startVertex` on.
  STDMETHOD(DrawPrimitive)(D3DPRIMITIVETYPE primitiveType, UINT startVertex, UINT primitiveCount) PURE;
  // Draws `primitiveCount` primitives whose indices start at `startIndex` in the index buffer;
  // each index counts from vertex `baseVertexIndex` of stream 0. The indices used lie in
  // minVertexIndex .. minVertexIndex + numVertices - 1.
  STDMETHOD(DrawIndexedPrimitive)(D3DPRIMITIVETYPE primitiveType, INT baseVertexIndex, UINT minVertexIndex,
                                  UINT numVertices, UINT startIndex, UINT primitiveCount) PURE;
  // The material that lighting uses; all zero after creation and Reset.
  STDMETHOD(SetMaterial)(const D3DMATERIAL9* material) PURE;
  STDMETHOD(GetMaterial)(D3DMATERIAL9* material) PURE;
  // Texture stage states of stages 0 to 7.
  STDMETHOD(SetTextureStageState)(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) PURE;
  STDMETHOD(GetTextureStageState)(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) PURE;
};

typedef IDirect3D9* LPDIRECT3D9;
typedef IDirect3DDevice9* LPDIRECT3DDEVICE9;
typedef IDirect3DSurface9* LPDIRECT3DSURFACE9;
typedef IDirect3DBaseTexture9* LPDIRECT3DBASETEXTURE9;
typedef IDirect3DTexture9* LPDIRECT3DTEXTURE9;
typedef IDirect3DVertexBuffer9* LPDIRECT3DVERTEXBUFFER9;
typedef IDirect3DIndexBuffer9* LPDIRECT3DINDEXBUFFER9;

// The Direct3D object, or null when `sdkVersion` is not D3D_SDK_VERSION. Whether a device can
// be made (an OpenGL 3.3 core context for its window) shows in CreateDevice.
IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion);

inline constexpr IID IID_IDirect3D9 = {0x81BDCBCA, 0x64D4, 0x426D, {0xAE, 0x8D, 0xAD, 0x01, 0x47, 0xF4, 0x27, 0x5C}};
inline constexpr IID IID_IDirect3DDevice9 = {0xD0223B96, 0xBF7A, 0x43FD, {0x92, 0xBD, 0xA4, 0x3B, 0x0D, 0x82, 0xB9, 0xEB}};
inline constexpr IID IID_IDirect3DBaseTexture9 = {0x580CA87E, 0x1D3C, 0x4D54, {0x99, 0x1D, 0xB7, 0xD3, 0xE3, 0xC2, 0x98, 0xCE}};
inline constexpr IID IID_IDirect3DTexture9 = {0x85C31227, 0x3DE5, 0x4F00, {0x9B, 0x3A, 0xF1, 0x1A, 0xC3, 0x8C, 0x18, 0xB5}};
inline constexpr IID IID_IDirect3DVertexBuffer9 = {0xB64BB1B5, 0xFD70, 0x4DF6, {0xBF, 0x91, 0x19, 0xD0, 0xA1, 0x24, 0x55, 0xE3}};
inline constexpr IID IID_IDirect3DIndexBuffer9 = {0x7C9DD65E, 0xD3F7, 0x4529, {0xAC, 0xEE, 0x78, 0x58, 0x30, 0xAC, 0xDE, 0x35}};
inline constexpr IID IID_IDirect3DSurface9 = {0x0CFBAF3A, 0x9FF6, 0x429A, {0x99, 0xB3, 0xA2, 0x79, 0x6A, 0xF8, 0xB8, 0x9B}};
