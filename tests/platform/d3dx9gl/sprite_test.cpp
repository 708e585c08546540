// ID3DXSprite: where quads land, how they turn, blend and are alpha-tested, batching, the calls'
// rules, references and Reset.
#include <cmath>

#include "gl_test_support.h"
#include "quad_batch.h"

using namespace d3d9test;
using namespace gltest;

namespace {

// Draws `texture` with the sprite in one Begin/End pair: its top left at (x, y), no transform.
void DrawAt(ID3DXSprite* sprite, IDirect3DTexture9* texture, float x, float y, DWORD flags = 0,
            D3DCOLOR colour = kWhite, const RECT* source = nullptr) {
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  ASSERT_EQ(sprite->Begin(flags), D3D_OK);
  ASSERT_EQ(sprite->SetTransform(&identity), D3D_OK);
  D3DXVECTOR3 position(x, y, 0);
  ASSERT_EQ(sprite->Draw(texture, source, nullptr, &position, colour), D3D_OK);
  ASSERT_EQ(sprite->End(), D3D_OK);
}

zr::d3d9::QuadBatch& Quads(Device& d) { return d.gl()->Quads(); }

}  // namespace

TEST_P(OnBothTargets, ASpriteCoversExactlyItsPixelsAndEachSamplesItsTexel) {
  Target t(GetParam(), 100, 80);
  Device& d = t.d;
  Ref<IDirect3DTexture9> texture;
  const std::vector<std::uint32_t> texels = Gradient(64, 32);
  ASSERT_NO_FATAL_FAILURE(MakeTexture(d.device.get(), 64, 32, texels, texture));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), sprite.out()), D3D_OK);
  for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
    SCOPED_TRACE(filter == D3DTEXF_POINT ? "point" : "linear");
    d->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0), D3D_OK);
    DrawAt(sprite.get(), texture.get(), 10, 20);
    Picture p = BackBuffer(d.device.get(), 100, 80);
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 100; ++x) {
        bool inside = x >= 10 && x <= 73 && y >= 20 && y <= 51;
        std::uint32_t want = inside ? texels[static_cast<std::size_t>(y - 20) * 64 + (x - 10)] : kBlack;
        ASSERT_EQ(p.at(x, y), want) << "at " << x << "," << y;
      }
  }
  // A source rectangle: only those texels, its top left at the position.
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
  RECT part{8, 4, 20, 10};
  DrawAt(sprite.get(), texture.get(), 50, 60, 0, kWhite, &part);
  Picture p = BackBuffer(d.device.get(), 100, 80);
  EXPECT_EQ(p.at(50, 60), texels[4 * 64 + 8]);
  EXPECT_EQ(p.at(61, 65), texels[9 * 64 + 19]);
  EXPECT_EQ(p.at(62, 65), kBlack);
  EXPECT_EQ(p.at(61, 66), kBlack);
  EXPECT_EQ(p.at(49, 60), kBlack);
}

