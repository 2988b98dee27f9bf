// ComPtr.h -- an owning, counted reference to an interface (AddRef on copy, Release on drop).
#pragma once

#include <utility>

#include "frame/automation/IUnknown.h"

/// Holds one reference to `T` (an interface derived from IUnknown) or none.
template <class T>
class ComPtr {
public:
  ComPtr() noexcept = default;
  /// Takes a new reference on `pointer` (AddRef).
  explicit ComPtr(T* pointer) noexcept : pointer_(pointer) {
    if (pointer_) pointer_->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.pointer_) {}
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(pointer_, other.pointer_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  /// Adopts a reference the caller already owns (no AddRef).
  static ComPtr Adopt(T* pointer) noexcept {
    ComPtr result;
    result.pointer_ = pointer;
    return result;
  }

  /// Releases the reference held, if any.
  void Reset() noexcept {
    if (T* old = std::exchange(pointer_, nullptr)) old->Release();
  }
  /// Gives up ownership without Release; the caller owns the reference returned.
  [[nodiscard]] T* Detach() noexcept { return std::exchange(pointer_, nullptr); }
  /// Releases what is held and hands out the slot for an out-parameter to fill.
  T** ReleaseAndGetAddressOf() noexcept {
    Reset();
    return &pointer_;
  }
  /// QueryInterface into `target` (released first).
  template <class U>
  HRESULT As(REFIID iid, ComPtr<U>& target) const noexcept {
    target.Reset();
    if (!pointer_) return E_POINTER;
    return pointer_->QueryInterface(iid, reinterpret_cast<void**>(target.ReleaseAndGetAddressOf()));
  }

  T* Get() const noexcept { return pointer_; }
  T* operator->() const noexcept { return pointer_; }
  explicit operator bool() const noexcept { return pointer_ != nullptr; }

private:
  T* pointer_ = nullptr;
};
