// Device textures (creation and its checks, levels, locks and what reaches GL, pools and Reset,
// stages, references) and D3DX textures made from image files.
#include <d3dx9.h>

#include "d3d9_test_support.h"
#include "image_file.h"
#include "scratch_directory.h"
#include "texture.h"

using namespace d3d9test;

namespace {

// Level `level` of a GL texture as 0xAARRGGBB rows, top row first (as uploaded).
std::vector<std::uint32_t> GlTexels(Device& d, IDirect3DTexture9* texture, int level) {
  EXPECT_TRUE(d.gl()->MakeCurrent());
  glBindTexture(GL_TEXTURE_2D, static_cast<zr::d3d9::GlTexture*>(texture)->Name());
  GLint w = 0, h = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
  std::vector<std::uint32_t> texels(static_cast<std::size_t>(w) * h);
  glGetTexImage(GL_TEXTURE_2D, level, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texels.data());
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  return texels;
}

// Level `level` as D3D hands it out through a read-only lock.
std::vector<std::uint32_t> Locked(IDirect3DTexture9* t, UINT level) {
  D3DSURFACE_DESC desc{};
  EXPECT_EQ(t->GetLevelDesc(level, &desc), D3D_OK);
  D3DLOCKED_RECT locked{};
  std::vector<std::uint32_t> out;
  if (t->LockRect(level, &locked, nullptr, D3DLOCK_READONLY) != D3D_OK) return out;
  for (UINT y = 0; y < desc.Height; ++y)
    for (UINT x = 0; x < desc.Width; ++x) out.push_back(static_cast<std::uint32_t*>(locked.pBits)[y * locked.Pitch / 4 + x]);
  t->UnlockRect(level);
  return out;
}

}  // namespace

