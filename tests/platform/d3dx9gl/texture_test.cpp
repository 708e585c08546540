// Device textures: creation and its checks, levels, locks and what reaches GL, pools and Reset,
// stages, references.
#include "gl_test_support.h"
#include "texture.h"

using namespace d3d9test;
using namespace gltest;

namespace d3d9test {
// These tests draw nothing: the support's suite on both targets may have no test in this file.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(OnBothTargets);
}  // namespace d3d9test

namespace {

// Level `level` of a GL texture as 0xAARRGGBB rows, top row first (as uploaded).
std::vector<std::uint32_t> GlTexels(Device& d, IDirect3DTexture9* texture, int level) {
  GLuint name = static_cast<zr::d3d9::GlTexture*>(texture)->Name();
  EXPECT_TRUE(d.gl()->MakeCurrent());
  glBindTexture(GL_TEXTURE_2D, name);
  GLint w = 0;
  GLint h = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
  std::vector<std::uint32_t> texels(static_cast<std::size_t>(w) * h);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glGetTexImage(GL_TEXTURE_2D, level, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texels.data());
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  return texels;
}

struct Fixture {
  TestWindow window{64, 48};
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 64, 48);
  Device d;
  Fixture() { MakeDevice(window.handle(), pp, d); }
};

}  // namespace

