// ID3DXSprite and ID3DXFont on the GL device: where quads and glyphs land, how they turn, blend,
// are alpha-tested, clipped and measured; held-back quads sent in batches; the calls' rules,
// references, and Reset.
#include <d3dx9.h>

#include <cstring>

#include "d3d9_test_support.h"
#include "ff_test_support.h"
#include "quad_batch.h"

using namespace d3d9test;
using fftest::Near;

namespace {

constexpr const char* kStatus = "Velkor Engine Framerate:60 Leben Links: 100 / Rechts 99";

// Draws `texture` with the sprite in one Begin/End pair: its top left at (x, y), `transform` or none.
void DrawAt(ID3DXSprite* sprite, IDirect3DTexture9* texture, float x, float y, DWORD flags = 0,
            D3DCOLOR colour = kWhite, const RECT* source = nullptr, const D3DXMATRIX* transform = nullptr,
            const D3DXVECTOR3* centre = nullptr) {
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  ASSERT_EQ(sprite->Begin(flags), D3D_OK);
  ASSERT_EQ(sprite->SetTransform(transform != nullptr ? transform : &identity), D3D_OK);
  D3DXVECTOR3 position(x, y, 0);
  ASSERT_EQ(sprite->Draw(texture, source, centre, &position, colour), D3D_OK);
  ASSERT_EQ(sprite->End(), D3D_OK);
}

HRESULT MakeFont(IDirect3DDevice9* device, int height, Ref<ID3DXFont>& out, UINT weight = FW_NORMAL) {
  D3DXFONT_DESCA d{};
  d.Height = height, d.Weight = weight, d.MipLevels = 1;
  std::strcpy(d.FaceName, "Arial");
  return D3DXCreateFontIndirectA(device, &d, out.out());
}

// Draws `text` in white on black, as DrawText is asked, and reads the back buffer.
Picture Text(Target& t, ID3DXFont* font, const char* text, RECT r, DWORD format, D3DCOLOR colour = kWhite,
             D3DCOLOR background = kBlack) {
  t.d->Clear(0, nullptr, D3DCLEAR_TARGET, background, 1, 0);
  EXPECT_GT(font->DrawTextA(nullptr, text, -1, &r, format, colour), 0);
  return t.Back();
}

}  // namespace

// A picture twice as wide as high, drawn at scale 1, lands texel for texel: every pixel shows
// its own texel, point sampled or filtered, in the window or in a framebuffer of ours.
TEST_P(OnBothTargets, ASpriteCoversExactlyItsPixelsAndEachSamplesItsTexel) {
  Target t(GetParam(), 100, 80);
  Device& d = t.d;
  const std::vector<std::uint32_t> texels = Gradient(64, 32);
  Ref<IDirect3DTexture9> texture(MakeTexture(d.device.get(), 64, 32, texels));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), sprite.out()), D3D_OK);
  auto expect = [&](int left, int top, RECT part) {
    Picture p = t.Back();
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 100; ++x) {
        int tx = x - left + part.left, ty = y - top + part.top;
        bool inside = tx >= part.left && tx < part.right && ty >= part.top && ty < part.bottom;
        ASSERT_EQ(p.at(x, y), inside ? texels[static_cast<std::size_t>(ty) * 64 + tx] : kBlack) << "at " << x << "," << y;
      }
  };
  for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
    SCOPED_TRACE(filter == D3DTEXF_POINT ? "point" : "linear");
    d->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0), D3D_OK);
    DrawAt(sprite.get(), texture.get(), 10, 20);
    expect(10, 20, RECT{0, 0, 64, 32});
  }
  // A source rectangle: only those texels, its top left at the position.
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
  RECT part{8, 4, 20, 10};
  DrawAt(sprite.get(), texture.get(), 50, 60, 0, kWhite, &part);
  expect(50, 60, part);
}

