// ID3DXSprite and ID3DXFont on the GL device: where quads and glyphs land, how they turn, blend and
// are alpha-tested; held-back quads sent in batches; Reset.
#include <d3dx9.h>

#include "d3d9_testing.h"
#include "ff_test_support.h"
#include "quad_batch.h"

using namespace d3d9test;

namespace {

ID3DXSprite* NewSprite(IDirect3DDevice9* device) {
  ID3DXSprite* sprite = nullptr;
  EXPECT_EQ(D3DXCreateSprite(device, &sprite), D3D_OK);
  return sprite;
}

// Draws `texture` with the sprite in one Begin/End pair: its top left at (x, y) through `transform`.
void DrawAt(ID3DXSprite* sprite, IDirect3DTexture9* texture, float x, float y, DWORD flags = 0, D3DCOLOR colour = kWhite,
            const RECT* source = nullptr, const D3DXMATRIX* transform = nullptr, const D3DXVECTOR3* centre = nullptr) {
  D3DXMATRIX identity;
  ASSERT_EQ(sprite->Begin(flags), D3D_OK);
  ASSERT_EQ(sprite->SetTransform(transform != nullptr ? transform : D3DXMatrixIdentity(&identity)), D3D_OK);
  D3DXVECTOR3 position(x, y, 0);
  ASSERT_EQ(sprite->Draw(texture, source, centre, &position, colour), D3D_OK);
  ASSERT_EQ(sprite->End(), D3D_OK);
}

ID3DXFont* NewFont(IDirect3DDevice9* device, int height = 0) {
  D3DXFONT_DESCA d{height, 0, FW_NORMAL, 1, FALSE, ANSI_CHARSET, 0, 0, 0, "Arial"};
  ID3DXFont* font = nullptr;
  EXPECT_EQ(D3DXCreateFontIndirectA(device, &d, &font), D3D_OK);
  return font;
}

// Draws `text` on a cleared back buffer as DrawText is asked, and reads the back buffer.
Picture Text(Scene& t, ID3DXFont* font, const char* text, RECT r, DWORD format, D3DCOLOR colour = kWhite,
             D3DCOLOR background = kBlack) {
  t.d->Clear(0, nullptr, D3DCLEAR_TARGET, background, 1, 0);
  EXPECT_GT(font->DrawTextA(nullptr, text, -1, &r, format, colour), 0);
  return t.Back();
}

}  // namespace

// A picture twice as wide as high lands texel for texel, filtered as sprites are or point sampled
// as the caller set it, in the window or in a framebuffer of ours; so does a source rectangle of it.
TEST_P(OnBothTargets, ASpriteCoversExactlyItsPixelsAndEachSamplesItsTexel) {
  Scene t(100, 80, false, GetParam());
  const std::vector<std::uint32_t> texels = Gradient(64, 32);
  Ref<IDirect3DTexture9> texture(MakeTexture(t.get(), 64, 32, texels));
  Ref<ID3DXSprite> sprite(NewSprite(t.get()));
  t.d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
  t.d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
  for (auto [flags, left, top, source] : {std::tuple{DWORD{D3DXSPRITE_DONOTMODIFY_RENDERSTATE}, 10, 20, RECT{0, 0, 64, 32}},
                                        {DWORD{0}, 10, 20, RECT{0, 0, 64, 32}}, {DWORD{0}, 50, 60, RECT{8, 4, 20, 10}}}) {
    t.d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
    DrawAt(sprite.get(), texture.get(), float(left), float(top), flags, kWhite, source.right == 64 ? nullptr : &source);
    Picture p = t.Back();
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 100; ++x) {
        int tx = x - left + source.left, ty = y - top + source.top;
        bool inside = tx >= source.left && tx < source.right && ty >= source.top && ty < source.bottom;
        ASSERT_EQ(p.at(x, y), inside ? texels[std::size_t(ty) * 64 + tx] : kBlack) << flags << " at " << x << "," << y;
      }
  }
}