TEST(Sprite, TurnsAboutItsCentreClockwiseOnScreenForAPositiveAngle) {
  Target t(Where::kWindow, 100, 80);
  Device& d = t.d;
  // Quadrants of 16x8: red top left, green top right, blue bottom left, white bottom right.
  std::vector<std::uint32_t> texels;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x)
      texels.push_back(y < 8 ? (x < 16 ? kRed : kGreen) : (x < 16 ? kBlue : kWhite));
  Ref<IDirect3DTexture9> texture;
  ASSERT_NO_FATAL_FAILURE(MakeTexture(d.device.get(), 32, 16, texels, texture));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), sprite.out()), D3D_OK);
  // The engine's transform: rotation, then translation to where the centre goes, then scaling.
  D3DXVECTOR3 centre(16, 8, 0);
  D3DXMATRIX rotation, translation, scaling, transform;
  D3DXMatrixRotationZ(&rotation, D3DX_PI / 2);
  D3DXMatrixTranslation(&translation, 50, 40, 0);
  D3DXMatrixScaling(&scaling, 1, 1, 1);
  D3DXMatrixMultiply(&transform, &rotation, &translation);
  D3DXMatrixMultiply(&transform, &transform, &scaling);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
  ASSERT_EQ(sprite->Begin(0), D3D_OK);
  ASSERT_EQ(sprite->SetTransform(&transform), D3D_OK);
  ASSERT_EQ(sprite->Draw(texture.get(), nullptr, &centre, nullptr, kWhite), D3D_OK);
  ASSERT_EQ(sprite->End(), D3D_OK);
  Picture p = BackBuffer(d.device.get(), 100, 80);
  // Standing up now: 16 wide and 32 high about (50, 40); the top left quadrant went to the top right.
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 100; ++x) {
      bool inside = x >= 42 && x < 58 && y >= 24 && y < 56;
      D3DCOLOR want = !inside ? kBlack : y < 40 ? (x >= 50 ? kRed : kBlue) : (x >= 50 ? kGreen : kWhite);
      ASSERT_EQ(p.at(x, y), want) << "at " << x << "," << y;
    }
  D3DXMATRIX got;
  ASSERT_EQ(sprite->GetTransform(&got), D3D_OK);
  EXPECT_TRUE(got == transform);
}

TEST_P(OnBothTargets, ColourAlphaBlendsWithAlphaBlendAndTintsWithout) {
  Target t(GetParam(), 40, 30);
  Device& d = t.d;
  Ref<IDirect3DTexture9> red;
  ASSERT_NO_FATAL_FAILURE(MakeTexture(d.device.get(), 8, 8, std::vector<std::uint32_t>(64, kRed), red));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), sprite.out()), D3D_OK);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1, 0);
  DrawAt(sprite.get(), red.get(), 2, 2, D3DXSPRITE_ALPHABLEND, 0x80FFFFFF);
  DrawAt(sprite.get(), red.get(), 20, 2, 0, 0x80FFFFFF);             // no blending: replaces
  DrawAt(sprite.get(), red.get(), 2, 15, D3DXSPRITE_ALPHABLEND, 0xFF808080);  // opaque grey tint
  Picture p = BackBuffer(d.device.get(), 40, 30);
  EXPECT_TRUE(Near(p.at(5, 5), 0xFF80007F, 1)) << std::hex << p.at(5, 5) << ": half red over blue";
  EXPECT_EQ(p.at(25, 5), 0xFFFF0000) << std::hex << p.at(25, 5);
  EXPECT_TRUE(Near(p.at(5, 18), 0xFF800000, 1)) << std::hex << p.at(5, 18);
  EXPECT_EQ(p.at(11, 5), kBlue) << "outside";
}

TEST_P(OnBothTargets, TheDevicesAlphaTestDropsTexelsAsTheEngineSetsIt) {
  Target t(GetParam(), 32, 16);
  Device& d = t.d;
  // Alpha 0, 1, 127, 128, 200, 255 from left to right, red.
  const std::uint32_t alphas[6] = {0, 1, 127, 128, 200, 255};
  std::vector<std::uint32_t> texels;
  for (int x = 0; x < 6; ++x) texels.push_back(alphas[x] << 24 | 0xFF0000);
  Ref<IDirect3DTexture9> texture;
  ASSERT_NO_FATAL_FAILURE(MakeTexture(d.device.get(), 6, 1, texels, texture));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), sprite.out()), D3D_OK);
  auto written = [&](DWORD enable, DWORD func, DWORD ref) {
    d->SetRenderState(D3DRS_ALPHATESTENABLE, enable);
    d->SetRenderState(D3DRS_ALPHAFUNC, func);
    d->SetRenderState(D3DRS_ALPHAREF, ref);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0);
    DrawAt(sprite.get(), texture.get(), 0, 0);
    Picture p = BackBuffer(d.device.get(), 32, 16);
    std::string s;
    for (int x = 0; x < 6; ++x) s += (p.at(x, 0) & 0xFFFFFF) == 0xFF0000 ? 'x' : (p.at(x, 0) == kGreen ? '.' : '?');
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

  // The test sees the texel times the colour; X8R8G8B8 texels are opaque whatever their alpha byte.
  d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  d->SetRenderState(D3DRS_ALPHAREF, 1);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0);
  DrawAt(sprite.get(), texture.get(), 0, 2, 0, 0x00FFFFFF);
  Ref<IDirect3DTexture9> opaque;
  ASSERT_NO_FATAL_FAILURE(MakeTexture(d.device.get(), 6, 1, texels, opaque, D3DFMT_X8R8G8B8));
  DrawAt(sprite.get(), opaque.get(), 0, 4, D3DXSPRITE_ALPHABLEND);
  Picture p = BackBuffer(d.device.get(), 32, 16);
  EXPECT_EQ(p.at(5, 2), kGreen) << "colour alpha 0";
  for (int x = 0; x < 6; ++x) EXPECT_EQ(p.at(x, 4), kRed) << x;
}

