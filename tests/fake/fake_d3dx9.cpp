// D3DX of the fake: sprites, fonts, textures from image files and saving surfaces. Calls are
// recorded as "Interface::Method" or by function name; results as a test chooses them.
#include "fake_d3dx9.h"

#include <cstring>
#include <string>

#include "fake_com.h"
#include "fake_platform.h"

namespace fake::d3dx9 {

namespace {

int g_spritesMade = 0;

const bool g_registered = [] {
  Platform::Get().AddResetHandler([] {
    Get() = State{};
    g_spritesMade = 0;
  });
  return true;
}();

std::string Rect(const RECT* r) {
  if (r == nullptr) return "<null>";
  return std::to_string(r->left) + "," + std::to_string(r->top) + "," + std::to_string(r->right) + "," +
         std::to_string(r->bottom);
}

std::string Vector(const D3DXVECTOR3* v) {
  if (v == nullptr) return "<null>";
  return Arg(static_cast<double>(v->x)) + "," + Arg(static_cast<double>(v->y)) + "," + Arg(static_cast<double>(v->z));
}

class Texture final : public Counted<IDirect3DTexture9> {
 public:
  Texture(std::string file, UINT width, UINT height, UINT levels)
      : Counted("IDirect3DTexture9", file), file_(std::move(file)), width_(width), height_(height), levels_(levels) {}
  const std::string& File() const { return file_; }

  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override {
    if (device != nullptr) *device = nullptr;
    return Call("GetDevice", D3DERR_INVALIDCALL);
  }
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD STDMETHODCALLTYPE GetLevelCount() override { return levels_; }
  HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override {
    if (desc == nullptr || level >= levels_) return D3DERR_INVALIDCALL;
    *desc = D3DSURFACE_DESC{};
    desc->Format = D3DFMT_A8R8G8B8;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Width = width_ >> level > 0 ? width_ >> level : 1;
    desc->Height = height_ >> level > 0 ? height_ >> level : 1;
    return D3D_OK;
  }
  HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
    if (locked != nullptr) *locked = D3DLOCKED_RECT{};
    return Call("LockRect", D3DERR_INVALIDCALL, level, Rect(rect), flags);
  }
  HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override { return Call("UnlockRect", D3DERR_INVALIDCALL, level); }

 private:
  std::string file_;
  UINT width_;
  UINT height_;
  UINT levels_;
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
  Sprite() : Counted("ID3DXSprite", "#" + std::to_string(++g_spritesMade)), id_("#" + std::to_string(g_spritesMade)) {}

  HRESULT STDMETHODCALLTYPE GetDevice(LPDIRECT3DDEVICE9* device) override {
    if (device != nullptr) *device = nullptr;
    return Call("GetDevice", D3DERR_INVALIDCALL);
  }
  HRESULT STDMETHODCALLTYPE GetTransform(D3DXMATRIX* transform) override {
    if (transform != nullptr) *transform = Get().lastSpriteTransform;
    return Call("GetTransform", D3D_OK, id_);
  }
  HRESULT STDMETHODCALLTYPE SetTransform(const D3DXMATRIX* transform) override {
    if (transform != nullptr) Get().lastSpriteTransform = *transform;
    return Call("SetTransform", transform != nullptr ? D3D_OK : D3DERR_INVALIDCALL, id_,
                static_cast<const void*>(transform));
  }
  HRESULT STDMETHODCALLTYPE Begin(DWORD flags) override { return Call("Begin", D3D_OK, id_, flags); }
  HRESULT STDMETHODCALLTYPE Draw(LPDIRECT3DTEXTURE9 texture, const RECT* source, const D3DXVECTOR3* center,
                                 const D3DXVECTOR3* position, D3DCOLOR color) override {
    // As on the platform, a sprite cannot be drawn without a texture.
    return Call("Draw", texture != nullptr ? D3D_OK : D3DERR_INVALIDCALL, id_, TextureName(texture), Rect(source),
                Vector(center), Vector(position), color);
  }
  HRESULT STDMETHODCALLTYPE Flush() override { return Call("Flush", D3D_OK, id_); }
  HRESULT STDMETHODCALLTYPE End() override { return Call("End", D3D_OK, id_); }
  HRESULT STDMETHODCALLTYPE OnLostDevice() override { return Call("OnLostDevice", D3D_OK, id_); }
  HRESULT STDMETHODCALLTYPE OnResetDevice() override { return Call("OnResetDevice", D3D_OK, id_); }

 private:
  std::string id_;
};

class Font final : public Counted<ID3DXFont> {
 public:
  explicit Font(const D3DXFONT_DESCA& desc) : Counted("ID3DXFont"), desc_(desc) {}

