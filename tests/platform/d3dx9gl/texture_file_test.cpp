// D3DXCreateTextureFromFileExA / D3DXCreateTextureFromFileA: sizes, mip levels, formats, the
// colour key, pools, and bad files failing with the image reader's result.
#include <sys/stat.h>

#include "gl_test_support.h"
#include "image_file.h"
#include "image_files.h"
#include "scratch_directory.h"

using namespace d3d9test;
using namespace gltest;

namespace {

// 20 x 12, every pixel its own, alpha varying.
imagetest::Pixels Picture20x12() {
  imagetest::Pixels p;
  for (std::uint32_t y = 0; y < 12; ++y)
    for (std::uint32_t x = 0; x < 20; ++x) p.push_back(((0x40 + x * 9) << 24) | (x * 12) << 16 | (y * 20) << 8 | 0x33);
  return p;
}

std::vector<std::uint32_t> Level(IDirect3DTexture9* t, UINT level) {
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

HRESULT Load(IDirect3DDevice9* d, const char* file, Ref<IDirect3DTexture9>& t, UINT w = D3DX_DEFAULT,
             UINT h = D3DX_DEFAULT, UINT levels = D3DX_DEFAULT, D3DFORMAT format = D3DFMT_UNKNOWN,
             D3DPOOL pool = D3DPOOL_MANAGED, DWORD filter = D3DX_DEFAULT, D3DCOLOR key = 0,
             D3DXIMAGE_INFO* info = nullptr) {
  return D3DXCreateTextureFromFileExA(d, file, w, h, levels, 0, format, pool, filter, D3DX_DEFAULT, key, info, nullptr,
                                      t.out());
}

struct Fixture {
  ScratchDirectory dir;
  TestWindow window{32, 32};
  D3DPRESENT_PARAMETERS pp = Windowed(window.handle(), 32, 32);
  Device d;
  Fixture() {
    MakeDevice(window.handle(), pp, d);
    imagetest::WriteFile("rgba.png", imagetest::Write(imagetest::Kind::kPng, 20, 12, 4, Picture20x12()));
    imagetest::WriteFile("rgb.bmp", imagetest::Write(imagetest::Kind::kBmp, 20, 12, 3, Picture20x12()));
  }
};

}  // namespace

TEST(TextureFromFile, TakesTheImagesSizeOrResamplesToTheOneAskedFor) {
  Fixture f;
  zr::d3dx9::Image image;
  ASSERT_EQ(zr::d3dx9::DecodeImageFile("rgba.png", &image), D3D_OK);
  for (UINT size : {0u, D3DX_DEFAULT, D3DX_DEFAULT_NONPOW2, D3DX_FROM_FILE}) {
    SCOPED_TRACE(size);
    Ref<IDirect3DTexture9> t;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(Load(f.d.device.get(), "rgba.png", t, size, size, 1, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, 0, &info),
              D3D_OK);
    D3DSURFACE_DESC desc{};
    t->GetLevelDesc(0, &desc);
    EXPECT_EQ(std::vector<UINT>({desc.Width, desc.Height, desc.Format, desc.Pool}),
              std::vector<UINT>({20, 12, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED}))
        << "not rounded to a power of two";
    EXPECT_EQ(Level(t.get(), 0), image.argb);
    EXPECT_EQ(std::vector<UINT>({info.Width, info.Height, info.Format, info.ImageFileFormat}),
              std::vector<UINT>({20, 12, D3DFMT_A8R8G8B8, D3DXIFF_PNG}));
  }
  Ref<IDirect3DTexture9> t;
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(Load(f.d.device.get(), "rgba.png", t, 10, 6, 1, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_POINT, 0, &info),
            D3D_OK);
  zr::d3dx9::Image half;
  ASSERT_EQ(zr::d3dx9::ResampleImage(image, 10, 6, D3DX_FILTER_POINT, &half), D3D_OK);
  EXPECT_EQ(Level(t.get(), 0), half.argb);
  EXPECT_EQ(info.Width * 100 + info.Height, 2012u) << "the file's size, not the texture's";
}

TEST(TextureFromFile, MakesTheMipLevelsAskedFor) {
  Fixture f;
  zr::d3dx9::Image image;
  ASSERT_EQ(zr::d3dx9::DecodeImageFile("rgba.png", &image), D3D_OK);
  std::vector<zr::d3dx9::Image> chain;
  ASSERT_EQ(zr::d3dx9::BuildMipChain(image, 0, D3DX_FILTER_BOX, &chain), D3D_OK);
  ASSERT_EQ(chain.size(), 5u) << "20x12 down to 1x1";
  const std::pair<UINT, UINT> cases[] = {{0, 5}, {D3DX_DEFAULT, 5}, {D3DX_FROM_FILE, 1}, {3, 3}, {40, 5}};
  for (auto [asked, made] : cases) {
    SCOPED_TRACE(asked);
    Ref<IDirect3DTexture9> t;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(f.d.device.get(), "rgba.png", 0, 0, asked, 0, D3DFMT_UNKNOWN,
                                           D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_BOX, 0, nullptr, nullptr,
                                           t.out()),
              D3D_OK);
    ASSERT_EQ(t->GetLevelCount(), made);
    for (UINT level = 0; level < made; ++level) EXPECT_EQ(Level(t.get(), level), chain[level].argb) << level;
  }
  Ref<IDirect3DTexture9> t;
  ASSERT_EQ(D3DXCreateTextureFromFileA(f.d.device.get(), "rgba.png", t.out()), D3D_OK);
  EXPECT_EQ(t->GetLevelCount(), 5u) << "the short form makes the full chain";
}