TEST(Sprite, TurnsAboutItsCentreClockwiseOnScreenForAPositiveAngle) {
  Target t(Where::kWindow, 100, 80);
  // Quadrants of 16x8: red top left, green top right, blue bottom left, white bottom right.
  std::vector<std::uint32_t> texels;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) texels.push_back(y < 8 ? (x < 16 ? kRed : kGreen) : (x < 16 ? kBlue : kWhite));
  Ref<IDirect3DTexture9> texture(MakeTexture(t.d.device.get(), 32, 16, texels));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(t.d.device.get(), sprite.out()), D3D_OK);
  // The engine's transform: rotation, then translation to where the centre goes.
  D3DXVECTOR3 centre(16, 8, 0);
  D3DXMATRIX rotation, translation, transform;
  D3DXMatrixRotationZ(&rotation, D3DX_PI / 2);
  D3DXMatrixTranslation(&translation, 50, 40, 0);
  D3DXMatrixMultiply(&transform, &rotation, &translation);
  t.d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
  DrawAt(sprite.get(), texture.get(), 0, 0, 0, kWhite, nullptr, &transform, &centre);
  Picture p = t.Back();
  // Standing up now: 16 wide and 32 high about (50, 40); the top left quadrant went to the top right.
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 100; ++x) {
      bool inside = x >= 42 && x < 58 && y >= 24 && y < 56;
      D3DCOLOR want = !inside ? kBlack : y < 40 ? (x >= 50 ? kRed : kBlue) : (x >= 50 ? kGreen : kWhite);
      ASSERT_EQ(p.at(x, y), want) << "at " << x << "," << y;
    }
}

TEST(Sprite, ColourTintsAndBlendsAndTheDevicesAlphaTestDropsTexels) {
  Target t(Where::kFramebuffer, 40, 30);
  Device& d = t.d;
  Ref<IDirect3DTexture9> red(MakeTexture(d.device.get(), 8, 8, std::vector<std::uint32_t>(64, kRed)));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), sprite.out()), D3D_OK);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
  DrawAt(sprite.get(), red.get(), 2, 2, D3DXSPRITE_ALPHABLEND, 0x80FFFFFF);
  DrawAt(sprite.get(), red.get(), 20, 2, 0, 0x80FFFFFF);                     // no blending: replaces
  DrawAt(sprite.get(), red.get(), 2, 15, D3DXSPRITE_ALPHABLEND, 0xFF808080);  // opaque grey tint
  Picture p = t.Back();
  EXPECT_TRUE(Near(p.at(5, 5), 0xFF80007F, 1)) << std::hex << p.at(5, 5) << ": half red over blue";
  EXPECT_EQ(std::vector<std::uint32_t>({p.at(25, 5), p.at(11, 5)}), std::vector<std::uint32_t>({kRed, kBlue}));
  EXPECT_TRUE(Near(p.at(5, 18), 0xFF800000, 1)) << std::hex << p.at(5, 18);
  // Alpha 0, 1, 127, 128, 200, 255 from left to right, red: which texels the alpha test lets
  // through, as the device's states say (the texel times the colour; X8R8G8B8 texels are opaque).
  const std::uint32_t alphas[6] = {0, 1, 127, 128, 200, 255};
  std::vector<std::uint32_t> texels;
  for (std::uint32_t a : alphas) texels.push_back(a << 24 | 0xFF0000);
  Ref<IDirect3DTexture9> texture(MakeTexture(d.device.get(), 6, 1, texels));
  Ref<IDirect3DTexture9> opaque(MakeTexture(d.device.get(), 6, 1, texels, D3DFMT_X8R8G8B8));
  auto written = [&](DWORD enable, DWORD func, DWORD ref, IDirect3DTexture9* tex = nullptr, D3DCOLOR colour = kWhite) {
    d->SetRenderState(D3DRS_ALPHATESTENABLE, enable);
    d->SetRenderState(D3DRS_ALPHAFUNC, func);
    d->SetRenderState(D3DRS_ALPHAREF, ref);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0);
    DrawAt(sprite.get(), tex != nullptr ? tex : texture.get(), 0, 0, 0, colour);
    Picture q = t.Back();
    std::string s;
    for (int x = 0; x < 6; ++x) s += (q.at(x, 0) & 0xFFFFFF) == 0xFF0000 ? 'x' : (q.at(x, 0) == kGreen ? '.' : '?');
    return s;
  };
  EXPECT_EQ(written(TRUE, D3DCMP_GREATEREQUAL, 1), ".xxxxx") << "as zr_DirectXGraphics sets it";
  EXPECT_EQ(written(FALSE, D3DCMP_GREATEREQUAL, 1), "xxxxxx") << "off, and no blending";
  EXPECT_EQ(written(TRUE, D3DCMP_LESS, 128), "xxx...");
  EXPECT_EQ(written(TRUE, D3DCMP_EQUAL, 128), "...x..");
  EXPECT_EQ(written(TRUE, D3DCMP_NOTEQUAL, 128), "xxx.xx");
  EXPECT_EQ(written(TRUE, D3DCMP_GREATER, 200), ".....x");
  EXPECT_EQ(written(TRUE, D3DCMP_NEVER, 0), "......");
  EXPECT_EQ(written(TRUE, D3DCMP_ALWAYS, 0), "xxxxxx");
  EXPECT_EQ(written(TRUE, D3DCMP_LESSEQUAL, 0x180), "xxxx..") << "ALPHAREF counts in its low 8 bits";
  EXPECT_EQ(written(TRUE, D3DCMP_GREATEREQUAL, 1, texture.get(), 0x00FFFFFF), "......") << "colour alpha 0";
  EXPECT_EQ(written(TRUE, D3DCMP_GREATEREQUAL, 1, opaque.get()), "xxxxxx");
}