TEST(Sprite, TurnsAboutItsCentreClockwiseOnScreenForAPositiveAngle) {
  Scene t(100, 80, false);
  std::vector<std::uint32_t> texels;  // quadrants of 16x8: red, green above blue, white
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) texels.push_back(y < 8 ? (x < 16 ? kRed : kGreen) : (x < 16 ? kBlue : kWhite));
  Ref<IDirect3DTexture9> texture(MakeTexture(t.get(), 32, 16, texels));
  Ref<ID3DXSprite> sprite(NewSprite(t.get()));
  // The engine's transform: a quarter turn, then the move to where the centre goes.
  D3DXVECTOR3 centre(16, 8, 0);
  D3DXMATRIX rotation, translation;
  D3DXMATRIX transform = *D3DXMatrixRotationZ(&rotation, D3DX_PI / 2) * *D3DXMatrixTranslation(&translation, 50, 40, 0);
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

// Told to leave the device's states alone (D3DXSPRITE_DONOTMODIFY_RENDERSTATE), a sprite is drawn
// with the caller's alpha test.
TEST(Sprite, ColourTintsAndBlendsAndTheCallersAlphaTestDropsTexels) {
  Scene t(40, 30, false, Where::kFramebuffer);
  Device& d = t.d;
  Ref<IDirect3DTexture9> red(MakeTexture(d.device.get(), 8, 8, std::vector<std::uint32_t>(64, kRed)));
  Ref<ID3DXSprite> sprite(NewSprite(d.device.get()));
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
  DrawAt(sprite.get(), red.get(), 2, 2, D3DXSPRITE_ALPHABLEND, 0x80FFFFFF);
  DrawAt(sprite.get(), red.get(), 20, 2, 0, 0x80FFFFFF);                     // no blending: replaces
  DrawAt(sprite.get(), red.get(), 2, 15, D3DXSPRITE_ALPHABLEND, 0xFF808080);  // opaque grey tint
  Picture p = t.Back();
  EXPECT_TRUE(fftest::Near(p.at(5, 5), 0xFF80007F, 1) && fftest::Near(p.at(5, 18), 0xFF800000, 1)) << std::hex << p.at(5, 5);
  EXPECT_EQ(std::vector<std::uint32_t>({p.at(25, 5), p.at(11, 5)}), std::vector<std::uint32_t>({kRed, kBlue}));
  // Alpha 0, 1, 127, 128, 200, 255, left to right: the texels (times the colour) the alpha test lets
  // through, first as the engine sets it; ALPHAREF's low 8 bits count; X8R8G8B8 texels are opaque.
  std::vector<std::uint32_t> texels;
  for (std::uint32_t a : {0, 1, 127, 128, 200, 255}) texels.push_back(a << 24 | 0xFF0000);
  Ref<IDirect3DTexture9> alpha(MakeTexture(t.get(), 6, 1, texels)), x8(MakeTexture(t.get(), 6, 1, texels, D3DFMT_X8R8G8B8));
  using Row = std::tuple<BOOL, DWORD, DWORD, IDirect3DTexture9*, D3DCOLOR, const char*>;
  for (auto [enable, func, ref, tex, colour, shown] : {Row{TRUE, D3DCMP_GREATEREQUAL, 1, alpha.get(), kWhite, ".xxxxx"},
                                                       Row{FALSE, D3DCMP_GREATEREQUAL, 1, alpha.get(), kWhite, "xxxxxx"},
                                                       Row{TRUE, D3DCMP_LESS, 128, alpha.get(), kWhite, "xxx..."},
                                                       Row{TRUE, D3DCMP_LESSEQUAL, 0x180, alpha.get(), kWhite, "xxxx.."},
                                                       Row{TRUE, D3DCMP_GREATEREQUAL, 1, alpha.get(), 0x00FFFFFF, "......"},
                                                       Row{TRUE, D3DCMP_GREATEREQUAL, 1, x8.get(), kWhite, "xxxxxx"}}) {
    d->SetRenderState(D3DRS_ALPHATESTENABLE, enable);
    d->SetRenderState(D3DRS_ALPHAFUNC, func);
    d->SetRenderState(D3DRS_ALPHAREF, ref);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0);
    DrawAt(sprite.get(), tex, 0, 0, D3DXSPRITE_DONOTMODIFY_RENDERSTATE, colour);
    Picture q = t.Back();
    std::string s;
    for (int x = 0; x < 6; ++x) s += (q.at(x, 0) & 0xFFFFFF) == 0xFF0000 ? 'x' : (q.at(x, 0) == kGreen ? '.' : '?');
    EXPECT_EQ(s, shown) << func << " " << ref;
  }
}

