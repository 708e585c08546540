// libFuzzer target of the image reader: bytes decoded and described from memory, and a decoded
// image put through what D3DXCreateTextureFromFileEx does next, with choices taken from the input.
// Besides the sanitizers it checks that the results agree with one another and keep what they promise.
#include "fuzz_check.h"
#include "image_file.h"

using namespace zr::d3dx9;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ImageLimits limits{1024, 1u << 18, 1u << 20};  // smaller than the game's, for quick runs; the same code
  Image image;
  const HRESULT decoded = DecodeImageMemory(data, size, &image, limits);
  D3DXIMAGE_INFO info{};
  const HRESULT described = ReadImageInfoFromMemory(data, size, &info, limits);
  Require((decoded == D3D_OK || decoded == D3DXERR_INVALIDDATA) && (described == D3D_OK || described == D3DXERR_INVALIDDATA),
          "a documented result");
  Require((decoded == D3D_OK || image.argb.empty()) && (described == D3D_OK || info.Width == 0), "a failure writes nothing");
  if (decoded != D3D_OK) return 0;
  Require(described == D3D_OK && image.width >= 1 && image.height >= 1 && image.width <= limits.maxSide &&
              image.height <= limits.maxSide && image.width * image.height <= limits.maxPixels &&
              image.argb.size() == image.width * image.height,
          "a decoded image has a description, a size within the limits and one pixel per texel");
  for (const D3DXIMAGE_INFO& i : {info, image.info})
    Require(i.Width == image.width && i.Height == image.height && i.Format == image.format && i.Depth == 1 &&
                i.MipLevels == 1 && i.ResourceType == D3DRTYPE_TEXTURE && i.ImageFileFormat == image.info.ImageFileFormat,
            "the header's description and the decoded image's agree");
  bool translucent = false;
  for (std::uint32_t p : image.argb) translucent |= (p >> 24) != 0xFF;
  Require(image.format == D3DFMT_A8R8G8B8 || (image.format == D3DFMT_X8R8G8B8 && !translucent),
          "an opaque format has opaque pixels");

  const std::uint8_t choice = data[size - 1];
  const DWORD filters[] = {D3DX_FILTER_NONE, D3DX_FILTER_POINT, D3DX_FILTER_LINEAR, D3DX_FILTER_TRIANGLE,
                           D3DX_FILTER_BOX, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR, D3DX_DEFAULT};
  ApplyColorKey(&image, image.argb[image.argb.size() / 2]);
  const UINT width = choice & 8 ? image.width * 2 - 1 : (image.width + 1) / 2;
  const UINT height = choice & 16 ? image.height + 3 : image.height / 3 + 1;
  Image resized;
  std::vector<Image> chain;
  Require(ResampleImage(image, width, height, filters[choice % 7], &resized) == D3D_OK && resized.width == width &&
              resized.height == height && resized.argb.size() == std::size_t{width} * height,
          "resampled to the size asked for");
  Require(BuildMipChain(resized, 0, filters[choice % 7], &chain) == D3D_OK &&
              chain.size() == FullMipLevelCount(width, height) && chain.back().width == 1 && chain.back().height == 1,
          "a mip chain down to 1 x 1");
  return 0;
}