// The same scene drawn in batches and quad by quad, with state changes, clears, several sprites
// and textures in between, must give the same picture.
TEST_P(OnBothTargets, BatchingGivesThePicturesOfDrawingEachQuadAtOnce) {
  Target t(GetParam(), 120, 90);
  Device& d = t.d;
  Ref<IDirect3DTexture9> a;
  Ref<IDirect3DTexture9> b;
  std::vector<std::uint32_t> holes = Gradient(16, 16);
  for (std::size_t i = 0; i < holes.size(); i += 3) holes[i] &= 0x00FFFFFF;  // alpha 0
  ASSERT_NO_FATAL_FAILURE(MakeTexture(d.device.get(), 16, 16, holes, a));
  ASSERT_NO_FATAL_FAILURE(MakeTexture(d.device.get(), 8, 12, Gradient(8, 12), b));
  Ref<ID3DXSprite> first;
  Ref<ID3DXSprite> second;
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
      IDirect3DTexture9* tex = i % 4 == 0 ? b.get() : a.get();
      D3DXMATRIX rotation, translation, transform;
      D3DXVECTOR3 centre(8, 8, 0);
      D3DXMatrixRotationZ(&rotation, 0.3f * static_cast<float>(i));
      D3DXMatrixTranslation(&translation, static_cast<float>(10 + (i * 37) % 100), static_cast<float>(10 + (i * 23) % 70),
                            0);
      D3DXMatrixMultiply(&transform, &rotation, &translation);
      EXPECT_EQ(s->Begin(i / 5 % 2 ? D3DXSPRITE_ALPHABLEND : 0), D3D_OK);
      s->SetTransform(&transform);
      EXPECT_EQ(s->Draw(tex, nullptr, &centre, nullptr, D3DCOLOR_ARGB(0x40 + i * 6, 0xFF, 0xC0 + i, 0xFF)), D3D_OK);
      if (flushEach) {
        EXPECT_EQ(s->Flush(), D3D_OK);
      }
      EXPECT_EQ(s->End(), D3D_OK);
      if (i == 10) d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);  // later quads are drawn without it
      if (i == 15) d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
      if (i == 20) {
        D3DRECT band{0, 40, 120, 50};
        d->Clear(1, &band, D3DCLEAR_TARGET, kBlue, 1, 0);  // over what came before, under what follows
      }
    }
    return BackBuffer(d.device.get(), 120, 90);
  };
  std::uint64_t flushes = Quads(d).Flushes();
  std::uint64_t draws = Quads(d).DrawCalls();
  Picture batched = scene(false);
  EXPECT_LE(Quads(d).Flushes() - flushes, 5u) << "flushed at the state changes, the clear and the read";
  EXPECT_LT(Quads(d).DrawCalls() - draws, 30u);
  Picture single = scene(true);
  ASSERT_EQ(batched.pixels.size(), single.pixels.size());
  int differing = 0;
  for (std::size_t i = 0; i < single.pixels.size(); ++i) differing += batched.pixels[i] != single.pixels[i];
  EXPECT_EQ(differing, 0);
  EXPECT_NE(batched.at(60, 45), kBlue) << "drawn over the clear band";
}

