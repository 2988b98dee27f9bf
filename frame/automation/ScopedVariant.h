// ScopedVariant.h -- a VARIANT that clears itself when it goes out of scope.
#pragma once

#include "frame/automation/Variant.h"

/// Starts VT_EMPTY and calls VariantClear on destruction. Not copyable (use VariantCopy);
/// moving hands the contents over and leaves the source VT_EMPTY.
class ScopedVariant {
public:
  ScopedVariant() noexcept { VariantInit(&value_); }
  ScopedVariant(ScopedVariant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
  ScopedVariant& operator=(ScopedVariant&& other) noexcept {
    if (this != &other) {
      VariantClear(&value_);
      value_ = other.value_;
      VariantInit(&other.value_);
    }
    return *this;
  }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant() { VariantClear(&value_); }

  VARIANT* get() noexcept { return &value_; }
  const VARIANT* get() const noexcept { return &value_; }
  VARIANT* operator->() noexcept { return &value_; }
  const VARIANT* operator->() const noexcept { return &value_; }

  /// Hands the contents to `target` (which must be empty or cleared) and becomes VT_EMPTY.
  void DetachTo(VARIANT* target) noexcept {
    *target = value_;
    VariantInit(&value_);
  }

private:
  VARIANT value_;
};