// The same scene drawn in batches and quad by quad, with state changes, clears, several sprites
// and textures in between, must give the same picture.
TEST(Sprite, BatchingGivesThePictureOfDrawingEachQuadAtOnce) {
  Target t(Where::kWindow, 120, 90);
  Device& d = t.d;
  std::vector<std::uint32_t> holes = Gradient(16, 16);
  for (std::size_t i = 0; i < holes.size(); i += 3) holes[i] &= 0x00FFFFFF;  // alpha 0
  Ref<IDirect3DTexture9> a(MakeTexture(d.device.get(), 16, 16, holes));
  Ref<IDirect3DTexture9> b(MakeTexture(d.device.get(), 8, 12, Gradient(8, 12)));
  Ref<ID3DXSprite> first, second;
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), first.out()), D3D_OK);
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), second.out()), D3D_OK);
  auto scene = [&](bool flushEach) {
    d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    d->SetRenderState(D3DRS_ALPHAREF, 1);
    d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0x20, 0x20, 0x20), 1, 0);
    for (int i = 0; i < 30; ++i) {
      ID3DXSprite* s = i % 3 == 0 ? second.get() : first.get();
      D3DXMATRIX rotation, translation, transform;
      D3DXVECTOR3 centre(8, 8, 0);
      D3DXMatrixRotationZ(&rotation, 0.3f * static_cast<float>(i));
      D3DXMatrixTranslation(&translation, static_cast<float>(10 + (i * 37) % 100), static_cast<float>(10 + (i * 23) % 70), 0);
      D3DXMatrixMultiply(&transform, &rotation, &translation);
      EXPECT_EQ(s->Begin(i / 5 % 2 ? D3DXSPRITE_ALPHABLEND : 0), D3D_OK);
      s->SetTransform(&transform);
      EXPECT_EQ(s->Draw(i % 4 == 0 ? b.get() : a.get(), nullptr, &centre, nullptr,
                        D3DCOLOR_ARGB(0x40 + i * 6, 0xFF, 0xC0 + i, 0xFF)),
                D3D_OK);
      if (flushEach) EXPECT_EQ(s->Flush(), D3D_OK);
      EXPECT_EQ(s->End(), D3D_OK);
      if (i == 10) d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);  // later quads are drawn without it
      if (i == 15) d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
      if (i == 20) {
        D3DRECT band{0, 40, 120, 50};
        d->Clear(1, &band, D3DCLEAR_TARGET, kBlue, 1, 0);  // over what came before, under what follows
      }
    }
    return t.Back();
  };
  Picture batched = scene(false), single = scene(true);
  EXPECT_TRUE(batched.pixels == single.pixels);
  EXPECT_NE(batched.at(60, 45), kBlue) << "drawn over the clear band";
}

