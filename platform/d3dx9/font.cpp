// ID3DXFont on the GL device: FontFace (font_face.h) lays the text out, a glyph atlas of its
// own holds the glyphs' coverage, and the quads go through the device's quad batcher.
//
// - The atlas: pages of single-channel GL textures (GL_R8, sampled as white with the coverage as
//   alpha), 256 x 256 or larger for a glyph that needs it, filled shelf by shelf; a full page
//   starts another. Glyphs are placed the first time they are drawn and stay; the pages are
//   also kept in memory, so that OnLostDevice can free the GL textures and OnResetDevice make
//   them again.
// - DrawTextA: DT_CALCRECT sets the rectangle to the layout's bounds and draws nothing; otherwise
//   each glyph is drawn at its pixel position in the colour (alpha included), clipped to the
//   rectangle unless DT_NOCLIP, sampled texel for texel. Without a sprite, or with one not
//   between Begin and End, the text is drawn as a sprite of the font's own would draw it with
//   D3DXSPRITE_ALPHABLEND: the device's states are set for sprites (blended with source alpha)
//   and put back after; with a sprite between Begin and End, with the states its Begin left. The
//   result is the text's height, 0 for a null text or rectangle, an empty text, or a sprite that
//   is not one of ours. Text is drawn in screen space whether or not a sprite is given (the
//   sprite's transform does not apply); it is batched through the device either way, and each
//   run of glyph quads keeps a reference on the font until it is drawn.
// - Between OnLostDevice and OnResetDevice the font measures but draws nothing.
#include <d3dx9.h>

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

#include "font_face.h"
#include "gl_device.h"
#include "quad_batch.h"
#include "sprite.h"

namespace zr::d3dx9 {

namespace {

constexpr int kPageSide = 256;
constexpr int kGap = 1;  // empty texels between glyphs

class GlyphAtlas {
 public:
  struct Slot {
    int page;
    int x;
    int y;
  };

  // The owner frees the textures (FreeTextures) while the device lives.
  explicit GlyphAtlas(d3d9::GlDevice* device) : device_(device) {}
  ~GlyphAtlas() = default;
  GlyphAtlas(const GlyphAtlas&) = delete;
  GlyphAtlas& operator=(const GlyphAtlas&) = delete;

  // Where the glyph is, placing it the first time; null when it cannot be placed.
  const Slot* Place(const Glyph& g) {
    auto found = slots_.find(&g);
    if (found != slots_.end()) return &found->second;
    int w = g.width + kGap;
    int h = g.height + kGap;
    if (pages_.empty() || !Fits(pages_.back(), w, h)) {
      int side = kPageSide;
      while (side < w || side < h) side *= 2;
      if (side > device_->MaxTextureSize()) return nullptr;
      pages_.push_back(Page{0, side, std::vector<std::uint8_t>(static_cast<std::size_t>(side) * side, 0), 0, 0, 0});
      if (!MakeTexture(pages_.back())) return nullptr;
    }
    Page& p = pages_.back();
    if (p.shelfX + w > p.side) {
      p.shelfY += p.shelfHeight;
      p.shelfX = 0;
      p.shelfHeight = 0;
    }
    Slot slot{static_cast<int>(pages_.size()) - 1, p.shelfX, p.shelfY};
    p.shelfX += w;
    p.shelfHeight = std::max(p.shelfHeight, h);
    for (int y = 0; y < g.height; ++y)
      std::copy_n(g.coverage.data() + static_cast<std::size_t>(y) * g.width, g.width,
                  p.pixels.data() + static_cast<std::size_t>(slot.y + y) * p.side + slot.x);
    if (p.texture != 0 && device_->MakeCurrent()) {
      glBindTexture(GL_TEXTURE_2D, p.texture);
      glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
      glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
      glTexSubImage2D(GL_TEXTURE_2D, 0, slot.x, slot.y, g.width, g.height, GL_RED, GL_UNSIGNED_BYTE,
                      g.coverage.data());
      glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    }
    return &slots_.emplace(&g, slot).first->second;
  }

  GLuint Texture(int page) const { return pages_[static_cast<std::size_t>(page)].texture; }
  int Side(int page) const { return pages_[static_cast<std::size_t>(page)].side; }

  void FreeTextures() {
    if (!device_->MakeCurrent()) return;
    for (Page& p : pages_)
      if (p.texture != 0) glDeleteTextures(1, &p.texture), p.texture = 0;
  }
  bool MakeTextures() {
    bool ok = true;
    for (Page& p : pages_) ok = MakeTexture(p) && ok;
    return ok;
  }

 private:
  struct Page {
    GLuint texture;
    int side;
    std::vector<std::uint8_t> pixels;
    int shelfX;
    int shelfY;
    int shelfHeight;
  };

  static bool Fits(const Page& p, int w, int h) {
    if (w > p.side) return false;
    int y = p.shelfX + w > p.side ? p.shelfY + p.shelfHeight : p.shelfY;
    return y + h <= p.side;
  }

