// Variant.cpp -- VariantInit, VariantClear, VariantCopy and VariantChangeType.
#include "frame/automation/Variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "frame/automation/IDispatch.h"
#include "frame/automation/IUnknown.h"

namespace {

bool IsScalarType(VARTYPE type) noexcept {
  switch (type) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT: case VT_R4: case VT_R8:
    case VT_CY: case VT_DATE: case VT_BOOL: case VT_ERROR: case VT_HRESULT:
      return true;
    default:
      return false;
  }
}

// The tags this layer knows how to clear and copy.
bool IsKnownType(VARTYPE vt) noexcept {
  if (vt & VT_BYREF) {
    const VARTYPE base = vt & ~VT_BYREF;
    return IsScalarType(base) || base == VT_BSTR || base == VT_UNKNOWN ||
           base == VT_DISPATCH || base == VT_VARIANT;
  }
  return IsScalarType(vt) || vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH;
}

// A by-value, non-owning view of `source`: a by-reference value is read through its pointer
// (one VT_VARIANT level included). False when the pointer is null or the type is unknown.
bool ReadThrough(const VARIANT& source, VARIANT& view) noexcept {
  if (!IsKnownType(source.vt)) return false;
  if (!(source.vt & VT_BYREF)) {
    view = source;
    return true;
  }
  if (!source.byref) return false;
  const VARTYPE base = source.vt & ~VT_BYREF;
  if (base == VT_VARIANT) {
    const VARIANT& inner = *source.pvarVal;
    return !(inner.vt & VT_BYREF) && ReadThrough(inner, view);
  }
  VariantInit(&view);
  view.vt = base;
  switch (base) {
    case VT_I1: view.cVal = *source.pcVal; break;
    case VT_I2: view.iVal = *source.piVal; break;
    case VT_I4: view.lVal = *source.plVal; break;
    case VT_I8: view.llVal = *source.pllVal; break;
    case VT_INT: view.intVal = *source.pintVal; break;
    case VT_UI1: view.bVal = *source.pbVal; break;
    case VT_UI2: view.uiVal = *source.puiVal; break;
    case VT_UI4: view.ulVal = *source.pulVal; break;
    case VT_UI8: view.ullVal = *source.pullVal; break;
    case VT_UINT: view.uintVal = *source.puintVal; break;
    case VT_R4: view.fltVal = *source.pfltVal; break;
    case VT_R8: view.dblVal = *source.pdblVal; break;
    case VT_DATE: view.date = *source.pdate; break;
    case VT_BOOL: view.boolVal = *source.pboolVal; break;
    case VT_ERROR: case VT_HRESULT: view.scode = *source.pscode; break;
    case VT_BSTR: view.bstrVal = *source.pbstrVal; break;
    case VT_UNKNOWN: view.punkVal = *source.ppunkVal; break;
    case VT_DISPATCH: view.pdispVal = *source.ppdispVal; break;
    default: return false;  // VT_EMPTY, VT_NULL and VT_CY have no by-reference form here
  }
  return true;
}

// A number on its way between types. Integers keep full 64-bit precision.
struct Number {
  enum class Kind { Signed, Unsigned, Real } kind;
  int64_t signedValue = 0;
  uint64_t unsignedValue = 0;
  double realValue = 0;
};

Number SignedNumber(int64_t value) { return {Number::Kind::Signed, value, 0, 0}; }
Number UnsignedNumber(uint64_t value) { return {Number::Kind::Unsigned, 0, value, 0}; }
Number RealNumber(double value) { return {Number::Kind::Real, 0, 0, value}; }

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Reads a decimal number (optional sign, digits, point, exponent), blanks around it allowed.
bool ParseNumber(BSTR text, Number& number) {
  std::string ascii;
  const UINT length = SysStringLen(text);
  UINT first = 0, last = length;
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  for (UINT i = first; i < last; ++i) {
    if (text[i] > 0x7F) return false;
    ascii += static_cast<char>(text[i]);
  }
  const char* begin = ascii.data();
  const char* end = begin + ascii.size();
  if (begin != end && *begin == '+') ++begin;  // from_chars takes no leading plus
  if (begin == end || *begin == '+') return false;
  int64_t integer = 0;
  auto [integerEnd, integerError] = std::from_chars(begin, end, integer);
  if (integerError == std::errc() && integerEnd == end) {
    number = SignedNumber(integer);
    return true;
  }
  double real = 0;
  auto [realEnd, realError] = std::from_chars(begin, end, real, std::chars_format::general);
  if (realEnd != end) return false;
  if (realError == std::errc::result_out_of_range) real = std::numeric_limits<double>::infinity();
  else if (realError != std::errc()) return false;
  number = RealNumber(real);
  return true;
}

bool EqualsAsciiNoCase(BSTR text, const char* word) {
  const UINT length = SysStringLen(text);
  UINT i = 0;
  for (; word[i] != 0; ++i) {
    if (i >= length) return false;
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    const char w = (word[i] >= 'A' && word[i] <= 'Z') ? static_cast<char>(word[i] - 'A' + 'a') : word[i];
    if (c != static_cast<char16_t>(w)) return false;
  }
  return i == length;
}

