// Reading image files: exact pixels and descriptions of good files; bad files, names and
// arguments each a failed result, never a crash, a hang or a huge allocation.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "image_file.h"
#include "image_files.h"

// Under AddressSanitizer any single allocation over 256 MB aborts: a reader trusting a header of
// 100000 x 100000 pixels (40 GB) fails here even where the system would lend the address space.
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=256"; }

using namespace imagetest;
using namespace zr::d3dx9;

namespace {

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), kBad = D3DXERR_INVALIDDATA;
const Pixels kPixels = {0xFF102030, 0x80405060, 0x00708090, 0xC0A0B0C0, 0x40D0E0F0, 0xFF010203};  // 3 x 2

Pixels Map(Pixels p, std::uint32_t (*f)(std::uint32_t)) {
  std::transform(p.begin(), p.end(), p.begin(), f);
  return p;
}
std::uint32_t Opaque(std::uint32_t v) { return v | 0xFF000000u; }
std::uint32_t Clear(std::uint32_t v) { return v & 0x00FFFFFFu; }
std::uint32_t Grey(std::uint32_t v) { return 0xFF000000u | ((v >> 8) & 0xFF) * 0x010101u; }
std::uint32_t GreyAlpha(std::uint32_t v) { return (v & 0xFF000000u) | ((v >> 8) & 0xFF) * 0x010101u; }

HRESULT Decode(const Bytes& b, Image* image, const ImageLimits& limits = {}) {
  return DecodeImageMemory(b.data(), b.size(), image, limits);
}
HRESULT Info(const Bytes& b, D3DXIMAGE_INFO* info) { return ReadImageInfoFromMemory(b.data(), b.size(), info); }
void ExpectBoth(const Bytes& bytes, HRESULT expected) {
  Image image;
  D3DXIMAGE_INFO info{};
  EXPECT_EQ(Decode(bytes, &image), expected);
  EXPECT_EQ(Info(bytes, &info), expected);
}

TEST(ReadImage, GoodFilesDecodeExactlyAndAsDescribed) {
  const D3DFORMAT A = D3DFMT_A8R8G8B8, X = D3DFMT_X8R8G8B8;
  const Bytes indices = {0, 1, 1, 0, 0, 1};
  struct {
    const char* name;
    Bytes bytes;
    Pixels pixels;
    D3DFORMAT format;
    D3DXIMAGE_FILEFORMAT file;
  } cases[] = {
      {"png rgba", Write(Kind::kPng, 3, 2, 4, kPixels), kPixels, A, D3DXIFF_PNG},
      {"png rgb", Write(Kind::kPng, 3, 2, 3, kPixels), Map(kPixels, Opaque), X, D3DXIFF_PNG},
      {"png grey", Write(Kind::kPng, 3, 2, 1, kPixels), Map(kPixels, Grey), X, D3DXIFF_PNG},
      {"png grey alpha", Write(Kind::kPng, 3, 2, 2, kPixels), Map(kPixels, GreyAlpha), A, D3DXIFF_PNG},
      {"png tRNS", PalettePng(3, 2, {0xFFFF0000, 0}, indices), {0xFFFF0000, 0, 0, 0xFFFF0000, 0xFFFF0000, 0}, A,
       D3DXIFF_PNG},
      {"png palette", PalettePng(3, 2, {0xFF0000FF, 0xFF00FF00}, indices),
       {0xFF0000FF, 0xFF00FF00, 0xFF00FF00, 0xFF0000FF, 0xFF0000FF, 0xFF00FF00}, X, D3DXIFF_PNG},
      {"bmp 24", Write(Kind::kBmp, 3, 2, 3, kPixels), Map(kPixels, Opaque), X, D3DXIFF_BMP},
      {"bmp 32 v4", Write(Kind::kBmp, 3, 2, 4, kPixels), kPixels, A, D3DXIFF_BMP},
      {"bmp 32", ClassicBmp(32, 3, 2, kPixels), kPixels, A, D3DXIFF_BMP},
      {"bmp 32 zero alpha", ClassicBmp(32, 3, 2, Map(kPixels, Clear)), Map(kPixels, Opaque), X, D3DXIFF_BMP},
      {"bmp 8", ClassicBmp(8, 3, 2, {0x112233, 0x445566}, indices),
       {0xFF112233, 0xFF445566, 0xFF445566, 0xFF112233, 0xFF112233, 0xFF445566}, X, D3DXIFF_BMP},
      {"tga rgba", Write(Kind::kTga, 3, 2, 4, kPixels), kPixels, A, D3DXIFF_TGA},
      {"tga rle rgba", Write(Kind::kTgaRle, 3, 2, 4, kPixels), kPixels, A, D3DXIFF_TGA},
      {"tga rle rgb", Write(Kind::kTgaRle, 3, 2, 3, kPixels), Map(kPixels, Opaque), X, D3DXIFF_TGA},
      {"tga grey", Write(Kind::kTga, 3, 2, 1, kPixels), Map(kPixels, Grey), X, D3DXIFF_TGA},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Image image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(Decode(c.bytes, &image), D3D_OK);
    ASSERT_EQ(Info(c.bytes, &info), D3D_OK);
    EXPECT_EQ(image.argb, c.pixels);
    EXPECT_EQ(image.format, c.format);
    for (const D3DXIMAGE_INFO& i : {info, image.info})
      EXPECT_EQ(std::vector<UINT>({i.Width, i.Height, i.Depth, i.MipLevels, UINT(i.Format), UINT(i.ResourceType),
                                   UINT(i.ImageFileFormat)}),
                std::vector<UINT>({3, 2, 1, 1, UINT(c.format), D3DRTYPE_TEXTURE, UINT(c.file)}));
  }
}

