// ID3DXSprite on the GL device: textured quads in screen space through the device's quad
// batcher (platform/d3d9/quad_batch.h).
//
// - Draw places the source rectangle's texel corners c at (c - center + position) x transform,
//   the transform's 2D part (rows 1, 2 and 4; z and w are ignored); back-buffer pixels, a corner
//   on an integer position lying on a pixel edge.
// - Begin(flags) sets the device up for sprites as ID3DXSprite::Begin's documentation lists it
//   (SpriteStates below): clamped, linearly filtered sampler 0, texture times colour, no
//   lighting, culling, fog or stencil, all colour channels written; with D3DXSPRITE_ALPHABLEND
//   blending with source alpha and the alpha test that drops alpha 0, without it neither. End
//   puts back the states Begin found. D3DXSPRITE_DONOTMODIFY_RENDERSTATE leaves the device's
//   states as the caller set them; D3DXSPRITE_DONOTSAVESTATE makes End leave them as they are.
//   D3DXSPRITE_OBJECTSPACE and D3DXSPRITE_BILLBOARD (3D placement) are refused with
//   D3DERR_INVALIDCALL. The SORT flags are accepted and draw in call order (quads of one texture
//   in a row already share a draw call).
// - Each quad is drawn with the device's states as they are at its Draw (filters, addressing,
//   blending, alpha test, colour writes); there is no depth test, culling or stencil, and the
//   texture stage states are not read.
// - Quads are held back across Draw calls and across Begin/End pairs (of this sprite and
//   others) until the device must draw them; End does not flush, Flush does. Each texture
//   drawn gets a reference until its quads are drawn, unless Begin had
//   D3DXSPRITE_DO_NOT_ADDREF_TEXTURE (a texture that goes then takes its quads with it, undrawn).
//   Releasing the sprite draws nothing.
// - The device's registry: Reset is refused until OnLostDevice (which ends an open Begin);
//   OnResetDevice makes the sprite live again. A sprite holds a reference on its device.
#pragma once

#include <d3dx9.h>

#include <array>
#include <cstddef>

namespace zr::d3d9 {
class GlDevice;
}

namespace zr::d3dx9 {

// The device states that ID3DXSprite::Begin sets for drawing sprites, with the values its
// documentation gives (caps-dependent ones as this device's: alpha test on, linear filters): what
// Begin saves and End puts back. Text drawn without a sprite of the caller's goes through the same.
class SpriteStates {
 public:
  static constexpr std::size_t kRender = 25, kStage = 10, kSampler = 9;
  // Takes the states as the device has them now.
  void Save(const d3d9::GlDevice& device);
  // Gives them back to the device.
  void Restore(d3d9::GlDevice& device) const;
  // Sets the sprites' states; `alphaBlend` (D3DXSPRITE_ALPHABLEND) turns blending and the alpha
  // test on.
  static void Set(d3d9::GlDevice& device, bool alphaBlend);

 private:
  std::array<DWORD, kRender> render_{};
  std::array<DWORD, kStage> stage_{};
  std::array<DWORD, kSampler> sampler_{};
};

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
  SpriteStates saved_;  // what Begin found, unless D3DXSPRITE_DONOTSAVESTATE
};

}  // namespace zr::d3dx9