// The same scene drawn in batches and quad by quad, with state changes, clears, several sprites
// and textures in between, gives the same picture: quads wait with the states they were drawn
// under, the sprites' own or the caller's.
TEST(Sprite, BatchingGivesThePictureOfDrawingEachQuadAtOnce) {
  Scene t(120, 90, false);
  Device& d = t.d;
  std::vector<std::uint32_t> holes = Gradient(16, 16);
  for (std::size_t i = 0; i < holes.size(); i += 3) holes[i] &= 0x00FFFFFF;  // alpha 0
  Ref<IDirect3DTexture9> a(MakeTexture(t.get(), 16, 16, holes)), b(MakeTexture(t.get(), 8, 12, Gradient(8, 12)));
  Ref<ID3DXSprite> first(NewSprite(t.get())), second(NewSprite(t.get()));
  auto scene = [&](bool flushEach) {
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE), d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);  // as zr_DirectXGraphics sets it
    d->SetRenderState(D3DRS_ALPHAREF, 1), d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0x20, 0x20, 0x20), 1, 0);
    for (int i = 0; i < 30; ++i) {
      ID3DXSprite* s = i % 3 == 0 ? second.get() : first.get();
      D3DXMATRIX rotation, translation;
      D3DXMATRIX transform = *D3DXMatrixRotationZ(&rotation, 0.3f * float(i)) *
                             *D3DXMatrixTranslation(&translation, float(10 + (i * 37) % 100), float(10 + (i * 23) % 70), 0);
      D3DXVECTOR3 centre(8, 8, 0);
      const DWORD flags[] = {0, D3DXSPRITE_ALPHABLEND, D3DXSPRITE_DONOTMODIFY_RENDERSTATE};
      EXPECT_TRUE(s->Begin(flags[i / 4 % 3]) == D3D_OK && s->SetTransform(&transform) == D3D_OK);
      s->Draw(i % 4 == 0 ? b.get() : a.get(), nullptr, &centre, nullptr, D3DCOLOR_ARGB(0x40 + i * 6, 0xFF, 0xC0 + i, 0xFF));
      EXPECT_TRUE((!flushEach || s->Flush() == D3D_OK) && s->End() == D3D_OK);
      if (i == 10) d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);  // later quads are drawn without it
      if (i == 15) d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
      if (i == 17) d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE), d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
      D3DRECT band{0, 40, 120, 50};
      if (i == 20) d->Clear(1, &band, D3DCLEAR_TARGET, kBlue, 1, 0);  // over what came before, under what follows
    }
    return t.Back();
  };
  Picture batched = scene(false), single = scene(true);
  EXPECT_TRUE(batched.pixels == single.pixels);
  EXPECT_NE(batched.at(60, 45), kBlue) << "drawn over the clear band";
}

