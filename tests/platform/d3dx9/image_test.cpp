// The image reader behind D3DX textures on the files of images/ (see its README): exact pixels; bad
// files and names each a failed result, never a crash, a hang or a huge allocation; then resizing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "image_file.h"

// Under AddressSanitizer any single allocation over 256 MB aborts: a reader trusting a header of
// 100000 x 100000 pixels (40 GB) fails here even where the system would lend the address space.
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=256"; }

using namespace zr::d3dx9;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint32_t>;  // 0xAARRGGBB, top row first
const HRESULT kBad = D3DXERR_INVALIDDATA, kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
const std::string kImages = ZR_IMAGES;

Bytes Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
HRESULT Decode(const Bytes& b, Image* image, const ImageLimits& limits = {}) {
  return DecodeImageMemory(b.data(), b.size(), image, limits);
}

// JPEG keeps four flat 8 x 8 blocks within a few levels.
TEST(ReadImage, JpegKeepsItsBlocks) {
  const std::uint32_t colours[] = {0xFFC83214, 0xFF1E8C3C, 0xFF283CB4, 0xFFF0F0F0};
  Image image;
  ASSERT_EQ(DecodeImageFile((kImages + "/jpg_four_blocks.jpg").c_str(), &image), D3D_OK);
  EXPECT_EQ(std::pair(image.format, image.info.ImageFileFormat), std::pair(D3DFMT_X8R8G8B8, D3DXIFF_JPG));
  for (int i = 0; i < 256 * 4; ++i)
    ASSERT_NEAR(int(image.argb[i / 4] >> i % 4 * 8 & 0xFF), int(colours[i / 512 * 2 + i / 32 % 2] >> i % 4 * 8 & 0xFF), 6) << i;
}

std::uint64_t Fnv64(const Pixels& pixels) {  // over the pixels as little-endian words
  std::uint64_t h = 0xCBF29CE484222325;
  for (std::uint32_t p : pixels)
    for (int byte = 0; byte < 4; ++byte) h = (h ^ (p >> 8 * byte & 0xFF)) * 0x100000001B3;
  return h;
}

// The files of good.txt, png.txt or bmp.txt (see images/README.md) in families: the names that
// match, how many, and whether each shorter piece of a file is refused (else, an RLE stream cut
// short, it reads as the whole file with the pixels not reached transparent black).
struct Family {
  const char* what;
  const char* names;
  int files;
  bool cutsRefused;
};

void CheckFamilies(const std::string& reader, const std::vector<Family>& families) {
  std::ifstream table(kImages + "/" + reader + ".txt");
  std::vector<int> found(families.size());
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream row(line);
    std::string name, alpha;
    UINT width = 0, height = 0;
    std::uint64_t digest = 0;
    Pixels corners(4);
    row >> name >> alpha >> width >> height >> std::hex >> digest;
    for (std::uint32_t& p : corners) row >> p;
    std::size_t f = 0;
    while (f < families.size() && !std::regex_match(name.substr(0, name.size() - 4), std::regex(families[f].names))) ++f;
    ASSERT_LT(f, families.size()) << name << " is of no family";
    ++found[f];
    const Bytes bytes = Read(kImages + "/" + reader + "/" + name);
    const D3DFORMAT format = alpha == "A" ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    Image image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(Decode(bytes, &image), D3D_OK) << name;
    ASSERT_EQ(ReadImageInfoFromMemory(bytes.data(), bytes.size(), &info), D3D_OK) << name;
    const Pixels& p = image.argb;
    const auto file = name.ends_with("png") ? D3DXIFF_PNG : name.ends_with("bmp") ? D3DXIFF_BMP : D3DXIFF_TGA;
    EXPECT_EQ(std::tuple(image.width, image.height, image.format, info.Width, info.Height, info.Format, info.Depth,
                         info.MipLevels, info.ResourceType, info.ImageFileFormat, image.info.ImageFileFormat),
              std::tuple(width, height, format, width, height, format, 1u, 1u, D3DRTYPE_TEXTURE, file, file))
        << name;
    ASSERT_EQ(p.size(), std::size_t{width} * height) << name;
    EXPECT_EQ(Pixels({p[0], p[width - 1], p[p.size() - width], p.back()}), corners) << name;
    EXPECT_EQ(Fnv64(p), digest) << name << " (" << families[f].what << ")";
    // An RLE stream must hold one byte at least: it starts at the offset in bytes 10 to 13. Bytes
    // past what a file needs (Info_8_Bit_Top_Down.bmp has two) may go. Of a large file's pieces a
    // thousand are tried, and the last one.
    const std::size_t stream = families[f].cutsRefused ? bytes.size() : bytes[10] | bytes[11] << 8 | bytes[12] << 16;
    std::vector<std::size_t> lengths = {bytes.size() - 1};
    for (std::size_t length = 1; length < bytes.size() - 1; length += bytes.size() / 1000 + 1) lengths.push_back(length);
    for (std::size_t length : lengths) {
      Image cut;
      const HRESULT hr = Decode(Bytes(bytes.begin(), bytes.begin() + length), &cut);
      ASSERT_TRUE(hr == (length <= stream ? kBad : D3D_OK) || cut.argb == p) << name << ": " << length;
      std::size_t i = 0;
      while (i < cut.argb.size() && (cut.argb[i] == p[i] || cut.argb[i] == 0)) ++i;
      ASSERT_EQ(i, cut.argb.size()) << name << ": " << length;
    }
  }
  for (std::size_t f = 0; f < families.size(); ++f) EXPECT_EQ(found[f], families[f].files) << families[f].what;
}