// Quads wait until something needs them: Present, a Clear, a viewport change, a write to their
// texture, another kind of draw. Each sees them drawn as if at once.
TEST(Sprite, HeldQuadsAreSentBeforeWhateverWouldChangeWhatTheyShow) {
  Target t(Where::kWindow, 64, 64);
  Device& d = t.d;
  Ref<IDirect3DTexture9> texture(MakeTexture(d.device.get(), 4, 4, std::vector<std::uint32_t>(16, kRed)));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), sprite.out()), D3D_OK);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
  for (int i = 0; i < 100; ++i) DrawAt(sprite.get(), texture.get(), static_cast<float>(i % 16 * 4), static_cast<float>(i / 16 * 4));
  EXPECT_EQ(d.gl()->Quads().PendingQuads(), 100u);
  ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  Picture p = FrontBuffer(d.device.get(), 64, 64);
  EXPECT_EQ(std::vector<std::uint32_t>({p.at(63, 23), p.at(15, 27), p.at(16, 24), p.at(0, 28)}),
            std::vector<std::uint32_t>({kRed, kRed, kBlack, kBlack}))
      << "the hundredth, and none after it";
  DrawAt(sprite.get(), texture.get(), 0, 0);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0);  // wins over what was drawn before
  DrawAt(sprite.get(), texture.get(), 4, 4);
  D3DVIEWPORT9 view{32, 32, 32, 32, 0, 1};
  ASSERT_EQ(d->SetViewport(&view), D3D_OK);
  DrawAt(sprite.get(), texture.get(), 30, 30);  // clipped to the viewport; positions stay back-buffer pixels
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  std::fill_n(static_cast<std::uint32_t*>(locked.pBits), 16, kBlue);
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  DrawAt(sprite.get(), texture.get(), 40, 40);
  // A square of the fixed-function pipeline over part of that: drawn after the sprite.
  d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  fftest::DrawScreenQuad(d.device.get(), 42, 42, 50, 50, kWhite);
  p = t.Back();
  EXPECT_EQ(std::vector<std::uint32_t>({p.at(1, 1), p.at(5, 5), p.at(31, 31), p.at(32, 32), p.at(33, 33), p.at(34, 34),
                                        p.at(40, 40), p.at(43, 43)}),
            std::vector<std::uint32_t>({kGreen, kRed, kGreen, kRed, kRed, kGreen, kBlue, kWhite}));
}

