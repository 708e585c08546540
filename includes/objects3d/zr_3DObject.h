// A mesh loaded from a DirectX .X file and drawn with continuous level of detail: a progressive
// mesh kept in system memory, and a clone of it on the device (the local mesh) that can be
// dropped before a device reset and made again afterwards.
#pragma once

#include <d3dx9.h>

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/zr_TextureManager.h"

class zr_3DObject {
 public:
  zr_3DObject();
  ~zr_3DObject();
  // Copies would share the meshes without references of their own.
  zr_3DObject(const zr_3DObject&) = delete;
  zr_3DObject& operator=(const zr_3DObject&) = delete;

  void Initialise(IDirect3DDevice9* device, zr_TextureManager* textureManager, bool useMaterial);
  // Loads, optimises, cleans and validates the mesh, loads its materials' textures and builds a
  // progressive mesh down to 300 faces. 0 on success, 1 on failure (reported as errors 24 to 32).
  // A second call first lets go of the first mesh.
  int LoadFromFile(const char* fileName, UINT mipLevels);
  // Makes the local mesh again after a device reset; 0 on success.
  int RestoreObject();
  // Drops the local mesh before a device reset.
  void InvalidateDeviceObjects();
  // Both meshes in another vertex format, with normals computed anew; 0 on success, 1 when a clone
  // fails (nothing changes then).
  int SetFVF(DWORD fvf);
  // Draws at `faces` faces: an opaque pass of the subsets whose diffuse alpha is at least 1, and a
  // translucent pass of those below (with use material; without it, the opaque pass draws all).
  void Render(int faces, bool opaquePass, bool translucentPass);
  // The local mesh's face count, 0 while there is none.
  int GetActuallyNumberOfFaces();
  // The face count of the loaded mesh, before any reduction; 0 while no mesh is loaded (before
  // loading, after Destroy, after a load that made no progressive mesh).
  int GetMaxFaces() const;
  // With material, the subsets draw with their materials and split into the two passes.
  void SetUseMaterial(bool useMaterial);
  void SetTransform(D3DXVECTOR3 scale, D3DXVECTOR3 position, D3DXVECTOR3 rotation);
  void SetTransform(D3DXVECTOR3 position, D3DXVECTOR3 rotation);
  void SetScale(D3DXVECTOR3 scale);
  // World = scale x translation x rotation about x, y, z: a turned object swings about the origin.
  void SetMatrix();
  void Destroy();

  const D3DXMATRIX& WorldMatrix() const { return world_; }
  DWORD MaterialCount() const { return materialCount_; }
  bool Restored() const { return restored_; }

 private:
  void DrawSubset(DWORD subset, int faces, bool setMaterial);

  IDirect3DDevice9* device_;
  DWORD materialCount_;
  D3DMATERIAL9* materials_;
  zr_TextureManager* textureManager_;
  std::string* textureNames_;
  UINT mipLevels_;
  ID3DXPMesh* localMesh_;
  ID3DXPMesh* progressiveMesh_;
  D3DXMATRIX world_;
  D3DXVECTOR3 scale_;
  D3DXVECTOR3 position_;
  D3DXVECTOR3 rotation_;
  std::int32_t maxFaces_;
  bool restored_;
  bool useMaterial_;
};
