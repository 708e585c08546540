#include "objects3d/zr_Box.h"

#include <cstring>

namespace {

// Twelve triangles, two per face, each clockwise seen from outside a box of SetSize.
constexpr std::uint16_t kBoxIndices[36] = {0, 1, 2, 3, 2, 1, 5, 4, 7, 7, 4, 6, 5, 7, 3, 5, 3, 1,
                                           0, 4, 5, 1, 0, 5, 6, 4, 2, 2, 4, 0, 3, 7, 2, 7, 6, 2};

}  // namespace

zr_BoxVertices zr_Box::GetBoxVertex(D3DXVECTOR3 c0, D3DXVECTOR3 c1, D3DXVECTOR3 c2, D3DXVECTOR3 c3, D3DXVECTOR3 c4,
                                    D3DXVECTOR3 c5, D3DXVECTOR3 c6, D3DXVECTOR3 c7) const {
  return zr_BoxVertices{{c0, c1, c2, c3, c4, c5, c6, c7}};
}

void zr_Box::SetSize(IDirect3DDevice9* device, float width, float height, float depth) {
  // Bit 1 of a corner's number selects x = width, bit 0 y = height, bit 2 z = depth.
  D3DXVECTOR3 c[8];
  for (int k = 0; k < 8; ++k)
    c[k] = D3DXVECTOR3((k & 2) ? width : 0.0f, (k & 1) ? height : 0.0f, (k & 4) ? depth : 0.0f);
  SetSizeEx(device, GetBoxVertex(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]));
}

void zr_Box::SetSizeEx(IDirect3DDevice9*, zr_BoxVertices corners) {
  if (!initialised_ && vertices_ == nullptr) {
    vertexCount_ = 8;
    indexCount_ = 36;
    vertices_ = new zr_CustomVertex[8];
    indices_ = new std::uint16_t[36];
  }
  struct Corner {
    float nz;
    float u;
    float v;
  };
  static constexpr Corner kCorners[8] = {{1, 0, 0},  {1, 0, 1},  {1, 1, 0},  {1, 1, 1},
                                         {-1, 0, 1}, {-1, 0, 0}, {-1, 1, 1}, {-1, 1, 0}};
  zr_CustomVertex built[8];
  for (int k = 0; k < 8; ++k)
    built[k] = SetCustomVertex(corners.corners[k], 0, 0, kCorners[k].nz, kCorners[k].u, kCorners[k].v);

  if (!initialised_) {
    std::memcpy(vertices_, built, sizeof built);
    std::memcpy(indices_, kBoxIndices, sizeof kBoxIndices);
    return;
  }
  void* memory = nullptr;
  if (vertexBuffer_ != nullptr &&
      SUCCEEDED(vertexBuffer_->Lock(0, static_cast<UINT>(vertexCount_) * sizeof(zr_CustomVertex), &memory, 0)) &&
      memory != nullptr) {
    std::memcpy(memory, built, sizeof built);
    vertexBuffer_->Unlock();
  }
}
