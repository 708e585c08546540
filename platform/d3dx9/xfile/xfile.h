// DirectX .X mesh files read into one merged mesh on the CPU, the base of D3DXLoadMeshFromX.
//
// Encodings: the 16-byte header "xof 0302" or "0303", then "txt ", "bin ", "tzip" or "bzip", then
// the float size "0032" or "0064"; text and binary token streams, and both MSZIP-compressed forms.
//
// What is read: templates are skipped (the standard ones are known by name); Frame hierarchies
// with their FrameTransformMatrix applied to the positions and normals of the meshes inside; every
// Mesh of the file, merged in file order into one (vertices, faces and materials appended); its
// MeshNormals, MeshTextureCoords, MeshVertexColors and MeshMaterialList (inline Material objects
// and references {name} or {<GUID>} to named Material objects anywhere in the file); Material with
// an optional TextureFilename. Other data objects are skipped with everything nested in them.
//
// Vertex order: the first N vertices of the result are the N vertices the file's meshes declare,
// in file order, transformed by their frames. A vertex whose face corners MeshNormals give several
// different normals keeps the first normal met (in face order); each further distinct normal
// gives a copy of the vertex appended after all the declared vertices, in the order met, and the
// corners with that normal use the copy. Nothing else duplicates or reorders vertices.
//
// Faces: polygons of n >= 3 corners become the triangle fan (0,1,2), (0,2,3), ... (0,n-2,n-1);
// every triangle keeps its polygon's material. A material list with fewer indices than the mesh
// has polygons repeats its last index for the rest.
//
// Safety: every entry point survives truncated, corrupt and lying files. Each declared count is
// checked against the bytes that remain before anything is reserved, every index against the
// counts, and nesting (50,000 frames deep or more) is walked without recursion. Files and
// decompressed streams are capped by Limits, and the texture names that material references
// copy add up to at most the stream's size and 16 MB.
//
// Results:
//   D3D_OK                             success
//   D3DERR_INVALIDCALL                 a null argument
//   DXFILEERR_FILENOTFOUND             the path cannot be opened
//   DXFILEERR_BADFILETYPE              shorter than a header, or no "xof " magic
//   DXFILEERR_BADFILEVERSION           a version other than 0302 and 0303
//   DXFILEERR_BADFILECOMPRESSIONTYPE   a format other than txt, bin, tzip and bzip
//   DXFILEERR_BADFILEFLOATSIZE         a float size other than 0032 and 0064
//   DXFILEERR_BADFILE                  not a regular file, empty, over the limits (texture names
//                                      copied by references included), or broken compression
//                                      (framing, sizes, inflate errors)
//   DXFILEERR_PARSEERROR               a broken token stream: truncated, unbalanced, a wrong token
//   DXFILEERR_BADARRAYSIZE             a count larger than the remaining bytes could hold
//   DXFILEERR_BADDATAREFERENCE         a material reference to nothing defined in the file
//   DXFILEERR_NOTFOUND                 no Mesh object in the file
//   D3DXERR_INVALIDDATA                a mesh that is structurally wrong: an index out of range,
//                                      a polygon under 3 corners, lists of the wrong length
//   E_OUTOFMEMORY                      memory ran out below the limits
// (The DXFILEERR_ codes are defined in xfile_errors.h.) The output is written only on success.
#pragma once

#include <d3dx9.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zr::d3dx9::xfile {

// Largest file read, and largest stream a compressed file may inflate to.
inline constexpr std::size_t kMaxFileBytes = std::size_t{256} << 20;
inline constexpr std::size_t kMaxDecompressedBytes = std::size_t{256} << 20;

struct Limits {
  std::size_t maxFileBytes = kMaxFileBytes;
  std::size_t maxDecompressedBytes = kMaxDecompressedBytes;
};

// Which vertex components a mesh carries (Mesh::components).
enum VertexComponent : std::uint32_t {
  kPosition = 1,
  kNormal = 2,         // some mesh of the file had MeshNormals
  kTextureCoords = 4,  // some mesh had MeshTextureCoords
  kColor = 8,          // some mesh had MeshVertexColors
};

struct Vertex {
  std::array<float, 3> position{};
  std::array<float, 3> normal{};  // (0,0,0) where the file gives none
  std::array<float, 2> uv{};      // (0,0) where the file gives none
  std::uint32_t color = 0xFFFFFFFFu;  // 0xAARRGGBB; opaque white where the file gives none
};

struct Material {
  // Diffuse = the faceColor (RGBA), Specular and Emissive = the file's RGB with alpha 1, Power.
  // Ambient stays 0, as D3DX leaves it.
  D3DMATERIAL9 material{};
  // As written in the file, no directory or case changes; empty when there is none.
  std::string textureFilename;
};

struct Mesh {
  std::uint32_t components = kPosition;  // VertexComponent bits
  std::vector<Vertex> vertices;
  std::vector<std::array<std::uint32_t, 3>> faces;
  std::vector<std::uint32_t> attributes;  // one material index per face
  // The meshes' materials, appended in file order. When some meshes of a file have a material
  // list and others do not, each of the others gets one default material (diffuse opaque white,
  // nothing else) so that every attribute names a material; a file without any material list has
  // no materials and attributes of 0.
  std::vector<Material> materials;
};

HRESULT ReadMeshFile(const char* path, Mesh* out, const Limits& limits = {});
HRESULT ReadMeshMemory(const void* data, std::size_t size, Mesh* out, const Limits& limits = {});

// Face adjacency as ID3DXBaseMesh::GenerateAdjacency gives it: three entries per face, the face
// across the edge (v0,v1), (v1,v2) and (v2,v0), 0xFFFFFFFF where there is none. Vertices are the
// same when they share an index or their positions differ by at most `epsilon` on every axis
// (0: identical positions; -0 equals 0, NaN equals nothing). An edge between two faces makes them
// neighbours of each other; an edge shared by more than two faces pairs each face that runs it one
// way with one that runs it the other way, in face order, and leaves the rest unpaired. Edges
// whose two ends are the same vertex have no neighbour. Indices out of range match only the same
// index. Throws std::bad_alloc if memory runs out.
std::vector<std::uint32_t> ComputeAdjacency(const Mesh& mesh, float epsilon);

}  // namespace zr::d3dx9::xfile
