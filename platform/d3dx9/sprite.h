// ID3DXSprite on the GL device: textured quads in screen space through the device's quad
// batcher (platform/d3d9/quad_batch.h).
//
// - Draw places the source rectangle's texel corners c at (c - center + position) x transform,
//   the transform's 2D part (rows 1, 2 and 4; z and w are ignored); back-buffer pixels, a corner
//   on an integer position lying on a pixel edge.
// - Begin(flags): D3DXSPRITE_ALPHABLEND blends with source alpha, no blending without it;
//   D3DXSPRITE_DONOTMODIFY_RENDERSTATE blends as the device's render states say instead.
//   D3DXSPRITE_OBJECTSPACE and D3DXSPRITE_BILLBOARD (3D placement) are refused with
//   D3DERR_INVALIDCALL. DONOTSAVESTATE changes nothing: sprites never change the device's
//   states. The SORT flags are accepted and draw in call order (quads of one texture in a row
//   already share a draw call).
// - The device's alpha test and sampler 0 (filters, addressing) apply, read when the quads are
//   drawn; there is no depth test, culling or stencil.
// - Quads are held back across Draw calls and across Begin/End pairs (of this sprite and
//   others) until the device must draw them; End does not flush, Flush does. Each texture
//   drawn gets a reference until its quads are drawn, unless Begin had
//   D3DXSPRITE_DO_NOT_ADDREF_TEXTURE (a texture that goes sends them out first).
// - The device's registry: Reset is refused until OnLostDevice (which ends an open Begin);
//   OnResetDevice makes the sprite live again. A sprite holds a reference on its device.
#pragma once

#include <d3dx9.h>

namespace zr::d3d9 {
class GlDevice;
}

namespace zr::d3dx9 {

class GlSprite final : public ID3DXSprite {
 public:
  explicit GlSprite(d3d9::GlDevice* device);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetDevice(LPDIRECT3DDEVICE9* device) override;
  HRESULT STDMETHODCALLTYPE GetTransform(D3DXMATRIX* transform) override;
  HRESULT STDMETHODCALLTYPE SetTransform(const D3DXMATRIX* transform) override;
  HRESULT STDMETHODCALLTYPE Begin(DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Draw(LPDIRECT3DTEXTURE9 texture, const RECT* srcRect, const D3DXVECTOR3* center,
                                 const D3DXVECTOR3* position, D3DCOLOR color) override;
  HRESULT STDMETHODCALLTYPE Flush() override;
  HRESULT STDMETHODCALLTYPE End() override;
  HRESULT STDMETHODCALLTYPE OnLostDevice() override;
  HRESULT STDMETHODCALLTYPE OnResetDevice() override;

  bool InBegin() const { return inBegin_; }
  d3d9::GlDevice* Device() const { return device_; }

 private:
  ~GlSprite();

  ULONG refs_ = 1;
  d3d9::GlDevice* device_;
  D3DXMATRIX transform_;
  DWORD flags_ = 0;
  bool inBegin_ = false;
};

}  // namespace zr::d3dx9