TEST(Textures, CreationChecksItsArguments) {
  Target t(Where::kWindow, 16, 16);
  Ref<IDirect3DTexture9> texture;
  const struct {
    const char* what;
    UINT w, h, levels;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;
  } refused[] = {
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
  for (const auto& c : refused)
    EXPECT_EQ(t.d->CreateTexture(c.w, c.h, c.levels, c.usage, c.format, c.pool, texture.out(), nullptr),
              D3DERR_INVALIDCALL)
        << c.what;
  EXPECT_FALSE(texture) << "nothing is handed out on failure";
  HANDLE shared = nullptr;
  EXPECT_EQ(t.d->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out(), &shared), D3DERR_INVALIDCALL);
  EXPECT_EQ(t.d->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(t.d->CreateTexture(8192, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, texture.out(), nullptr), D3D_OK);
}

TEST(Textures, HaveTheirLevelsEachLockedApartAndUploadedWhereLocked) {
  Target target(Where::kWindow, 16, 16);
  Device& d = target.d;
  Ref<IDirect3DTexture9> t;
  ASSERT_EQ(d->CreateTexture(64, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, t.out(), nullptr), D3D_OK);
  ASSERT_EQ(t->GetLevelCount(), 7u) << "0 levels: down to 1x1";
  const UINT sizes[7][2] = {{64, 16}, {32, 8}, {16, 4}, {8, 2}, {4, 1}, {2, 1}, {1, 1}};
  for (UINT level = 0; level < 7; ++level) {
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(t->GetLevelDesc(level, &desc), D3D_OK);
    EXPECT_EQ(std::vector<UINT>({desc.Width, desc.Height, desc.Format, desc.Pool, desc.Type, desc.Usage}),
              std::vector<UINT>({sizes[level][0], sizes[level][1], D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DRTYPE_SURFACE, 0}))
        << "level " << level;
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(t->LockRect(level, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < sizes[level][1]; ++y)
      std::fill_n(static_cast<std::uint32_t*>(locked.pBits) + y * locked.Pitch / 4, sizes[level][0], 0xFF000000u + level);
    ASSERT_EQ(t->UnlockRect(level), D3D_OK);
  }
  for (int level = 0; level < 7; ++level)
    EXPECT_EQ(GlTexels(d, t.get(), level), std::vector<std::uint32_t>(sizes[level][0] * sizes[level][1], 0xFF000000u + level));
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
  std::vector<std::uint32_t> level1 = GlTexels(d, t.get(), 1);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 32; ++x) {
      bool inside = x >= 3 && x < 7 && y >= 2 && y < 5;
      ASSERT_EQ(level1[y * 32 + x], inside ? 0x80000000u | ((y - 2) << 8) | (x - 3) : 0xFF000001u) << x << "," << y;
    }
  for (RECT bad : {RECT{-1, 0, 4, 4}, RECT{0, 0, 33, 4}, RECT{0, 0, 4, 9}, RECT{2, 2, 2, 4}})
    EXPECT_EQ(t->LockRect(1, &locked, &bad, 0), D3DERR_INVALIDCALL) << bad.left << "," << bad.right;
  EXPECT_EQ(t->LockRect(7, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(t->GetLevelDesc(7, nullptr), D3DERR_INVALIDCALL);
}

TEST(Textures, LiveWhereTheirPoolSaysAndOnlyDefaultOnesStopAReset) {
  Target target(Where::kWindow, 16, 16);
  Device& d = target.d;
  D3DPRESENT_PARAMETERS pp = Windowed(target.window.handle(), 16, 16);
  const struct {
    D3DPOOL pool;
    DWORD usage;
    bool onGl, lockable, blocksReset;
  } cases[] = {
      {D3DPOOL_MANAGED, 0, true, true, false},          {D3DPOOL_DEFAULT, 0, true, false, true},
      {D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC, true, true, true}, {D3DPOOL_SYSTEMMEM, 0, false, true, false},
      {D3DPOOL_SCRATCH, 0, false, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "pool " << c.pool << ", usage " << c.usage);
    Ref<IDirect3DTexture9> t;
    ASSERT_EQ(d->CreateTexture(4, 4, 1, c.usage, D3DFMT_X8R8G8B8, c.pool, t.out(), nullptr), D3D_OK);
    EXPECT_EQ(static_cast<zr::d3d9::GlTexture*>(t.get())->Name() != 0, c.onGl);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), c.lockable ? D3D_OK : D3DERR_INVALIDCALL);
    if (c.lockable) {
      static_cast<std::uint32_t*>(locked.pBits)[5] = 0x00ABCDEF;
      ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    }
    EXPECT_EQ(d->SetTexture(0, t.get()), c.onGl ? D3D_OK : D3DERR_INVALIDCALL);
    EXPECT_EQ(d->Reset(&pp), c.blocksReset ? D3DERR_INVALIDCALL : D3D_OK);
    if (c.lockable) {
      EXPECT_EQ(Locked(t.get(), 0)[5], 0x00ABCDEFu) << "kept in memory, alpha as written";
    }
    if (c.onGl && c.lockable) {
      EXPECT_EQ(GlTexels(d, t.get(), 0)[5], 0x00ABCDEFu) << "and in GL";
    }
    t.reset();
    EXPECT_EQ(d->Reset(&pp), D3D_OK);
  }
}

TEST(Textures, StagesHoldNoReferenceAndForgetTexturesThatGoAndTexturesHoldTheirDevice) {
  TestWindow window(16, 16);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 16, 16);
  IDirect3DDevice9* d = nullptr;
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window.handle(), D3DCREATE_MIXED_VERTEXPROCESSING, &pp, &d), D3D_OK);
  d3d->Release();
  IDirect3DTexture9* t = nullptr;
  ASSERT_EQ(d->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
  Ref<IDirect3DBaseTexture9> got;
  EXPECT_EQ(d->GetTexture(0, got.out()), D3D_OK);
  EXPECT_FALSE(got) << "nothing set yet";
  ASSERT_EQ(d->SetTexture(15, t), D3D_OK);
  EXPECT_EQ(d->SetTexture(16, t), D3DERR_INVALIDCALL);
  EXPECT_EQ(d->GetTexture(16, got.out()), D3DERR_INVALIDCALL);
  ASSERT_EQ(d->GetTexture(15, got.out()), D3D_OK);
  EXPECT_EQ(got.get(), static_cast<IDirect3DBaseTexture9*>(t));
  EXPECT_EQ(t->AddRef(), 3u) << "ours and GetTexture's: SetTexture keeps none";
  t->Release();
  got.reset();
  ASSERT_EQ(d->Reset(&pp), D3D_OK);
  EXPECT_EQ(d->GetTexture(15, got.out()), D3D_OK);
  EXPECT_FALSE(got) << "Reset clears the stages";
  IDirect3DDevice9* owner = nullptr;
  ASSERT_EQ(t->GetDevice(&owner), D3D_OK);
  EXPECT_EQ(owner, d);
  EXPECT_EQ(owner->Release(), 2u) << "ours and the texture's";
  void* base = nullptr;
  ASSERT_EQ(t->QueryInterface(IID_IDirect3DBaseTexture9, &base), D3D_OK);
  EXPECT_EQ(t->Release(), 1u) << "QueryInterface's reference";
  EXPECT_EQ(t->QueryInterface(IID_IDirect3DSurface9, &base), E_NOINTERFACE);
  // Only this device's textures can be set.
  TestWindow otherWindow(16, 16);
  Device other;
  MakeDevice(otherWindow.handle(), Windowed(otherWindow.handle(), 16, 16), other);
  EXPECT_EQ(other->SetTexture(0, t), D3DERR_INVALIDCALL);
  // A texture that goes is unbound and its GL texture deleted.
  GLuint name = static_cast<zr::d3d9::GlTexture*>(t)->Name();
  ASSERT_EQ(d->SetTexture(1, t), D3D_OK);
  EXPECT_EQ(t->Release(), 0u);
  EXPECT_EQ(d->GetTexture(1, got.out()), D3D_OK);
  EXPECT_FALSE(got) << "a texture that went is unbound";
  ASSERT_TRUE(static_cast<zr::d3d9::GlDevice*>(d)->MakeCurrent());
  EXPECT_FALSE(glIsTexture(name));
  // The device is released first; a texture keeps it (and its context) until it goes too.
  ASSERT_EQ(d->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &t, nullptr), D3D_OK);
  ASSERT_EQ(d->SetTexture(0, t), D3D_OK);
  EXPECT_EQ(d->Release(), 1u);
  EXPECT_EQ(t->Release(), 0u);  // LeakSanitizer checks that both went
}

