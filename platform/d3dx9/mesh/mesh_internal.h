// D3DX's mesh objects over the device: what the COM classes and the D3DX functions share.
//
// A mesh keeps its vertices and indices in the device's own buffers, made through
// IDirect3DDevice9::CreateVertexBuffer and CreateIndexBuffer in the pools its D3DXMESH_* options
// name, so device rules hold for them as for any buffer (DEFAULT ones must go before Reset).
// Those buffers are the only copy: everything that reads a mesh (adjacency, cleaning, the
// progressive mesh build, clones) locks them read-only, so what an application wrote through
// LockVertexBuffer is what the next call sees. The CPU work is the pmesh library's.
#pragma once

#include <d3dx9.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "pmesh.h"

namespace zr::d3dx9::mesh {

using pmesh::Face;
using pmesh::Float3;

// The result for an exception the CPU libraries threw; call inside a catch (...).
// std::bad_alloc: E_OUTOFMEMORY; std::invalid_argument (bad indices, sizes): D3DXERR_INVALIDMESH;
// anything else: E_FAIL.
HRESULT ResultOfException() noexcept;

// A new ID3DXBuffer holding a copy of `size` bytes (zeroed when `bytes` is null).
HRESULT MakeBuffer(const void* bytes, std::size_t size, ID3DXBuffer** out) noexcept;
// A buffer holding `text` and its terminating zero; null (and D3D_OK) when the text is empty.
HRESULT MakeTextBuffer(const std::string& text, ID3DXBuffer** out) noexcept;

// Whether `fvf` can be a mesh's vertex format: an XYZ position first and a layout the device
// draws. Gives the vertex size.
bool IsMeshFvf(DWORD fvf, UINT* stride = nullptr);

// Vertices of format `from` in format `to`: elements both have are copied (texture coordinate
// sets as far as both have coordinates), new ones are zero, a new diffuse colour is opaque white.
// Both formats pass IsMeshFvf.
std::vector<std::byte> ConvertVertices(std::span<const std::byte> in, DWORD from, DWORD to);

// The positions (the first three floats) of each vertex.
std::vector<Float3> PositionsOf(std::span<const std::byte> vertices, UINT stride);

// One range per attribute when the attributes run in non-decreasing groups (each value in one run),
// else empty: the table that D3DXMESHOPT_ATTRSORT leaves, recomputed for faces in that order.
std::vector<pmesh::AttributeRange> AttributeTableOf(std::span<const Face> faces,
                                                    std::span<const std::uint32_t> attributes);

// The device buffers of a mesh: vertices of one format and a triangle list of 16- or 32-bit
// indices. Holds one reference on each buffer and on the device.
class MeshBuffers {
 public:
  MeshBuffers() = default;
  ~MeshBuffers();
  MeshBuffers(MeshBuffers&& other) noexcept;
  MeshBuffers& operator=(MeshBuffers&& other) noexcept;
  MeshBuffers(const MeshBuffers&) = delete;
  MeshBuffers& operator=(const MeshBuffers&) = delete;

  // Both buffers, of `vertices` vertices and `faces` faces, where `options` put them:
  // D3DXMESH_VB_SYSTEMMEM / _VB_MANAGED / else DEFAULT (the same for the IB_ bits), with the
  // WRITEONLY, DYNAMIC, DONOTCLIP and POINTS usages. 16-bit indices unless D3DXMESH_32BIT: more
  // than 65,535 vertices then is D3DERR_INVALIDCALL, as are a null device, an FVF that is no
  // mesh's, and no vertices or faces. The device's own failures pass through.
  static HRESULT Create(IDirect3DDevice9* device, DWORD options, DWORD fvf, std::size_t vertices,
                        std::size_t faces, MeshBuffers& out);
  // Makes a vertex buffer of another size in the same place (for a compaction); the index
  // buffer, device and format stay.
  HRESULT ResizeVertices(std::size_t vertices);

  // Whole-buffer writes and read-only reads through Lock; D3DERR_INVALIDCALL while the
  // application holds a lock.
  HRESULT WriteVertices(std::span<const std::byte> bytes);
  HRESULT WriteFaces(std::span<const Face> faces);
  // Index slots [first, first + count) from 16-bit or 32-bit source values.
  HRESULT WriteIndices(std::size_t first, std::size_t count, const void* source, bool source32);
  HRESULT ReadVertices(std::vector<std::byte>& out) const;
  HRESULT ReadFaces(std::vector<Face>& out) const;