TEST(Sprite, QuadsOfManyBeginEndPairsShareOneDrawUntilSomethingNeedsThem) {
  Target t(Where::kWindow, 64, 64);
  Device& d = t.d;
  Ref<IDirect3DTexture9> texture;
  ASSERT_NO_FATAL_FAILURE(MakeTexture(d.device.get(), 4, 4, std::vector<std::uint32_t>(16, kRed), texture));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), sprite.out()), D3D_OK);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
  std::uint64_t draws = Quads(d).DrawCalls();
  for (int i = 0; i < 100; ++i) DrawAt(sprite.get(), texture.get(), static_cast<float>(i % 16 * 4), static_cast<float>(i / 16 * 4));
  EXPECT_EQ(Quads(d).PendingQuads(), 100u);
  EXPECT_EQ(Quads(d).DrawCalls(), draws) << "nothing drawn yet";
  // Present sends them: they show.
  ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(Quads(d).DrawCalls(), draws + 1);
  Picture p = FrontBuffer(d.device.get(), 64, 64);
  EXPECT_EQ(p.at(63, 23), kRed);
  EXPECT_EQ(p.at(15, 27), kRed) << "the hundredth";
  EXPECT_EQ(p.at(16, 24), kBlack);
  EXPECT_EQ(p.at(0, 28), kBlack);
  // A Clear after drawing wins over it; a viewport change sends quads drawn under the old one.
  DrawAt(sprite.get(), texture.get(), 0, 0);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1, 0);
  DrawAt(sprite.get(), texture.get(), 4, 4);
  D3DVIEWPORT9 view{32, 32, 32, 32, 0, 1};
  ASSERT_EQ(d->SetViewport(&view), D3D_OK);
  DrawAt(sprite.get(), texture.get(), 30, 30);  // clipped to the viewport; positions stay back-buffer pixels
  p = BackBuffer(d.device.get(), 64, 64);
  EXPECT_EQ(std::vector<std::uint32_t>({p.at(1, 1), p.at(5, 5), p.at(31, 31), p.at(32, 32), p.at(33, 33), p.at(34, 34)}),
            std::vector<std::uint32_t>({kGreen, kRed, kGreen, kRed, kRed, kGreen}));
}