  HRESULT STDMETHODCALLTYPE GetDevice(LPDIRECT3DDEVICE9* device) override {
    if (device != nullptr) *device = nullptr;
    return Call("GetDevice", D3DERR_INVALIDCALL);
  }
  HRESULT STDMETHODCALLTYPE GetDescA(D3DXFONT_DESCA* desc) override {
    if (desc != nullptr) *desc = desc_;
    return Call("GetDescA", D3D_OK);
  }
  // Measures 8 pixels per character and 16 per line, which is all a test needs to see.
  INT STDMETHODCALLTYPE DrawTextA(LPD3DXSPRITE sprite, LPCSTR text, INT count, LPRECT rect, DWORD format,
                                  D3DCOLOR color) override {
    std::string shown = text == nullptr ? "<null>" : count < 0 ? std::string(text) : std::string(text, count);
    INT height = static_cast<INT>(
        Platform::Get().Record("ID3DXFont::DrawTextA", 16, static_cast<const void*>(sprite), shown, count, Rect(rect),
                               format, color));
    if ((format & DT_CALCRECT) && rect != nullptr && text != nullptr) {
      rect->right = rect->left + 8 * static_cast<LONG>(shown.size());
      rect->bottom = rect->top + height;
    }
    return height;
  }
  HRESULT STDMETHODCALLTYPE OnLostDevice() override { return Call("OnLostDevice", D3D_OK); }
  HRESULT STDMETHODCALLTYPE OnResetDevice() override { return Call("OnResetDevice", D3D_OK); }

 private:
  D3DXFONT_DESCA desc_;
};

}  // namespace

State& Get() {
  static State state;
  return state;
}

void AddImage(const std::string& name, UINT width, UINT height) {
  D3DXIMAGE_INFO info{};
  info.Width = width;
  info.Height = height;
  info.Depth = 1;
  info.MipLevels = 1;
  info.Format = D3DFMT_A8R8G8B8;
  info.ResourceType = D3DRTYPE_TEXTURE;
  info.ImageFileFormat = D3DXIFF_PNG;
  Get().images[name] = info;
}

}  // namespace fake::d3dx9

using fake::Platform;
namespace fx = fake::d3dx9;

HRESULT WINAPI D3DXSaveSurfaceToFileA(LPCSTR fileName, D3DXIMAGE_FILEFORMAT format, LPDIRECT3DSURFACE9 surface,
                                      const PALETTEENTRY* palette, const RECT* rect) {
  return static_cast<HRESULT>(Platform::Get().Record("D3DXSaveSurfaceToFileA", D3D_OK, fileName, format,
                                                     static_cast<const void*>(surface),
                                                     static_cast<const void*>(palette),
                                                     static_cast<const void*>(rect)));
}

HRESULT WINAPI D3DXGetImageInfoFromFileA(LPCSTR fileName, D3DXIMAGE_INFO* info) {
  auto image = fileName != nullptr ? fx::Get().images.find(fileName) : fx::Get().images.end();
  bool known = image != fx::Get().images.end();
  HRESULT hr = static_cast<HRESULT>(
      Platform::Get().Record("D3DXGetImageInfoFromFileA", known ? D3D_OK : D3DXERR_INVALIDDATA, fileName));
  if (SUCCEEDED(hr) && known && info != nullptr) *info = image->second;
  return hr;
}

HRESULT WINAPI D3DXCreateTextureFromFileExA(LPDIRECT3DDEVICE9 device, LPCSTR fileName, UINT width, UINT height,
                                            UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                            DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                            PALETTEENTRY* palette, LPDIRECT3DTEXTURE9* texture) {
  auto image = fileName != nullptr ? fx::Get().images.find(fileName) : fx::Get().images.end();
  bool known = image != fx::Get().images.end();
  HRESULT hr = static_cast<HRESULT>(Platform::Get().Record(
      "D3DXCreateTextureFromFileExA", known ? D3D_OK : D3DXERR_INVALIDDATA, static_cast<const void*>(device), fileName,
      width, height, mipLevels, usage, format, pool, filter, mipFilter, colorKey, static_cast<const void*>(srcInfo),
      static_cast<const void*>(palette)));
  if (texture == nullptr) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  if (FAILED(hr)) return hr;
  UINT w = known ? image->second.Width : 1;
  UINT h = known ? image->second.Height : 1;
  if (srcInfo != nullptr && known) *srcInfo = image->second;
  *texture = new fx::Texture(fileName, w, h, mipLevels == 0 ? 1 : mipLevels);
  return hr;
}

HRESULT WINAPI D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 device, LPCSTR fileName, LPDIRECT3DTEXTURE9* texture) {
  return D3DXCreateTextureFromFileExA(device, fileName, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                      D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE, D3DX_FILTER_BOX, 0, nullptr, nullptr,
                                      texture);
}

HRESULT WINAPI D3DXCreateSprite(LPDIRECT3DDEVICE9 device, LPD3DXSPRITE* sprite) {
  HRESULT hr = static_cast<HRESULT>(Platform::Get().Record("D3DXCreateSprite", D3D_OK, static_cast<const void*>(device)));
  if (sprite == nullptr) return D3DERR_INVALIDCALL;
  *sprite = SUCCEEDED(hr) ? new fx::Sprite : nullptr;
  return hr;
}

HRESULT WINAPI D3DXCreateFontIndirectA(LPDIRECT3DDEVICE9 device, const D3DXFONT_DESCA* desc, LPD3DXFONT* font) {
  if (desc != nullptr) fx::Get().lastFontDesc = *desc;
  HRESULT hr = static_cast<HRESULT>(Platform::Get().Record(
      "D3DXCreateFontIndirectA", D3D_OK, static_cast<const void*>(device),
      desc != nullptr ? std::string(desc->FaceName, strnlen(desc->FaceName, LF_FACESIZE)) : std::string("<null>")));
  if (font == nullptr || desc == nullptr) return D3DERR_INVALIDCALL;
  *font = SUCCEEDED(hr) ? new fx::Font(*desc) : nullptr;
  return hr;
}