// Quads wait until something needs them: Present, a Clear, a viewport change, a write to their
// texture, another kind of draw; each sees them drawn as if at once. A texture let go of while
// its quads wait is kept until they are drawn.
TEST(Sprite, HeldQuadsAreSentBeforeWhateverWouldChangeWhatTheyShow) {
  Scene t(64, 64, false);
  Device& d = t.d;
  IDirect3DTexture9* texture = MakeTexture(t.get(), 4, 4, std::vector<std::uint32_t>(16, kRed));
  Ref<ID3DXSprite> sprite(NewSprite(t.get()));
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
  for (int i = 0; i < 100; ++i) DrawAt(sprite.get(), texture, float(i % 16 * 4), float(i / 16 * 4));
  ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  Picture p = FrontBuffer(d.device.get(), 64, 64);
  EXPECT_EQ(std::vector<std::uint32_t>({p.at(63, 23), p.at(15, 27), p.at(16, 24)}), std::vector<std::uint32_t>({kRed, kRed, kBlack}));
  DrawAt(sprite.get(), texture, 0, 0);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0);  // wins over what was drawn before
  DrawAt(sprite.get(), texture, 4, 4);
  D3DVIEWPORT9 view{32, 32, 32, 32, 0, 1};
  ASSERT_EQ(d->SetViewport(&view), D3D_OK);
  DrawAt(sprite.get(), texture, 30, 30);  // clipped to the viewport; positions stay back-buffer pixels
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  std::fill_n(static_cast<std::uint32_t*>(locked.pBits), 16, kBlue);
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  DrawAt(sprite.get(), texture, 40, 40);
  DrawAt(sprite.get(), texture, 56, 56);
  EXPECT_EQ(texture->Release(), 1u) << "kept while its quads wait";
  d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  fftest::DrawScreenQuad(d.device.get(), 42, 42, 50, 50, kWhite);  // drawn after the sprite before it
  p = t.Back();
  EXPECT_EQ(std::vector<std::uint32_t>({p.at(1, 1), p.at(5, 5), p.at(31, 31), p.at(32, 32), p.at(33, 33), p.at(34, 34),
                                        p.at(40, 40), p.at(43, 43), p.at(57, 57)}),
            std::vector<std::uint32_t>({kGreen, kRed, kGreen, kRed, kRed, kGreen, kBlue, kWhite, kBlue}));
}

// Begin sets the states ID3DXSprite::Begin's documentation lists (blending and the alpha test with
// D3DXSPRITE_ALPHABLEND only, as that flag's description says), End puts back the caller's; with
// DONOTSAVESTATE the sprites' stay, with DONOTMODIFY_RENDERSTATE the caller's are in force between.
// Text drawn without a sprite leaves the caller's as they were.
TEST(Sprite, BeginSetsTheDocumentedStatesAndEndPutsBackTheCallers) {
  Scene t(16, 16, false);
  IDirect3DDevice9* d = t.get();
  // Blending, its source factor, the alpha test and its reference, culling, lighting, sampler 0's
  // magnification filter and u addressing, stage 0's colour operation.
  const D3DRENDERSTATETYPE render[] = {D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND, D3DRS_ALPHATESTENABLE, D3DRS_ALPHAREF,
                                       D3DRS_CULLMODE, D3DRS_LIGHTING};
  auto set = [&](const std::vector<DWORD>& v) {
    for (std::size_t i = 0; i < 6; ++i) d->SetRenderState(render[i], v[i]);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, v[6]), d->SetSamplerState(0, D3DSAMP_ADDRESSU, v[7]);
    d->SetTextureStageState(0, D3DTSS_COLOROP, v[8]);
  };
  auto read = [&] {
    std::vector<DWORD> v(9);
    for (std::size_t i = 0; i < 6; ++i) d->GetRenderState(render[i], &v[i]);
    d->GetSamplerState(0, D3DSAMP_MAGFILTER, &v[6]), d->GetSamplerState(0, D3DSAMP_ADDRESSU, &v[7]);
    d->GetTextureStageState(0, D3DTSS_COLOROP, &v[8]);
    return v;
  };
  const std::vector<DWORD> caller = {FALSE, D3DBLEND_ONE, TRUE, 0x80, D3DCULL_CW, TRUE, D3DTEXF_POINT,
                                     D3DTADDRESS_MIRROR, D3DTOP_SELECTARG2};
  const std::vector<DWORD> blended = {TRUE, D3DBLEND_SRCALPHA, TRUE, 0, D3DCULL_NONE, FALSE, D3DTEXF_LINEAR,
                                      D3DTADDRESS_CLAMP, D3DTOP_MODULATE};
  std::vector<DWORD> opaque = blended;
  opaque[0] = opaque[2] = FALSE;
  Ref<ID3DXSprite> sprite(NewSprite(d));
  Ref<ID3DXFont> font(NewFont(d));
  for (auto [flags, between, after] : {std::tuple{DWORD{D3DXSPRITE_ALPHABLEND}, blended, caller}, {0, opaque, caller},
                                       {D3DXSPRITE_ALPHABLEND | D3DXSPRITE_DONOTSAVESTATE, blended, blended},
                                       {D3DXSPRITE_DONOTMODIFY_RENDERSTATE, caller, caller}}) {
    set(caller);
    ASSERT_EQ(sprite->Begin(flags), D3D_OK);
    EXPECT_EQ(read(), between) << "between Begin and End, flags " << flags;
    ASSERT_EQ(sprite->End(), D3D_OK);
    EXPECT_EQ(read(), after) << "after End, flags " << flags;
  }
  set(caller);
  RECT r{0, 0, 16, 16};
  EXPECT_GT(font->DrawTextA(nullptr, "Li", -1, &r, DT_LEFT, kWhite), 0);
  EXPECT_EQ(read(), caller) << "after text";
}