// The number a scalar source holds; false when it holds none.
bool NumberOf(const VARIANT& view, Number& number) {
  switch (view.vt) {
    case VT_EMPTY: number = SignedNumber(0); return true;
    case VT_I1: number = SignedNumber(view.cVal); return true;
    case VT_I2: number = SignedNumber(view.iVal); return true;
    case VT_I4: number = SignedNumber(view.lVal); return true;
    case VT_I8: number = SignedNumber(view.llVal); return true;
    case VT_INT: number = SignedNumber(view.intVal); return true;
    case VT_UI1: number = UnsignedNumber(view.bVal); return true;
    case VT_UI2: number = UnsignedNumber(view.uiVal); return true;
    case VT_UI4: number = UnsignedNumber(view.ulVal); return true;
    case VT_UI8: number = UnsignedNumber(view.ullVal); return true;
    case VT_UINT: number = UnsignedNumber(view.uintVal); return true;
    case VT_R4: number = RealNumber(view.fltVal); return true;
    case VT_R8: number = RealNumber(view.dblVal); return true;
    case VT_BOOL: number = SignedNumber(view.boolVal ? -1 : 0); return true;
    case VT_BSTR: return ParseNumber(view.bstrVal, number);
    default: return false;
  }
}

// Fits `number` into [low, high] after rounding half to even; false when it does not fit.
template <class Integer>
bool ToInteger(const Number& number, Integer& out) {
  using Limits = std::numeric_limits<Integer>;
  switch (number.kind) {
    case Number::Kind::Signed:
      if constexpr (Limits::is_signed) {
        if (number.signedValue < static_cast<int64_t>(Limits::min()) ||
            number.signedValue > static_cast<int64_t>(Limits::max()))
          return false;
      } else {
        if (number.signedValue < 0 ||
            static_cast<uint64_t>(number.signedValue) > static_cast<uint64_t>(Limits::max()))
          return false;
      }
      out = static_cast<Integer>(number.signedValue);
      return true;
    case Number::Kind::Unsigned:
      if (number.unsignedValue > static_cast<uint64_t>(Limits::max())) return false;
      out = static_cast<Integer>(number.unsignedValue);
      return true;
    case Number::Kind::Real: {
      // The default rounding mode of the floating-point environment rounds half to even.
      const long double rounded = std::nearbyint(static_cast<long double>(number.realValue));
      if (!(rounded >= static_cast<long double>(Limits::min()) &&
            rounded <= static_cast<long double>(Limits::max())))
        return false;  // also refuses NaN
      out = static_cast<Integer>(rounded);
      return true;
    }
  }
  return false;
}

double ToReal(const Number& number) {
  switch (number.kind) {
    case Number::Kind::Signed: return static_cast<double>(number.signedValue);
    case Number::Kind::Unsigned: return static_cast<double>(number.unsignedValue);
    case Number::Kind::Real: return number.realValue;
  }
  return 0;
}