TEST(Sprite, CallsFollowBeginAndEndAndPendingQuadsKeepTheirTextures) {
  Target t(Where::kWindow, 32, 32);
  Device& d = t.d;
  Ref<IDirect3DTexture9> texture(MakeTexture(d.device.get(), 4, 4, std::vector<std::uint32_t>(16, kRed)));
  EXPECT_EQ(D3DXCreateSprite(d.device.get(), nullptr), D3DERR_INVALIDCALL);
  Ref<ID3DXSprite> sprite;
  EXPECT_EQ(D3DXCreateSprite(nullptr, sprite.out()), D3DERR_INVALIDCALL);
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), sprite.out()), D3D_OK);
  D3DXVECTOR3 at(1, 1, 0);
  EXPECT_EQ(sprite->Draw(texture.get(), nullptr, nullptr, &at, kWhite), D3DERR_INVALIDCALL) << "outside Begin";
  EXPECT_EQ(sprite->End(), D3DERR_INVALIDCALL);
  EXPECT_EQ(sprite->Flush(), D3DERR_INVALIDCALL);
  EXPECT_EQ(sprite->Begin(D3DXSPRITE_OBJECTSPACE), D3DERR_INVALIDCALL);
  EXPECT_EQ(sprite->Begin(D3DXSPRITE_BILLBOARD | D3DXSPRITE_ALPHABLEND), D3DERR_INVALIDCALL);
  EXPECT_EQ(sprite->Begin(1u << 12), D3DERR_INVALIDCALL) << "no such flag";
  ASSERT_EQ(sprite->Begin(D3DXSPRITE_ALPHABLEND | D3DXSPRITE_SORT_TEXTURE | D3DXSPRITE_DONOTSAVESTATE), D3D_OK);
  EXPECT_EQ(sprite->Begin(0), D3DERR_INVALIDCALL) << "twice";
  EXPECT_EQ(sprite->Draw(nullptr, nullptr, nullptr, &at, kWhite), D3DERR_INVALIDCALL) << "no texture";
  Ref<IDirect3DTexture9> inMemory;
  ASSERT_EQ(d->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, inMemory.out(), nullptr), D3D_OK);
  EXPECT_EQ(sprite->Draw(inMemory.get(), nullptr, nullptr, &at, kWhite), D3DERR_INVALIDCALL);
  RECT empty{2, 2, 2, 4};
  EXPECT_EQ(sprite->Draw(texture.get(), &empty, nullptr, &at, kWhite), D3D_OK);
  EXPECT_EQ(d.gl()->Quads().PendingQuads(), 0u) << "an empty rectangle draws nothing";
  EXPECT_EQ(sprite->SetTransform(nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(sprite->GetTransform(nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(sprite->End(), D3D_OK);
  Ref<IDirect3DDevice9> owner;
  ASSERT_EQ(sprite->GetDevice(owner.out()), D3D_OK);
  EXPECT_EQ(owner.get(), d.device.get());
  // A texture whose quads wait is kept until they are drawn, unless the sprite was told not to;
  // gone or not, they show.
  for (DWORD flags : {DWORD{0}, DWORD{D3DXSPRITE_DO_NOT_ADDREF_TEXTURE}}) {
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
    IDirect3DTexture9* kept = MakeTexture(d.device.get(), 4, 4, std::vector<std::uint32_t>(16, kRed));
    DrawAt(sprite.get(), kept, 8, 8, flags);
    DrawAt(sprite.get(), kept, 20, 8, flags);
    EXPECT_EQ(kept->Release(), flags ? 0u : 1u) << flags;
    Picture p = t.Back();
    EXPECT_EQ(std::vector<std::uint32_t>({p.at(8, 8), p.at(23, 11), p.at(12, 8)}),
              std::vector<std::uint32_t>({kRed, kRed, kBlack}))
        << flags;
  }
}

// Reset is refused while a sprite or a font holds device resources it was not told to give up;
// told (OnLostDevice), they draw nothing until OnResetDevice, and then as before.
TEST(SpriteAndFont, ResetWaitsForOnLostDeviceAndBothDrawAgainAfterOnResetDevice) {
  Target t(Where::kWindow, 200, 30);
  Device& d = t.d;
  D3DPRESENT_PARAMETERS pp = Windowed(t.window.handle(), 200, 30);
  Ref<IDirect3DTexture9> texture(MakeTexture(d.device.get(), 4, 4, std::vector<std::uint32_t>(16, kRed)));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), sprite.out()), D3D_OK);
  Ref<ID3DXFont> font;
  ASSERT_EQ(MakeFont(d.device.get(), 0, font), D3D_OK);
  auto draw = [&](bool withSprite) {
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
    RECT r{0, 0, 180, 30};
    font->DrawTextA(nullptr, "Leben Links", -1, &r, DT_LEFT, kWhite);
    D3DXVECTOR3 at(190, 3, 0);
    if (withSprite) sprite->Begin(0), sprite->Draw(texture.get(), nullptr, nullptr, &at, kWhite), sprite->End();
    return t.Back();
  };
  Picture before = draw(true);
  ASSERT_GT(InkOf(before, kBlack).count, 50);
  ASSERT_EQ(before.at(191, 4), kRed);
  EXPECT_EQ(d->Reset(&pp), D3DERR_INVALIDCALL) << "neither was told";
  ASSERT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  ASSERT_EQ(sprite->Begin(0), D3D_OK);
  ASSERT_EQ(sprite->OnLostDevice(), D3D_OK);
  EXPECT_EQ(sprite->End(), D3DERR_INVALIDCALL) << "OnLostDevice ended the Begin";
  EXPECT_EQ(d->Reset(&pp), D3DERR_INVALIDCALL) << "the font was not told";
  ASSERT_EQ(font->OnLostDevice(), D3D_OK);
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  EXPECT_EQ(InkOf(draw(false), kBlack).count, 0) << "no text between OnLostDevice and OnResetDevice";
  ASSERT_EQ(font->OnResetDevice(), D3D_OK);
  ASSERT_EQ(sprite->OnResetDevice(), D3D_OK);
  EXPECT_TRUE(draw(true).pixels == before.pixels);
  EXPECT_EQ(d->Reset(&pp), D3DERR_INVALIDCALL) << "live again";
  font.reset();
  sprite->OnLostDevice();
  EXPECT_EQ(d->Reset(&pp), D3D_OK) << "a font that went is no longer counted";
}

