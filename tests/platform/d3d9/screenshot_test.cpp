// D3DXSaveSurfaceToFileA: the screenshot path, read back with a small bitmap reader of our own.
#include <d3dx9.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "d3d9_test_support.h"
#include "scratch_directory.h"

using namespace d3d9test;

namespace {

constexpr D3DCOLOR kRed = D3DCOLOR_XRGB(0xFF, 0, 0);
constexpr D3DCOLOR kTeal = D3DCOLOR_XRGB(0x00, 0x80, 0x80);

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // top row first
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Reads a 32-bit BI_RGB bitmap with the classic 54-byte header, checking the header as it goes.
Bitmap ReadBmp(const char* name) {
  std::ifstream in(name, std::ios::binary);
  std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Bitmap bmp;
  EXPECT_GE(b.size(), 54u);
  if (b.size() < 54) return bmp;
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(U32(b, 2), b.size()) << "file size";
  EXPECT_EQ(U32(b, 10), 54u) << "pixels right after the headers";
  EXPECT_EQ(U32(b, 14), 40u) << "BITMAPINFOHEADER";
  EXPECT_EQ(b[26] | (b[27] << 8), 1);
  EXPECT_EQ(b[28] | (b[29] << 8), 32) << "bits per pixel";
  EXPECT_EQ(U32(b, 30), 0u) << "BI_RGB";
  bmp.width = static_cast<int>(U32(b, 18));
  auto height = static_cast<std::int32_t>(U32(b, 22));
  EXPECT_GT(height, 0) << "bottom-up rows";
  bmp.height = height;
  EXPECT_EQ(b.size(), 54u + static_cast<std::size_t>(bmp.width) * bmp.height * 4);
  if (b.size() != 54u + static_cast<std::size_t>(bmp.width) * bmp.height * 4) return bmp;
  bmp.pixels.resize(static_cast<std::size_t>(bmp.width) * bmp.height);
  for (int y = 0; y < bmp.height; ++y)
    for (int x = 0; x < bmp.width; ++x)
      bmp.pixels[static_cast<std::size_t>(y) * bmp.width + x] =
          U32(b, 54 + (static_cast<std::size_t>(bmp.height - 1 - y) * bmp.width + x) * 4);
  return bmp;
}

std::string CommandOutput(const std::string& command) {
  std::string out;
  if (std::FILE* p = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
    pclose(p);
  }
  return out;
}

// A teal picture with a red block at 3..9 x 2..5.
void Draw(Device& d) {
  d.device->Clear(0, nullptr, D3DCLEAR_TARGET, kTeal, 1, 0);
  D3DRECT block{3, 2, 10, 6};
  d.device->Clear(1, &block, D3DCLEAR_TARGET, kRed, 1, 0);
}

void ExpectPicture(const Bitmap& bmp, int left, int top) {
  for (int y = 0; y < bmp.height; ++y)
    for (int x = 0; x < bmp.width; ++x) {
      int px = x + left;
      int py = y + top;
      bool red = px >= 3 && px < 10 && py >= 2 && py < 6;
      ASSERT_EQ(bmp.at(x, y), red ? kRed : kTeal) << "at " << px << "," << py;
    }
}

}  // namespace

TEST(Screenshot, FrontBufferDataSavedAsABitmap) {
  ScratchDirectory dir;
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 24, 16), d);
  Draw(d);
  ASSERT_EQ(d.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  Ref<IDirect3DSurface9> shot;
  ASSERT_EQ(d.device->CreateOffscreenPlainSurface(24, 16, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, shot.out(), nullptr),
            D3D_OK);
  ASSERT_EQ(d.device->GetFrontBufferData(0, shot.get()), D3D_OK);
  ASSERT_EQ(D3DXSaveSurfaceToFileA("Screenshot 1", D3DXIFF_BMP, shot.get(), nullptr, nullptr), D3D_OK);
  Bitmap bmp = ReadBmp("Screenshot 1");  // exactly the name given: no extension added
  ASSERT_EQ(bmp.width, 24);
  ASSERT_EQ(bmp.height, 16);
  ExpectPicture(bmp, 0, 0);

  std::string described = CommandOutput("file -b 'Screenshot 1'");
  EXPECT_NE(described.find("PC bitmap"), std::string::npos) << described;
  EXPECT_NE(described.find("24 x 16 x 32"), std::string::npos) << described;
}

