// The image reader behind D3DX textures: exact pixels and descriptions of good files; bad files,
// names and arguments each a failed result, never a crash, a hang or a huge allocation; resizing
// with each filter, mip chains and colour keys. Files are made by stb_image_write and by hand.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <string>

#include "image_file.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

// Under AddressSanitizer any single allocation over 256 MB aborts: a reader trusting a header of
// 100000 x 100000 pixels (40 GB) fails here even where the system would lend the address space.
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=256"; }

using namespace zr::d3dx9;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint32_t>;  // 0xAARRGGBB, top row first
const HRESULT kBad = D3DXERR_INVALIDDATA, kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
const Pixels kPixels = {0xFF102030, 0x80405060, 0x00708090, 0xC0A0B0C0, 0x40D0E0F0, 0xFF010203};  // 3 x 2

enum Kind { kPng, kBmp, kTga, kTgaRle, kJpg };

// Through stb_image_write, from `channels` samples a pixel: 1 grey (from green), 3 RGB, 4 RGBA.
// Its 32-bit BMP has a V4 header with an alpha mask; its JPG is of quality 95.
Bytes Write(Kind kind, int width, int height, int channels, const Pixels& pixels) {
  Bytes s, out;
  for (std::uint32_t p : pixels) {
    if (channels == 1) s.push_back(p >> 8 & 0xFF);
    else s.insert(s.end(), {std::uint8_t(p >> 16), std::uint8_t(p >> 8), std::uint8_t(p)});
    if (channels == 4) s.push_back(p >> 24);
  }
  auto append = [](void* to, void* data, int size) {
    static_cast<Bytes*>(to)->insert(static_cast<Bytes*>(to)->end(), static_cast<std::uint8_t*>(data),
                                    static_cast<std::uint8_t*>(data) + size);
  };
  stbi_write_tga_with_rle = kind == kTgaRle;
  kind == kPng   ? stbi_write_png_to_func(append, &out, width, height, channels, s.data(), 0)
  : kind == kBmp ? stbi_write_bmp_to_func(append, &out, width, height, channels, s.data())
  : kind == kJpg ? stbi_write_jpg_to_func(append, &out, width, height, channels, s.data(), 95)
                 : stbi_write_tga_to_func(append, &out, width, height, channels, s.data());
  return out;
}

void Put(Bytes* b, std::size_t at, std::uint32_t v, int n = 4, bool bigEndian = false) {
  for (int i = 0; i < n; ++i) (*b)[at + i] = v >> 8 * (bigEndian ? n - 1 - i : i) & 0xFF;
}

// A PNG claiming another size in its header, its CRC made right again.
Bytes Claiming(Bytes png, std::uint32_t width, std::uint32_t height) {
  Put(&png, 16, width, 4, true);
  Put(&png, 20, height, 4, true);
  Put(&png, 29, crc32(0, png.data() + 12, 17), 4, true);
  return png;
}

// A BMP with the classic 54-byte header (BITMAPINFOHEADER, BI_RGB, bottom-up): 32 bits a pixel
// from `pixels`, or 8 with `pixels` as the palette and `indices` as the picture.
Bytes ClassicBmp(int bits, int width, int height, const Pixels& pixels, const Bytes& indices = {}) {
  const std::size_t palette = bits == 8 ? pixels.size() * 4 : 0, row = bits == 8 ? (width + 3) / 4 * 4 : width * 4;
  Bytes b(54 + palette + row * height, 0);
  b[0] = 'B', b[1] = 'M';
  for (auto [at, v] : {std::pair{10, 54 + palette}, {14, 40}, {18, width}, {22, height}, {26, 1 | bits << 16}})
    Put(&b, at, static_cast<std::uint32_t>(v));
  for (std::size_t i = 0; i < palette / 4; ++i) Put(&b, 54 + i * 4, pixels[i]);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::size_t at = 54 + palette + (height - 1 - y) * row + x * (bits / 8);
      if (bits == 8) b[at] = indices[y * width + x];
      else Put(&b, at, pixels[y * width + x]);
    }
  return b;
}

Pixels Map(Pixels p, std::uint32_t (*f)(std::uint32_t)) {
  std::transform(p.begin(), p.end(), p.begin(), f);
  return p;
}
std::uint32_t Opaque(std::uint32_t v) { return v | 0xFF000000u; }
std::uint32_t Grey(std::uint32_t v) { return 0xFF000000u | (v >> 8 & 0xFF) * 0x010101u; }