TEST(Textures, CreationChecksItsArguments) {
  Fixture f;
  IDirect3DDevice9* d = f.d.device.get();
  Ref<IDirect3DTexture9> t;
  struct Case {
    const char* what;
    UINT w, h, levels;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;
  };
  const Case refused[] = {
      {"no width", 0, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
      {"no height", 8, 0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
      {"too wide", 8193, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
      {"16-bit", 8, 8, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED},
      {"format unknown", 8, 8, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED},
      {"no such pool", 8, 8, 1, 0, D3DFMT_A8R8G8B8, static_cast<D3DPOOL>(7)},
      {"render target", 8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT},
      {"depth stencil", 8, 8, 1, D3DUSAGE_DEPTHSTENCIL, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT},
      {"dynamic and managed", 8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
      {"mipmaps made in memory", 8, 8, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM},
      {"more levels than 64x16 has", 64, 16, 8, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
  };
  for (const Case& c : refused)
    EXPECT_EQ(d->CreateTexture(c.w, c.h, c.levels, c.usage, c.format, c.pool, t.out(), nullptr), D3DERR_INVALIDCALL)
        << c.what;
  EXPECT_FALSE(t) << "nothing is handed out on failure";
  HANDLE shared = nullptr;
  EXPECT_EQ(d->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, t.out(), &shared), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->CreateTexture(8192, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, t.out(), nullptr), D3D_OK);
}

TEST(Textures, HaveTheirLevelsEachLockedApartAndUploadedWhereLocked) {
  Fixture f;
  Ref<IDirect3DTexture9> t;
  ASSERT_EQ(f.d->CreateTexture(64, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, t.out(), nullptr), D3D_OK);
  ASSERT_EQ(t->GetLevelCount(), 7u) << "0 levels: down to 1x1";
  const UINT sizes[7][2] = {{64, 16}, {32, 8}, {16, 4}, {8, 2}, {4, 1}, {2, 1}, {1, 1}};
  for (UINT level = 0; level < 7; ++level) {
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(t->GetLevelDesc(level, &desc), D3D_OK);
    EXPECT_EQ(std::vector<UINT>({desc.Width, desc.Height, desc.Format, desc.Pool, desc.Type, desc.Usage}),
              std::vector<UINT>({sizes[level][0], sizes[level][1], D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DRTYPE_SURFACE,
                                 0}))
        << "level " << level;
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(t->LockRect(level, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, static_cast<INT>(sizes[level][0] * 4));
    for (UINT y = 0; y < sizes[level][1]; ++y)
      std::fill_n(static_cast<std::uint32_t*>(locked.pBits) + y * locked.Pitch / 4, sizes[level][0], 0xFF000000u + level);
    ASSERT_EQ(t->UnlockRect(level), D3D_OK);
  }
  D3DSURFACE_DESC desc{};
  EXPECT_EQ(t->GetLevelDesc(7, &desc), D3DERR_INVALIDCALL);
  EXPECT_EQ(t->GetLevelDesc(0, nullptr), D3DERR_INVALIDCALL);
  for (int level = 0; level < 7; ++level) {
    std::vector<std::uint32_t> texels = GlTexels(f.d, t.get(), level);
    ASSERT_EQ(texels.size(), std::size_t{sizes[level][0]} * sizes[level][1]);
    for (std::uint32_t texel : texels) ASSERT_EQ(texel, 0xFF000000u + level) << "level " << level;
  }

  // A rectangle of level 1: rows top first, the level's width apart; only that part changes.
  D3DLOCKED_RECT locked{};
  RECT part{3, 2, 7, 5};
  ASSERT_EQ(t->LockRect(1, &locked, &part, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, 32 * 4);
  EXPECT_EQ(t->LockRect(1, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "locked already";
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) static_cast<std::uint32_t*>(locked.pBits)[y * 32 + x] = 0x80000000u | (y << 8) | x;
  ASSERT_EQ(t->UnlockRect(1), D3D_OK);
  EXPECT_EQ(t->UnlockRect(1), D3DERR_INVALIDCALL) << "not locked";
  std::vector<std::uint32_t> level1 = GlTexels(f.d, t.get(), 1);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 32; ++x) {
      bool inside = x >= 3 && x < 7 && y >= 2 && y < 5;
      std::uint32_t want = inside ? 0x80000000u | ((y - 2) << 8) | (x - 3) : 0xFF000001u;
      ASSERT_EQ(level1[y * 32 + x], want) << x << "," << y;
    }
  // A read-only lock sees the texels and uploads nothing.
  ASSERT_EQ(t->LockRect(1, &locked, &part, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(static_cast<std::uint32_t*>(locked.pBits)[32 + 1], 0x80000101u);
  static_cast<std::uint32_t*>(locked.pBits)[0] = 0x12345678;
  ASSERT_EQ(t->UnlockRect(1), D3D_OK);
  EXPECT_EQ(GlTexels(f.d, t.get(), 1)[2 * 32 + 3], 0x80000000u);
  for (RECT bad : {RECT{-1, 0, 4, 4}, RECT{0, 0, 33, 4}, RECT{0, 0, 4, 9}, RECT{2, 2, 2, 4}})
    EXPECT_EQ(t->LockRect(1, &locked, &bad, 0), D3DERR_INVALIDCALL) << bad.left << "," << bad.right;
  EXPECT_EQ(t->LockRect(7, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(t->LockRect(0, nullptr, nullptr, 0), D3DERR_INVALIDCALL);
}

TEST(Textures, ThatMakeTheirOwnMipmapsShowOneLevel) {
  Fixture f;
  Ref<IDirect3DTexture9> t;
  ASSERT_EQ(f.d->CreateTexture(16, 8, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, t.out(), nullptr),
            D3D_OK);
  EXPECT_EQ(t->GetLevelCount(), 1u);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(t->LockRect(1, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
  std::fill_n(static_cast<std::uint32_t*>(locked.pBits), 16 * 8, 0xFF336699u);
  ASSERT_EQ(t->UnlockRect(0), D3D_OK);
  EXPECT_EQ(GlTexels(f.d, t.get(), 3), std::vector<std::uint32_t>({0xFF336699u, 0xFF336699u})) << "2x1, made by GL";
}

TEST(Textures, LiveWhereTheirPoolSaysAndOnlyDefaultOnesStopAReset) {
  Fixture f;
  Device& d = f.d;
  struct Case {
    D3DPOOL pool;
    DWORD usage;
    bool onGl, lockable, blocksReset;
  };
  const Case cases[] = {
      {D3DPOOL_MANAGED, 0, true, true, false},          {D3DPOOL_DEFAULT, 0, true, false, true},
      {D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC, true, true, true}, {D3DPOOL_SYSTEMMEM, 0, false, true, false},
      {D3DPOOL_SCRATCH, 0, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "pool " << c.pool << ", usage " << c.usage);
    Ref<IDirect3DTexture9> t;
    ASSERT_EQ(d->CreateTexture(4, 4, 1, c.usage, D3DFMT_X8R8G8B8, c.pool, t.out(), nullptr), D3D_OK);
    auto* gl = static_cast<zr::d3d9::GlTexture*>(t.get());
    EXPECT_EQ(gl->Name() != 0, c.onGl);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), c.lockable ? D3D_OK : D3DERR_INVALIDCALL);
    if (c.lockable) {
      static_cast<std::uint32_t*>(locked.pBits)[5] = 0x00ABCDEF;
      ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    }
    EXPECT_EQ(d->SetTexture(0, t.get()), c.onGl ? D3D_OK : D3DERR_INVALIDCALL);
    EXPECT_EQ(d->Reset(&f.pp), c.blocksReset ? D3DERR_INVALIDCALL : D3D_OK);
    if (c.lockable) {
      ASSERT_EQ(t->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
      EXPECT_EQ(static_cast<std::uint32_t*>(locked.pBits)[5], 0x00ABCDEFu) << "kept in memory, alpha as written";
      t->UnlockRect(0);
    }
    if (c.onGl && c.lockable) {
      EXPECT_EQ(GlTexels(d, t.get(), 0)[5], 0x00ABCDEFu) << "and in GL";
    }
    t.reset();
    EXPECT_EQ(d->Reset(&f.pp), D3D_OK);
  }
}

TEST(Textures, StagesHoldNoReferenceAndForgetTexturesThatGo) {
  Fixture f;
  Device& d = f.d;
  Ref<IDirect3DTexture9> t;
  ASSERT_EQ(d->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, t.out(), nullptr), D3D_OK);
  Ref<IDirect3DBaseTexture9> got;
  EXPECT_EQ(d->GetTexture(0, got.out()), D3D_OK);
  EXPECT_FALSE(got) << "nothing set yet";
  ASSERT_EQ(d->SetTexture(15, t.get()), D3D_OK);
  EXPECT_EQ(d->SetTexture(16, t.get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->GetTexture(16, got.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->GetTexture(15, nullptr), D3DERR_INVALIDCALL);
  ASSERT_EQ(d->GetTexture(15, got.out()), D3D_OK);
  EXPECT_EQ(got.get(), static_cast<IDirect3DBaseTexture9*>(t.get()));
  EXPECT_EQ(t->AddRef(), 3u) << "ours and GetTexture's: SetTexture keeps none";
  t->Release();
  got.reset();
  ASSERT_EQ(d->SetTexture(3, t.get()), D3D_OK);
  ASSERT_EQ(d->SetTexture(3, nullptr), D3D_OK);
  EXPECT_EQ(d->GetTexture(3, got.out()), D3D_OK);
  EXPECT_FALSE(got);
  EXPECT_EQ(d->GetTexture(15, got.out()), D3D_OK);
  EXPECT_TRUE(got);
  got.reset();
  ASSERT_EQ(d->Reset(&f.pp), D3D_OK);
  EXPECT_EQ(d->GetTexture(15, got.out()), D3D_OK);
  EXPECT_FALSE(got) << "Reset clears the stages";
  ASSERT_EQ(d->SetTexture(1, t.get()), D3D_OK);
  t.reset();
  EXPECT_EQ(d->GetTexture(1, got.out()), D3D_OK);
  EXPECT_FALSE(got) << "a texture that went is unbound";

  // Only this device's textures can be set.
  TestWindow other(16, 16);
  Device e;
  MakeDevice(other.handle(), Windowed(other.handle(), 16, 16), e);
  Ref<IDirect3DTexture9> foreign;
  ASSERT_EQ(e->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, foreign.out(), nullptr), D3D_OK);
  EXPECT_EQ(d->SetTexture(0, foreign.get()), D3DERR_INVALIDCALL);
}

TEST(Textures, HoldTheirDeviceAndFreeTheirGlTextureWhicheverGoesFirst) {
  TestWindow window(16, 16);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 16, 16);
  IDirect3DDevice9* device = nullptr;
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window.handle(), D3DCREATE_MIXED_VERTEXPROCESSING, &pp, &device),
            D3D_OK);
  d3d->Release();
  IDirect3DTexture9* first = nullptr;
  IDirect3DTexture9* second = nullptr;
  ASSERT_EQ(device->CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &first, nullptr), D3D_OK);
  ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &second, nullptr),
            D3D_OK);
  EXPECT_EQ(first->GetType(), D3DRTYPE_TEXTURE);
  IDirect3DDevice9* owner = nullptr;
  ASSERT_EQ(first->GetDevice(&owner), D3D_OK);
  EXPECT_EQ(owner, device);
  EXPECT_EQ(owner->Release(), 3u) << "ours and the two textures'";
  void* base = nullptr;
  ASSERT_EQ(first->QueryInterface(IID_IDirect3DBaseTexture9, &base), D3D_OK);
  EXPECT_EQ(base, static_cast<IDirect3DBaseTexture9*>(first));
  EXPECT_EQ(first->Release(), 1u) << "QueryInterface's reference";
  EXPECT_EQ(first->QueryInterface(IID_IDirect3DSurface9, &base), E_NOINTERFACE);
  EXPECT_EQ(base, nullptr);

  GLuint name = static_cast<zr::d3d9::GlTexture*>(first)->Name();
  ASSERT_NE(name, 0u);
  EXPECT_EQ(first->Release(), 0u);
  ASSERT_TRUE(static_cast<zr::d3d9::GlDevice*>(device)->MakeCurrent());
  EXPECT_FALSE(glIsTexture(name)) << "deleted as the texture went";
  // The device is released first; the texture keeps it (and its context) until it goes too.
  ASSERT_EQ(device->SetTexture(0, second), D3D_OK);
  EXPECT_EQ(device->Release(), 1u);
  EXPECT_EQ(second->Release(), 0u);  // LeakSanitizer checks that both went
}
