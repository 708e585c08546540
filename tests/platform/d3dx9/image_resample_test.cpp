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
  image.info.Width = width;
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
  Image square = Make(2, 2, {1, 2, 3, 4});
  EXPECT_EQ(Resized(square, 3, 3, D3DX_FILTER_NONE), (Pixels{1, 2, 0, 3, 4, 0, 0, 0, 0}));
  EXPECT_EQ(Resized(square, 1, 2, D3DX_FILTER_NONE), (Pixels{1, 3}));
  EXPECT_EQ(Resized(square, 4, 4, D3DX_FILTER_POINT), (Pixels{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
  EXPECT_EQ(Resized(Make(3, 1, {10, 20, 30}), 2, 1, D3DX_FILTER_POINT), (Pixels{10, 30}));
  // Linear: centres of 4 from 2 fall at -0.25, 0.25, 0.75 and 1.25 source pixels; off the edge an
  // axis wraps unless mirrored.
  Pixels wrapped = {All(50), All(50), All(150), All(150)}, mirrored = {All(0), All(50), All(150), All(200)};
  Image row = Make(2, 1, {All(0), All(200)}), column = Make(1, 2, {All(0), All(200)});
  EXPECT_EQ(Resized(row, 4, 1, D3DX_FILTER_LINEAR), wrapped);
  EXPECT_EQ(Resized(row, 4, 1, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_U), mirrored);
  EXPECT_EQ(Resized(column, 1, 4, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_U), wrapped);
  EXPECT_EQ(Resized(column, 1, 4, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_V), mirrored);
  EXPECT_EQ(Resized(Make(2, 1, {0xFF0000FF, 0x00FF0000}), 4, 1, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR)[1],
            0xBF4000BFu);  // channels apart, 191.25 and 63.75 rounded
  // Area averages: 2 x 2 blocks; 3 to 2 (pixel 1 split in halves); a half rounds up.
  Image blocks = Make(4, 2, {All(0), All(4), All(10), All(11), All(8), All(4), All(13), All(11)});
  for (DWORD filter : {DWORD{D3DX_FILTER_BOX}, DWORD{D3DX_FILTER_TRIANGLE}, DWORD{D3DX_DEFAULT}})
    EXPECT_EQ(Resized(blocks, 2, 1, filter), (Pixels{All(4), All(11)})) << filter;
  EXPECT_EQ(Resized(Make(3, 1, {All(0), All(90), All(180)}), 2, 1, D3DX_FILTER_BOX), (Pixels{All(30), All(150)}));
  EXPECT_EQ(Resized(Make(2, 1, {All(1), All(2)}), 1, 1, D3DX_FILTER_BOX), (Pixels{All(2)}));
}

TEST(Resample, SameSizeCopiesAndBadArgumentsFail) {
  Image source = Make(2, 2, {1, 0xFFFFFFFF, 0x12345678, 0xDEADBEEF}), out;
  for (DWORD filter : {D3DX_FILTER_NONE, D3DX_FILTER_POINT, D3DX_FILTER_LINEAR, D3DX_FILTER_TRIANGLE, D3DX_FILTER_BOX})
    EXPECT_EQ(Resized(source, 2, 2, filter), source.argb) << filter;
  for (auto [w, h, filter] : {std::tuple{2u, 2u, 0u}, {2u, 2u, 6u}, {0u, 2u, 5u}, {8193u, 1u, 5u}, {8192u, 2049u, 5u}})
    EXPECT_EQ(ResampleImage(source, w, h, filter, &out), D3DERR_INVALIDCALL) << w << "x" << h << " " << filter;
  EXPECT_EQ(ResampleImage(source, 2, 2, D3DX_FILTER_BOX, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(ResampleImage(Make(3, 3, {1, 2, 3}), 2, 2, D3DX_FILTER_BOX, &out), D3DERR_INVALIDCALL);
}

TEST(MipChain, LevelsHalveToOneAndAverage) {
  EXPECT_EQ(std::vector<UINT>({FullMipLevelCount(1, 1), FullMipLevelCount(256, 1), FullMipLevelCount(1024, 768),
                               FullMipLevelCount(5, 3)}),
            std::vector<UINT>({1, 9, 11, 3}));
  // 8 x 4 with every channel 10x + 40y: each level's pixel is the mean of a 2 x 2 block above.
  Pixels p, level1;
  for (UINT i = 0; i < 32; ++i) p.push_back(All(10 * (i % 8) + 40 * (i / 8)));
  for (UINT i = 0; i < 8; ++i) level1.push_back(All(20 * (i % 4) + 80 * (i / 4) + 25));
  std::vector<Image> chain;
  ASSERT_EQ(BuildMipChain(Make(8, 4, p), 0, D3DX_FILTER_BOX, &chain), D3D_OK);
  ASSERT_EQ(chain.size(), 4u);
  EXPECT_EQ(chain[0].argb, p);
  EXPECT_EQ(chain[1].argb, level1);
  EXPECT_EQ(chain[2].argb, (Pixels{All(75), All(115)}));
  EXPECT_EQ(chain[3].argb, (Pixels{All(95)}));
  EXPECT_EQ(std::vector<UINT>({chain[1].width, chain[1].height, chain[2].width, chain[2].height, chain[3].width}),
            std::vector<UINT>({4, 2, 2, 1, 1}));
  // Odd sizes average whole areas; level counts are cut to the full chain.
  ASSERT_EQ(BuildMipChain(Make(3, 1, {All(0), All(90), All(180)}), D3DX_DEFAULT, D3DX_DEFAULT, &chain), D3D_OK);
  EXPECT_EQ(chain.size(), 2u);
  EXPECT_EQ(chain.back().argb, (Pixels{All(90)}));
  for (auto [asked, made] : {std::pair{1u, 1u}, {2u, 2u}, {100u, 3u}}) {
    ASSERT_EQ(BuildMipChain(Make(4, 4, Pixels(16, 7)), asked, D3DX_FILTER_POINT, &chain), D3D_OK);
    EXPECT_EQ(chain.size(), made);
    EXPECT_EQ(chain.back().argb, Pixels(chain.back().argb.size(), 7));
  }
  EXPECT_EQ(BuildMipChain(Make(1, 1, {0}), 0, 0, &chain), D3DERR_INVALIDCALL);
  EXPECT_EQ(BuildMipChain(Make(1, 1, {0}), 0, D3DX_FILTER_BOX, nullptr), D3DERR_INVALIDCALL);
}

TEST(ColorKey, ExactMatchesBecomeTransparentBlack) {
  Image image = Make(2, 2, {0xFFFF00FF, 0xFF00FF00, 0xFFFF00FF, 0x7FFF00FF});
  EXPECT_EQ(ApplyColorKey(&image, 0xFFFF00FF), 2u);
  EXPECT_EQ(image.argb, (Pixels{0, 0xFF00FF00, 0, 0x7FFF00FF}));  // alpha counts
  EXPECT_EQ(ApplyColorKey(&image, 0), 0u);                         // no key
  EXPECT_EQ(ApplyColorKey(nullptr, 1), 0u);
}

}  // namespace