// Letting go draws nothing. A texture drawn without a reference takes its waiting quads with it;
// sprites, fonts and textures that go leave the rest waiting, which are drawn as before; once
// only waiting quads hold what the device needs, nobody can present them: they are dropped and
// the device goes.
TEST(SpriteAndFont, NothingIsDrawnAsObjectsGoAndTheDeviceGoesWithQuadsNobodyCanPresent) {
  namespace hooks = zr::d3d9::testing;
  TestWindow window(64, 64);
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 64, 64), d);
  auto draw = [&](IDirect3DTexture9* kept, IDirect3DTexture9* notKept, ID3DXSprite* sprite, ID3DXFont* font) {
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
    DrawAt(sprite, kept, 0, 0, D3DXSPRITE_ALPHABLEND);
    if (notKept != nullptr) DrawAt(sprite, notKept, 8, 8, D3DXSPRITE_DO_NOT_ADDREF_TEXTURE);
    DrawAt(sprite, kept, 16, 16, D3DXSPRITE_ALPHABLEND);  // after the other: moved when it goes
    RECT r{0, 32, 64, 64};
    EXPECT_GT(font->DrawTextA(nullptr, "Links", -1, &r, DT_LEFT, kWhite), 0);
  };
  IDirect3DTexture9* red = MakeTexture(d.device.get(), 4, 4, std::vector<std::uint32_t>(16, kRed));
  IDirect3DTexture9* blue = MakeTexture(d.device.get(), 4, 4, std::vector<std::uint32_t>(16, kBlue));
  ID3DXSprite* sprite = NewSprite(d.device.get());
  ID3DXFont* font = NewFont(d.device.get());
  draw(red, blue, sprite, font);
  zr::d3d9::QuadBatch& quads = d.gl()->Quads();
  const unsigned long flushes = hooks::QuadFlushes();
  const std::size_t waiting = quads.PendingQuads();
  EXPECT_EQ(blue->Release(), 0u);
  EXPECT_EQ(quads.PendingQuads(), waiting - 1) << "the blue quad went with its texture";
  EXPECT_TRUE(red->Release() > 0 && sprite->Release() == 0 && font->Release() > 0) << "the quads keep the red and the font";
  EXPECT_EQ(hooks::QuadFlushes(), flushes);
  Picture p = BackBuffer(d.device.get(), 64, 64);
  EXPECT_EQ(std::vector<std::uint32_t>({p.at(1, 1), p.at(9, 9), p.at(17, 17)}), std::vector<std::uint32_t>({kRed, kBlack, kRed}));
  EXPECT_GT(InkOf(p, kBlack, 32).count, 20) << "the text";
  // Again, and then the application lets go of everything, the device last: nothing is drawn.
  red = MakeTexture(d.device.get(), 4, 4, std::vector<std::uint32_t>(16, kRed));
  sprite = NewSprite(d.device.get());
  font = NewFont(d.device.get());
  draw(red, nullptr, sprite, font);
  const unsigned long before = hooks::QuadFlushes();
  EXPECT_TRUE(red->Release() > 0 && sprite->Release() == 0 && font->Release() > 0);
  EXPECT_EQ(d.device.release()->Release(), 0u) << "the device went, and what its quads kept";
  EXPECT_EQ(hooks::QuadFlushes(), before);
}