BSTR AllocAscii(const std::string& text) {
  std::u16string wide(text.begin(), text.end());
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// The text of a scalar: decimal integers, reals with up to 15 (R8) or 7 (R4) significant
// digits, booleans as "True"/"False", empty as "".
HRESULT TextOf(const VARIANT& view, BSTR& out) {
  std::string text;
  switch (view.vt) {
    case VT_EMPTY: break;
    case VT_BOOL: text = view.boolVal ? "True" : "False"; break;
    case VT_BSTR: {
      out = nullptr;
      if (!view.bstrVal) return S_OK;  // the null string stays null: callers tell it from ""
      out = SysAllocStringLen(view.bstrVal, SysStringLen(view.bstrVal));
      return out ? S_OK : E_OUTOFMEMORY;
    }
    case VT_R4:
    case VT_R8: {
      char buffer[64];
      const double value = view.vt == VT_R4 ? view.fltVal : view.dblVal;
      std::snprintf(buffer, sizeof buffer, view.vt == VT_R4 ? "%.7G" : "%.15G", value);
      text = buffer;
      break;
    }
    default: {
      Number number{};
      if (!NumberOf(view, number)) return DISP_E_TYPEMISMATCH;
      text = number.kind == Number::Kind::Unsigned ? std::to_string(number.unsignedValue)
                                                    : std::to_string(number.signedValue);
    }
  }
  out = AllocAscii(text);
  return out ? S_OK : E_OUTOFMEMORY;
}

// Converts a by-value view into a new owned value of `type`.
HRESULT Convert(const VARIANT& view, VARTYPE type, VARIANT& out) {
  VariantInit(&out);
  if (view.vt == VT_NULL || type == VT_NULL)
    return view.vt == type ? (out.vt = VT_NULL, S_OK) : DISP_E_TYPEMISMATCH;
  if (type == VT_EMPTY) return view.vt == VT_EMPTY ? S_OK : DISP_E_TYPEMISMATCH;
  if (view.vt == VT_ERROR || type == VT_ERROR) {
    if (view.vt != type) return DISP_E_TYPEMISMATCH;
    out = view;
    return S_OK;
  }
  if (type == VT_UNKNOWN || type == VT_DISPATCH) {
    if (view.vt != VT_UNKNOWN && view.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    out.vt = type;
    IUnknown* object = view.punkVal;  // an IDispatch is an IUnknown: same slot, same pointer
    if (!object) return S_OK;
    void* asked = nullptr;
    const HRESULT hr = object->QueryInterface(type == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch, &asked);
    if (FAILED(hr) || !asked) {
      VariantInit(&out);
      return DISP_E_TYPEMISMATCH;
    }
    out.punkVal = static_cast<IUnknown*>(asked);
    return S_OK;
  }
  if (view.vt == VT_UNKNOWN || view.vt == VT_DISPATCH) return DISP_E_TYPEMISMATCH;
  if (type == VT_BSTR) {
    BSTR text = nullptr;
    const HRESULT hr = TextOf(view, text);
    if (FAILED(hr)) return hr;
    out.vt = VT_BSTR;
    out.bstrVal = text;
    return S_OK;
  }
  if (type == VT_BOOL && view.vt == VT_BSTR) {
    if (EqualsAsciiNoCase(view.bstrVal, "true") || EqualsAsciiNoCase(view.bstrVal, "false")) {
      out.vt = VT_BOOL;
      out.boolVal = EqualsAsciiNoCase(view.bstrVal, "true") ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
  }
  Number number{};
  if (!NumberOf(view, number)) return DISP_E_TYPEMISMATCH;
  bool fits = true;
  switch (type) {
    case VT_I1: fits = ToInteger(number, out.cVal); break;
    case VT_I2: fits = ToInteger(number, out.iVal); break;
    case VT_I4: fits = ToInteger(number, out.lVal); break;
    case VT_I8: fits = ToInteger(number, out.llVal); break;
    case VT_INT: fits = ToInteger(number, out.intVal); break;
    case VT_UI1: fits = ToInteger(number, out.bVal); break;
    case VT_UI2: fits = ToInteger(number, out.uiVal); break;
    case VT_UI4: fits = ToInteger(number, out.ulVal); break;
    case VT_UI8: fits = ToInteger(number, out.ullVal); break;
    case VT_UINT: fits = ToInteger(number, out.uintVal); break;
    case VT_R8: out.dblVal = ToReal(number); break;
    case VT_R4: {
      const double value = ToReal(number);
      fits = !std::isfinite(value) || std::fabs(value) <= std::numeric_limits<float>::max();
      out.fltVal = static_cast<float>(value);
      break;
    }
    case VT_BOOL: out.boolVal = ToReal(number) != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
    default: return DISP_E_BADVARTYPE;
  }
  if (!fits) {
    VariantInit(&out);
    return DISP_E_OVERFLOW;
  }
  out.vt = type;
  return S_OK;
}

bool IsConvertibleTarget(VARTYPE type) noexcept {
  return type != VT_CY && type != VT_DATE && type != VT_HRESULT &&
         (IsScalarType(type) || type == VT_BSTR || type == VT_UNKNOWN || type == VT_DISPATCH);
}

}  // namespace

void VariantInit(VARIANTARG* value) noexcept {
  value->vt = VT_EMPTY;
  value->wReserved1 = value->wReserved2 = value->wReserved3 = 0;
  value->brecord.pvRecord = nullptr;
  value->brecord.pRecInfo = nullptr;
}

HRESULT VariantClear(VARIANTARG* value) noexcept {
  if (!value) return E_POINTER;
  if (!IsKnownType(value->vt)) return DISP_E_BADVARTYPE;
  if (value->vt == VT_BSTR) {
    SysFreeString(value->bstrVal);
  } else if (value->vt == VT_UNKNOWN || value->vt == VT_DISPATCH) {
    if (value->punkVal) value->punkVal->Release();
  }
  VariantInit(value);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* target, const VARIANTARG* source) noexcept {
  if (!target || !source) return E_POINTER;
  if (target == source) return S_OK;
  if (!IsKnownType(source->vt)) return DISP_E_BADVARTYPE;
  const HRESULT cleared = VariantClear(target);
  if (FAILED(cleared)) return cleared;
  if (source->vt == VT_BSTR && source->bstrVal) {
    BSTR copy = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
    if (!copy) return E_OUTOFMEMORY;
    *target = *source;
    target->bstrVal = copy;
    return S_OK;
  }
  *target = *source;
  if ((source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) && source->punkVal)
    source->punkVal->AddRef();
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* target, const VARIANTARG* source, USHORT,
                          VARTYPE type) noexcept {
  if (!target || !source) return E_POINTER;
  if (!IsConvertibleTarget(type) || !IsKnownType(source->vt)) return DISP_E_BADVARTYPE;
  try {
    VARIANT view;
    if (!ReadThrough(*source, view)) return DISP_E_TYPEMISMATCH;
    VARIANT converted;
    const HRESULT hr = Convert(view, type, converted);
    if (FAILED(hr)) return hr;
    // `target` may be `source`: the view may point into it, so clear only after converting.
    VariantClear(target);
    *target = converted;
    return S_OK;
  } catch (...) {  // std::bad_alloc from a text conversion
    return E_OUTOFMEMORY;
  }
}
