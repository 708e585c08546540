// A six-sided box of eight shared corner vertices and twelve triangles.
#pragma once

#include "objects3d/zr_MainObject.h"

// Eight corner points, corner 0 first.
struct zr_BoxVertices {
  D3DXVECTOR3 corners[8];
};

class zr_Box : public zr_MainObject {
 public:
  // Packs the eight corners in argument order.
  zr_BoxVertices GetBoxVertex(D3DXVECTOR3 c0, D3DXVECTOR3 c1, D3DXVECTOR3 c2, D3DXVECTOR3 c3, D3DXVECTOR3 c4,
                              D3DXVECTOR3 c5, D3DXVECTOR3 c6, D3DXVECTOR3 c7) const;
  // A box from the origin to (width, height, depth).
  void SetSize(IDirect3DDevice9* device, float width, float height, float depth);
  // A box of eight corners: into the arrays before Initialise, into the vertex buffer after it.
  void SetSizeEx(IDirect3DDevice9* device, zr_BoxVertices corners);
};
