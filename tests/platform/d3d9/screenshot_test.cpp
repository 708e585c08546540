// D3DXSaveSurfaceToFileA: the screenshot path, read back with a small bitmap reader of our own.
#include <d3dx9.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "d3d9_test_support.h"
#include "scratch_directory.h"

using namespace d3d9test;

namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// Reads a 32-bit BI_RGB bitmap with the classic 54-byte header, checking the header as it goes.
Picture ReadBmp(const char* name) {
  std::ifstream in(name, std::ios::binary);
  std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Picture bmp;
  if (b.size() < 54) return bmp;
  EXPECT_EQ(b[0] * 256 + b[1], 'B' * 256 + 'M');
  EXPECT_EQ(U32(b, 2), b.size()) << "file size";
  EXPECT_EQ(U32(b, 10) * 1000 + U32(b, 14), 54040u) << "pixels right after the two headers";
  EXPECT_EQ(U32(b, 26), 32u * 65536 + 1) << "one plane, 32 bits per pixel";
  EXPECT_EQ(U32(b, 30), 0u) << "BI_RGB";
  bmp.width = static_cast<int>(U32(b, 18));
  bmp.height = static_cast<std::int32_t>(U32(b, 22));
  EXPECT_GT(bmp.height, 0) << "bottom-up rows";
  if (bmp.height <= 0 || b.size() != 54u + static_cast<std::size_t>(bmp.width) * bmp.height * 4) return {};
  for (int y = bmp.height; y-- > 0;)
    for (int x = 0; x < bmp.width; ++x) bmp.pixels.push_back(U32(b, 54 + (std::size_t{1} * y * bmp.width + x) * 4));
  return bmp;
}

}  // namespace

TEST(Screenshot, OfTheFrontBufferAndOfAPartOfTheBackBuffer) {
  ScratchDirectory dir;
  Target t(Where::kWindow, 24, 16);
  IDirect3DDevice9* device = t.d.device.get();
  // Teal with a red block at 3..9 x 2..5.
  auto draw = [&] {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0x00, 0x80, 0x80), 1, 0);
    D3DRECT block{3, 2, 10, 6};
    device->Clear(1, &block, D3DCLEAR_TARGET, kRed, 1, 0);
  };
  auto expect = [](const Picture& bmp, int left, int top) {
    ASSERT_EQ(bmp.pixels.size(), static_cast<std::size_t>(bmp.width) * bmp.height);
    for (int y = 0; y < bmp.height; ++y)
      for (int x = 0; x < bmp.width; ++x) {
        bool red = x + left >= 3 && x + left < 10 && y + top >= 2 && y + top < 6;
        ASSERT_EQ(bmp.at(x, y), red ? kRed : D3DCOLOR_XRGB(0x00, 0x80, 0x80)) << "at " << x << "," << y;
      }
  };
  draw();
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  // GetFrontBufferData wants an unlocked SYSTEMMEM A8R8G8B8 surface, and fills its top left.
  Ref<IDirect3DSurface9> shot;
  for (auto [format, pool] : {std::pair{D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM}, {D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH}}) {
    ASSERT_EQ(device->CreateOffscreenPlainSurface(24, 16, format, pool, shot.out(), nullptr), D3D_OK);
    EXPECT_EQ(device->GetFrontBufferData(0, shot.get()), D3DERR_INVALIDCALL);
  }
  EXPECT_EQ(device->GetFrontBufferData(0, nullptr), D3DERR_INVALIDCALL);
  ASSERT_EQ(device->CreateOffscreenPlainSurface(26, 17, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, shot.out(), nullptr),
            D3D_OK);
  EXPECT_EQ(device->GetFrontBufferData(1, shot.get()), D3DERR_INVALIDCALL);
  D3DLOCKED_RECT l{};
  ASSERT_EQ(shot->LockRect(&l, nullptr, 0), D3D_OK);
  auto* px = static_cast<std::uint32_t*>(l.pBits);
  std::fill_n(px, 26 * 17, 0x01020304u);
  EXPECT_EQ(device->GetFrontBufferData(0, shot.get()), D3DERR_INVALIDCALL) << "locked";
  shot->UnlockRect();
  ASSERT_EQ(device->GetFrontBufferData(0, shot.get()), D3D_OK);
  EXPECT_EQ(std::vector<std::uint32_t>({px[25], px[16 * 26]}), std::vector<std::uint32_t>({0x01020304u, 0x01020304u}))
      << "right of and below the picture: left alone";
  RECT picture{0, 0, 24, 16};
  ASSERT_EQ(D3DXSaveSurfaceToFileA("Screenshot 1", D3DXIFF_BMP, shot.get(), nullptr, &picture), D3D_OK);
  Picture bmp = ReadBmp("Screenshot 1");  // exactly the name given: no extension added
  ASSERT_EQ(bmp.width * 100 + bmp.height, 2416);
  expect(bmp, 0, 0);
  ExpectAll(FrontBuffer(device, 2, 2), D3DCOLOR_XRGB(0x00, 0x80, 0x80), "into a smaller surface");
  char described[256] = {};
  if (std::FILE* p = popen("file -b 'Screenshot 1'", "r")) {
    EXPECT_NE(std::fgets(described, sizeof described, p), nullptr);
    pclose(p);
  }
  EXPECT_NE(std::string(described).find("PC bitmap"), std::string::npos) << described;
  EXPECT_NE(std::string(described).find("24 x 16 x 32"), std::string::npos) << described;

  draw();  // the next frame, not presented: the back buffer is read
  ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, shot.out()), D3D_OK);
  RECT part{2, 1, 12, 7};
  ASSERT_EQ(D3DXSaveSurfaceToFileA("part.bmp", D3DXIFF_BMP, shot.get(), nullptr, &part), D3D_OK);
  bmp = ReadBmp("part.bmp");
  ASSERT_EQ(bmp.width * 100 + bmp.height, 1006);
  expect(bmp, 2, 1);
}