// 20 x 12, every pixel its own, alpha varying.
TEST(TextureFromFile, TakesTheImagesSizeFormatAndLevelsOrThoseAskedFor) {
  ScratchDirectory dir;
  Target target(Where::kWindow, 16, 16);
  IDirect3DDevice9* d = target.d.device.get();
  std::vector<std::uint32_t> pixels;
  for (std::uint32_t y = 0; y < 12; ++y)
    for (std::uint32_t x = 0; x < 20; ++x) pixels.push_back(((0x40 + x * 9) << 24) | (x * 12) << 16 | (y * 20) << 8 | 0x33);
  WritePng("rgba.png", 20, 12, pixels);
  WritePng("rgb.png", 20, 12, pixels, false);
  zr::d3dx9::Image image;
  ASSERT_EQ(zr::d3dx9::DecodeImageFile("rgba.png", &image), D3D_OK);
  ASSERT_EQ(image.argb, pixels);
  std::vector<zr::d3dx9::Image> chain;
  ASSERT_EQ(zr::d3dx9::BuildMipChain(image, 0, D3DX_FILTER_BOX, &chain), D3D_OK);
  ASSERT_EQ(chain.size(), 5u) << "20x12 down to 1x1";
  zr::d3dx9::Image half;
  ASSERT_EQ(zr::d3dx9::ResampleImage(image, 10, 6, D3DX_FILTER_POINT, &half), D3D_OK);
  const struct {
    const char* file;
    UINT size, levels;
    D3DFORMAT asked;
    D3DPOOL pool;
    D3DFORMAT format;
    UINT made;
    const std::vector<std::uint32_t>& level0;
  } cases[] = {
      {"rgba.png", 0, 1, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DFMT_A8R8G8B8, 1, pixels},  // not rounded to a power of two
      {"rgba.png", D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_SYSTEMMEM, D3DFMT_A8R8G8B8, 5, pixels},
      {"rgba.png", D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, D3DFMT_X8R8G8B8, 5, pixels},
      {"rgba.png", D3DX_FROM_FILE, D3DX_FROM_FILE, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT, D3DFMT_A8R8G8B8, 1, pixels},
      {"rgba.png", 0, 3, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DFMT_A8R8G8B8, 3, pixels},
      {"rgba.png", 0, 40, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DFMT_A8R8G8B8, 5, pixels},
      {"rgb.png", 0, 1, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DFMT_X8R8G8B8, 1, pixels},
      {"rgba.png", 10, 1, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DFMT_A8R8G8B8, 1, half.argb},  // 10 x 6, resampled
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << " size " << c.size << " levels " << c.levels << " pool " << c.pool);
    Ref<IDirect3DTexture9> t;
    D3DXIMAGE_INFO info{};
    UINT h = c.size == 10 ? 6 : c.size;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(d, c.file, c.size, h, c.levels, c.pool == D3DPOOL_DEFAULT ? D3DUSAGE_DYNAMIC : 0,
                                           c.asked, c.pool, D3DX_FILTER_POINT, D3DX_FILTER_BOX, 0, &info, nullptr, t.out()),
              D3D_OK);
    D3DSURFACE_DESC desc{};
    t->GetLevelDesc(0, &desc);
    EXPECT_EQ(std::vector<UINT>({desc.Format, desc.Pool, t->GetLevelCount(), info.Width, info.Height}),
              std::vector<UINT>({c.format, c.pool, c.made, 20, 12}))
        << "the file's size in the information, not the texture's";
    auto texels = [&](std::vector<std::uint32_t> v) {  // X8R8G8B8 has no alpha to compare
      if (c.format == D3DFMT_X8R8G8B8)
        for (std::uint32_t& p : v) p |= 0xFF000000;
      return v;
    };
    EXPECT_EQ(texels(Locked(t.get(), 0)), texels(c.level0));
    for (UINT level = 1; level < c.made; ++level) EXPECT_EQ(texels(Locked(t.get(), level)), texels(chain[level].argb));
  }
  Ref<IDirect3DTexture9> t;
  ASSERT_EQ(D3DXCreateTextureFromFileA(d, "rgba.png", t.out()), D3D_OK);
  EXPECT_EQ(t->GetLevelCount(), 5u) << "the short form makes the full chain";
  // The colour key turns matching texels transparent black and gives the texture alpha for it.
  ASSERT_EQ(D3DXCreateTextureFromFileExA(d, "rgb.png", 0, 0, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                         D3DX_DEFAULT, pixels[21] | 0xFF000000, nullptr, nullptr, t.out()),
            D3D_OK);
  std::vector<std::uint32_t> keyed = Locked(t.get(), 0);
  EXPECT_EQ(std::vector<std::uint32_t>({keyed[20], keyed[21], keyed[22]}),
            std::vector<std::uint32_t>({pixels[20] | 0xFF000000, 0u, pixels[22] | 0xFF000000}));
}