  bool MakeTexture(Page& p) {
    if (!device_->MakeCurrent()) return false;
    while (glGetError() != GL_NO_ERROR) {
    }
    glGenTextures(1, &p.texture);
    glBindTexture(GL_TEXTURE_2D, p.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    // Coverage as alpha under white: the batcher's one shader draws it as it draws RGBA.
    GLint swizzle[4] = {GL_ONE, GL_ONE, GL_ONE, GL_RED};
    glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, p.side, p.side, 0, GL_RED, GL_UNSIGNED_BYTE, p.pixels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    return glGetError() == GL_NO_ERROR;
  }

  d3d9::GlDevice* device_;
  std::vector<Page> pages_;
  std::unordered_map<const Glyph*, Slot> slots_;
};

class GlFont final : public ID3DXFont {
 public:
  GlFont(d3d9::GlDevice* device, const D3DXFONT_DESCA& desc, std::unique_ptr<FontFace> face)
      : device_(device), desc_(desc), face_(std::move(face)), atlas_(device) {
    device_->AddRef();
    device_->RegisterDeviceObject(this);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown) {
      *object = static_cast<ID3DXFont*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetDevice(LPDIRECT3DDEVICE9* device) override {
    if (device == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
  }

  HRESULT STDMETHODCALLTYPE GetDescA(D3DXFONT_DESCA* desc) override {
    if (desc == nullptr) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return D3D_OK;
  }

  INT STDMETHODCALLTYPE DrawTextA(LPD3DXSPRITE sprite, LPCSTR text, INT count, LPRECT rect, DWORD format,
                                  D3DCOLOR color) override {
    if (text == nullptr || rect == nullptr || count == 0) return 0;
    bool inSpritesBegin = false;
    if (sprite != nullptr) {
      auto* s = dynamic_cast<GlSprite*>(sprite);
      if (s == nullptr || s->Device() != device_) return 0;
      inSpritesBegin = s->InBegin();
    }
    TextLayout layout = face_->Layout(text, count < 0 ? -1 : count, *rect, format);
    if (format & DT_CALCRECT) {
      *rect = layout.bounds;
      return layout.height;
    }
    if (lost_) return layout.height;
    bool clip = (format & DT_NOCLIP) == 0;
    if (clip && (rect->right <= rect->left || rect->bottom <= rect->top)) return layout.height;

    SpriteStates saved;
    if (!inSpritesBegin) {
      saved.Save(*device_);
      SpriteStates::Set(*device_, true);
    }
    HRESULT drawn = Place(layout, *rect, clip, color);
    if (!inSpritesBegin) saved.Restore(*device_);
    return SUCCEEDED(drawn) ? layout.height : 0;
  }

  // Adds the glyphs' quads to the device's batch with the device's states as they are.
  HRESULT Place(const TextLayout& layout, const RECT& rect, bool clip, D3DCOLOR color) {
    d3d9::QuadBatch& quads = device_->Quads();
    d3d9::QuadBatch::Style style;
    style.sampling = d3d9::QuadBatch::Sampling::kNearestClamped;
    style.clip = clip;
    if (clip) style.clipRect = rect;
    for (const PlacedGlyph& placed : layout.glyphs) {
      const Glyph& g = *placed.glyph;
      if (clip && (placed.x >= rect.right || placed.y >= rect.bottom || placed.x + g.width <= rect.left ||
                   placed.y + g.height <= rect.top))
        continue;  // wholly outside
      const GlyphAtlas::Slot* slot = atlas_.Place(g);
      if (slot == nullptr) continue;
      style.texture = atlas_.Texture(slot->page);
      d3d9::QuadBatch::Vertex* v = quads.Add(style, this);
      if (v == nullptr) return D3DERR_NOTAVAILABLE;
      float side = static_cast<float>(atlas_.Side(slot->page));
      auto x0 = static_cast<float>(placed.x);
      auto y0 = static_cast<float>(placed.y);
      auto x1 = static_cast<float>(placed.x + g.width);
      auto y1 = static_cast<float>(placed.y + g.height);
      float u0 = static_cast<float>(slot->x) / side;
      float v0 = static_cast<float>(slot->y) / side;
      float u1 = static_cast<float>(slot->x + g.width) / side;
      float v1 = static_cast<float>(slot->y + g.height) / side;
      v[0] = {x0, y0, u0, v0, color};
      v[1] = {x1, y0, u1, v0, color};
      v[2] = {x0, y1, u0, v1, color};
      v[3] = {x1, y1, u1, v1, color};
    }
    return D3D_OK;
  }

  HRESULT STDMETHODCALLTYPE OnLostDevice() override {
    device_->FlushHeldDrawing();  // quads held back sample the atlas (a lost device draws nothing)
    if (!lost_) atlas_.FreeTextures();
    lost_ = true;
    device_->DeviceObjectLost(this);
    return D3D_OK;
  }

  HRESULT STDMETHODCALLTYPE OnResetDevice() override {
    if (lost_) {
      if (!atlas_.MakeTextures()) return D3DERR_OUTOFVIDEOMEMORY;
      lost_ = false;
    }
    device_->DeviceObjectReset(this);
    return D3D_OK;
  }

 private:
  // No quad of the font's is held back any more: each run of them keeps a reference on it.
  ~GlFont() {
    atlas_.FreeTextures();
    device_->UnregisterDeviceObject(this);
    device_->Release();
  }

  ULONG refs_ = 1;
  d3d9::GlDevice* device_;
  D3DXFONT_DESCA desc_;
  std::unique_ptr<FontFace> face_;
  GlyphAtlas atlas_;
  bool lost_ = false;
};

}  // namespace

}  // namespace zr::d3dx9

HRESULT WINAPI D3DXCreateFontIndirectA(LPDIRECT3DDEVICE9 device, const D3DXFONT_DESCA* desc, LPD3DXFONT* font) {
  if (font == nullptr) return D3DERR_INVALIDCALL;
  *font = nullptr;
  auto* gl = dynamic_cast<zr::d3d9::GlDevice*>(device);
  if (gl == nullptr || desc == nullptr) return D3DERR_INVALIDCALL;
  std::unique_ptr<zr::d3dx9::FontFace> face;
  if (HRESULT hr = zr::d3dx9::FontFace::Open(*desc, &face); FAILED(hr)) return hr;
  *font = new zr::d3dx9::GlFont(gl, *desc, std::move(face));
  return D3D_OK;
}