TEST(Screenshot, WritesScratchSurfacesWithTheirOwnAlphaAndRefusesWhatItCannotDo) {
  ScratchDirectory dir;
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 8, 8), d);
  Ref<IDirect3DSurface9> s;
  for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}) {
    ASSERT_EQ(d->CreateOffscreenPlainSurface(3, 1, format, D3DPOOL_SCRATCH, s.out(), nullptr), D3D_OK);
    D3DLOCKED_RECT l{};
    ASSERT_EQ(s->LockRect(&l, nullptr, 0), D3D_OK);
    std::uint32_t pixels[3] = {0x80112233, 0x00445566, 0xFF778899};
    std::copy_n(pixels, 3, static_cast<std::uint32_t*>(l.pBits));
    s->UnlockRect();
    ASSERT_EQ(D3DXSaveSurfaceToFileA("s.bmp", D3DXIFF_BMP, s.get(), nullptr, nullptr), D3D_OK);
    std::uint32_t opaque = format == D3DFMT_X8R8G8B8 ? 0xFF000000 : 0;
    EXPECT_EQ(ReadBmp("s.bmp").pixels, std::vector<std::uint32_t>({pixels[0] | opaque, pixels[1] | opaque, pixels[2]}));
  }
  PALETTEENTRY palette[256] = {};
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.bmp", D3DXIFF_BMP, s.get(), palette, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.jpg", D3DXIFF_JPG, s.get(), nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXSaveSurfaceToFileA(nullptr, D3DXIFF_BMP, s.get(), nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.bmp", D3DXIFF_BMP, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
  for (RECT r : {RECT{2, 1, 4, 3}, RECT{1, 1, 1, 2}})  // reaching outside; empty
    EXPECT_EQ(D3DXSaveSurfaceToFileA("a.bmp", D3DXIFF_BMP, s.get(), nullptr, &r), D3DERR_INVALIDCALL);
  D3DLOCKED_RECT l{};
  ASSERT_EQ(s->LockRect(&l, nullptr, 0), D3D_OK);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.bmp", D3DXIFF_BMP, s.get(), nullptr, nullptr), D3DERR_INVALIDCALL) << "locked";
  s->UnlockRect();
  EXPECT_FALSE(std::ifstream("a.bmp").good());
  EXPECT_EQ(D3DXSaveSurfaceToFileA(".", D3DXIFF_BMP, s.get(), nullptr, nullptr), E_FAIL) << "a folder";
}