// The rectangle DT_CALCRECT measures holds every pixel drawn, tightly: glyphs sit below its top,
// and across it; centred text is centred; outside a rectangle, text is clipped unless DT_NOCLIP.
TEST(Font, TheMeasuredRectangleBoundsEveryPixelDrawnAndTextIsPlacedAndClippedAsAsked) {
  Target t(Where::kWindow, 480, 80);
  Ref<ID3DXFont> font;
  ASSERT_EQ(MakeFont(t.d.device.get(), 0, font), D3D_OK);
  for (const char* text : {kStatus, "Leben\nLinks: 100\n\tgy"}) {
    SCOPED_TRACE(text);
    RECT r{7, 9, 7, 9};
    INT height = font->DrawTextA(nullptr, text, -1, &r, DT_CALCRECT, kWhite);
    EXPECT_EQ(height, r.bottom - r.top);
    EXPECT_EQ(std::vector<LONG>({r.left, r.top}), std::vector<LONG>({7, 9})) << "the corner stays";
    ASSERT_GT(r.right - r.left, 50);
    t.d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
    ExpectAll(t.Back(), kBlack, "measuring draws nothing");
    Ink ink = InkOf(Text(t, font.get(), text, r, DT_LEFT | DT_NOCLIP), kBlack);
    ASSERT_GT(ink.count, 100);
    EXPECT_TRUE(ink.left >= r.left && ink.left <= r.left + 2 && ink.right < r.right && ink.right >= r.right - 4)
        << ink.left << " to " << ink.right << " in " << r.left << " to " << r.right;
    EXPECT_TRUE(ink.top >= r.top && ink.top <= r.top + 6 && ink.bottom < r.bottom && ink.bottom >= r.bottom - 6)
        << ink.top << " to " << ink.bottom << " in " << r.top << " to " << r.bottom;
  }
  RECT r{0, 0, 0, 0};
  EXPECT_EQ(font->DrawTextA(nullptr, kStatus, 6, &r, DT_CALCRECT, kWhite),
            font->DrawTextA(nullptr, "Velkor", -1, &r, DT_CALCRECT, kWhite));
  Ink left = InkOf(Text(t, font.get(), "Rechts 99", RECT{100, 10, 300, 40}, DT_LEFT), kBlack);
  Ink centred = InkOf(Text(t, font.get(), "Rechts 99", RECT{100, 10, 300, 40}, DT_CENTER), kBlack);
  EXPECT_NEAR((centred.left + centred.right) / 2.0, 200, 2) << "centred in the rectangle";
  EXPECT_EQ(centred.right - centred.left, left.right - left.left);
  for (DWORD align : {DWORD{DT_LEFT}, DWORD{DT_CENTER}}) {
    SCOPED_TRACE(align);
    RECT narrow{40, 12, 200, 22};  // narrower and lower than the line
    Picture whole = Text(t, font.get(), kStatus, narrow, align | DT_NOCLIP);
    Picture part = Text(t, font.get(), kStatus, narrow, align);
    Ink outside = InkOf(whole, kBlack);
    EXPECT_TRUE(outside.right >= narrow.right && outside.bottom >= narrow.bottom &&
                (align == DT_LEFT || outside.left < narrow.left))
        << "the text reaches past the rectangle";
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 480; ++x) {
        bool inside = x >= narrow.left && x < narrow.right && y >= narrow.top && y < narrow.bottom;
        ASSERT_EQ(part.at(x, y), inside ? whole.at(x, y) : kBlack) << x << "," << y;
      }
  }
  t.d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
  RECT empty{50, 10, 50, 30};
  EXPECT_GT(font->DrawTextA(nullptr, kStatus, -1, &empty, DT_LEFT, kWhite), 0) << "measured, not drawn";
  EXPECT_EQ(InkOf(t.Back(), kBlack).count, 0);
}

TEST(Font, DrawsInItsColourAndAlphaOverWhatIsThere) {
  Target t(Where::kWindow, 200, 30);
  Ref<ID3DXFont> font;
  ASSERT_EQ(MakeFont(t.d.device.get(), 0, font), D3D_OK);
  // Glyphs that overlap (kerned pairs) blend twice; these do not.
  RECT r{4, 4, 196, 26};
  Picture full = Text(t, font.get(), "Leben Links: 100", r, DT_LEFT, D3DCOLOR_ARGB(0xFF, 0, 0xFF, 0));
  Picture half = Text(t, font.get(), "Leben Links: 100", r, DT_LEFT, D3DCOLOR_ARGB(0x80, 0, 0xFF, 0));
  Picture over = Text(t, font.get(), "Leben Links: 100", r, DT_LEFT, D3DCOLOR_ARGB(0x80, 0, 0xFF, 0), kRed);
  int most = 0;
  for (std::size_t i = 0; i < full.pixels.size(); ++i) {
    std::uint32_t f = full.pixels[i];
    ASSERT_EQ(f & 0xFFFF00FF, 0xFF000000) << "green only, at " << i;
    int g = fftest::Channel(f, 8);
    most = std::max(most, g);
    // Coverage times the colour's alpha: half as much green; over red, the red lets through the rest.
    ASSERT_NEAR(fftest::Channel(half.pixels[i], 8), g * 128 / 255, 1) << i;
    ASSERT_NEAR(fftest::Channel(over.pixels[i], 8), g * 128 / 255, 1) << i;
    ASSERT_NEAR(fftest::Channel(over.pixels[i], 16), 255 - g * 128 / 255, 1) << i;
  }
  EXPECT_EQ(most, 255) << "some texels are fully covered";
}