TEST(ReadImage, JpgComesBackClose) {
  const std::uint32_t colours[] = {0xFFC83214, 0xFF1E8C3C, 0xFF283CB4, 0xFFF0F0F0};
  Pixels pixels(256);  // four flat 8 x 8 blocks, which JPEG keeps within a few levels
  for (int i = 0; i < 256; ++i) pixels[i] = colours[(i / 128) * 2 + (i % 16) / 8];
  Image image;
  ASSERT_EQ(Decode(Write(Kind::kJpg, 16, 16, 3, pixels), &image), D3D_OK);
  EXPECT_EQ(image.format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(image.info.ImageFileFormat, D3DXIFF_JPG);
  ASSERT_EQ(image.argb.size(), 256u);
  for (int i = 0; i < 256; ++i)
    for (int shift : {24, 16, 8, 0})
      ASSERT_NEAR(int(image.argb[i] >> shift & 0xFF), int(pixels[i] >> shift & 0xFF), 6) << i << " " << shift;
}

TEST(ReadImage, LimitsApplyExactly) {
  Image image;
  ASSERT_EQ(Decode(PngClaiming(8192, 2), &image), D3D_OK);  // the widest allowed
  EXPECT_EQ(image.argb, Pixels(2 * 8192, 0));
  ImageLimits limits{16, 192, 1000};
  Bytes fits = PngClaiming(16, 12);
  EXPECT_EQ(Decode(fits, &image, limits), D3D_OK);
  EXPECT_EQ(Decode(PngClaiming(17, 1), &image, limits), kBad);
  EXPECT_EQ(Decode(PngClaiming(16, 13), &image, limits), kBad);
  EXPECT_EQ(Decode(Write(Kind::kBmp, 1, 17, 3, Pixels(17)), &image, limits), kBad);
  WriteFile("limited.png", fits);
  limits.maxFileBytes = fits.size() - 1;
  EXPECT_EQ(DecodeImageFile("limited.png", &image, limits), kBad);
  limits.maxFileBytes = fits.size();
  EXPECT_EQ(DecodeImageFile("limited.png", &image, limits), D3D_OK);
}

TEST(ReadImage, FilesByContentAndBadNames) {
  WriteFile("tga.png", Write(Kind::kTga, 3, 2, 4, kPixels));
  WriteFile("empty.png", {});
  ::mkdir("dir", 0755);
  ::unlink("fifo");
  ASSERT_EQ(::mkfifo("fifo", 0644), 0);  // opening it must not wait for a writer
  std::string longName(100000, 'n');    // its last 256 characters: one more than a file name may have
  for (auto [path, expected] : {std::pair{"tga.png", D3D_OK}, {"missing.png", kNotFound}, {"no/dir/x", kNotFound},
                                {"tga.png/x", kNotFound}, {"", kNotFound}, {longName.c_str(), kNotFound},
                                {longName.c_str() + 99744, kNotFound}, {"dir", kBad}, {"/dev/zero", kBad},
                                {"fifo", kBad}, {"empty.png", kBad}}) {
    SCOPED_TRACE(std::string(path).substr(0, 40));
    Image image;
    D3DXIMAGE_INFO info{};
    EXPECT_EQ(DecodeImageFile(path, &image), expected);
    EXPECT_EQ(ReadImageInfo(path, &info), expected);
    EXPECT_EQ(D3DXGetImageInfoFromFileA(path, &info), expected);
    if (expected == D3D_OK) {  // a TGA, whatever its name says
      EXPECT_EQ(image.argb, kPixels);
      EXPECT_EQ(info.ImageFileFormat, D3DXIFF_TGA);
    }
  }
}

TEST(ReadImage, NullArgumentsAndUntouchedOutputs) {
  Image image;
  D3DXIMAGE_INFO info{};
  EXPECT_EQ(ReadImageInfo(nullptr, &info), D3DERR_INVALIDCALL);
  EXPECT_EQ(DecodeImageFile(nullptr, &image), D3DERR_INVALIDCALL);
  EXPECT_EQ(ReadImageInfo("x.png", nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(DecodeImageFile("x.png", nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(DecodeImageMemory(nullptr, 1, &image), D3DERR_INVALIDCALL);
  EXPECT_EQ(ReadImageInfoFromMemory(kPixels.data(), 4, nullptr), D3DERR_INVALIDCALL);
  image.argb = {1, 2};
  info.Width = 55;
  EXPECT_EQ(Decode(Bytes(100, 0x5A), &image), kBad);
  EXPECT_EQ(Info(Bytes(100, 0x5A), &info), kBad);
  EXPECT_EQ(image.argb, (Pixels{1, 2}));
  EXPECT_EQ(info.Width, 55u);
}

TEST(BadImage, EveryTruncationAndEveryPngByteFlipFails) {
  Pixels p(64);
  for (std::uint32_t i = 0; i < 64; ++i) p[i] = (0x40 + i * 3) << 24 | (i * 7) << 16 | (i * 13 & 0xFF) << 8 | i;
  Bytes png = Write(Kind::kPng, 8, 8, 4, p);
  for (const Bytes& file : {png, PalettePng(2, 2, {0xFF000000, 0x80FFFFFF}, {0, 1, 1, 0}), Write(Kind::kBmp, 8, 8, 3, p),
                            Write(Kind::kBmp, 8, 8, 4, p), ClassicBmp(32, 8, 8, p), Write(Kind::kTga, 8, 8, 4, p),
                            Write(Kind::kTgaRle, 8, 8, 3, p), Write(Kind::kJpg, 8, 8, 3, p)}) {
    Image image;
    ASSERT_EQ(Decode(file, &image), D3D_OK) << file.size();
    for (std::size_t length = 1; length < file.size(); ++length)
      ASSERT_EQ(Decode(Bytes(file.begin(), file.begin() + length), &image), kBad) << length << " of " << file.size();
  }
  // Past its signature every byte of a PNG is covered by a CRC or is structure.
  for (std::size_t at = 8; at < png.size(); ++at) {
    Bytes bad = png;
    bad[at] ^= 0x21;
    Image image;
    ASSERT_EQ(Decode(bad, &image), kBad) << at;
  }
}

TEST(BadImage, HeadersThatLie) {
  // Sizes past the caps (a side over 8192, more than 16,777,216 pixels) or of 0; CRCs valid.
  for (auto [w, h] : {std::pair{100000u, 100000u}, {8193u, 1u}, {1u, 8193u}, {8192u, 2049u}, {4097u, 4097u},
                      {~0u, ~0u}, {0u, 0u}, {5u, 0u}})
    ExpectBoth(PngClaiming(w, h), kBad);
  WriteFile("huge.png", PngClaiming(100000, 100000));
  Image image;
  EXPECT_EQ(DecodeImageFile("huge.png", &image), kBad);

  Bytes bmp = ClassicBmp(32, 4, 4, Pixels(16, 0xFF123456));
  for (std::uint32_t side : {0u, 1000u, 100000u}) {
    Put32(&bmp, 18, side);
    Put32(&bmp, 22, side);
    ExpectBoth(bmp, kBad);  // a 32-bit BMP's alpha is looked at, so even its description fails
  }
  for (Kind kind : {Kind::kTga, Kind::kTgaRle}) {
    Bytes tga = Write(kind, 4, 4, 3, Pixels(16, 0xFF123456));
    for (std::uint16_t side : {0, 2000, 0xFFFF}) {
      Put16(&tga, 12, side);
      Put16(&tga, 14, side);
      EXPECT_EQ(Decode(tga, &image), kBad);
    }
  }
  // The JPEG frame header (FF C0, length, precision, height, width) claiming 1040 x 1040.
  Bytes jpg = Write(Kind::kJpg, 16, 16, 3, Pixels(256, 0xFF808080));
  const std::uint8_t sof0[] = {0xFF, 0xC0};
  auto at = std::search(jpg.begin(), jpg.end(), sof0, sof0 + 2) - jpg.begin();
  ASSERT_LT(at, std::ssize(jpg));
  jpg[at + 5] = jpg[at + 7] = 0x04;
  EXPECT_EQ(Decode(jpg, &image), kBad);
}

TEST(BadImage, PaletteIndicesPastThePaletteAndJunk) {
  // The second pixel's index 200 has no entry in a palette of two: black, not stack garbage.
  Bytes bmp = ClassicBmp(8, 2, 1, {0x112233, 0x445566}, {1, 200});
  Image image;
  ASSERT_EQ(Decode(bmp, &image), D3D_OK);
  EXPECT_EQ(image.argb, (Pixels{0xFF445566, 0xFF000000}));
  Put32(&bmp, 10, 54);  // no room for a palette at all
  ExpectBoth(bmp, kBad);

  Bytes noise(3000);
  std::uint32_t state = 12345;
  for (auto& b : noise) b = (state = state * 1103515245u + 12345u) >> 24;
  for (const Bytes& bytes : {Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'}, Bytes{'D', 'D', 'S', ' ', 124},
                             Bytes{'h', 'i', '\n'}, Bytes{0x89, 'P', 'N', 'G'}, Bytes{'B', 'M'}, Bytes{0xFF, 0xD8, 0xFF},
                             noise})
    ExpectBoth(bytes, kBad);
}

}  // namespace