TEST(TextureFromFile, TakesTheImagesFormatOrTheOneAskedForAndAppliesTheColourKey) {
  Fixture f;
  Ref<IDirect3DTexture9> t;
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(Load(f.d.device.get(), "rgb.bmp", t), D3D_OK);
  t->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8) << "no alpha in the file";
  ASSERT_EQ(Load(f.d.device.get(), "rgba.png", t, 0, 0, 1, D3DFMT_X8R8G8B8), D3D_OK);
  t->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(Load(f.d.device.get(), "rgba.png", t, 0, 0, 1, D3DFMT_R5G6B5), D3DERR_INVALIDCALL);
  EXPECT_FALSE(t);

  // Magenta is the key: it turns transparent black, and the texture gets an alpha channel for it.
  imagetest::Pixels keyed(6 * 2, 0xFF00FF00u);
  keyed[1] = keyed[8] = 0xFFFF00FFu;
  keyed[2] = 0xFFFF00FEu;
  imagetest::WriteFile("keyed.png", imagetest::Write(imagetest::Kind::kPng, 6, 2, 3, keyed));
  ASSERT_EQ(Load(f.d.device.get(), "keyed.png", t, 0, 0, 1, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, 0xFFFF00FF),
            D3D_OK);
  t->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
  std::vector<std::uint32_t> texels = Level(t.get(), 0);
  ASSERT_EQ(texels.size(), 12u);
  EXPECT_EQ(std::vector<std::uint32_t>({texels[0], texels[1], texels[2], texels[8]}),
            std::vector<std::uint32_t>({0xFF00FF00u, 0u, 0xFFFF00FEu, 0u}));
  ASSERT_EQ(Load(f.d.device.get(), "keyed.png", t, 0, 0, 1, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, 0xFF123456),
            D3D_OK);
  t->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8) << "a key that matches nothing changes nothing";
}

TEST(TextureFromFile, GoesIntoThePoolAskedFor) {
  Fixture f;
  Ref<IDirect3DTexture9> t;
  ASSERT_EQ(Load(f.d.device.get(), "rgba.png", t, 0, 0, 1, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT), D3D_OK);
  EXPECT_EQ(f.d->SetTexture(0, t.get()), D3D_OK);
  EXPECT_EQ(f.d->Reset(&f.pp), D3DERR_INVALIDCALL) << "a DEFAULT-pool texture lives";
  ASSERT_EQ(Load(f.d.device.get(), "rgba.png", t, 0, 0, 1, D3DFMT_UNKNOWN, D3DPOOL_SYSTEMMEM), D3D_OK);
  EXPECT_EQ(f.d->Reset(&f.pp), D3D_OK);
  EXPECT_EQ(f.d->SetTexture(0, t.get()), D3DERR_INVALIDCALL);
  EXPECT_EQ(Level(t.get(), 0).size(), 240u);
}

TEST(TextureFromFile, EveryBadFileFailsWithTheReadersResult) {
  Fixture f;
  imagetest::Bytes png = imagetest::Write(imagetest::Kind::kPng, 20, 12, 4, Picture20x12());
  imagetest::WriteFile("truncated.png", imagetest::Bytes(png.begin(), png.begin() + static_cast<long>(png.size() / 2)));
  imagetest::Bytes corrupt = png;
  for (std::size_t i = 40; i < corrupt.size(); i += 7) corrupt[i] ^= 0x5A;
  imagetest::WriteFile("corrupt.png", corrupt);
  imagetest::WriteFile("huge.png", imagetest::PngClaiming(100000, 100000));
  imagetest::WriteFile("empty.png", {});
  imagetest::WriteFile("text.png", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!', '!', '!', '!', '!', '!', '!'});
  ASSERT_EQ(mkdir("folder.png", 0700), 0);
  const HRESULT kBad = D3DXERR_INVALIDDATA;
  const std::pair<const char*, HRESULT> cases[] = {
      {"missing.png", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)}, {"truncated.png", kBad}, {"corrupt.png", kBad},
      {"huge.png", kBad}, {"empty.png", kBad}, {"text.png", kBad}, {"folder.png", kBad}};
  for (auto [name, result] : cases) {
    SCOPED_TRACE(name);
    zr::d3dx9::Image image;
    EXPECT_EQ(zr::d3dx9::DecodeImageFile(name, &image), result);
    Ref<IDirect3DTexture9> t;
    D3DXIMAGE_INFO info{};
    info.Width = 77;
    EXPECT_EQ(Load(f.d.device.get(), name, t, 0, 0, 1, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, 0, &info), result);
    EXPECT_FALSE(t);
    EXPECT_EQ(info.Width, 77u) << "left alone";
    EXPECT_EQ(D3DXCreateTextureFromFileA(f.d.device.get(), name, t.out()), result);
  }
  Ref<IDirect3DTexture9> t;
  EXPECT_EQ(D3DXCreateTextureFromFileA(nullptr, "rgba.png", t.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateTextureFromFileA(f.d.device.get(), nullptr, t.out()), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateTextureFromFileA(f.d.device.get(), "rgba.png", nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(Load(f.d.device.get(), "rgba.png", t, 9000, 4), D3DERR_INVALIDCALL) << "wider than a texture can be";
}