TEST(Font, GlyphsOnManyAtlasPagesDrawAsOnOneAndASpriteOfOursChangesNothing) {
  Target t(Where::kWindow, 400, 160);
  std::string ascii;
  for (char c = '!'; c <= '~'; ++c) ascii += c;
  Ref<ID3DXFont> fresh, filled;
  ASSERT_EQ(MakeFont(t.d.device.get(), 140, fresh), D3D_OK);
  ASSERT_EQ(MakeFont(t.d.device.get(), 140, filled), D3D_OK);
  RECT r{2, 2, 398, 158};
  Picture first = Text(t, fresh.get(), "!~Wg", r, DT_LEFT | DT_NOCLIP);
  // 94 glyphs of about 80 x 100 texels need many 256 x 256 pages; '!' lands on the first, '~'
  // on the last.
  Text(t, filled.get(), ascii.c_str(), r, DT_LEFT | DT_NOCLIP);
  EXPECT_TRUE(Text(t, filled.get(), "!~Wg", r, DT_LEFT | DT_NOCLIP).pixels == first.pixels);
  EXPECT_GT(InkOf(first, kBlack).count, 2000);
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(t.d.device.get(), sprite.out()), D3D_OK);
  t.d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
  sprite->Begin(D3DXSPRITE_ALPHABLEND);
  EXPECT_GT(fresh->DrawTextA(sprite.get(), "!~Wg", -1, &r, DT_LEFT | DT_NOCLIP, kWhite), 0);
  sprite->End();
  EXPECT_TRUE(t.Back().pixels == first.pixels);
}

TEST(Font, ChecksItsArgumentsAndDescribesItself) {
  Target t(Where::kWindow, 64, 32);
  IDirect3DDevice9* device = t.d.device.get();
  Ref<ID3DXFont> font;
  D3DXFONT_DESCA desc{};
  desc.Height = 20, desc.Weight = FW_BOLD;
  std::strcpy(desc.FaceName, "Arial");
  EXPECT_EQ(D3DXCreateFontIndirectA(nullptr, &desc, font.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateFontIndirectA(device, nullptr, font.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateFontIndirectA(device, &desc, nullptr), D3DERR_INVALIDCALL);
  ASSERT_EQ(D3DXCreateFontIndirectA(device, &desc, font.out()), D3D_OK);
  D3DXFONT_DESCA got{};
  ASSERT_EQ(font->GetDescA(&got), D3D_OK);
  EXPECT_EQ(std::vector<UINT>({static_cast<UINT>(got.Height), got.Weight}), std::vector<UINT>({20, FW_BOLD}));
  EXPECT_STREQ(got.FaceName, "Arial");
  EXPECT_EQ(font->GetDescA(nullptr), D3DERR_INVALIDCALL);
  RECT r{0, 0, 64, 32};
  EXPECT_EQ(font->DrawTextA(nullptr, nullptr, -1, &r, 0, kWhite), 0);
  EXPECT_EQ(font->DrawTextA(nullptr, "x", -1, nullptr, 0, kWhite), 0);
  EXPECT_EQ(font->DrawTextA(nullptr, "x", 0, &r, 0, kWhite), 0);
  EXPECT_EQ(font->DrawTextA(nullptr, "", -1, &r, 0, kWhite), 0);
  Ref<IDirect3DDevice9> owner;
  ASSERT_EQ(font->GetDevice(owner.out()), D3D_OK);
  EXPECT_EQ(owner.get(), device);
}