TEST(TextureFromFile, RefusesWhatItCannotMakeAndFailsWithTheReadersResult) {
  ScratchDirectory dir;
  Target target(Where::kWindow, 16, 16);
  IDirect3DDevice9* d = target.d.device.get();
  WritePng("rgba.png", 2, 2, {kRed, kGreen, kBlue, kWhite});
  std::string png = dir.Read("rgba.png");
  std::ofstream("truncated.png", std::ios::binary) << png.substr(0, png.size() / 2);
  Ref<IDirect3DTexture9> t;
  const std::pair<const char*, HRESULT> files[] = {{"missing.png", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
                                                   {"truncated.png", D3DXERR_INVALIDDATA}};
  for (auto [name, result] : files) {
    D3DXIMAGE_INFO info{};
    info.Width = 77;
    EXPECT_EQ(D3DXCreateTextureFromFileExA(d, name, 0, 0, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                           D3DX_DEFAULT, 0, &info, nullptr, t.out()),
              result)
        << name;
    EXPECT_EQ(D3DXCreateTextureFromFileA(d, name, t.out()), result) << name;
    EXPECT_FALSE(t);
    EXPECT_EQ(info.Width, 77u) << "left alone";
  }
  EXPECT_EQ(D3DXCreateTextureFromFileA(nullptr, "rgba.png", t.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateTextureFromFileA(d, nullptr, t.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateTextureFromFileA(d, "rgba.png", nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateTextureFromFileExA(d, "rgba.png", 9000, 4, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                         D3DX_DEFAULT, 0, nullptr, nullptr, t.out()),
            D3DERR_INVALIDCALL)
      << "wider than a texture can be";
  EXPECT_EQ(D3DXCreateTextureFromFileExA(d, "rgba.png", 0, 0, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                         D3DX_DEFAULT, 0, nullptr, nullptr, t.out()),
            D3DERR_INVALIDCALL);
  EXPECT_FALSE(t);
}
