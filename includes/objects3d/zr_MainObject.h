// One piece of indexed triangle geometry in a vertex and an index buffer, drawn as a triangle list
// with its own world matrix, an optional texture (by file name, through the texture manager), an
// optional material and one vertex colour. A derived class fills the vertex and index arrays
// before Initialise.
#pragma once

#include <d3dx9.h>

#include <cstdint>
#include <string>

#include "graphics/zr_TextureManager.h"

// A vertex of flexible vertex format 0x152: position, normal, diffuse colour, one texture coordinate set.
struct zr_CustomVertex {
  D3DXVECTOR3 position;
  D3DXVECTOR3 normal;
  D3DCOLOR colour;
  float u;
  float v;
};
static_assert(sizeof(zr_CustomVertex) == 36, "the vertex format is 36 bytes");

inline constexpr DWORD kCustomVertexFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class zr_MainObject {
 public:
  zr_MainObject();
  // Frees the arrays, releases both buffers and deletes the texture by name from the manager.
  ~zr_MainObject();
  // Copies would share the buffers and arrays and free them twice.
  zr_MainObject(const zr_MainObject&) = delete;
  zr_MainObject& operator=(const zr_MainObject&) = delete;

  // Creates the index buffer (error 17 when it cannot), then the vertex buffer (error 18), and copies
  // the arrays into them; both failures are raised. No device, or no indices or no vertices to
  // hold, is such a failure.
  void Initialise(IDirect3DDevice9* device, zr_TextureManager* textureManager);
  void SetPosition(D3DXVECTOR3 position);
  void SetRotation(D3DXVECTOR3 rotation);
  // A vertex at `position` with the object's current colour.
  zr_CustomVertex SetCustomVertex(D3DXVECTOR3 position, float nx, float ny, float nz, float u, float v);
  void SetTexture(bool textured);
  bool GetTextureState() const;
  // Not owned: the caller keeps the material alive while the object draws.
  void SetMaterial(D3DMATERIAL9* material);
  // The colour of vertices built from now on.
  void SetColor(D3DCOLOR colour);
  // Loads a texture through the texture manager; on success the object draws with it.
  void CreateTexture(const char* fileName, D3DPOOL pool, UINT mipLevels, DWORD filter);
  // Draws turned about x, then y, then z, then moved to `position`.
  void Render(IDirect3DDevice9* device, D3DXVECTOR3 position, D3DXVECTOR3 rotation);
  // At `position`, turned by the stored rotation.
  void Render(IDirect3DDevice9* device, D3DXVECTOR3 position);
  // At the stored position and rotation.
  void Render(IDirect3DDevice9* device);

  const D3DXMATRIX& WorldMatrix() const { return world_; }
  bool Initialised() const { return initialised_; }

 protected:
  IDirect3DVertexBuffer9* vertexBuffer_;
  IDirect3DIndexBuffer9* indexBuffer_;
  D3DMATERIAL9* material_;
  zr_CustomVertex* vertices_;
  D3DXVECTOR3 position_;
  D3DXVECTOR3 rotation_;
  D3DCOLOR colour_;
  bool textured_;
  std::uint16_t* indices_;
  std::int32_t vertexCount_;
  std::int32_t indexCount_;
  D3DXMATRIX translation_;
  D3DXMATRIX rotationMatrix_;
  D3DXMATRIX world_;
  zr_TextureManager* textureManager_;
  std::string textureName_;
  UINT mipLevels_;
  void* lockedVertices_;
  bool initialised_;
};
