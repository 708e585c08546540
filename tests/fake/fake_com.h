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
    if (label_.empty()) Platform::Get().Record(name_ + "::AddRef", 0);
    else Platform::Get().Record(name_ + "::AddRef", 0, label_);
    return ++refs_;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    if (label_.empty()) Platform::Get().Record(name_ + "::Release", 0);
    else Platform::Get().Record(name_ + "::Release", 0, label_);
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  ULONG References() const { return refs_; }

 protected:
  // Records a call of this interface: "Interface::method".
  template <typename... Args>
  HRESULT Call(const char* method, HRESULT fallback, const Args&... args) {
    return static_cast<HRESULT>(Platform::Get().Record(name_ + "::" + method, fallback, args...));
  }

  std::string name_;
  std::string label_;
  ULONG refs_ = 1;
};

}  // namespace fake
