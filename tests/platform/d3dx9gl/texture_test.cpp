// D3DX textures made from image files: their size, format and levels, in memory and in GL, their
// pools, stages.
#include <d3dx9.h>

#include "d3d9_test_support.h"
#include "image_file.h"
#include "scratch_directory.h"
#include "texture.h"

using namespace d3d9test;

namespace {

// Level `level` of a texture as GL has it, top row first, alpha set when the texture has none.
std::vector<std::uint32_t> GlTexels(Device& d, IDirect3DTexture9* texture, int level) {
  EXPECT_TRUE(d.gl()->MakeCurrent());
  auto* t = static_cast<zr::d3d9::GlTexture*>(texture);
  glBindTexture(GL_TEXTURE_2D, t->Name());
  D3DSURFACE_DESC desc{};
  texture->GetLevelDesc(UINT(level), &desc);
  std::vector<std::uint32_t> texels(std::size_t(desc.Width) * desc.Height);
  glGetTexImage(GL_TEXTURE_2D, level, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texels.data());
  for (std::uint32_t& p : texels) p |= desc.Format == D3DFMT_X8R8G8B8 ? 0xFF000000 : 0;
  return texels;
}

// Level `level` as a read-only lock hands it out, alpha set for X8R8G8B8 (which has none).
std::vector<std::uint32_t> Locked(IDirect3DTexture9* t, UINT level) {
  D3DSURFACE_DESC desc{};
  D3DLOCKED_RECT locked{};
  std::vector<std::uint32_t> out;
  if (t->GetLevelDesc(level, &desc) != D3D_OK || t->LockRect(level, &locked, nullptr, D3DLOCK_READONLY) != D3D_OK) return out;
  for (UINT y = 0; y < desc.Height; ++y)
    for (UINT x = 0; x < desc.Width; ++x)
      out.push_back(static_cast<std::uint32_t*>(locked.pBits)[y * locked.Pitch / 4 + x] |
                    (desc.Format == D3DFMT_X8R8G8B8 ? 0xFF000000 : 0));
  t->UnlockRect(level);
  return out;
}

}  // namespace

// A 20 x 12 picture, every pixel its own, alpha varying: its size, format and levels or those
// asked for, in the pool asked for.
TEST(TextureFromFile, TakesTheImagesSizeFormatAndLevelsOrThoseAskedFor) {
  ScratchDirectory dir;
  Scene target(16, 16, false);
  IDirect3DDevice9* d = target.d.device.get();
  std::vector<std::uint32_t> pixels;
  for (std::uint32_t y = 0; y < 12; ++y)
    for (std::uint32_t x = 0; x < 20; ++x) pixels.push_back(((0x40 + x * 9) << 24) | (x * 12) << 16 | (y * 20) << 8 | 0x33);
  WritePng("rgba.png", 20, 12, pixels);
  WritePng("rgb.png", 20, 12, pixels, false);
  zr::d3dx9::Image image, half;
  std::vector<zr::d3dx9::Image> chain;
  ASSERT_EQ(zr::d3dx9::DecodeImageFile("rgba.png", &image), D3D_OK);
  ASSERT_EQ(zr::d3dx9::BuildMipChain(image, 0, D3DX_FILTER_BOX, &chain), D3D_OK);
  ASSERT_EQ(zr::d3dx9::ResampleImage(image, 10, 6, D3DX_FILTER_POINT, &half), D3D_OK);
  const struct {
    const char* file;
    UINT width, height, levels;
    D3DFORMAT asked;
    D3DPOOL pool;
    D3DFORMAT format;
    UINT made;
  } cases[] = {
      {"rgba.png", 20, 12, 1, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DFMT_A8R8G8B8, 1},  // as the engine asks; not rounded up
      {"rgba.png", D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_SYSTEMMEM, D3DFMT_A8R8G8B8, 5},
      {"rgba.png", D3DX_DEFAULT_NONPOW2, 0, D3DX_DEFAULT, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, D3DFMT_X8R8G8B8, 5},
      {"rgba.png", D3DX_FROM_FILE, D3DX_FROM_FILE, D3DX_FROM_FILE, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT, D3DFMT_A8R8G8B8, 1},
      {"rgba.png", 0, 0, 40, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DFMT_A8R8G8B8, 5},
      {"rgb.png", 0, 0, 1, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DFMT_X8R8G8B8, 1},
      {"rgba.png", 10, 6, 1, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DFMT_A8R8G8B8, 1},  // resampled
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << " " << c.width << " levels " << c.levels << " pool " << c.pool);
    Ref<IDirect3DTexture9> t;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(d, c.file, c.width, c.height, c.levels, c.pool == D3DPOOL_DEFAULT ? D3DUSAGE_DYNAMIC : 0,
                                           c.asked, c.pool, D3DX_FILTER_POINT, D3DX_FILTER_BOX, 0, nullptr, nullptr, t.out()),
              D3D_OK);
    D3DSURFACE_DESC desc{};
    t->GetLevelDesc(0, &desc);
    EXPECT_EQ(std::vector<UINT>({desc.Format, desc.Pool, t->GetLevelCount()}), std::vector<UINT>({c.format, c.pool, c.made}));
    for (UINT level = 0; level < c.made; ++level) {
      std::vector<std::uint32_t> want = c.width == 10 ? half.argb : chain[level].argb;
      if (c.format == D3DFMT_X8R8G8B8)
        for (std::uint32_t& p : want) p |= 0xFF000000;
      EXPECT_EQ(Locked(t.get(), level), want) << level;
      EXPECT_TRUE(c.pool == D3DPOOL_SYSTEMMEM || GlTexels(target.d, t.get(), int(level)) == want) << "in GL, level " << level;
    }
    // Only textures in GL can be set; a DEFAULT one stops a Reset.
    EXPECT_EQ(target->SetTexture(0, t.get()), c.pool == D3DPOOL_SYSTEMMEM ? D3DERR_INVALIDCALL : D3D_OK);
    EXPECT_EQ(target->Reset(&target.pp), c.pool == D3DPOOL_DEFAULT ? D3DERR_INVALIDCALL : D3D_OK);
  }
  Ref<IDirect3DTexture9> t;
  ASSERT_EQ(target->Reset(&target.pp), D3D_OK);
  ASSERT_EQ(D3DXCreateTextureFromFileA(d, "rgba.png", t.out()), D3D_OK);
  // Stages keep no reference: a texture that goes is unbound, and its GL texture deleted.
  GLuint name = static_cast<zr::d3d9::GlTexture*>(t.get())->Name();
  ASSERT_EQ(target->SetTexture(15, t.get()), D3D_OK);
  EXPECT_EQ(t.release()->Release(), 0u);
  Ref<IDirect3DBaseTexture9> got;
  EXPECT_EQ(target->GetTexture(15, got.out()), D3D_OK);
  EXPECT_TRUE(!got && target.d.gl()->MakeCurrent() && !glIsTexture(name));
  std::string png = dir.Read("rgba.png");
  std::ofstream("truncated.png", std::ios::binary) << png.substr(0, png.size() / 2);
  EXPECT_EQ(D3DXCreateTextureFromFileA(d, "missing.png", t.out()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(D3DXCreateTextureFromFileA(d, "truncated.png", t.out()), D3DXERR_INVALIDDATA);
  EXPECT_FALSE(t);
}