  // Sets the format, stream 0 and the indices on the device for a draw (left set afterwards,
  // as D3DX leaves them).
  HRESULT Bind() const;

  IDirect3DDevice9* Device() const { return device_; }
  IDirect3DVertexBuffer9* VertexBuffer() const { return vertexBuffer_; }
  IDirect3DIndexBuffer9* IndexBuffer() const { return indexBuffer_; }
  DWORD Options() const { return options_; }
  DWORD Fvf() const { return fvf_; }
  UINT Stride() const { return stride_; }
  std::size_t Vertices() const { return vertices_; }
  std::size_t Faces() const { return faces_; }
  bool Index32() const { return index32_; }

 private:
  void Release();

  IDirect3DDevice9* device_ = nullptr;
  IDirect3DVertexBuffer9* vertexBuffer_ = nullptr;
  IDirect3DIndexBuffer9* indexBuffer_ = nullptr;
  DWORD options_ = 0;
  DWORD fvf_ = 0;
  UINT stride_ = 0;
  std::size_t vertices_ = 0;
  std::size_t faces_ = 0;
  bool index32_ = false;
};

// ID3DXBaseMesh's methods that read or hand out the buffers, the same for both kinds of mesh.
template <class Interface>
class MeshObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override;

  DWORD STDMETHODCALLTYPE GetFVF() override { return buffers_.Fvf(); }
  DWORD STDMETHODCALLTYPE GetNumBytesPerVertex() override { return buffers_.Stride(); }
  DWORD STDMETHODCALLTYPE GetOptions() override { return buffers_.Options(); }
  HRESULT STDMETHODCALLTYPE GetDevice(LPDIRECT3DDEVICE9* device) override;
  HRESULT STDMETHODCALLTYPE GetVertexBuffer(IDirect3DVertexBuffer9** vertexBuffer) override;
  HRESULT STDMETHODCALLTYPE GetIndexBuffer(IDirect3DIndexBuffer9** indexBuffer) override;
  HRESULT STDMETHODCALLTYPE LockVertexBuffer(DWORD flags, LPVOID* data) override;
  HRESULT STDMETHODCALLTYPE UnlockVertexBuffer() override;
  HRESULT STDMETHODCALLTYPE LockIndexBuffer(DWORD flags, LPVOID* data) override;
  HRESULT STDMETHODCALLTYPE UnlockIndexBuffer() override;

  MeshBuffers& Buffers() { return buffers_; }

 protected:
  explicit MeshObject(MeshBuffers&& buffers) : buffers_(std::move(buffers)) {}
  virtual ~MeshObject() = default;

  ULONG refs_ = 1;
  MeshBuffers buffers_;
};

// ID3DXMesh: the buffers, one attribute per face and, after D3DXMESHOPT_ATTRSORT, an attribute
// table of one face range per attribute.
class GlMesh final : public MeshObject<ID3DXMesh> {
 public:
  // Takes the buffers (already filled) and one attribute per face.
  static HRESULT Create(MeshBuffers&& buffers, std::vector<DWORD> attributes,
                        std::vector<pmesh::AttributeRange> table, GlMesh** out);

  // ID3DXBaseMesh
  HRESULT STDMETHODCALLTYPE DrawSubset(DWORD attribId) override;
  DWORD STDMETHODCALLTYPE GetNumFaces() override { return static_cast<DWORD>(buffers_.Faces()); }
  DWORD STDMETHODCALLTYPE GetNumVertices() override { return static_cast<DWORD>(buffers_.Vertices()); }
  HRESULT STDMETHODCALLTYPE GenerateAdjacency(FLOAT epsilon, DWORD* adjacency) override;
  // ID3DXMesh
  HRESULT STDMETHODCALLTYPE LockAttributeBuffer(DWORD flags, DWORD** data) override;
  HRESULT STDMETHODCALLTYPE UnlockAttributeBuffer() override;
  HRESULT STDMETHODCALLTYPE OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                                            DWORD* faceRemap, LPD3DXBUFFER* vertexRemap) override;

  // The mesh as the pmesh library takes it: positions, faces, attributes, and the adjacency
  // given (3 per face) or none; with `payload`, every vertex's bytes as the payload.
  HRESULT ReadInput(pmesh::MeshInput& out, const DWORD* adjacency, bool payload) const;
  bool HasAttributeTable() const { return !table_.empty(); }
  std::span<const pmesh::AttributeRange> AttributeTable() const { return table_; }

 private:
  GlMesh(MeshBuffers&& buffers, std::vector<DWORD> attributes, std::vector<pmesh::AttributeRange> table)
      : MeshObject(std::move(buffers)), attributes_(std::move(attributes)), table_(std::move(table)) {}

  std::vector<DWORD> attributes_;
  std::vector<pmesh::AttributeRange> table_;
  bool attributesLocked_ = false;
  DWORD attributeLockFlags_ = 0;
};

