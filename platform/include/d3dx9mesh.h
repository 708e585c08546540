// D3DX 9 meshes: meshes loaded from .X files, their clean-up and validation, and progressive
// meshes whose detail can be lowered face by face.
#pragma once

#include "d3d9.h"
#include "d3dx9math.h"

struct IDirect3DVertexBuffer9;
struct IDirect3DIndexBuffer9;

// Mesh options.
#define D3DXMESH_32BIT 0x001
#define D3DXMESH_DONOTCLIP 0x002
#define D3DXMESH_POINTS 0x004
#define D3DXMESH_RTPATCHES 0x008
#define D3DXMESH_NPATCHES 0x4000
#define D3DXMESH_VB_SYSTEMMEM 0x010
#define D3DXMESH_VB_MANAGED 0x020
#define D3DXMESH_VB_WRITEONLY 0x040
#define D3DXMESH_VB_DYNAMIC 0x080
#define D3DXMESH_IB_SYSTEMMEM 0x100
#define D3DXMESH_IB_MANAGED 0x200
#define D3DXMESH_IB_WRITEONLY 0x400
#define D3DXMESH_IB_DYNAMIC 0x800
#define D3DXMESH_SYSTEMMEM 0x110
#define D3DXMESH_MANAGED 0x220
#define D3DXMESH_WRITEONLY 0x440
#define D3DXMESH_DYNAMIC 0x880

// OptimizeInplace flags.
#define D3DXMESHOPT_COMPACT 0x01000000
#define D3DXMESHOPT_ATTRSORT 0x02000000
#define D3DXMESHOPT_VERTEXCACHE 0x04000000
#define D3DXMESHOPT_STRIPREORDER 0x08000000
#define D3DXMESHOPT_IGNOREVERTS 0x10000000
#define D3DXMESHOPT_DONOTSPLIT 0x20000000
#define D3DXMESHOPT_DEVICEINDEPENDENT 0x00400000

// D3DXCleanMesh types.
#define D3DXCLEAN_BACKFACING 0x00000001
#define D3DXCLEAN_BOWTIES 0x00000002
#define D3DXCLEAN_SKINNING D3DXCLEAN_BACKFACING
#define D3DXCLEAN_OPTIMIZATION D3DXCLEAN_BACKFACING
#define D3DXCLEAN_SIMPLIFICATION (D3DXCLEAN_BACKFACING | D3DXCLEAN_BOWTIES)

// D3DXGeneratePMesh: the minimum counts faces or vertices.
#define D3DXMESHSIMP_VERTEX 0x1
#define D3DXMESHSIMP_FACE 0x2

typedef struct _D3DXMATERIAL {
  D3DMATERIAL9 MatD3D;
  LPSTR pTextureFilename;
} D3DXMATERIAL;

typedef struct _D3DXATTRIBUTEWEIGHTS {
  FLOAT Position;
  FLOAT Boundary;
  FLOAT Normal;
  FLOAT Diffuse;
  FLOAT Specular;
  FLOAT Texcoord[8];
  FLOAT Tangent;
  FLOAT Binormal;
} D3DXATTRIBUTEWEIGHTS;

typedef struct _D3DXEFFECTINSTANCE D3DXEFFECTINSTANCE;

// A block of memory handed out by D3DX: materials, adjacency, error texts.
struct ID3DXBuffer : public IUnknown {
  STDMETHOD_(LPVOID, GetBufferPointer)() PURE;
  STDMETHOD_(DWORD, GetBufferSize)() PURE;
};
typedef ID3DXBuffer* LPD3DXBUFFER;

struct ID3DXMesh;
struct ID3DXPMesh;