HRESULT Decode(const Bytes& b, Image* image, const ImageLimits& limits = {}) {
  return DecodeImageMemory(b.data(), b.size(), image, limits);
}
// Both the decoder and the header reader refuse the bytes.
void ExpectBad(const Bytes& bytes, const std::string& what) {
  Image image;
  D3DXIMAGE_INFO info{};
  EXPECT_EQ(Decode(bytes, &image), kBad) << what;
  EXPECT_EQ(ReadImageInfoFromMemory(bytes.data(), bytes.size(), &info), kBad) << what;
}
void WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_TRUE(bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
  std::fclose(f);
}

TEST(ReadImage, GoodFilesDecodeExactlyAndAsDescribed) {
  const D3DFORMAT A = D3DFMT_A8R8G8B8, X = D3DFMT_X8R8G8B8;
  const Pixels palette = {0x112233, 0x445566}, paletted = {0xFF112233, 0xFF445566, 0xFF445566, 0xFF112233,
                                                           0xFF112233, 0xFF445566};
  struct {
    const char* name;
    Bytes bytes;
    Pixels pixels;
    D3DFORMAT format;
    D3DXIMAGE_FILEFORMAT file;
  } const cases[] = {
      {"png rgba", Write(kPng, 3, 2, 4, kPixels), kPixels, A, D3DXIFF_PNG},
      {"png rgb", Write(kPng, 3, 2, 3, kPixels), Map(kPixels, Opaque), X, D3DXIFF_PNG},
      {"png grey", Write(kPng, 3, 2, 1, kPixels), Map(kPixels, Grey), X, D3DXIFF_PNG},
      {"bmp 24", Write(kBmp, 3, 2, 3, kPixels), Map(kPixels, Opaque), X, D3DXIFF_BMP},
      {"bmp 32 v4", Write(kBmp, 3, 2, 4, kPixels), kPixels, A, D3DXIFF_BMP},
      {"bmp 32", ClassicBmp(32, 3, 2, kPixels), kPixels, A, D3DXIFF_BMP},
      {"bmp 32, alpha all 0", ClassicBmp(32, 3, 2, Map(kPixels, [](std::uint32_t v) { return v & 0xFFFFFF; })),
       Map(kPixels, Opaque), X, D3DXIFF_BMP},
      {"bmp 8", ClassicBmp(8, 3, 2, palette, {0, 1, 1, 0, 0, 1}), paletted, X, D3DXIFF_BMP},
      {"tga rgba", Write(kTga, 3, 2, 4, kPixels), kPixels, A, D3DXIFF_TGA},
      {"tga rle rgb", Write(kTgaRle, 3, 2, 3, kPixels), Map(kPixels, Opaque), X, D3DXIFF_TGA},
      {"tga grey", Write(kTga, 3, 2, 1, kPixels), Map(kPixels, Grey), X, D3DXIFF_TGA},
      // A palette index past the palette is black, not what the stack held.
      {"bmp 8, index 200", ClassicBmp(8, 3, 2, palette, {0, 1, 200, 0, 0, 1}),
       {0xFF112233, 0xFF445566, 0xFF000000, 0xFF112233, 0xFF112233, 0xFF445566}, X, D3DXIFF_BMP},
  };
  for (const auto& c : cases) {
    Image image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(Decode(c.bytes, &image), D3D_OK) << c.name;
    ASSERT_EQ(ReadImageInfoFromMemory(c.bytes.data(), c.bytes.size(), &info), D3D_OK) << c.name;
    EXPECT_EQ(image.argb, c.pixels) << c.name;
    EXPECT_EQ(image.format, c.format) << c.name;
    for (const D3DXIMAGE_INFO& i : {info, image.info})
      EXPECT_EQ(std::vector<UINT>({i.Width, i.Height, i.Depth, i.MipLevels, UINT(i.Format), UINT(i.ResourceType),
                                   UINT(i.ImageFileFormat)}),
                std::vector<UINT>({3, 2, 1, 1, UINT(c.format), D3DRTYPE_TEXTURE, UINT(c.file)}))
          << c.name;
  }
  // JPEG keeps four flat 8 x 8 blocks within a few levels.
  const std::uint32_t colours[] = {0xFFC83214, 0xFF1E8C3C, 0xFF283CB4, 0xFFF0F0F0};
  Pixels blocks(256);
  for (int i = 0; i < 256; ++i) blocks[i] = colours[(i / 128) * 2 + (i % 16) / 8];
  Image image;
  ASSERT_EQ(Decode(Write(kJpg, 16, 16, 3, blocks), &image), D3D_OK);
  EXPECT_EQ(std::pair(image.format, image.info.ImageFileFormat), std::pair(X, D3DXIFF_JPG));
  for (int i = 0; i < 256; ++i)
    for (int shift : {24, 16, 8, 0})
      ASSERT_NEAR(int(image.argb[i] >> shift & 0xFF), int(blocks[i] >> shift & 0xFF), 6) << i << " " << shift;
}

