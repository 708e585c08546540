// The Direct3D object and the one rendering device, with the frame operations of the main loop.
#pragma once

#include <d3d9.h>

class zr_DirectXGraphics {
 public:
  zr_DirectXGraphics();
  // Releases the device, then the Direct3D object.
  ~zr_DirectXGraphics();
  // Copies would share the device and the Direct3D object without a reference of their own and
  // release both twice.
  zr_DirectXGraphics(const zr_DirectXGraphics&) = delete;
  zr_DirectXGraphics& operator=(const zr_DirectXGraphics&) = delete;

  // Creates the device for `window`: full screen at width x height, or windowed at the window's
  // client size; depthBits 0 for no depth buffer, 16 or 32 for one of that format. Sets linear
  // filtering and an alpha test that drops pixels of alpha 0. Failures are raised as reports.
  // `logFileName` is accepted and not used.
  void Init(HWND window, bool windowed, int depthBits, bool referenceDevice, int width, int height,
            const char* logFileName);
  // The device, without a reference for the caller.
  IDirect3DDevice9* GetDevice();
  // Clears the whole back buffer when width or height is 0, else the rectangle; the depth buffer
  // too when there is one.
  void Clear(D3DCOLOR colour, int x, int y, int width, int height);
  void BeginScene();
  // Ends the scene and shows it; returns the result of the presentation (D3DERR_DEVICELOST when
  // the device is lost).
  HRESULT Present();
  // 2 while the device is lost and cannot be reset, 1 once it can, 0 otherwise.
  int TestCooperativeLevel();
  // Resets the device with the present parameters of Init.
  void RestoreObject();
  // The back buffer, with a reference that the caller releases; null on failure.
  IDirect3DSurface9* GetBackBuffer();
  // Saves what was last presented, 1024 x 768, as a Windows bitmap under exactly `fileName`.
  void CreateScreenshot(const char* fileName);

 private:
  IDirect3D9* direct3D_;
  IDirect3DDevice9* device_;
  int depthBits_;
  D3DPRESENT_PARAMETERS presentParameters_;
};
