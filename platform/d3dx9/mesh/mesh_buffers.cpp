// A mesh's device buffers, and the vertex-format helpers the mesh objects share.
#include <algorithm>
#include <cstring>
#include <limits>
#include <set>
#include <utility>

#include "fvf.h"
#include "mesh_internal.h"

namespace zr::d3dx9::mesh {

using zr::d3d9::FvfLayout;
using zr::d3d9::LayoutOf;

namespace {

// Releases what a lock took when the scope ends.
template <class Buffer>
class Locked {
 public:
  Locked(Buffer* buffer, UINT offset, UINT size, DWORD flags) : buffer_(buffer) {
    hr_ = buffer_->Lock(offset, size, &data_, flags);
  }
  ~Locked() {
    if (SUCCEEDED(hr_)) buffer_->Unlock();
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  HRESULT Result() const { return hr_; }
  std::byte* Data() const { return static_cast<std::byte*>(data_); }

 private:
  Buffer* buffer_;
  void* data_ = nullptr;
  HRESULT hr_;
};

DWORD VertexUsage(DWORD options) {
  DWORD usage = 0;
  if (options & D3DXMESH_VB_WRITEONLY) usage |= D3DUSAGE_WRITEONLY;
  if (options & D3DXMESH_VB_DYNAMIC) usage |= D3DUSAGE_DYNAMIC;
  if (options & D3DXMESH_DONOTCLIP) usage |= D3DUSAGE_DONOTCLIP;
  if (options & D3DXMESH_POINTS) usage |= D3DUSAGE_POINTS;
  return usage;
}

DWORD IndexUsage(DWORD options) {
  DWORD usage = 0;
  if (options & D3DXMESH_IB_WRITEONLY) usage |= D3DUSAGE_WRITEONLY;
  if (options & D3DXMESH_IB_DYNAMIC) usage |= D3DUSAGE_DYNAMIC;
  if (options & D3DXMESH_DONOTCLIP) usage |= D3DUSAGE_DONOTCLIP;
  if (options & D3DXMESH_POINTS) usage |= D3DUSAGE_POINTS;
  return usage;
}

D3DPOOL VertexPool(DWORD options) {
  if (options & D3DXMESH_VB_SYSTEMMEM) return D3DPOOL_SYSTEMMEM;
  if (options & D3DXMESH_VB_MANAGED) return D3DPOOL_MANAGED;
  return D3DPOOL_DEFAULT;
}

D3DPOOL IndexPool(DWORD options) {
  if (options & D3DXMESH_IB_SYSTEMMEM) return D3DPOOL_SYSTEMMEM;
  if (options & D3DXMESH_IB_MANAGED) return D3DPOOL_MANAGED;
  return D3DPOOL_DEFAULT;
}

// Bytes of `count` items of `size`, or 0 when that does not fit a buffer length.
UINT Length(std::size_t count, std::size_t size) {
  if (count > std::numeric_limits<UINT>::max() / size) return 0;
  return static_cast<UINT>(count * size);
}

}  // namespace

// ---- Vertex formats ---------------------------------------------------------------------------

bool IsMeshFvf(DWORD fvf, UINT* stride) {
  if ((fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZ) return false;
  const FvfLayout layout = LayoutOf(fvf);
  if (!layout.valid) return false;
  if (stride != nullptr) *stride = layout.size;
  return true;
}

std::vector<std::byte> ConvertVertices(std::span<const std::byte> in, DWORD from, DWORD to) {
  const FvfLayout a = LayoutOf(from), b = LayoutOf(to);
  const std::size_t count = in.size() / a.size;
  std::vector<std::byte> out(count * b.size);
  constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
  auto copy = [&](std::size_t v, int fromOffset, int toOffset, std::size_t bytes) {
    std::memcpy(out.data() + v * b.size + static_cast<std::size_t>(toOffset),
                in.data() + v * a.size + static_cast<std::size_t>(fromOffset), bytes);
  };
  for (std::size_t v = 0; v < count; ++v) {
    copy(v, 0, 0, 3 * sizeof(float));
    if (a.normal >= 0 && b.normal >= 0) copy(v, a.normal, b.normal, 3 * sizeof(float));
    if (a.pointSize >= 0 && b.pointSize >= 0) copy(v, a.pointSize, b.pointSize, sizeof(float));
    if (b.diffuse >= 0) {
      if (a.diffuse >= 0) copy(v, a.diffuse, b.diffuse, 4);
      else std::memcpy(out.data() + v * b.size + static_cast<std::size_t>(b.diffuse), &kWhite, 4);
    }
    if (a.specular >= 0 && b.specular >= 0) copy(v, a.specular, b.specular, 4);
    for (int t = 0; t < std::min(a.texCount, b.texCount); ++t) {
      const int n = std::min(a.texComponents[t], b.texComponents[t]);
      copy(v, a.texOffset[t], b.texOffset[t], static_cast<std::size_t>(n) * sizeof(float));
    }
  }
  return out;
}

std::vector<Float3> PositionsOf(std::span<const std::byte> vertices, UINT stride) {
  std::vector<Float3> positions(vertices.size() / stride);
  for (std::size_t v = 0; v < positions.size(); ++v) std::memcpy(&positions[v], vertices.data() + v * stride, 12);
  return positions;
}

std::vector<pmesh::AttributeRange> AttributeTableOf(std::span<const Face> faces,
                                                    std::span<const std::uint32_t> attributes) {
  std::vector<pmesh::AttributeRange> table;
  std::set<std::uint32_t> seen;
  for (std::size_t begin = 0; begin < attributes.size();) {
    std::size_t end = begin + 1;
    while (end < attributes.size() && attributes[end] == attributes[begin]) ++end;
    if (!seen.insert(attributes[begin]).second) return {};  // a value in two runs: not sorted
    std::uint32_t lo = pmesh::kNone, hi = 0;
    for (std::size_t f = begin; f < end; ++f) {
      for (std::uint32_t v : faces[f]) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    }
    table.push_back({attributes[begin], static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end - begin), lo,
                     hi - lo + 1});
    begin = end;
  }
  return table;
}

// ---- The buffers --------------------------------------------------------------------------------

MeshBuffers::~MeshBuffers() { Release(); }

MeshBuffers::MeshBuffers(MeshBuffers&& other) noexcept { *this = std::move(other); }

MeshBuffers& MeshBuffers::operator=(MeshBuffers&& other) noexcept {
  if (this != &other) {
    Release();
    device_ = std::exchange(other.device_, nullptr);
    vertexBuffer_ = std::exchange(other.vertexBuffer_, nullptr);
    indexBuffer_ = std::exchange(other.indexBuffer_, nullptr);
    options_ = other.options_;
    fvf_ = other.fvf_;
    stride_ = other.stride_;
    vertices_ = std::exchange(other.vertices_, 0);
    faces_ = std::exchange(other.faces_, 0);
    index32_ = other.index32_;
  }
  return *this;
}

void MeshBuffers::Release() {
  // The buffers first: each holds the device, which may go with the last of them.
  if (auto* b = std::exchange(vertexBuffer_, nullptr)) b->Release();
  if (auto* b = std::exchange(indexBuffer_, nullptr)) b->Release();
  if (auto* d = std::exchange(device_, nullptr)) d->Release();
}

HRESULT MeshBuffers::Create(IDirect3DDevice9* device, DWORD options, DWORD fvf, std::size_t vertices,
                            std::size_t faces, MeshBuffers& out) {
  UINT stride = 0;
  if (device == nullptr || !IsMeshFvf(fvf, &stride) || vertices == 0 || faces == 0) return D3DERR_INVALIDCALL;
  const bool index32 = (options & D3DXMESH_32BIT) != 0;
  if (!index32 && vertices > 0xFFFFu) return D3DERR_INVALIDCALL;
  if (faces > std::numeric_limits<UINT>::max() / 3) return E_OUTOFMEMORY;
  const UINT vertexBytes = Length(vertices, stride);
  const UINT indexBytes = Length(faces * 3, index32 ? 4 : 2);
  if (vertexBytes == 0 || indexBytes == 0) return E_OUTOFMEMORY;

  MeshBuffers made;
  made.device_ = device;
  device->AddRef();
  made.options_ = options;
  made.fvf_ = fvf;
  made.stride_ = stride;
  made.index32_ = index32;
  HRESULT hr = device->CreateVertexBuffer(vertexBytes, VertexUsage(options), fvf, VertexPool(options),
                                          &made.vertexBuffer_, nullptr);
  if (FAILED(hr)) return hr;
  hr = device->CreateIndexBuffer(indexBytes, IndexUsage(options), index32 ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
                                 IndexPool(options), &made.indexBuffer_, nullptr);
  if (FAILED(hr)) return hr;
  made.vertices_ = vertices;
  made.faces_ = faces;
  out = std::move(made);
  return D3D_OK;
}

HRESULT MeshBuffers::ResizeVertices(std::size_t vertices) {
  if (vertices == vertices_) return D3D_OK;
  if (device_ == nullptr || vertices == 0 || (!index32_ && vertices > 0xFFFFu)) return D3DERR_INVALIDCALL;
  const UINT bytes = Length(vertices, stride_);
  if (bytes == 0) return E_OUTOFMEMORY;
  IDirect3DVertexBuffer9* made = nullptr;
  const HRESULT hr =
      device_->CreateVertexBuffer(bytes, VertexUsage(options_), fvf_, VertexPool(options_), &made, nullptr);
  if (FAILED(hr)) return hr;
  vertexBuffer_->Release();
  vertexBuffer_ = made;
  vertices_ = vertices;
  return D3D_OK;
}

HRESULT MeshBuffers::WriteVertices(std::span<const std::byte> bytes) {
  if (bytes.size() != vertices_ * stride_) return D3DERR_INVALIDCALL;
  Locked lock(vertexBuffer_, 0, 0, 0);
  if (FAILED(lock.Result())) return lock.Result();
  std::memcpy(lock.Data(), bytes.data(), bytes.size());
  return D3D_OK;
}

HRESULT MeshBuffers::WriteFaces(std::span<const Face> faces) {
  if (faces.size() != faces_) return D3DERR_INVALIDCALL;
  static_assert(sizeof(Face) == 12);
  return WriteIndices(0, faces.size() * 3, faces.data(), true);
}

HRESULT MeshBuffers::WriteIndices(std::size_t first, std::size_t count, const void* source, bool source32) {
  if (count == 0) return D3D_OK;
  if (first + count > faces_ * 3) return D3DERR_INVALIDCALL;
  const UINT size = index32_ ? 4 : 2;
  Locked lock(indexBuffer_, static_cast<UINT>(first * size), static_cast<UINT>(count * size), 0);
  if (FAILED(lock.Result())) return lock.Result();
  if (source32 == index32_) {
    std::memcpy(lock.Data(), source, count * size);
  } else if (source32) {  // only from the CPU libraries' 32-bit values into a 16-bit buffer
    const auto* in = static_cast<const std::uint32_t*>(source);
    for (std::size_t i = 0; i < count; ++i) {
      const auto v = static_cast<std::uint16_t>(in[i]);
      std::memcpy(lock.Data() + i * 2, &v, 2);
    }
  } else {
    const auto* in = static_cast<const std::uint16_t*>(source);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t v = in[i];
      std::memcpy(lock.Data() + i * 4, &v, 4);
    }
  }
  return D3D_OK;
}

HRESULT MeshBuffers::ReadVertices(std::vector<std::byte>& out) const {
  Locked lock(vertexBuffer_, 0, 0, D3DLOCK_READONLY);
  if (FAILED(lock.Result())) return lock.Result();
  out.assign(lock.Data(), lock.Data() + vertices_ * stride_);
  return D3D_OK;
}

HRESULT MeshBuffers::ReadFaces(std::vector<Face>& out) const {
  Locked lock(indexBuffer_, 0, 0, D3DLOCK_READONLY);
  if (FAILED(lock.Result())) return lock.Result();
  out.resize(faces_);
  if (index32_) {
    std::memcpy(out.data(), lock.Data(), faces_ * 12);
  } else {
    for (std::size_t f = 0; f < faces_; ++f) {
      for (std::size_t k = 0; k < 3; ++k) {
        std::uint16_t v;
        std::memcpy(&v, lock.Data() + (f * 3 + k) * 2, 2);
        out[f][k] = v;
      }
    }
  }
  return D3D_OK;
}

HRESULT MeshBuffers::Bind() const {
  HRESULT hr = device_->SetFVF(fvf_);
  if (SUCCEEDED(hr)) hr = device_->SetStreamSource(0, vertexBuffer_, 0, stride_);
  if (SUCCEEDED(hr)) hr = device_->SetIndices(indexBuffer_);
  return hr;
}

// ---- What both mesh interfaces share ------------------------------------------------------------

template <class Interface>
HRESULT MeshObject<Interface>::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown) {
    *object = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

template <class Interface>
ULONG MeshObject<Interface>::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

template <class Interface>
HRESULT MeshObject<Interface>::GetDevice(LPDIRECT3DDEVICE9* device) {
  if (device == nullptr) return D3DERR_INVALIDCALL;
  *device = buffers_.Device();
  (*device)->AddRef();
  return D3D_OK;
}

template <class Interface>
HRESULT MeshObject<Interface>::GetVertexBuffer(IDirect3DVertexBuffer9** vertexBuffer) {
  if (vertexBuffer == nullptr) return D3DERR_INVALIDCALL;
  *vertexBuffer = buffers_.VertexBuffer();
  (*vertexBuffer)->AddRef();
  return D3D_OK;
}

template <class Interface>
HRESULT MeshObject<Interface>::GetIndexBuffer(IDirect3DIndexBuffer9** indexBuffer) {
  if (indexBuffer == nullptr) return D3DERR_INVALIDCALL;
  *indexBuffer = buffers_.IndexBuffer();
  (*indexBuffer)->AddRef();
  return D3D_OK;
}

template <class Interface>
HRESULT MeshObject<Interface>::LockVertexBuffer(DWORD flags, LPVOID* data) {
  if (data == nullptr) return D3DERR_INVALIDCALL;
  return buffers_.VertexBuffer()->Lock(0, 0, data, flags);
}

template <class Interface>
HRESULT MeshObject<Interface>::UnlockVertexBuffer() {
  return buffers_.VertexBuffer()->Unlock();
}

template <class Interface>
HRESULT MeshObject<Interface>::LockIndexBuffer(DWORD flags, LPVOID* data) {
  if (data == nullptr) return D3DERR_INVALIDCALL;
  return buffers_.IndexBuffer()->Lock(0, 0, data, flags);
}

template <class Interface>
HRESULT MeshObject<Interface>::UnlockIndexBuffer() {
  return buffers_.IndexBuffer()->Unlock();
}

template class MeshObject<ID3DXMesh>;
template class MeshObject<ID3DXPMesh>;

}  // namespace zr::d3dx9::mesh