TEST(ReadImage, SizesAreCappedBeforeAnythingIsAllocated) {
  Image image;
  const Bytes widest = Write(kPng, 8192, 2, 4, Pixels(2 * 8192));
  ASSERT_EQ(Decode(widest, &image), D3D_OK);
  EXPECT_EQ(image.argb, Pixels(2 * 8192));
  // Past the caps (a side over 8192, more than 16,777,216 pixels) or of 0: refused from the header.
  for (auto [w, h] : {std::pair{100000u, 100000u}, {8193u, 1u}, {1u, 8193u}, {8192u, 2049u}, {4097u, 4097u},
                      {~0u, ~0u}, {0u, 0u}, {5u, 0u}})
    ExpectBad(Claiming(widest, w, h), std::to_string(w) + " x " + std::to_string(h));
  Bytes bmp = ClassicBmp(32, 4, 4, Pixels(16, 0xFF123456)), tga = Write(kTga, 4, 4, 3, Pixels(16)),
        jpg = Write(kJpg, 16, 16, 3, Pixels(256, 0xFF808080));
  for (std::uint32_t side : {0u, 1000u, 100000u}) {
    Put(&bmp, 18, side);
    Put(&bmp, 22, side);
    ExpectBad(bmp, "bmp " + std::to_string(side));
    Put(&tga, 12, side, 2);
    Put(&tga, 14, side, 2);
    ExpectBad(tga, "tga " + std::to_string(side));
  }
  // The JPEG frame header (FF C0, length, precision, height, width) claiming 1040 x 1040.
  const std::uint8_t sof0[] = {0xFF, 0xC0};
  const auto at = std::search(jpg.begin(), jpg.end(), sof0, sof0 + 2) - jpg.begin();
  jpg[at + 5] = jpg[at + 7] = 0x04;
  ExpectBad(jpg, "jpg");
  // Smaller limits apply exactly, the file size's too.
  ImageLimits limits{16, 192, 1000};
  const Bytes fits = Write(kPng, 16, 12, 4, Pixels(192));
  EXPECT_EQ(Decode(fits, &image, limits), D3D_OK);
  EXPECT_EQ(Decode(Write(kPng, 17, 1, 4, Pixels(17)), &image, limits), kBad);
  EXPECT_EQ(Decode(Write(kBmp, 16, 13, 3, Pixels(208)), &image, limits), kBad);
  WriteFile("limited.png", fits);
  limits.maxFileBytes = fits.size() - 1;
  EXPECT_EQ(DecodeImageFile("limited.png", &image, limits), kBad);
  limits.maxFileBytes = fits.size();
  EXPECT_EQ(DecodeImageFile("limited.png", &image, limits), D3D_OK);
}

