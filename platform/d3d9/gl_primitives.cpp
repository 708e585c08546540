// Vertex and index buffers as the device binds them, and the draws of primitives: what is
// checked before anything reaches the fixed-function pipeline (fixed_function.h).
#include <limits>
#include <memory>

#include "buffer.h"
#include "fixed_function.h"
#include "fvf.h"
#include "gl_device.h"

namespace zr::d3d9 {

namespace {

// The GL mode and the number of vertices or indices of `count` primitives; false for a type
// that names none.
bool Primitives(D3DPRIMITIVETYPE type, UINT count, GLenum& mode, unsigned long long& elements) {
  unsigned long long n = count;
  switch (type) {
    case D3DPT_POINTLIST: mode = GL_POINTS, elements = n; return true;
    case D3DPT_LINELIST: mode = GL_LINES, elements = 2 * n; return true;
    case D3DPT_LINESTRIP: mode = GL_LINE_STRIP, elements = n + 1; return true;
    case D3DPT_TRIANGLELIST: mode = GL_TRIANGLES, elements = 3 * n; return true;
    case D3DPT_TRIANGLESTRIP: mode = GL_TRIANGLE_STRIP, elements = n + 2; return true;
    case D3DPT_TRIANGLEFAN: mode = GL_TRIANGLE_FAN, elements = n + 2; return true;
    default: return false;
  }
}

}  // namespace

HRESULT GlDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                     IDirect3DVertexBuffer9** vertexBuffer, HANDLE* sharedHandle) {
  if (vertexBuffer == nullptr) return D3DERR_INVALIDCALL;
  *vertexBuffer = nullptr;
  if (HRESULT hr = BufferStore::Check(length, usage, pool, sharedHandle); FAILED(hr)) return hr;
  if (fvf != 0) {
    // A buffer of a vertex format holds one of its vertices at least.
    FvfLayout layout = LayoutOf(fvf);
    if (!layout.valid || length < layout.size) return D3DERR_INVALIDCALL;
  }
  return GlVertexBuffer::Create(this, length, usage, fvf, pool, vertexBuffer);
}

HRESULT GlDevice::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                    IDirect3DIndexBuffer9** indexBuffer, HANDLE* sharedHandle) {
  if (indexBuffer == nullptr) return D3DERR_INVALIDCALL;
  *indexBuffer = nullptr;
  if (HRESULT hr = BufferStore::Check(length, usage, pool, sharedHandle); FAILED(hr)) return hr;
  if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
  if (length < (format == D3DFMT_INDEX32 ? 4u : 2u)) return D3DERR_INVALIDCALL;
  return GlIndexBuffer::Create(this, length, usage, format, pool, indexBuffer);
}

HRESULT GlDevice::SetFVF(DWORD fvf) {
  if (fvf != 0 && !LayoutOf(fvf).valid) return D3DERR_INVALIDCALL;
  fvf_ = fvf;
  return D3D_OK;
}

HRESULT GlDevice::GetFVF(DWORD* fvf) {
  if (fvf == nullptr) return D3DERR_INVALIDCALL;
  *fvf = fvf_;
  return D3D_OK;
}

HRESULT GlDevice::SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData, UINT offsetInBytes,
                                  UINT stride) {
  if (streamNumber >= kStreams || offsetInBytes % 4 != 0) return D3DERR_INVALIDCALL;
  GlVertexBuffer* b = nullptr;
  if (streamData != nullptr) {
    b = dynamic_cast<GlVertexBuffer*>(streamData);
    if (b == nullptr || b->Store().Device() != this) return D3DERR_INVALIDCALL;
  }
  streams_[streamNumber] = Stream{b, b != nullptr ? offsetInBytes : 0, b != nullptr ? stride : 0};
  return D3D_OK;
}

HRESULT GlDevice::GetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9** streamData, UINT* offsetInBytes,
                                  UINT* stride) {
  if (streamNumber >= kStreams || streamData == nullptr || offsetInBytes == nullptr || stride == nullptr)
    return D3DERR_INVALIDCALL;
  const Stream& s = streams_[streamNumber];
  *streamData = s.buffer;
  if (s.buffer != nullptr) s.buffer->AddRef();
  *offsetInBytes = s.offset;
  *stride = s.stride;
  return D3D_OK;
}

