// D3DX of the fake: sprites, fonts, textures from image files and saving surfaces. Calls are
// recorded as "Interface::Method" or by function name; results as a test chooses them.
#include "fake_state.h"

#include <cstring>
#include <string>

#include "fake_com.h"

namespace fake::d3dx9 {

namespace {

std::string Vector(const D3DXVECTOR3* v) {
  if (v == nullptr) return "<null>";
  return Arg(static_cast<double>(v->x)) + "," + Arg(static_cast<double>(v->y)) + "," + Arg(static_cast<double>(v->z));
}

// A texture made from an image file; its AddRef and Release are recorded with the file's name.
class Texture final : public Counted<IDirect3DTexture9> {
 public:
  explicit Texture(std::string file) : Counted("IDirect3DTexture9", file), file_(std::move(file)) {}
  const std::string& File() const { return file_; }

  FAKE_NOT_MODELLED(GetDevice, IDirect3DDevice9**)
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD STDMETHODCALLTYPE GetLevelCount() override { return 1; }
  FAKE_NOT_MODELLED(GetLevelDesc, UINT, D3DSURFACE_DESC*)
  FAKE_NOT_MODELLED(LockRect, UINT, D3DLOCKED_RECT*, const RECT*, DWORD)
  FAKE_NOT_MODELLED(UnlockRect, UINT)

 private:
  std::string file_;
};

// What a test sees of a texture: the file it was made from.
std::string TextureName(IDirect3DTexture9* texture) {
  if (texture == nullptr) return "<null>";
  auto* ours = dynamic_cast<Texture*>(texture);
  return ours != nullptr ? ours->File() : "ptr";
}

// Sprites are numbered in the order they are made (from 1 after a Reset); every call names its
// sprite by that number first.
class Sprite final : public Counted<ID3DXSprite> {
 public:
  Sprite() : Counted("ID3DXSprite", "#" + std::to_string(++Get().spritesMade)) {}

  HRESULT STDMETHODCALLTYPE SetTransform(const D3DXMATRIX* transform) override {
    if (transform != nullptr) Get().lastSpriteTransform = *transform;
    return Call("SetTransform", transform != nullptr ? D3D_OK : D3DERR_INVALIDCALL, label_, transform);
  }
  HRESULT STDMETHODCALLTYPE Begin(DWORD flags) override { return Call("Begin", D3D_OK, label_, flags); }
  // As on the platform, a sprite cannot be drawn without a texture.
  HRESULT STDMETHODCALLTYPE Draw(LPDIRECT3DTEXTURE9 texture, const RECT* source, const D3DXVECTOR3* center,
                                 const D3DXVECTOR3* position, D3DCOLOR color) override {
    Get().lastSpriteCentre = center != nullptr ? *center : D3DXVECTOR3(0, 0, 0);
    Get().lastSpritePosition = position != nullptr ? *position : D3DXVECTOR3(0, 0, 0);
    return Call("Draw", texture != nullptr ? D3D_OK : D3DERR_INVALIDCALL, label_, TextureName(texture), Rect(source),
                Vector(center), Vector(position), color);
  }
  HRESULT STDMETHODCALLTYPE End() override { return Call("End", D3D_OK, label_); }
  HRESULT STDMETHODCALLTYPE OnLostDevice() override { return Call("OnLostDevice", D3D_OK, label_); }
  HRESULT STDMETHODCALLTYPE OnResetDevice() override { return Call("OnResetDevice", D3D_OK, label_); }
  FAKE_NOT_MODELLED(GetDevice, LPDIRECT3DDEVICE9*)
  FAKE_NOT_MODELLED(GetTransform, D3DXMATRIX*)
  FAKE_NOT_MODELLED(Flush)
};

class Font final : public Counted<ID3DXFont> {
 public:
  Font() : Counted("ID3DXFont") {}