struct ID3DXBaseMesh : public IUnknown {
  // Draws the faces of one attribute (material).
  STDMETHOD(DrawSubset)(DWORD attribId) PURE;
  STDMETHOD_(DWORD, GetNumFaces)() PURE;
  STDMETHOD_(DWORD, GetNumVertices)() PURE;
  STDMETHOD_(DWORD, GetFVF)() PURE;
  STDMETHOD_(DWORD, GetNumBytesPerVertex)() PURE;
  STDMETHOD_(DWORD, GetOptions)() PURE;
  STDMETHOD(GetDevice)(LPDIRECT3DDEVICE9* device) PURE;
  STDMETHOD(GetVertexBuffer)(IDirect3DVertexBuffer9** vertexBuffer) PURE;
  STDMETHOD(GetIndexBuffer)(IDirect3DIndexBuffer9** indexBuffer) PURE;
  STDMETHOD(LockVertexBuffer)(DWORD flags, LPVOID* data) PURE;
  STDMETHOD(UnlockVertexBuffer)() PURE;
  STDMETHOD(LockIndexBuffer)(DWORD flags, LPVOID* data) PURE;
  STDMETHOD(UnlockIndexBuffer)() PURE;
  // Three neighbours per face, 0xFFFFFFFF where an edge has none; vertices within `epsilon` match.
  STDMETHOD(GenerateAdjacency)(FLOAT epsilon, DWORD* adjacency) PURE;
};

struct ID3DXMesh : public ID3DXBaseMesh {
  // One attribute per face.
  STDMETHOD(LockAttributeBuffer)(DWORD flags, DWORD** data) PURE;
  STDMETHOD(UnlockAttributeBuffer)() PURE;
  // Reorders faces and vertices in place (D3DXMESHOPT_*); `adjacencyIn` is needed for
  // VERTEXCACHE. Any output may be null.
  STDMETHOD(OptimizeInplace)(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                             LPD3DXBUFFER* vertexRemap) PURE;
};
typedef ID3DXMesh* LPD3DXMESH;

struct ID3DXPMesh : public ID3DXBaseMesh {
  // A copy in another vertex format; `options` choose where its buffers live (D3DXMESH_SYSTEMMEM,
  // or 0 for the device's default pool).
  STDMETHOD(ClonePMeshFVF)(DWORD options, DWORD fvf, LPDIRECT3DDEVICE9 device, ID3DXPMesh** clone) PURE;
  // Sets the detail to the largest face count that can be reached and is not above `faces`,
  // within the minimum and the maximum.
  STDMETHOD(SetNumFaces)(DWORD faces) PURE;
  STDMETHOD(SetNumVertices)(DWORD vertices) PURE;
  STDMETHOD_(DWORD, GetMaxFaces)() PURE;
  STDMETHOD_(DWORD, GetMinFaces)() PURE;
  STDMETHOD_(DWORD, GetMaxVertices)() PURE;
  STDMETHOD_(DWORD, GetMinVertices)() PURE;
};
typedef ID3DXPMesh* LPD3DXPMESH;

HRESULT WINAPI D3DXCreateBuffer(DWORD size, LPD3DXBUFFER* buffer);

// Loads the meshes of a .X file, merged into one, with one attribute per face: the adjacency
// (3 DWORDs per face), the materials (D3DXMATERIAL each) and their count.
HRESULT WINAPI D3DXLoadMeshFromXA(LPCSTR fileName, DWORD options, LPDIRECT3DDEVICE9 device, LPD3DXBUFFER* adjacency,
                                  LPD3DXBUFFER* materials, LPD3DXBUFFER* effectInstances, DWORD* numMaterials,
                                  LPD3DXMESH* mesh);
#define D3DXLoadMeshFromX D3DXLoadMeshFromXA

// A copy of the mesh fit for simplification; its errors and warnings as text.
HRESULT WINAPI D3DXCleanMesh(DWORD cleanType, LPD3DXMESH meshIn, const DWORD* adjacencyIn, LPD3DXMESH* meshOut,
                             DWORD* adjacencyOut, LPD3DXBUFFER* errorsAndWarnings);
// D3DXERR_INVALIDMESH, with the reasons as text, when the adjacency is inconsistent or faces are
// degenerate or duplicated.
HRESULT WINAPI D3DXValidMesh(LPD3DXMESH meshIn, const DWORD* adjacency, LPD3DXBUFFER* errorsAndWarnings);
// Vertex normals from the faces around each vertex.
HRESULT WINAPI D3DXComputeNormals(ID3DXBaseMesh* mesh, const DWORD* adjacency);
// A progressive mesh that can be reduced down to `minValue` faces (D3DXMESHSIMP_FACE) or vertices.
HRESULT WINAPI D3DXGeneratePMesh(LPD3DXMESH mesh, const DWORD* adjacency, const D3DXATTRIBUTEWEIGHTS* attributeWeights,
                                 const FLOAT* vertexWeights, DWORD minValue, DWORD options, LPD3DXPMESH* pmesh);
