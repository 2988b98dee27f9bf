// VariantValue.h -- a VARIANT that a client owns and clears when it goes out of scope.
#pragma once

#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "frame/automation/IDispatch.h"
#include "frame/automation/Variant.h"

/// Owns one VARIANT; what it holds (a BSTR, an interface reference) is released by the destructor.
class VariantValue {
public:
  VariantValue() noexcept { VariantInit(&value_); }
  ~VariantValue() { VariantClear(&value_); }
  VariantValue(const VariantValue&) = delete;
  VariantValue& operator=(const VariantValue&) = delete;
  VariantValue(VariantValue&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
  VariantValue& operator=(VariantValue&& other) noexcept {
    if (this != &other) {
      VariantClear(&value_);
      value_ = other.value_;
      VariantInit(&other.value_);
    }
    return *this;
  }

  /// VT_NULL, a script's null.
  static VariantValue Null() noexcept {
    VariantValue v;
    v.value_.vt = VT_NULL;
    return v;
  }
  /// A VT_I4 value.
  static VariantValue Long(LONG number) noexcept {
    VariantValue v;
    v.value_.vt = VT_I4;
    v.value_.lVal = number;
    return v;
  }
  /// VT_I4 when `number` fits 32 bits, else VT_I8: a callee that takes 32-bit numbers gets them
  /// as such, and a larger number is never cut.
  static VariantValue Integer(int64_t number) noexcept {
    if (number >= std::numeric_limits<LONG>::min() && number <= std::numeric_limits<LONG>::max())
      return Long(static_cast<LONG>(number));
    VariantValue v;
    v.value_.vt = VT_I8;
    v.value_.llVal = number;
    return v;
  }
  /// A VT_BOOL value (VARIANT_TRUE is -1).
  static VariantValue Bool(bool flag) noexcept {
    VariantValue v;
    v.value_.vt = VT_BOOL;
    v.value_.boolVal = flag ? static_cast<VARIANT_BOOL>(-1) : static_cast<VARIANT_BOOL>(0);
    return v;
  }
  /// A VT_R8 value.
  static VariantValue Double(double number) noexcept {
    VariantValue v;
    v.value_.vt = VT_R8;
    v.value_.dblVal = number;
    return v;
  }
  /// A VT_BSTR holding `text` (UTF-8 in, UTF-16 inside; ill-formed UTF-8 becomes U+FFFD); throws
  /// std::bad_alloc when out of memory.
  static VariantValue Text(std::string_view text) {
    VariantValue v;
    v.value_.bstrVal = BstrFromUtf8(text);
    if (!v.value_.bstrVal) throw std::bad_alloc();
    v.value_.vt = VT_BSTR;
    return v;
  }
  /// A VT_DISPATCH holding a new reference to `object` (null stays a null reference).
  static VariantValue Object(IDispatch* object) noexcept {
    VariantValue v;
    if (object) object->AddRef();
    v.value_.vt = VT_DISPATCH;
    v.value_.pdispVal = object;
    return v;
  }

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
  /// The value as a 64-bit number, converted as a script would; `fallback` when it does not convert.
  LONGLONG AsLongLong(LONGLONG fallback) const {
    VARIANT number;
    VariantInit(&number);
    if (FAILED(VariantChangeType(&number, &value_, 0, VT_I8))) return fallback;
    return number.llVal;
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
