#include "fvf.h"

namespace zr::d3d9 {

FvfLayout LayoutOf(DWORD fvf) {
  FvfLayout l;
  constexpr DWORD kKnown = D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                           D3DFVF_TEXCOUNT_MASK | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR | 0xFFFF0000u;
  if ((fvf & ~kKnown) != 0) return l;
  int texCount = static_cast<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
  if (texCount > 8) return l;
  // Sizes of coordinate sets that do not exist must be left 0.
  if (texCount < 8 && (fvf >> (16 + 2 * texCount)) != 0) return l;
  int blendWeights = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: l.positionComponents = 3; break;
    case D3DFVF_XYZRHW:
      l.positionComponents = 4;
      l.rhw = true;
      break;
    case D3DFVF_XYZB1: blendWeights = 1; break;
    case D3DFVF_XYZB2: blendWeights = 2; break;
    case D3DFVF_XYZB3: blendWeights = 3; break;
    case D3DFVF_XYZB4: blendWeights = 4; break;
    case D3DFVF_XYZB5: blendWeights = 5; break;
    default: return l;  // none, or XYZW (for vertex shaders only)
  }
  bool lastBeta = (fvf & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR)) != 0;
  if (lastBeta && ((fvf & D3DFVF_LASTBETA_UBYTE4) && (fvf & D3DFVF_LASTBETA_D3DCOLOR))) return l;
  if (lastBeta && blendWeights == 0) return l;
  if (blendWeights > 0) l.positionComponents = 3;
  int offset = 4 * (l.positionComponents + blendWeights);
  auto take = [&](DWORD bit, int& where, int bytes) {
    if (fvf & bit) {
      where = offset;
      offset += bytes;
    }
  };
  take(D3DFVF_NORMAL, l.normal, 12);
  take(D3DFVF_PSIZE, l.pointSize, 4);
  take(D3DFVF_DIFFUSE, l.diffuse, 4);
  take(D3DFVF_SPECULAR, l.specular, 4);
  l.texCount = texCount;
  for (int i = 0; i < texCount; ++i) {
    static constexpr int kComponents[4] = {2, 3, 4, 1};  // D3DFVF_TEXTUREFORMAT2, 3, 4, 1
    l.texComponents[i] = kComponents[(fvf >> (16 + 2 * i)) & 3];
    l.texOffset[i] = offset;
    offset += 4 * l.texComponents[i];
  }
  l.size = static_cast<UINT>(offset);
  l.valid = true;
  return l;
}

}  // namespace zr::d3d9
