// Flexible vertex formats: where each element of a vertex lies, derived from the D3DFVF_* bits.
//
// In order, as Direct3D 9 lays them out: the position (XYZ: 3 floats; XYZRHW: 4; XYZB1 to XYZB5:
// 3 floats and 1 to 5 blend weights, the last one a DWORD with D3DFVF_LASTBETA_UBYTE4 or
// D3DFVF_LASTBETA_D3DCOLOR), the normal (3 floats), the point size (1 float), the diffuse and
// the specular colour (a D3DCOLOR each), then 0 to 8 sets of texture coordinates of 1 to 4
// floats (D3DFVF_TEXCOORDSIZEn; 2 by default). The fixed-function pipeline ignores blend
// weights (D3DRS_VERTEXBLEND is not offered) and point sizes. D3DFVF_XYZW, formats without a
// position and reserved bits make no layout.
#pragma once

#include <d3d9.h>

#include <array>

namespace zr::d3d9 {

struct FvfLayout {
  bool valid = false;
  bool rhw = false;            // D3DFVF_XYZRHW: screen positions, not transformed or lit
  UINT size = 0;               // bytes per vertex
  int positionComponents = 0;  // floats at offset 0: 3, or 4 for XYZRHW
  int normal = -1;             // byte offsets, -1 when absent
  int pointSize = -1;
  int diffuse = -1;
  int specular = -1;
  int texCount = 0;
  std::array<int, 8> texOffset{};
  std::array<int, 8> texComponents{};
};

FvfLayout LayoutOf(DWORD fvf);

}  // namespace zr::d3d9