  // Measures 8 pixels per character and 16 per line, which is all a test needs to see.
  INT STDMETHODCALLTYPE DrawTextA(LPD3DXSPRITE sprite, LPCSTR text, INT count, LPRECT rect, DWORD format,
                                  D3DCOLOR color) override {
    std::string shown = text == nullptr ? "<null>" : count < 0 ? std::string(text) : std::string(text, count);
    INT height = static_cast<INT>(
        Platform::Get().Record("ID3DXFont::DrawTextA", 16, sprite, shown, count, Rect(rect), format, color));
    if ((format & DT_CALCRECT) && rect != nullptr && text != nullptr) {
      rect->right = rect->left + 8 * static_cast<LONG>(shown.size());
      rect->bottom = rect->top + height;
    }
    return height;
  }
  HRESULT STDMETHODCALLTYPE OnLostDevice() override { return Call("OnLostDevice", D3D_OK); }
  HRESULT STDMETHODCALLTYPE OnResetDevice() override { return Call("OnResetDevice", D3D_OK); }
  FAKE_NOT_MODELLED(GetDevice, LPDIRECT3DDEVICE9*)
  FAKE_NOT_MODELLED(GetDescA, D3DXFONT_DESCA*)
};

}  // namespace

D3DXVECTOR3 PlacedTexel(float u, float v) {
  D3DXVECTOR3 local = D3DXVECTOR3(u, v, 0) - Get().lastSpriteCentre + Get().lastSpritePosition, out;
  D3DXVec3TransformCoord(&out, &local, &Get().lastSpriteTransform);
  return out;
}

void AddImage(const std::string& name, UINT width, UINT height) {
  Get().images[name] = D3DXIMAGE_INFO{width, height, 1, 1, D3DFMT_A8R8G8B8, D3DRTYPE_TEXTURE, D3DXIFF_PNG};
}

}  // namespace fake::d3dx9

namespace fx = fake::d3dx9;
using fake::Hr;

HRESULT WINAPI D3DXSaveSurfaceToFileA(LPCSTR fileName, D3DXIMAGE_FILEFORMAT format, LPDIRECT3DSURFACE9 surface,
                                      const PALETTEENTRY* palette, const RECT* rect) {
  return Hr("D3DXSaveSurfaceToFileA", D3D_OK, fileName, format, surface, palette, rect);
}

HRESULT WINAPI D3DXGetImageInfoFromFileA(LPCSTR fileName, D3DXIMAGE_INFO* info) {
  auto image = fileName != nullptr ? fx::Get().images.find(fileName) : fx::Get().images.end();
  bool known = image != fx::Get().images.end();
  HRESULT hr = Hr("D3DXGetImageInfoFromFileA", known ? D3D_OK : D3DXERR_INVALIDDATA, fileName);
  if (SUCCEEDED(hr) && known && info != nullptr) *info = image->second;
  return hr;
}

HRESULT WINAPI D3DXCreateTextureFromFileExA(LPDIRECT3DDEVICE9 device, LPCSTR fileName, UINT width, UINT height,
                                            UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                            DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                            PALETTEENTRY* palette, LPDIRECT3DTEXTURE9* texture) {
  auto image = fileName != nullptr ? fx::Get().images.find(fileName) : fx::Get().images.end();
  bool known = image != fx::Get().images.end();
  HRESULT hr = Hr("D3DXCreateTextureFromFileExA", known ? D3D_OK : D3DXERR_INVALIDDATA, device, fileName, width, height,
                  mipLevels, usage, format, pool, filter, mipFilter, colorKey, srcInfo, palette);
  if (texture == nullptr) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (FAILED(hr)) return hr;
  if (srcInfo != nullptr && known) *srcInfo = image->second;
  *texture = new fx::Texture(fileName != nullptr ? fileName : "");
  return hr;
}

HRESULT WINAPI D3DXCreateSprite(LPDIRECT3DDEVICE9 device, LPD3DXSPRITE* sprite) {
  HRESULT hr = Hr("D3DXCreateSprite", D3D_OK, device);
  if (sprite == nullptr) return D3DERR_INVALIDCALL;
  *sprite = SUCCEEDED(hr) ? new fx::Sprite : nullptr;
  return hr;
}

HRESULT WINAPI D3DXCreateFontIndirectA(LPDIRECT3DDEVICE9 device, const D3DXFONT_DESCA* desc, LPD3DXFONT* font) {
  if (desc != nullptr) fx::Get().lastFontDesc = *desc;
  HRESULT hr = Hr("D3DXCreateFontIndirectA", D3D_OK, device,
                  desc != nullptr ? std::string(desc->FaceName, strnlen(desc->FaceName, LF_FACESIZE)) : "<null>");
  if (font == nullptr || desc == nullptr) return D3DERR_INVALIDCALL;
  *font = SUCCEEDED(hr) ? new fx::Font : nullptr;
  return hr;
}
