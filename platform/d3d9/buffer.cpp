#include "buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "gl_device.h"
#include "surface.h"  // IID_IDirect3DResource9

namespace zr::d3d9 {

namespace {

constexpr DWORD kBufferUsages = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC | D3DUSAGE_SOFTWAREPROCESSING |
                                D3DUSAGE_DONOTCLIP | D3DUSAGE_POINTS;

}  // namespace

// --- What both kinds share ------------------------------------------------------------------------

BufferStore::BufferStore(GlDevice* device, UINT length, DWORD usage, D3DPOOL pool)
    : device_(device), length_(length), usage_(usage), pool_(pool) {
  device_->AddRef();
  if (pool_ == D3DPOOL_DEFAULT) device_->AddDefaultPoolResource(this);
}

BufferStore::~BufferStore() {
  if (name_ != 0 && device_->MakeCurrent()) glDeleteBuffers(1, &name_);
  if (pool_ == D3DPOOL_DEFAULT) device_->RemoveDefaultPoolResource(this);
  device_->Release();  // may destroy the device
}

HRESULT BufferStore::Check(UINT length, DWORD usage, D3DPOOL pool, HANDLE* sharedHandle) {
  if (sharedHandle != nullptr || length == 0) return D3DERR_INVALIDCALL;
  if ((usage & ~kBufferUsages) != 0) return D3DERR_INVALIDCALL;
  if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED && pool != D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  if (length > kMaxBufferLength) return D3DERR_OUTOFVIDEOMEMORY;
  return D3D_OK;
}

HRESULT BufferStore::Allocate() {
  try {
    bytes_.assign(length_, 0);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (pool_ == D3DPOOL_SYSTEMMEM) return D3D_OK;
  if (!device_->MakeCurrent()) return D3DERR_DRIVERINTERNALERROR;
  return CreateName() ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

// Makes the GL buffer with the whole memory in it. The context is current.
bool BufferStore::CreateName() {
  while (glGetError() != GL_NO_ERROR) {
  }
  glGenBuffers(1, &name_);
  // The copy-write binding point belongs to no vertex array: binding there changes nothing a
  // draw depends on.
  glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
  glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(length_), bytes_.data(),
               (usage_ & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
  glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
  if (glGetError() != GL_NO_ERROR) {
    glDeleteBuffers(1, &name_);
    name_ = 0;
    return false;
  }
  pendingBegin_ = pendingEnd_ = 0;
  return true;
}

HRESULT BufferStore::Lock(UINT offset, UINT size, void** data, DWORD flags) {
  if (data == nullptr) return D3DERR_INVALIDCALL;
  *data = nullptr;
  if (locked_) return D3DERR_INVALIDCALL;
  if ((flags & D3DLOCK_READONLY) && (flags & D3DLOCK_DISCARD)) return D3DERR_INVALIDCALL;
  if (offset >= length_ || size > length_ - offset) return D3DERR_INVALIDCALL;
  if (size == 0) size = length_ - offset;
  locked_ = true;
  lockFlags_ = flags;
  lockBegin_ = offset;
  lockEnd_ = offset + size;
  *data = bytes_.data() + offset;
  return D3D_OK;
}

HRESULT BufferStore::Unlock() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  if (lockFlags_ & D3DLOCK_READONLY) return D3D_OK;
  DWORD flags = (usage_ & D3DUSAGE_DYNAMIC) ? lockFlags_ : 0;
  if (name_ != 0 && device_->MakeCurrent()) {
    Send(lockBegin_, lockEnd_, flags);
  } else if (pendingBegin_ == pendingEnd_) {  // GL gets it before the next draw
    pendingBegin_ = lockBegin_;
    pendingEnd_ = lockEnd_;
  } else {
    pendingBegin_ = std::min(pendingBegin_, lockBegin_);
    pendingEnd_ = std::max(pendingEnd_, lockEnd_);
  }
  return D3D_OK;
}

// Sends bytes [begin, end) to the GL buffer, with what is pending. The context is current.
void BufferStore::Send(UINT begin, UINT end, DWORD flags) {
  if (pendingBegin_ != pendingEnd_) {
    begin = std::min(begin, pendingBegin_);
    end = std::max(end, pendingEnd_);
    pendingBegin_ = pendingEnd_ = 0;
    flags = 0;  // the pending bytes were written under no promise
  }
  glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
  if (flags & D3DLOCK_DISCARD) {
    // A fresh store: draws still reading the old one need not finish first.
    glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(length_), bytes_.data(), GL_DYNAMIC_DRAW);
  } else if (flags & D3DLOCK_NOOVERWRITE) {
    void* target = glMapBufferRange(GL_COPY_WRITE_BUFFER, begin, end - begin,
                                    GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT | GL_MAP_INVALIDATE_RANGE_BIT);
    if (target != nullptr) {
      std::memcpy(target, bytes_.data() + begin, end - begin);
      glUnmapBuffer(GL_COPY_WRITE_BUFFER);
    } else {
      glBufferSubData(GL_COPY_WRITE_BUFFER, begin, end - begin, bytes_.data() + begin);
    }
  } else {
    glBufferSubData(GL_COPY_WRITE_BUFFER, begin, end - begin, bytes_.data() + begin);
  }
  glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
}

GLuint BufferStore::Prepare() {
  if (name_ == 0) {
    if (!CreateName()) return 0;
  } else if (pendingBegin_ != pendingEnd_) {
    Send(pendingBegin_, pendingEnd_, 0);
  }
  return name_;
}

// --- Vertex buffers -------------------------------------------------------------------------------

HRESULT GlVertexBuffer::Create(GlDevice* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer9** buffer) {
  auto* b = new (std::nothrow) GlVertexBuffer(device, length, usage, fvf, pool);
  if (b == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = b->store_.Allocate();
  if (FAILED(hr)) {
    b->Release();
    return hr;
  }
  *buffer = b;
  return D3D_OK;
}

GlVertexBuffer::GlVertexBuffer(GlDevice* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
    : fvf_(fvf), store_(device, length, usage, pool) {}

GlVertexBuffer::~GlVertexBuffer() { store_.Device()->ForgetBuffer(this, store_.Name()); }

HRESULT GlVertexBuffer::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDirect3DResource9 || iid == IID_IDirect3DVertexBuffer9) {
    *object = static_cast<IDirect3DVertexBuffer9*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG GlVertexBuffer::AddRef() { return ++refs_; }

ULONG GlVertexBuffer::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT GlVertexBuffer::GetDevice(IDirect3DDevice9** device) {
  if (device == nullptr) return D3DERR_INVALIDCALL;
  store_.Device()->AddRef();
  *device = store_.Device();
  return D3D_OK;
}

HRESULT GlVertexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags) {
  return store_.Lock(offset, size, data, flags);
}

HRESULT GlVertexBuffer::Unlock() { return store_.Unlock(); }

HRESULT GlVertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
  if (desc == nullptr) return D3DERR_INVALIDCALL;
  *desc = D3DVERTEXBUFFER_DESC{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, store_.Usage(), store_.Pool(),
                               store_.Length(), fvf_};
  return D3D_OK;
}

// --- Index buffers --------------------------------------------------------------------------------

HRESULT GlIndexBuffer::Create(GlDevice* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9** buffer) {
  auto* b = new (std::nothrow) GlIndexBuffer(device, length, usage, format, pool);
  if (b == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = b->store_.Allocate();
  if (FAILED(hr)) {
    b->Release();
    return hr;
  }
  *buffer = b;
  return D3D_OK;
}

GlIndexBuffer::GlIndexBuffer(GlDevice* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : format_(format), store_(device, length, usage, pool) {}

GlIndexBuffer::~GlIndexBuffer() { store_.Device()->ForgetBuffer(this, store_.Name()); }

HRESULT GlIndexBuffer::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDirect3DResource9 || iid == IID_IDirect3DIndexBuffer9) {
    *object = static_cast<IDirect3DIndexBuffer9*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG GlIndexBuffer::AddRef() { return ++refs_; }

ULONG GlIndexBuffer::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT GlIndexBuffer::GetDevice(IDirect3DDevice9** device) {
  if (device == nullptr) return D3DERR_INVALIDCALL;
  store_.Device()->AddRef();
  *device = store_.Device();
  return D3D_OK;
}

HRESULT GlIndexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags) {
  return store_.Lock(offset, size, data, flags);
}

HRESULT GlIndexBuffer::Unlock() {
  bool written = store_.Locked();
  HRESULT hr = store_.Unlock();
  if (FAILED(hr) || !written) return hr;
  // Widen the bounds by the indices the lock covered (whole ones only: a partial index at the
  // edge is covered by the lock of its other part, or by reading at draw time).
  UINT size = IndexSize();
  UINT first = (store_.WrittenBegin() + size - 1) / size;
  UINT end = store_.WrittenEnd() / size;
  for (UINT i = first; i < end; ++i) {
    std::uint32_t v = IndexAt(i);
    lowest_ = std::min(lowest_, v);
    highest_ = std::max(highest_, v);
  }
  if (store_.WrittenBegin() % size != 0 || store_.WrittenEnd() % size != 0) {
    lowest_ = 0;  // an index written in pieces: nothing is known of it
    highest_ = size == 4 ? 0xFFFFFFFFu : 0xFFFFu;
  }
  return D3D_OK;
}

HRESULT GlIndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc) {
  if (desc == nullptr) return D3DERR_INVALIDCALL;
  *desc = D3DINDEXBUFFER_DESC{format_, D3DRTYPE_INDEXBUFFER, store_.Usage(), store_.Pool(), store_.Length()};
  return D3D_OK;
}

std::uint32_t GlIndexBuffer::IndexAt(UINT i) const {
  const std::uint8_t* p = store_.Bytes() + static_cast<std::size_t>(i) * IndexSize();
  if (format_ == D3DFMT_INDEX32) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

bool GlIndexBuffer::IndicesWithin(UINT first, UINT count, long long base, long long vertices) const {
  if (base + lowest_ >= 0 && base + highest_ < vertices) return true;
  for (UINT i = first; i < first + count; ++i) {
    long long v = base + IndexAt(i);
    if (v < 0 || v >= vertices) return false;
  }
  return true;
}

}  // namespace zr::d3d9