// Reset is refused while a sprite or a font holds device resources it was not told to give up;
// told (OnLostDevice), the font draws nothing until OnResetDevice, and then both as before.
TEST(SpriteAndFont, ResetWaitsForOnLostDeviceAndBothDrawAgainAfterOnResetDevice) {
  Scene t(200, 30, false);
  Ref<IDirect3DTexture9> texture(MakeTexture(t.get(), 4, 4, std::vector<std::uint32_t>(16, kRed)));
  Ref<ID3DXSprite> sprite(NewSprite(t.get()));
  Ref<ID3DXFont> font(NewFont(t.get()));
  auto draw = [&](bool withSprite) {
    Picture p = Text(t, font.get(), "Leben Links", RECT{0, 0, 180, 30}, DT_LEFT);
    if (withSprite) DrawAt(sprite.get(), texture.get(), 190, 3), p = t.Back();
    return p;
  };
  Picture before = draw(true);
  ASSERT_TRUE(InkOf(before, kBlack).count > 50 && before.at(191, 4) == kRed);
  EXPECT_EQ(t->Reset(&t.pp), D3DERR_INVALIDCALL) << "neither was told";
  ASSERT_TRUE(sprite->Begin(0) == D3D_OK && sprite->OnLostDevice() == D3D_OK);
  EXPECT_EQ(sprite->End(), D3DERR_INVALIDCALL) << "OnLostDevice ended the Begin";
  EXPECT_EQ(t->Reset(&t.pp), D3DERR_INVALIDCALL) << "the font was not told";
  ASSERT_EQ(font->OnLostDevice(), D3D_OK);
  ASSERT_EQ(t->Reset(&t.pp), D3D_OK);
  t->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
  RECT r{0, 0, 180, 30};
  font->DrawTextA(nullptr, "Leben Links", -1, &r, DT_LEFT, kWhite);
  EXPECT_EQ(InkOf(t.Back(), kBlack).count, 0) << "no text between OnLostDevice and OnResetDevice";
  ASSERT_TRUE(font->OnResetDevice() == D3D_OK && sprite->OnResetDevice() == D3D_OK);
  EXPECT_TRUE(draw(true).pixels == before.pixels);
  EXPECT_EQ(t->Reset(&t.pp), D3DERR_INVALIDCALL) << "live again";
  font.reset();
  sprite->OnLostDevice();
  EXPECT_EQ(t->Reset(&t.pp), D3D_OK) << "a font that went is no longer counted";
}

// The rectangle DT_CALCRECT measures holds every pixel drawn, tightly: glyphs sit below its top,
// and across it; centred text is centred.
TEST(Font, TheMeasuredRectangleBoundsEveryPixelDrawnAndTextIsPlacedAsAsked) {
  Scene t(480, 80, false);
  Ref<ID3DXFont> font(NewFont(t.d.device.get()));
  const char* status = "Velkor Engine Framerate:60 Leben Links: 100 / Rechts 99";
  for (const char* text : {status, "Leben\nLinks: 100\n\tgy"}) {
    RECT r{7, 9, 7, 9};
    INT height = font->DrawTextA(nullptr, text, -1, &r, DT_CALCRECT, kWhite);
    EXPECT_EQ(std::vector<LONG>({r.left, r.top, r.bottom - r.top}), std::vector<LONG>({7, 9, height})) << "the corner stays";
    Ink ink = InkOf(Text(t, font.get(), text, r, DT_LEFT | DT_NOCLIP), kBlack);
    ASSERT_GT(ink.count, 100) << text;
    EXPECT_TRUE(ink.left >= r.left && ink.left <= r.left + 2 && ink.right < r.right && ink.right >= r.right - 4)
        << ink.left << " to " << ink.right << " in " << r.left << " to " << r.right;
    EXPECT_TRUE(ink.top >= r.top && ink.top <= r.top + 6 && ink.bottom < r.bottom && ink.bottom >= r.bottom - 6)
        << ink.top << " to " << ink.bottom << " in " << r.top << " to " << r.bottom;
  }
  Ink left = InkOf(Text(t, font.get(), "Rechts 99", RECT{100, 10, 300, 40}, DT_LEFT), kBlack);
  Ink centred = InkOf(Text(t, font.get(), "Rechts 99", RECT{100, 10, 300, 40}, DT_CENTER), kBlack);
  EXPECT_NEAR((centred.left + centred.right) / 2.0, 200, 2) << "centred in the rectangle";
  EXPECT_EQ(centred.right - centred.left, left.right - left.left);
}