// Expected texels from the pattern each file was written from (make_png.py), or for PngSuite's
// from PIL and ImageMagick: stored samples, 16-bit ones cut to their high byte, never gamma-corrected.
TEST(ReadImage, PngFamiliesReadAsStored) {
  CheckFamilies("png", {
      {"grey of 1, 2, 4, 8 and 16 bits, plain and interlaced", R"(grey\d+(_i)?)", 10, true},
      {"RGB of 8 and 16 bits", R"(rgb\d+(_i)?)", 4, true},
      {"palettes of 1, 2, 4 and 8 bits", R"(pal\d(_i)?)", 8, true},
      {"grey and alpha of 8 and 16 bits", R"(greya\d+(_i)?)", 4, true},
      {"RGBA of 8 and 16 bits", R"(rgba\d+(_i)?)", 4, true},
      {"transparent colours (tRNS), at 16 bits exact", R"(.*_trns)", 9, true},
      {"gAMA, cHRM, sRGB and iCCP not applied", R"(.*_(gama|srgb|iccp).*)", 7, true},
      {"sizes that leave Adam7 passes empty", R"(.*_i_\d+x\d+)", 6, true},
      {"other chunks skipped, IDAT in pieces", R"(.*(other_chunks|suggested_palette|idat_pieces))", 3, true},
      {"PngSuite: interlaced 16-bit grey and RGBA", R"(basi.*)", 2, true},
  });
}

// Expected texels from the pattern each file was written from (make_bmp.py), checked against PIL
// and ImageMagick where they read the file (README.md tells where they differ), or for the files
// from image-rs from both alike.
TEST(ReadImage, BmpFamiliesReadAsWritten) {
  CheckFamilies("bmp", {
      {"palettes of 1, 4 and 8 bits, bottom-up and top-down", R"(pal\d(_top_down)?|pal8_v5_top_down|Info_8_Bit_Top_Down)", 8, true},
      {"core headers: 16-bit sizes, 3-byte palette entries", R"(.*_core|Core_1_Bit)", 5, true},
      {"OS/2 2.x headers of 16 and 64 bytes", R"(.*_os2.*)", 3, true},
      {"palettes shorter than the bits allow: past them black", R"(pal\d_\d+_colours.*)", 2, true},
      {"16 bits: x-5-5-5 and bit fields, alpha from a mask", R"(rgb16_.*)", 6, true},
      {"24 bits", R"(rgb24(_top_down|_v5)?)", 3, true},
      {"32 bits: alpha bytes unless all are 0", R"(rgb32_alpha(_top_down|_zero)?)", 3, true},
      {"32 bits with bit fields, in V2 to V5 headers, alpha masks", R"(rgb32_(xbgr|v\d_.*|alphabitfields))", 7, true},
      {"RLE8 and RLE4 writing every pixel", R"(rle\d(_top_down)?|pal8rle)", 5, false},
      {"RLE8 and RLE4 leaving pixels: deltas, ends of line, cut short", R"(rle\d_(delta|end_of_line|.*cut_short))", 8, false},
  });
}

// Files of one picture from another writer (stb_image_write) and by hand (README.md lists its texels).
TEST(ReadImage, GoodFilesOfEveryFormatReadAsListed) {
  CheckFamilies("good", {{"PNG: RGBA, RGB, grey", "png_.*", 3, true},
                         {"BMP: 24 and 32 bits, V4, alpha all 0, 8 bits", "bmp_.*", 6, true},
                         {"TGA: RGBA, RLE RGB, grey", "tga_.*", 3, true}});
}