// ID3DXPMesh: the progressive mesh runtime and the buffers it feeds. The vertex buffer holds the
// runtime's vertex order (active vertices first), the index buffer the runtime's index slots
// as they are at the current level.
class GlPMesh final : public MeshObject<ID3DXPMesh> {
 public:
  static HRESULT Create(MeshBuffers&& buffers, pmesh::ProgressiveMesh progressive, GlPMesh** out);
  // The same with the slot spans of each collapse already known (a clone's).
  static HRESULT Create(MeshBuffers&& buffers, pmesh::ProgressiveMesh progressive,
                        std::vector<std::array<std::uint32_t, 2>> spans, GlPMesh** out);

  // ID3DXBaseMesh
  HRESULT STDMETHODCALLTYPE DrawSubset(DWORD attribId) override;
  DWORD STDMETHODCALLTYPE GetNumFaces() override { return pm_.GetNumFaces(); }
  DWORD STDMETHODCALLTYPE GetNumVertices() override { return pm_.NumActiveVertices(); }
  // Adjacency of the faces active now (GetNumFaces() x 3 entries), subset by subset in index
  // buffer order: at the maximum level, every face in buffer order.
  HRESULT STDMETHODCALLTYPE GenerateAdjacency(FLOAT epsilon, DWORD* adjacency) override;
  // The indices of the current level reach the buffer before the application sees it.
  HRESULT STDMETHODCALLTYPE LockIndexBuffer(DWORD flags, LPVOID* data) override;
  HRESULT STDMETHODCALLTYPE UnlockIndexBuffer() override;
  // ID3DXPMesh
  HRESULT STDMETHODCALLTYPE ClonePMeshFVF(DWORD options, DWORD fvf, LPDIRECT3DDEVICE9 device,
                                          ID3DXPMesh** clone) override;
  HRESULT STDMETHODCALLTYPE SetNumFaces(DWORD faces) override;
  HRESULT STDMETHODCALLTYPE SetNumVertices(DWORD vertices) override;
  DWORD STDMETHODCALLTYPE GetMaxFaces() override { return pm_.GetMaxFaces(); }
  DWORD STDMETHODCALLTYPE GetMinFaces() override { return pm_.GetMinFaces(); }
  DWORD STDMETHODCALLTYPE GetMaxVertices() override { return pm_.GetMaxVertices(); }
  DWORD STDMETHODCALLTYPE GetMinVertices() override { return pm_.GetMinVertices(); }

  // Every face at the maximum level, in index buffer order (the level is restored).
  std::vector<Face> MaximumFaces();
  // The runtime (subsets, levels, its own copy of the indices), for tests to compare against.
  const pmesh::ProgressiveMesh& Runtime() const { return pm_; }

 private:
  GlPMesh(MeshBuffers&& buffers, pmesh::ProgressiveMesh progressive, std::vector<std::array<std::uint32_t, 2>> spans)
      : MeshObject(std::move(buffers)), pm_(std::move(progressive)), spans_(std::move(spans)) {}
  // After the runtime moved from level `from`: marks the slots the collapses between rewrote.
  void MarkLevelChange(std::size_t from);
  // Sends the marked slots (kept marked while the application holds the index buffer locked).
  HRESULT SendIndices();
  std::vector<Face> ActiveFaces() const;

  pmesh::ProgressiveMesh pm_;
  // Per collapse, the index slots its rewrites touch: [first, last + 1).
  std::vector<std::array<std::uint32_t, 2>> spans_;
  std::size_t dirtyBegin_ = 0;  // index slots the buffer does not have yet: [begin, end)
  std::size_t dirtyEnd_ = 0;
};

}  // namespace zr::d3dx9::mesh
