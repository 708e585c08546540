// ID3DXBuffer (D3DXCreateBuffer): a reference-counted block of zeroed memory, and the results the
// mesh functions give for the exceptions of the CPU libraries.
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "mesh_internal.h"

namespace zr::d3dx9::mesh {

namespace {

class GlBuffer final : public ID3DXBuffer {
 public:
  // Zeroed memory of `size` bytes (a pointer that is not null even for 0); null when there is none.
  static GlBuffer* Make(std::size_t size) noexcept {
    void* bytes = std::calloc(size == 0 ? 1 : size, 1);
    if (bytes == nullptr) return nullptr;
    auto* buffer = new (std::nothrow) GlBuffer(bytes, size);
    if (buffer == nullptr) std::free(bytes);
    return buffer;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  LPVOID STDMETHODCALLTYPE GetBufferPointer() override { return bytes_; }
  DWORD STDMETHODCALLTYPE GetBufferSize() override { return static_cast<DWORD>(size_); }

 private:
  GlBuffer(void* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
  ~GlBuffer() { std::free(bytes_); }

  ULONG refs_ = 1;
  void* bytes_;
  std::size_t size_;
};

}  // namespace

HRESULT ResultOfException() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::invalid_argument&) {
    return D3DXERR_INVALIDMESH;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT MakeBuffer(const void* bytes, std::size_t size, ID3DXBuffer** out) noexcept {
  if (out == nullptr) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (size > 0xFFFFFFFFu) return E_OUTOFMEMORY;  // GetBufferSize counts in a DWORD
  GlBuffer* buffer = GlBuffer::Make(size);
  if (buffer == nullptr) return E_OUTOFMEMORY;
  if (bytes != nullptr && size > 0) std::memcpy(buffer->GetBufferPointer(), bytes, size);
  *out = buffer;
  return D3D_OK;
}

HRESULT MakeTextBuffer(const std::string& text, ID3DXBuffer** out) noexcept {
  if (out == nullptr) return D3D_OK;
  *out = nullptr;
  if (text.empty()) return D3D_OK;
  return MakeBuffer(text.c_str(), text.size() + 1, out);
}

}  // namespace zr::d3dx9::mesh

HRESULT WINAPI D3DXCreateBuffer(DWORD size, LPD3DXBUFFER* buffer) {
  if (buffer == nullptr) return D3DERR_INVALIDCALL;
  return zr::d3dx9::mesh::MakeBuffer(nullptr, size, buffer);
}
