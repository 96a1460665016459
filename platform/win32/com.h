// COM for the calling thread, started once and kept for the life of the process.
#pragma once

#include <objbase.h>

namespace platform::win32 {

inline bool EnsureCom() {
  thread_local HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  return SUCCEEDED(result) || result == RPC_E_CHANGED_MODE;
}

// Releases a COM interface when it goes out of scope.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** out() { return &p_; }
  void** outVoid() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

}  // namespace platform::win32