TEST(Sprite, CallsFollowBeginAndEnd) {
  Target t(Where::kWindow, 32, 32);
  Device& d = t.d;
  Ref<IDirect3DTexture9> texture;
  ASSERT_NO_FATAL_FAILURE(MakeTexture(d.device.get(), 4, 4, std::vector<std::uint32_t>(16, kRed), texture));
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
  EXPECT_EQ(sprite->Draw(nullptr, nullptr, nullptr, &at, kWhite), D3DERR_INVALIDCALL) << "no texture: no picture";
  Ref<IDirect3DTexture9> inMemory;
  ASSERT_EQ(d->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, inMemory.out(), nullptr), D3D_OK);
  EXPECT_EQ(sprite->Draw(inMemory.get(), nullptr, nullptr, &at, kWhite), D3DERR_INVALIDCALL);
  RECT empty{2, 2, 2, 4};
  EXPECT_EQ(sprite->Draw(texture.get(), &empty, nullptr, &at, kWhite), D3D_OK);
  EXPECT_EQ(d.gl()->Quads().PendingQuads(), 0u) << "an empty rectangle draws nothing";
  EXPECT_EQ(sprite->SetTransform(nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(sprite->GetTransform(nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(sprite->Flush(), D3D_OK);
  EXPECT_EQ(sprite->End(), D3D_OK);
  Ref<IDirect3DDevice9> owner;
  ASSERT_EQ(sprite->GetDevice(owner.out()), D3D_OK);
  EXPECT_EQ(owner.get(), d.device.get());
}

TEST(Sprite, KeepsTexturesItDrawsUntilTheyAreDrawnUnlessToldNotTo) {
  Target t(Where::kWindow, 32, 32);
  Device& d = t.d;
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), sprite.out()), D3D_OK);
  for (DWORD flags : {DWORD{0}, DWORD{D3DXSPRITE_DO_NOT_ADDREF_TEXTURE}}) {
    SCOPED_TRACE(flags);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(d->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    std::fill_n(static_cast<std::uint32_t*>(locked.pBits), 16, kRed);
    texture->UnlockRect(0);
    DrawAt(sprite.get(), texture, 8, 8, flags);
    DrawAt(sprite.get(), texture, 20, 8, flags);
    EXPECT_EQ(texture->AddRef(), flags ? 2u : 3u) << "one reference while its quads wait";
    texture->Release();
    EXPECT_EQ(texture->Release(), flags ? 0u : 1u);
    // Gone or not, the quads drawn with it show.
    Picture p = BackBuffer(d.device.get(), 32, 32);
    EXPECT_EQ(std::vector<std::uint32_t>({p.at(8, 8), p.at(23, 11), p.at(12, 8)}),
              std::vector<std::uint32_t>({kRed, kRed, kBlack}));
    EXPECT_EQ(d.gl()->Quads().PendingQuads(), 0u);
  }
}

TEST(Sprite, WritingATextureSendsTheQuadsThatSampledItBefore) {
  Target t(Where::kWindow, 32, 32);
  Device& d = t.d;
  Ref<IDirect3DTexture9> texture;
  ASSERT_NO_FATAL_FAILURE(MakeTexture(d.device.get(), 4, 4, std::vector<std::uint32_t>(16, kRed), texture));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), sprite.out()), D3D_OK);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
  DrawAt(sprite.get(), texture.get(), 0, 0);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  std::fill_n(static_cast<std::uint32_t*>(locked.pBits), 16, kGreen);
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  DrawAt(sprite.get(), texture.get(), 10, 0);
  Picture p = BackBuffer(d.device.get(), 32, 32);
  EXPECT_EQ(p.at(1, 1), kRed);
  EXPECT_EQ(p.at(11, 1), kGreen);
}

TEST(Sprite, ResetWaitsForOnLostDeviceAndTheSpriteDrawsAgainAfterOnResetDevice) {
  TestWindow window(32, 32);
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 32, 32);
  Device d;
  MakeDevice(window.handle(), pp, d);
  Ref<IDirect3DTexture9> texture;
  ASSERT_NO_FATAL_FAILURE(MakeTexture(d.device.get(), 4, 4, std::vector<std::uint32_t>(16, kRed), texture));
  Ref<ID3DXSprite> sprite;
  ASSERT_EQ(D3DXCreateSprite(d.device.get(), sprite.out()), D3D_OK);
  EXPECT_EQ(d->Reset(&pp), D3DERR_INVALIDCALL);
  ASSERT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  ASSERT_EQ(sprite->Begin(0), D3D_OK);
  ASSERT_EQ(sprite->OnLostDevice(), D3D_OK);
  EXPECT_EQ(sprite->End(), D3DERR_INVALIDCALL) << "OnLostDevice ended the Begin";
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  ASSERT_EQ(sprite->OnResetDevice(), D3D_OK);
  d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1, 0);
  DrawAt(sprite.get(), texture.get(), 3, 3);
  ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(FrontBuffer(d.device.get(), 32, 32).at(4, 4), kRed);
  EXPECT_EQ(d->Reset(&pp), D3DERR_INVALIDCALL) << "live again";
  sprite.reset();
  EXPECT_EQ(d->Reset(&pp), D3D_OK) << "a sprite that went is no longer counted";
}
