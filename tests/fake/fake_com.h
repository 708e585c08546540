// Reference counting shared by every fake COM object: AddRef and Release are recorded under the
// interface's name ("IDirect3DDevice9::Release"), and the object goes away at zero.
#pragma once

#include <unknwn.h>

#include <string>
#include <utility>

#include "fake_platform.h"

namespace fake {

// COM objects of the fake alive now; a test checks that nothing is left behind.
int& LiveComObjects();

// Records a call of a free function; returns the result a test chose for it, or `fallback`.
template <typename... Args>
HRESULT Hr(std::string_view name, HRESULT fallback, const Args&... args) {
  return static_cast<HRESULT>(Platform::Get().Record(name, fallback, args...));
}

// A rectangle as recorded: "left,top,right,bottom", or "<null>".
inline std::string Rect(const RECT* r) {
  if (r == nullptr) return "<null>";
  return std::to_string(r->left) + "," + std::to_string(r->top) + "," + std::to_string(r->right) + "," +
         std::to_string(r->bottom);
}

// Declares a method that neither the engine nor the game calls: recorded, and not implemented.
#define FAKE_NOT_MODELLED(method, ...) \
  HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override { return this->Call(#method, E_NOTIMPL); }

template <typename Interface>
class Counted : public Interface {
 public:
  // `label` (a texture's file name, say) is recorded with AddRef and Release when not empty.
  explicit Counted(const char* name, std::string label = {}) : name_(name), label_(std::move(label)) {
    ++LiveComObjects();
  }
  virtual ~Counted() { --LiveComObjects(); }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    if (object != nullptr) *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    Count("::AddRef");
    return ++refs_;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    Count("::Release");
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  // Records a call of this interface: "Interface::method".
  template <typename... Args>
  HRESULT Call(const char* method, HRESULT fallback, const Args&... args) {
    return Hr(name_ + "::" + method, fallback, args...);
  }

  std::string name_;
  std::string label_;
  ULONG refs_ = 1;

 private:
  void Count(const char* what) {
    if (label_.empty()) Platform::Get().Record(name_ + what, 0);
    else Platform::Get().Record(name_ + what, 0, label_);
  }
};

}  // namespace fake
