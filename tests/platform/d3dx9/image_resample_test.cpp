// Resizing with each D3DX filter, mip chains and colour keys.
#include <gtest/gtest.h>

#include "image_file.h"

using namespace zr::d3dx9;

namespace {

using Pixels = std::vector<std::uint32_t>;

Image Make(UINT width, UINT height, Pixels argb) {
  Image image;
  image.width = width;
  image.height = height;
  image.format = D3DFMT_A8R8G8B8;
  image.info.Width = width;
  image.argb = std::move(argb);
  return image;
}

Pixels Resized(const Image& source, UINT width, UINT height, DWORD filter) {
  Image out;
  EXPECT_EQ(ResampleImage(source, width, height, filter, &out), D3D_OK);
  EXPECT_EQ(out.argb.size(), std::size_t{width} * height);
  EXPECT_EQ(std::vector<UINT>({out.width, out.height, out.info.Width}), std::vector<UINT>({width, height, source.width}));
  return out.argb;
}

std::uint32_t All(std::uint32_t v) { return v * 0x01010101u; }  // v in every channel

TEST(Resample, NoneCopiesIntoTheTopLeft) {
  EXPECT_EQ(Resized(Make(2, 2, {1, 2, 3, 4}), 3, 3, D3DX_FILTER_NONE), (Pixels{1, 2, 0, 3, 4, 0, 0, 0, 0}));
  EXPECT_EQ(Resized(Make(3, 2, {1, 2, 3, 4, 5, 6}), 2, 1, D3DX_FILTER_NONE), (Pixels{1, 2}));
}

TEST(Resample, PointTakesThePixelUnderEachCentre) {
  EXPECT_EQ(Resized(Make(2, 2, {1, 2, 3, 4}), 4, 4, D3DX_FILTER_POINT),
            (Pixels{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
  EXPECT_EQ(Resized(Make(4, 1, {10, 20, 30, 40}), 2, 1, D3DX_FILTER_POINT), (Pixels{20, 40}));
  EXPECT_EQ(Resized(Make(3, 1, {10, 20, 30}), 2, 1, D3DX_FILTER_POINT), (Pixels{10, 30}));
}

TEST(Resample, LinearWrapsOrMirrorsEachAxis) {
  // Centres of 4 from 2 fall at -0.25, 0.25, 0.75 and 1.25 source pixels.
  Pixels wrapped = {All(50), All(50), All(150), All(150)}, mirrored = {All(0), All(50), All(150), All(200)};
  Image row = Make(2, 1, {All(0), All(200)}), column = Make(1, 2, {All(0), All(200)});
  EXPECT_EQ(Resized(row, 4, 1, D3DX_FILTER_LINEAR), wrapped);
  EXPECT_EQ(Resized(row, 4, 1, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_U), mirrored);
  EXPECT_EQ(Resized(column, 1, 4, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_U), wrapped);
  EXPECT_EQ(Resized(column, 1, 4, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_V), mirrored);
  // Channels blend apart: 3/4 of one and 1/4 of the other, halves rounded up.
  EXPECT_EQ(Resized(Make(2, 1, {0xFF0000FF, 0x00FF0000}), 4, 1, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR)[1],
            0xBF4000BFu);
}

TEST(Resample, BoxTriangleAndDefaultAverageAreas) {
  Image source = Make(4, 2, {All(0), All(4), All(10), All(11), All(8), All(4), All(13), All(11)});
  for (DWORD filter : {DWORD{D3DX_FILTER_BOX}, DWORD{D3DX_FILTER_TRIANGLE}, DWORD{D3DX_DEFAULT}})
    EXPECT_EQ(Resized(source, 2, 1, filter), (Pixels{All(4), All(11)})) << filter;  // 11.25 rounds to 11
  // 3 to 2: the first covers pixel 0 and half of pixel 1, the second the other half and pixel 2.
  EXPECT_EQ(Resized(Make(3, 1, {All(0), All(90), All(180)}), 2, 1, D3DX_FILTER_BOX), (Pixels{All(30), All(150)}));
  EXPECT_EQ(Resized(Make(2, 1, {All(1), All(2)}), 1, 1, D3DX_FILTER_BOX), (Pixels{All(2)}));  // 1.5 up
}

TEST(Resample, SameSizeCopiesAndBadArgumentsFail) {
  Image source = Make(2, 2, {1, 0xFFFFFFFF, 0x12345678, 0xDEADBEEF}), out;
  for (DWORD filter : {D3DX_FILTER_NONE, D3DX_FILTER_POINT, D3DX_FILTER_LINEAR, D3DX_FILTER_TRIANGLE, D3DX_FILTER_BOX})
    EXPECT_EQ(Resized(source, 2, 2, filter), source.argb) << filter;
  for (auto [w, h, filter] : {std::tuple{2u, 2u, 0u}, std::tuple{2u, 2u, 6u}, std::tuple{0u, 2u, 5u},
                              std::tuple{8193u, 1u, 5u}, std::tuple{8192u, 2049u, 5u}})
    EXPECT_EQ(ResampleImage(source, w, h, filter, &out), D3DERR_INVALIDCALL) << w << "x" << h << " " << filter;
  EXPECT_EQ(ResampleImage(source, 2, 2, D3DX_FILTER_BOX, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(ResampleImage(Make(3, 3, {1, 2, 3}), 2, 2, D3DX_FILTER_BOX, &out), D3DERR_INVALIDCALL);
}

TEST(MipChain, LevelsHalveToOneAndAverage) {
  EXPECT_EQ(FullMipLevelCount(1, 1), 1u);
  EXPECT_EQ(FullMipLevelCount(256, 1), 9u);
  EXPECT_EQ(FullMipLevelCount(1024, 768), 11u);
  EXPECT_EQ(FullMipLevelCount(5, 3), 3u);
  // 8 x 4 with every channel 10x + 40y: each level's pixel is the mean of a 2 x 2 block above.
  Pixels p;
  for (UINT y = 0; y < 4; ++y)
    for (UINT x = 0; x < 8; ++x) p.push_back(All(10 * x + 40 * y));
  std::vector<Image> chain;
  ASSERT_EQ(BuildMipChain(Make(8, 4, p), 0, D3DX_FILTER_BOX, &chain), D3D_OK);
  ASSERT_EQ(chain.size(), 4u);
  EXPECT_EQ(chain[0].argb, p);
  Pixels level1;
  for (UINT y = 0; y < 2; ++y)
    for (UINT x = 0; x < 4; ++x) level1.push_back(All(20 * x + 80 * y + 25));
  EXPECT_EQ(chain[1].argb, level1);
  EXPECT_EQ(chain[2].argb, (Pixels{All(75), All(115)}));
  EXPECT_EQ(chain[3].argb, (Pixels{All(95)}));
  EXPECT_EQ(std::vector<UINT>({chain[1].width, chain[1].height, chain[2].width, chain[2].height, chain[3].width}),
            std::vector<UINT>({4, 2, 2, 1, 1}));
}

TEST(MipChain, OddSizesAndLevelCounts) {
  std::vector<Image> chain;
  ASSERT_EQ(BuildMipChain(Make(3, 1, {All(0), All(90), All(180)}), D3DX_DEFAULT, D3DX_DEFAULT, &chain), D3D_OK);
  ASSERT_EQ(chain.size(), 2u);
  EXPECT_EQ(chain[1].argb, (Pixels{All(90)}));
  Image top = Make(4, 4, Pixels(16, All(7)));
  for (auto [asked, made] : {std::pair{1u, 1u}, std::pair{2u, 2u}, std::pair{100u, 3u}}) {
    ASSERT_EQ(BuildMipChain(top, asked, D3DX_FILTER_POINT, &chain), D3D_OK);
    EXPECT_EQ(chain.size(), made);
    EXPECT_EQ(chain.back().argb, Pixels(chain.back().argb.size(), All(7)));
  }
  EXPECT_EQ(BuildMipChain(top, 0, 0, &chain), D3DERR_INVALIDCALL);
  EXPECT_EQ(BuildMipChain(top, 0, D3DX_FILTER_BOX, nullptr), D3DERR_INVALIDCALL);
}

TEST(ColorKey, ExactMatchesBecomeTransparentBlack) {
  Image image = Make(2, 2, {0xFFFF00FF, 0xFF00FF00, 0xFFFF00FF, 0x7FFF00FF});
  EXPECT_EQ(ApplyColorKey(&image, 0xFFFF00FF), 2u);
  EXPECT_EQ(image.argb, (Pixels{0, 0xFF00FF00, 0, 0x7FFF00FF}));
  EXPECT_EQ(ApplyColorKey(&image, 0), 0u);  // no key
  EXPECT_EQ(ApplyColorKey(nullptr, 1), 0u);
}

}  // namespace
