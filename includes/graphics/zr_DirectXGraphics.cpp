#include "graphics/zr_DirectXGraphics.h"

#include <d3dx9.h>

#include <cstring>

#include "errorfile/zr_ErrorException.h"

zr_DirectXGraphics::zr_DirectXGraphics() : direct3D_(nullptr), device_(nullptr), depthBits_(0) {}

zr_DirectXGraphics::~zr_DirectXGraphics() {
  if (device_ != nullptr) {
    device_->Release();
    device_ = nullptr;
  }
  if (direct3D_ != nullptr) {
    direct3D_->Release();
    direct3D_ = nullptr;
  }
}

void zr_DirectXGraphics::Init(HWND window, bool windowed, int depthBits, bool referenceDevice, int width, int height,
                              const char*) {
  direct3D_ = Direct3DCreate9(D3D_SDK_VERSION);
  if (direct3D_ == nullptr) ExceptionGameError("", 0, 1, "Error, can't create a D3D Object.", true);

  std::memset(&presentParameters_, 0, sizeof presentParameters_);
  presentParameters_.SwapEffect = D3DSWAPEFFECT_DISCARD;
  presentParameters_.hDeviceWindow = window;
  presentParameters_.Windowed = windowed ? TRUE : FALSE;
  presentParameters_.BackBufferFormat = D3DFMT_A8R8G8B8;
  if (depthBits != 0) {
    depthBits_ = depthBits;
    presentParameters_.EnableAutoDepthStencil = TRUE;
    if (depthBits == 16) presentParameters_.AutoDepthStencilFormat = D3DFMT_D16;
    if (depthBits == 32) presentParameters_.AutoDepthStencilFormat = D3DFMT_D32;
  }
  if (!windowed) {
    presentParameters_.BackBufferWidth = static_cast<UINT>(width);
    presentParameters_.BackBufferHeight = static_cast<UINT>(height);
  }

  D3DDEVTYPE type = D3DDEVTYPE_HAL;
  if (referenceDevice) {
    type = D3DDEVTYPE_REF;
    ExceptionGameError("", 0, 11, "Starting DirectGraphics, in Reference Device Mode", false);
  }
  HRESULT hr = direct3D_->CreateDevice(D3DADAPTER_DEFAULT, type, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                       &presentParameters_, &device_);
  DXTestForError(hr, "Error by creating a Device", 2, true);

  static const D3DSAMPLERSTATETYPE kFilters[] = {D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER, D3DSAMP_MIPFILTER};
  for (D3DSAMPLERSTATETYPE filter : kFilters)
    DXTestForError(device_->SetSamplerState(0, filter, D3DTEXF_LINEAR), "Error by setting sample state", 15, true);

  DXTestForError(device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE), "Error by setting render state", 14, true);
  DXTestForError(device_->SetRenderState(D3DRS_ALPHAREF, 1), "Error by setting render state", 14, true);
  DXTestForError(device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL), "Error by setting render state", 14,
                 true);
}

IDirect3DDevice9* zr_DirectXGraphics::GetDevice() { return device_; }

void zr_DirectXGraphics::Clear(D3DCOLOR colour, int x, int y, int width, int height) {
  if (device_ == nullptr) return;
  const DWORD flags = depthBits_ != 0 ? D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER : D3DCLEAR_TARGET;
  const float z = depthBits_ != 0 ? 1.0f : 0.0f;
  if (width == 0 || height == 0) {
    device_->Clear(0, nullptr, flags, colour, z, 0);
    return;
  }
  D3DRECT rect{x, y, x + width, y + height};
  device_->Clear(1, &rect, flags, colour, z, 0);
}

void zr_DirectXGraphics::BeginScene() {
  if (device_ != nullptr) device_->BeginScene();
}

HRESULT zr_DirectXGraphics::Present() {
  if (device_ == nullptr) return D3DERR_INVALIDCALL;
  device_->EndScene();
  return device_->Present(nullptr, nullptr, nullptr, nullptr);
}

int zr_DirectXGraphics::TestCooperativeLevel() {
  if (device_ == nullptr) return 0;
  HRESULT hr = device_->TestCooperativeLevel();
  if (hr == D3DERR_DEVICELOST) return 2;
  if (hr == D3DERR_DEVICENOTRESET) return 1;
  if (hr == D3DERR_DRIVERINTERNALERROR) ExceptionGameError("", 0, 0, "Internal error -shuting down", true);
  return 0;
}

void zr_DirectXGraphics::RestoreObject() {
  if (device_ != nullptr) device_->Reset(&presentParameters_);
}

IDirect3DSurface9* zr_DirectXGraphics::GetBackBuffer() {
  if (device_ == nullptr) return nullptr;
  IDirect3DSurface9* surface = nullptr;
  if (FAILED(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface))) return nullptr;
  return surface;
}

void zr_DirectXGraphics::CreateScreenshot(const char* fileName) {
  if (device_ == nullptr) return;
  IDirect3DSurface9* surface = nullptr;
  device_->CreateOffscreenPlainSurface(1024, 768, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &surface, nullptr);
  if (surface == nullptr) return;
  device_->GetFrontBufferData(0, surface);
  D3DXSaveSurfaceToFileA(fileName, D3DXIFF_BMP, surface, nullptr, nullptr);
  surface->Release();
}