TEST(ReadImage, DamagedFilesFail) {
  Pixels p(64);
  for (std::uint32_t i = 0; i < 64; ++i) p[i] = (0x40 + i * 3) << 24 | (i * 7) << 16 | (i * 13 & 0xFF) << 8 | i;
  const Bytes png = Write(kPng, 8, 8, 4, p);
  for (const Bytes& file : {png, Write(kBmp, 8, 8, 3, p), ClassicBmp(32, 8, 8, p), Write(kTga, 8, 8, 4, p),
                            Write(kTgaRle, 8, 8, 3, p), Write(kJpg, 8, 8, 3, p)}) {
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
  Bytes noPalette = ClassicBmp(8, 2, 1, {0x112233, 0x445566}, {0, 1});
  Put(&noPalette, 10, 54);
  ExpectBad(noPalette, "an 8-bit bmp without room for its palette");
  for (const Bytes& junk : {Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'}, Bytes{'D', 'D', 'S', ' ', 124},
                            Bytes{'h', 'i', '\n'}, Bytes{0x89, 'P', 'N', 'G'}, Bytes{'B', 'M'}, Bytes{0xFF, 0xD8, 0xFF}})
    ExpectBad(junk, std::string(junk.begin(), junk.end()));
}

TEST(ReadImage, FilesAreKnownByContentAndBadNamesAndArgumentsFail) {
  WriteFile("tga.png", Write(kTga, 3, 2, 4, kPixels));
  WriteFile("empty.png", {});
  ::mkdir("dir", 0755);
  ::unlink("fifo");
  ASSERT_EQ(::mkfifo("fifo", 0644), 0);  // opening it must not wait for a writer
  const std::string longName(100000, 'n');  // its last 256 characters: one more than a file name may have
  for (auto [path, expected] : {std::pair{"tga.png", D3D_OK}, {"missing.png", kNotFound}, {"no/dir/x", kNotFound},
                                {"tga.png/x", kNotFound}, {"", kNotFound}, {longName.c_str(), kNotFound},
                                {longName.c_str() + 99744, kNotFound}, {"dir", kBad}, {"/dev/zero", kBad},
                                {"fifo", kBad}, {"empty.png", kBad}}) {
    Image image;
    D3DXIMAGE_INFO info{};
    EXPECT_EQ(DecodeImageFile(path, &image), expected) << std::string(path).substr(0, 40);
    EXPECT_EQ(D3DXGetImageInfoFromFileA(path, &info), expected) << std::string(path).substr(0, 40);
    if (expected == D3D_OK) {  // a TGA, whatever its name says
      EXPECT_EQ(std::pair(image.argb, info.ImageFileFormat), std::pair(kPixels, D3DXIFF_TGA));
    }
  }
  Image image;
  D3DXIMAGE_INFO info{};
  for (HRESULT hr : {ReadImageInfo(nullptr, &info), DecodeImageFile(nullptr, &image), ReadImageInfo("x.png", nullptr),
                     DecodeImageFile("x.png", nullptr), DecodeImageMemory(nullptr, 1, &image),
                     ReadImageInfoFromMemory(kPixels.data(), 4, nullptr)})
    EXPECT_EQ(hr, D3DERR_INVALIDCALL);
  image.argb = {1, 2};
  info.Width = 55;
  const Bytes junk(100, 0x5A);
  EXPECT_EQ(Decode(junk, &image), kBad);
  EXPECT_EQ(ReadImageInfoFromMemory(junk.data(), junk.size(), &info), kBad);
  EXPECT_EQ(std::pair(image.argb, info.Width), std::pair(Pixels{1, 2}, 55u)) << "outputs written on failure";
}

Image Make(UINT width, UINT height, Pixels argb) {
  Image image;
  image.width = image.info.Width = width;
  image.height = height;
  image.argb = std::move(argb);
  return image;
}

Pixels Resized(const Image& source, UINT width, UINT height, DWORD filter) {
  Image out;
  EXPECT_EQ(ResampleImage(source, width, height, filter, &out), D3D_OK);
  EXPECT_EQ(std::vector<UINT>({out.width, out.height, out.info.Width}), std::vector<UINT>({width, height, source.width}));
  return out.argb;
}

std::uint32_t All(std::uint32_t v) { return v * 0x01010101u; }  // v in every channel

TEST(Resample, EachFilter) {
  const Image square = Make(2, 2, {1, 2, 3, 4}), row = Make(2, 1, {All(0), All(200)}),
              column = Make(1, 2, {All(0), All(200)});
  // Linear: centres of 4 from 2 fall at -0.25, 0.25, 0.75 and 1.25 source pixels; off the edge an
  // axis wraps unless mirrored. Area averages: pixel 1 of 3 split in halves going to 2; halves round up.
  const Pixels wrapped = {All(50), All(50), All(150), All(150)}, mirrored = {All(0), All(50), All(150), All(200)};
  struct {
    Image source;
    UINT width, height;
    DWORD filter;
    Pixels expected;
  } const cases[] = {
      {square, 3, 3, D3DX_FILTER_NONE, {1, 2, 0, 3, 4, 0, 0, 0, 0}},
      {square, 1, 2, D3DX_FILTER_NONE, {1, 3}},
      {square, 4, 4, D3DX_FILTER_POINT, {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}},
      {Make(3, 1, {10, 20, 30}), 2, 1, D3DX_FILTER_POINT, {10, 30}},
      {row, 4, 1, D3DX_FILTER_LINEAR, wrapped},
      {row, 4, 1, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_U, mirrored},
      {column, 1, 4, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_U, wrapped},
      {column, 1, 4, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_V, mirrored},
      {Make(2, 1, {0xFF0000FF, 0x00FF0000}), 4, 1, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR,  // 191.25, 63.75
       {0xFF0000FF, 0xBF4000BF, 0x40BF0040, 0x00FF0000}},
      {Make(4, 2, {All(0), All(4), All(10), All(11), All(8), All(4), All(13), All(11)}), 2, 1, D3DX_FILTER_BOX,
       {All(4), All(11)}},
      {Make(3, 1, {All(0), All(90), All(180)}), 2, 1, D3DX_FILTER_TRIANGLE, {All(30), All(150)}},
      {Make(2, 1, {All(1), All(2)}), 1, 1, D3DX_DEFAULT, {All(2)}},
  };
  for (const auto& c : cases) EXPECT_EQ(Resized(c.source, c.width, c.height, c.filter), c.expected) << c.filter;
  const Image source = Make(2, 2, {1, 0xFFFFFFFF, 0x12345678, 0xDEADBEEF});
  for (DWORD filter : {D3DX_FILTER_NONE, D3DX_FILTER_POINT, D3DX_FILTER_LINEAR, D3DX_FILTER_TRIANGLE, D3DX_FILTER_BOX})
    EXPECT_EQ(Resized(source, 2, 2, filter), source.argb) << filter;
  Image out;
  for (auto [w, h, filter] : {std::tuple{2u, 2u, 0u}, {2u, 2u, 6u}, {0u, 2u, 5u}, {8193u, 1u, 5u}, {8192u, 2049u, 5u}})
    EXPECT_EQ(ResampleImage(source, w, h, filter, &out), D3DERR_INVALIDCALL) << w << "x" << h << " " << filter;
  EXPECT_EQ(ResampleImage(source, 2, 2, D3DX_FILTER_BOX, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(ResampleImage(Make(3, 3, {1, 2, 3}), 2, 2, D3DX_FILTER_BOX, &out), D3DERR_INVALIDCALL);
}

TEST(Resample, MipLevelsHalveToOneAndAverage) {
  // 8 x 4 with every channel 10x + 40y: each level's pixel is the mean of a 2 x 2 block above.
  Pixels p, level1;
  for (UINT i = 0; i < 32; ++i) p.push_back(All(10 * (i % 8) + 40 * (i / 8)));
  for (UINT i = 0; i < 8; ++i) level1.push_back(All(20 * (i % 4) + 80 * (i / 4) + 25));
  std::vector<Image> chain;
  ASSERT_EQ(BuildMipChain(Make(8, 4, p), 0, D3DX_FILTER_BOX, &chain), D3D_OK);
  ASSERT_EQ(chain.size(), 4u);
  EXPECT_EQ(chain[1].argb, level1);
  EXPECT_EQ(chain[2].argb, (Pixels{All(75), All(115)}));
  EXPECT_EQ(chain[3].argb, (Pixels{All(95)}));
  EXPECT_EQ(std::vector<UINT>({chain[0].width, chain[1].width, chain[1].height, chain[2].width, chain[2].height,
                               chain[3].width, chain[3].height}),
            std::vector<UINT>({8, 4, 2, 2, 1, 1, 1}));
  // Odd sizes average whole areas; level counts are cut to the full chain.
  ASSERT_EQ(BuildMipChain(Make(3, 1, {All(0), All(90), All(180)}), D3DX_DEFAULT, D3DX_DEFAULT, &chain), D3D_OK);
  EXPECT_EQ(std::pair(chain.size(), chain.back().argb), std::pair(std::size_t{2}, Pixels{All(90)}));
  for (auto [asked, made] : {std::pair{1u, 1u}, {2u, 2u}, {100u, 3u}}) {
    ASSERT_EQ(BuildMipChain(Make(4, 4, Pixels(16, 7)), asked, D3DX_FILTER_POINT, &chain), D3D_OK);
    EXPECT_EQ(chain.size(), made);
  }
  EXPECT_EQ(std::vector<UINT>({FullMipLevelCount(1, 1), FullMipLevelCount(256, 1), FullMipLevelCount(5, 3)}),
            std::vector<UINT>({1, 9, 3}));
  EXPECT_EQ(BuildMipChain(Make(1, 1, {0}), 0, 0, &chain), D3DERR_INVALIDCALL);
  EXPECT_EQ(BuildMipChain(Make(1, 1, {0}), 0, D3DX_FILTER_BOX, nullptr), D3DERR_INVALIDCALL);
}

TEST(Resample, TheColourKeyMakesExactMatchesTransparentBlack) {
  Image image = Make(2, 2, {0xFFFF00FF, 0xFF00FF00, 0xFFFF00FF, 0x7FFF00FF});
  EXPECT_EQ(ApplyColorKey(&image, 0xFFFF00FF), 2u);
  EXPECT_EQ(image.argb, (Pixels{0, 0xFF00FF00, 0, 0x7FFF00FF}));  // alpha counts
  EXPECT_EQ(ApplyColorKey(&image, 0), 0u);                         // no key
  EXPECT_EQ(ApplyColorKey(nullptr, 1), 0u);
}

}  // namespace
