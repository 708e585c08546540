// libFuzzer target of the .X mesh reader: bytes read from memory, and a mesh that reads put through
// the adjacency computation. Besides the sanitizers it checks the documented results and what
// every returned mesh promises.
#include <algorithm>
#include <iterator>

#include "fuzz_check.h"
#include "xfile.h"
#include "xfile_errors.h"

using namespace zr::d3dx9::xfile;

namespace {

// Smaller caps than the game's keep each run quick; the checks against them are the same code.
const Limits kLimits{1u << 20, 1u << 20};

const HRESULT kDocumented[] = {S_OK, DXFILEERR_BADFILETYPE, DXFILEERR_BADFILEVERSION, DXFILEERR_BADFILECOMPRESSIONTYPE,
                               DXFILEERR_BADFILEFLOATSIZE, DXFILEERR_BADFILE, DXFILEERR_PARSEERROR, DXFILEERR_BADARRAYSIZE,
                               DXFILEERR_BADDATAREFERENCE, DXFILEERR_NOTFOUND, D3DXERR_INVALIDDATA};

void CheckMesh(const Mesh& mesh, float epsilon) {
  Require((mesh.components & kPosition) != 0 && mesh.attributes.size() == mesh.faces.size(),
          "positions, and one attribute per face");
  for (const auto& face : mesh.faces)
    for (std::uint32_t i : face) Require(i < mesh.vertices.size(), "face index in range");
  for (std::uint32_t a : mesh.attributes)
    Require(mesh.materials.empty() ? a == 0 : a < mesh.materials.size(), "attribute names a material");
  const auto adjacency = ComputeAdjacency(mesh, epsilon);
  Require(adjacency.size() == mesh.faces.size() * 3, "three neighbours per face");
  for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
    for (int e = 0; e < 3; ++e) {
      const std::uint32_t g = adjacency[f * 3 + e];
      if (g == 0xFFFFFFFFu) continue;
      Require(g < mesh.faces.size() && g != f, "neighbour in range");
      int back = 0;
      for (int k = 0; k < 3; ++k) back += adjacency[std::size_t{g} * 3 + k] == f;
      Require(back >= 1, "neighbours name each other");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Mesh mesh;
  const HRESULT hr = ReadMeshMemory(data, size, &mesh, kLimits);
  Require(std::find(std::begin(kDocumented), std::end(kDocumented), hr) != std::end(kDocumented), "a documented result");
  // An epsilon from the input's last byte: 0 (exact) most of the time.
  const std::uint8_t last = size > 0 ? data[size - 1] : 0;
  if (hr == S_OK) CheckMesh(mesh, last < 200 ? 0.0f : static_cast<float>(last - 200) / 16.0f);
  return 0;
}
