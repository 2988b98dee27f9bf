// VariantValue.h -- a VARIANT that the command owns and clears when it goes out of scope.
#pragma once

#include <string>
#include <utility>

#include "frame/automation/Variant.h"

/// Owns one VARIANT; what it holds (a BSTR, an interface reference) is released by the destructor.
class VariantValue {
public:
  VariantValue() noexcept { VariantInit(&value_); }
  ~VariantValue() { VariantClear(&value_); }
  VariantValue(const VariantValue&) = delete;
  VariantValue& operator=(const VariantValue&) = delete;

  /// A VT_I4 value.
  static VariantValue Long(LONG number) {
    VariantValue v;
    v.value_.vt = VT_I4;
    v.value_.lVal = number;
    return v;
  }
  /// A VT_BSTR holding `text` (UTF-8 in, UTF-16 inside); throws std::bad_alloc when out of memory.
  static VariantValue Text(const std::string& text) {
    VariantValue v;
    v.value_.bstrVal = BstrFromUtf8(text);
    if (!v.value_.bstrVal) throw std::bad_alloc();
    v.value_.vt = VT_BSTR;
    return v;
  }

  VariantValue(VariantValue&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }

  VARIANT* get() noexcept { return &value_; }
  const VARIANT* get() const noexcept { return &value_; }
  VARTYPE type() const noexcept { return value_.vt; }

  /// The value as a UTF-8 text, converted as a script would (VariantChangeType to VT_BSTR);
  /// "" when it does not convert.
  std::string AsText() const {
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, &value_, 0, VT_BSTR))) return std::string();
    std::string utf8 = Utf8FromBstr(text.bstrVal);
    VariantClear(&text);
    return utf8;
  }
  /// The value as a 32-bit number, converted as a script would; `fallback` when it does not convert.
  LONG AsLong(LONG fallback) const {
    VARIANT number;
    VariantInit(&number);
    if (FAILED(VariantChangeType(&number, &value_, 0, VT_I4))) return fallback;
    return number.lVal;
  }

private:
  VARIANT value_;
};