TEST(ReadImage, BadFilesAreRefusedBeforeAnythingLargeIsAllocated) {
  Image image;
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(DecodeImageFile((kImages + "/png_8192x2.png").c_str(), &image), D3D_OK);  // the widest allowed
  EXPECT_EQ(image.argb, Pixels(2 * 8192));
  for (const auto& entry : std::filesystem::directory_iterator(kImages + "/bad")) {
    const Bytes bytes = Read(entry.path());
    EXPECT_EQ(Decode(bytes, &image), kBad) << entry.path().filename();
    EXPECT_EQ(ReadImageInfoFromMemory(bytes.data(), bytes.size(), &info), kBad) << entry.path().filename();
  }
  // Files whose headers are sound but whose pixels are not: described, never decoded.
  for (const auto& entry : std::filesystem::directory_iterator(kImages + "/corrupt")) {
    const Bytes bytes = Read(entry.path());
    EXPECT_EQ(Decode(bytes, &image), kBad) << entry.path().filename();
    EXPECT_EQ(ReadImageInfoFromMemory(bytes.data(), bytes.size(), &info), D3D_OK) << entry.path().filename();
  }
  // The file size's limit applies exactly.
  const std::string png = kImages + "/good/png_rgba.png";
  const std::size_t size = std::filesystem::file_size(png);
  EXPECT_EQ(DecodeImageFile(png.c_str(), &image, {3, 6, size - 1}), kBad);
  EXPECT_EQ(ReadImageInfo(png.c_str(), &info, {3, 6, size - 1}), kBad);
  EXPECT_EQ(DecodeImageFile(png.c_str(), &image, {3, 6, size}), D3D_OK);
}

TEST(ReadImage, FilesAreKnownByContentAndBadNamesFail) {
  std::filesystem::copy_file(kImages + "/good/tga_rgba.tga", "tga.png", std::filesystem::copy_options::overwrite_existing);
  std::ofstream("empty.png");
  ::mkdir("dir", 0755);
  ::unlink("fifo");
  ASSERT_EQ(::mkfifo("fifo", 0644), 0);  // opening it must not wait for a writer
  for (auto [path, expected] : {std::pair{"tga.png", D3D_OK}, {"missing.png", kNotFound}, {"tga.png/x", kNotFound},
                                {"", kNotFound}, {"dir", kBad}, {"/dev/zero", kBad}, {"fifo", kBad}, {"empty.png", kBad}}) {
    Image image;
    D3DXIMAGE_INFO info{};
    EXPECT_EQ(DecodeImageFile(path, &image), expected) << std::string(path).substr(0, 40);
    EXPECT_EQ(D3DXGetImageInfoFromFileA(path, &info), expected) << std::string(path).substr(0, 40);
    if (expected == D3D_OK) {  // a TGA, whatever its name says
      EXPECT_EQ(std::pair(image.argb.size(), info.ImageFileFormat), std::pair(std::size_t{6}, D3DXIFF_TGA));
    }
  }
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
  Image out;
  for (auto [w, h, filter] : {std::tuple{2u, 2u, 0u}, {2u, 2u, 6u}, {0u, 2u, 5u}, {8193u, 1u, 5u}, {8192u, 2049u, 5u}})
    EXPECT_EQ(ResampleImage(square, w, h, filter, &out), D3DERR_INVALIDCALL) << w << "x" << h << " " << filter;
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
  ASSERT_EQ(BuildMipChain(Make(4, 4, Pixels(16, 7)), 2, D3DX_FILTER_POINT, &chain), D3D_OK);
  EXPECT_EQ(chain.size(), 2u);
  EXPECT_EQ(BuildMipChain(Make(1, 1, {0}), 0, 0, &chain), D3DERR_INVALIDCALL);
}

TEST(Resample, TheColourKeyMakesExactMatchesTransparentBlack) {
  Image image = Make(2, 2, {0xFFFF00FF, 0xFF00FF00, 0xFFFF00FF, 0x7FFF00FF});
  EXPECT_EQ(ApplyColorKey(&image, 0xFFFF00FF), 2u);
  EXPECT_EQ(image.argb, (Pixels{0, 0xFF00FF00, 0, 0x7FFF00FF}));  // alpha counts
  EXPECT_EQ(ApplyColorKey(&image, 0), 0u);                         // no key
}

}  // namespace