TEST(Screenshot, SavesAPartOfTheBackBufferStraightFromGl) {
  ScratchDirectory dir;
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 24, 16), d);
  Draw(d);  // not presented: the back buffer is read
  Ref<IDirect3DSurface9> back;
  ASSERT_EQ(d.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
  RECT part{2, 1, 12, 7};
  ASSERT_EQ(D3DXSaveSurfaceToFileA("part.bmp", D3DXIFF_BMP, back.get(), nullptr, &part), D3D_OK);
  Bitmap bmp = ReadBmp("part.bmp");
  ASSERT_EQ(bmp.width, 10);
  ASSERT_EQ(bmp.height, 6);
  ExpectPicture(bmp, 2, 1);
  ASSERT_EQ(D3DXSaveSurfaceToFileA("whole.bmp", D3DXIFF_BMP, back.get(), nullptr, nullptr), D3D_OK);
  Bitmap whole = ReadBmp("whole.bmp");
  ASSERT_EQ(whole.width, 24);
  ExpectPicture(whole, 0, 0);
}

TEST(Screenshot, WritesScratchSurfacesWithTheirOwnAlpha) {
  ScratchDirectory dir;
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 8, 8), d);
  for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}) {
    Ref<IDirect3DSurface9> s;
    ASSERT_EQ(d.device->CreateOffscreenPlainSurface(3, 2, format, D3DPOOL_SCRATCH, s.out(), nullptr), D3D_OK);
    D3DLOCKED_RECT l{};
    ASSERT_EQ(s->LockRect(&l, nullptr, 0), D3D_OK);
    auto* row0 = static_cast<std::uint32_t*>(l.pBits);
    auto* row1 = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(l.pBits) + l.Pitch);
    row0[0] = 0x80112233;
    row0[1] = 0x00445566;
    row0[2] = 0xFF778899;
    row1[0] = row1[1] = row1[2] = 0x7FABCDEF;
    s->UnlockRect();
    ASSERT_EQ(D3DXSaveSurfaceToFileA("s.bmp", D3DXIFF_BMP, s.get(), nullptr, nullptr), D3D_OK);
    Bitmap bmp = ReadBmp("s.bmp");
    ASSERT_EQ(bmp.width, 3);
    ASSERT_EQ(bmp.height, 2);
    std::uint32_t alpha = format == D3DFMT_X8R8G8B8 ? 0xFF000000 : 0;
    EXPECT_EQ(bmp.at(0, 0), 0x80112233u | alpha);
    EXPECT_EQ(bmp.at(1, 0), 0x00445566u | alpha);
    EXPECT_EQ(bmp.at(2, 0), 0xFF778899u);
    EXPECT_EQ(bmp.at(1, 1), 0x7FABCDEFu | alpha);
  }
}

TEST(Screenshot, RefusesWhatItCannotDoWithoutWritingAFile) {
  ScratchDirectory dir;
  TestWindow window;
  Device d;
  MakeDevice(window.handle(), Windowed(window.handle(), 8, 8), d);
  Ref<IDirect3DSurface9> s;
  ASSERT_EQ(d.device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, s.out(), nullptr), D3D_OK);
  PALETTEENTRY palette[256] = {};
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.bmp", D3DXIFF_BMP, s.get(), palette, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.jpg", D3DXIFF_JPG, s.get(), nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.dds", D3DXIFF_DDS, s.get(), nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXSaveSurfaceToFileA(nullptr, D3DXIFF_BMP, s.get(), nullptr, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.bmp", D3DXIFF_BMP, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
  RECT outside{2, 2, 5, 4};
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.bmp", D3DXIFF_BMP, s.get(), nullptr, &outside), D3DERR_INVALIDCALL);
  RECT empty{2, 2, 2, 4};
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.bmp", D3DXIFF_BMP, s.get(), nullptr, &empty), D3DERR_INVALIDCALL);
  D3DLOCKED_RECT l{};
  ASSERT_EQ(s->LockRect(&l, nullptr, 0), D3D_OK);
  EXPECT_EQ(D3DXSaveSurfaceToFileA("a.bmp", D3DXIFF_BMP, s.get(), nullptr, nullptr), D3DERR_INVALIDCALL) << "locked";
  s->UnlockRect();
  EXPECT_FALSE(std::ifstream("a.bmp").good());

  HRESULT hr = D3DXSaveSurfaceToFileA("no/such/folder/a.bmp", D3DXIFF_BMP, s.get(), nullptr, nullptr);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(D3DXSaveSurfaceToFileA(".", D3DXIFF_BMP, s.get(), nullptr, nullptr), E_FAIL) << "a folder";
}
