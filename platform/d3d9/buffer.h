// Vertex and index buffers of the GL device: IDirect3DVertexBuffer9 and IDirect3DIndexBuffer9.
//
// Every buffer keeps its bytes in memory: Lock hands out that memory, and the range written goes
// to a GL buffer object on Unlock. By pool:
//   D3DPOOL_MANAGED    memory and a GL buffer; Reset leaves it alone.
//   D3DPOOL_DEFAULT    the same, and counted as a DEFAULT-pool resource: Reset refuses to run
//                      while one lives.
//   D3DPOOL_SYSTEMMEM  memory only until it is first drawn from: drawing from system memory is
//                      allowed, as on the platform; its GL buffer is made then, and what was
//                      written since goes to GL before each draw that uses it.
// D3DPOOL_SCRATCH is refused for buffers, as is D3DUSAGE_DYNAMIC with D3DPOOL_MANAGED.
//
// Locks: offset and size 0 lock the whole buffer; size 0 with an offset locks from the offset to
// the end. A second Lock before Unlock, Unlock without Lock, a range that leaves the buffer and
// D3DLOCK_READONLY with D3DLOCK_DISCARD are D3DERR_INVALIDCALL. How the written range reaches GL:
// after D3DLOCK_DISCARD (dynamic buffers) the whole buffer is given a fresh store, so GL need not
// wait for draws still reading the old one; after D3DLOCK_NOOVERWRITE (dynamic buffers) the range
// is written unsynchronised, as the caller promised not to touch what pending draws read; else it
// is written in order with the draws. A READONLY lock sends nothing. DISCARD and NOOVERWRITE on a
// buffer that is not dynamic are taken as plain locks. The memory keeps what was written, so a
// later lock (even after DISCARD) reads the bytes last written there.
//
// A buffer holds a reference on its device, as every resource does, so the device (and its GL
// context) outlives it. The device keeps none on the buffers bound to it: a buffer that goes is
// first unbound from the device's streams and indices.
#pragma once

#include <d3d9.h>
#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

namespace zr::d3d9 {

class GlDevice;

// The largest buffer made, in bytes.
inline constexpr UINT kMaxBufferLength = 256u << 20;

// What vertex and index buffers share: the memory, the GL buffer and the lock.
class BufferStore {
 public:
  BufferStore(GlDevice* device, UINT length, DWORD usage, D3DPOOL pool);
  ~BufferStore();
  BufferStore(const BufferStore&) = delete;
  BufferStore& operator=(const BufferStore&) = delete;

  // Checks what vertex and index buffers alike must satisfy.
  static HRESULT Check(UINT length, DWORD usage, D3DPOOL pool, HANDLE* sharedHandle);
  // Allocates the memory, and the GL buffer unless the pool is SYSTEMMEM.
  HRESULT Allocate();

  HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags);
  HRESULT Unlock();
  bool Locked() const { return locked_; }

  // The GL buffer with everything written so far, made and filled first if need be; 0 when GL
  // could not take it. The device's context is current.
  GLuint Prepare();
  // The GL buffer as it is (0 for a SYSTEMMEM buffer never drawn from).
  GLuint Name() const { return name_; }

  const std::uint8_t* Bytes() const { return bytes_.data(); }
  UINT Length() const { return length_; }
  DWORD Usage() const { return usage_; }
  D3DPOOL Pool() const { return pool_; }
  GlDevice* Device() const { return device_; }
  // The byte range [begin, end) last locked for writing (for index buffers to look at).
  UINT WrittenBegin() const { return lockBegin_; }
  UINT WrittenEnd() const { return lockEnd_; }

 private:
  bool CreateName();
  void Send(UINT begin, UINT end, DWORD flags);

  GlDevice* device_;
  UINT length_;
  DWORD usage_;
  D3DPOOL pool_;
  std::vector<std::uint8_t> bytes_;
  GLuint name_ = 0;
  bool locked_ = false;
  DWORD lockFlags_ = 0;
  UINT lockBegin_ = 0;
  UINT lockEnd_ = 0;
  // Bytes written that GL does not have yet: [pendingBegin_, pendingEnd_), empty when equal.
  UINT pendingBegin_ = 0;
  UINT pendingEnd_ = 0;
};

class GlVertexBuffer final : public IDirect3DVertexBuffer9 {
 public:
  static HRESULT Create(GlDevice* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                        IDirect3DVertexBuffer9** buffer);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDirect3DResource9
  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override;
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
  // IDirect3DVertexBuffer9
  HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Unlock() override;
  HRESULT STDMETHODCALLTYPE GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

  BufferStore& Store() { return store_; }
  const BufferStore& Store() const { return store_; }

 private:
  GlVertexBuffer(GlDevice* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
  ~GlVertexBuffer();

  ULONG refs_ = 1;
  DWORD fvf_;
  BufferStore store_;
};

class GlIndexBuffer final : public IDirect3DIndexBuffer9 {
 public:
  static HRESULT Create(GlDevice* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DIndexBuffer9** buffer);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDirect3DResource9
  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override;
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
  // IDirect3DIndexBuffer9
  HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Unlock() override;
  HRESULT STDMETHODCALLTYPE GetDesc(D3DINDEXBUFFER_DESC* desc) override;

  BufferStore& Store() { return store_; }
  const BufferStore& Store() const { return store_; }
  D3DFORMAT Format() const { return format_; }
  UINT IndexSize() const { return format_ == D3DFMT_INDEX32 ? 4 : 2; }
  UINT IndexCount() const { return store_.Length() / IndexSize(); }
  // Whether indices [first, first + count) plus `base` all lie in [0, vertices). Answered from
  // the bounds of everything written so far when they allow, else by reading those indices.
  bool IndicesWithin(UINT first, UINT count, long long base, long long vertices) const;

 private:
  GlIndexBuffer(GlDevice* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);
  ~GlIndexBuffer();
  std::uint32_t IndexAt(UINT i) const;

  ULONG refs_ = 1;
  D3DFORMAT format_;
  BufferStore store_;
  // Bounds of every index value ever written: all indices the buffer holds lie between them
  // (the memory starts zeroed).
  std::uint32_t lowest_ = 0;
  std::uint32_t highest_ = 0;
};

}  // namespace zr::d3d9