HRESULT GlDevice::SetIndices(IDirect3DIndexBuffer9* indexData) {
  GlIndexBuffer* b = nullptr;
  if (indexData != nullptr) {
    b = dynamic_cast<GlIndexBuffer*>(indexData);
    if (b == nullptr || b->Store().Device() != this) return D3DERR_INVALIDCALL;
  }
  indices_ = b;
  return D3D_OK;
}

HRESULT GlDevice::GetIndices(IDirect3DIndexBuffer9** indexData) {
  if (indexData == nullptr) return D3DERR_INVALIDCALL;
  *indexData = indices_;
  if (indices_ != nullptr) indices_->AddRef();
  return D3D_OK;
}

void GlDevice::ForgetBuffer(const void* buffer, GLuint name) {
  for (Stream& s : streams_)
    if (static_cast<const void*>(s.buffer) == buffer) s = Stream{};
  if (static_cast<const void*>(indices_) == buffer) indices_ = nullptr;
  if (fixed_ && name != 0 && MakeCurrent()) fixed_->ForgetBuffer(name);
}

HRESULT GlDevice::DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex, UINT primitiveCount) {
  return Draw(primitiveType, primitiveCount, false, 0, startVertex, 0, 0);
}

HRESULT GlDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE primitiveType, INT baseVertexIndex, UINT minVertexIndex,
                                       UINT numVertices, UINT startIndex, UINT primitiveCount) {
  return Draw(primitiveType, primitiveCount, true, baseVertexIndex, startIndex, minVertexIndex, numVertices);
}

// Draws outside BeginScene/EndScene are taken as inside (as Direct3D 9's runtime does; its
// debug layer complains); while the device is lost every draw succeeds and draws nothing.
HRESULT GlDevice::Draw(D3DPRIMITIVETYPE type, UINT primitiveCount, bool indexed, INT baseVertex, UINT first,
                       UINT minVertexIndex, UINT numVertices) {
  if (IsLost()) return D3D_OK;
  GLenum mode = GL_TRIANGLES;
  unsigned long long count = 0;
  if (!Primitives(type, primitiveCount, mode, count) || primitiveCount == 0 ||
      count > static_cast<unsigned long long>(std::numeric_limits<GLsizei>::max()))
    return D3DERR_INVALIDCALL;
  FvfLayout layout = LayoutOf(fvf_);
  const Stream& stream = streams_[0];
  if (!layout.valid || stream.buffer == nullptr || stream.stride < layout.size) return D3DERR_INVALIDCALL;
  BufferStore& vertices = stream.buffer->Store();
  if (vertices.Locked()) return D3DERR_INVALIDCALL;
  // Whole vertices from the stream's offset on.
  unsigned long long length = vertices.Length();
  unsigned long long available =
      length >= stream.offset + static_cast<unsigned long long>(layout.size)
          ? (length - stream.offset - layout.size) / stream.stride + 1
          : 0;
  if (indexed) {
    if (indices_ == nullptr || indices_->Store().Locked() || numVertices == 0) return D3DERR_INVALIDCALL;
    long long lowest = static_cast<long long>(baseVertex) + minVertexIndex;
    if (lowest < 0 || static_cast<unsigned long long>(lowest) + numVertices > available) return D3DERR_INVALIDCALL;
    if (first + count > indices_->IndexCount()) return D3DERR_INVALIDCALL;
    // Indices beyond the buffer would have GL read outside it.
    if (!indices_->IndicesWithin(first, static_cast<UINT>(count), baseVertex, static_cast<long long>(available)))
      return D3DERR_INVALIDCALL;
  } else if (first + count > available) {
    return D3DERR_INVALIDCALL;
  }

  if (!PrepareDraw()) return D3D_OK;  // held sprites went out first
  if (!fixed_) fixed_ = std::make_unique<FixedFunction>(this);
  DrawRequest r;
  r.mode = mode;
  r.fvf = fvf_;
  r.layout = &layout;
  r.vertexBuffer = vertices.Prepare();
  r.offset = stream.offset;
  r.stride = stream.stride;
  r.first = first;
  r.count = static_cast<UINT>(count);
  if (indexed) {
    r.indexed = true;
    r.indexBuffer = indices_->Store().Prepare();
    r.indexSize = indices_->IndexSize();
    r.baseVertex = baseVertex;
    if (r.indexBuffer == 0) return D3DERR_OUTOFVIDEOMEMORY;
  }
  if (r.vertexBuffer == 0) return D3DERR_OUTOFVIDEOMEMORY;
  return fixed_->Draw(r) ? D3D_OK : D3DERR_DRIVERINTERNALERROR;
}

}  // namespace zr::d3d9
