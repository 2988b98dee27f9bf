// Variant.h -- VARIANT, the automation's tagged value, and the functions that manage it.
#pragma once

#include "frame/automation/Bstr.h"
#include "frame/automation/ComTypes.h"
#include "frame/automation/HResult.h"

struct IUnknown;
struct IDispatch;

/// Type tags, Windows values. VT_BYREF combines with a base type for a pointer to that type.
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0fff,
};

struct VARIANT;
using VARIANTARG = VARIANT;

/// The record form of a VARIANT's slot (VT_RECORD): the record and its type information. A named
/// type, since a type declared inside an anonymous union is not standard C++.
struct VARIANT_RECORD {
  void* pvRecord;
  void* pRecInfo;
};

/// 24 bytes on a 64-bit host, as on Windows: the tag, three reserved words, then one 16-byte
/// slot whose active member is named by `vt`. Owned contents (a BSTR, an interface reference)
/// belong to the VARIANT until VariantClear.
struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    LONGLONG* pllVal;
    FLOAT* pfltVal;
    DOUBLE* pdblVal;
    VARIANT_BOOL* pboolVal;
    SCODE* pscode;
    DATE* pdate;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    VARIANT* pvarVal;
    CHAR* pcVal;
    USHORT* puiVal;
    ULONG* pulVal;
    ULONGLONG* pullVal;
    INT* pintVal;
    UINT* puintVal;
    void* byref;
    VARIANT_RECORD brecord;  ///< present for the size of the slot only; records are not supported
  };
};

static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*), "the tag, three reserved words and a slot of two pointers");

/// Flag for VariantChangeType: do not ask an object for its default value.
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;

/// Sets `vt` to VT_EMPTY without looking at the old contents.
void VariantInit(VARIANTARG* value) noexcept;

/// Releases what `value` owns (frees a BSTR, releases an interface; by-reference values own
/// nothing) and leaves it VT_EMPTY. E_POINTER for null; DISP_E_BADVARTYPE for a tag this layer
/// does not know, leaving the value untouched.
HRESULT VariantClear(VARIANTARG* value) noexcept;

/// Clears `target`, then makes it a deep copy of `source`: a new BSTR, an AddRef'd interface.
/// `target` == `source` is allowed and does nothing. E_OUTOFMEMORY when a BSTR copy fails
/// (target is then VT_EMPTY).
HRESULT VariantCopy(VARIANTARG* target, const VARIANTARG* source) noexcept;

/// Converts `source` to type `type` into `target` (which may be `source`; on success the old
/// contents of `target` are released). A by-reference source is read through its pointer. Supported: VT_EMPTY,
/// VT_NULL, VT_I1, VT_I2, VT_I4, VT_I8, VT_INT, VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_UINT, VT_R4,
/// VT_R8, VT_BOOL, VT_BSTR, VT_ERROR (to itself), VT_UNKNOWN, VT_DISPATCH.
/// Rules: VT_EMPTY becomes 0, false or the empty string; VT_NULL converts to nothing but
/// VT_NULL (DISP_E_TYPEMISMATCH); numbers convert with rounding half to even and answer
/// DISP_E_OVERFLOW when out of range; a string converts to a number when it holds one in
/// decimal (surrounding blanks allowed), to a boolean for "True"/"False" (any case) or a
/// number, else DISP_E_TYPEMISMATCH; booleans become -1/0 as numbers and "True"/"False" as
/// strings; a null BSTR stays null as a BSTR (it is the null string) and reads as "" otherwise;
/// VT_UNKNOWN and VT_DISPATCH convert to each other through QueryInterface (a null reference
/// stays null). An object to a scalar is
/// DISP_E_TYPEMISMATCH (default values are not fetched); DISP_E_BADVARTYPE for a type outside
/// the list. On failure `target` and `source` are unchanged.
HRESULT VariantChangeType(VARIANTARG* target, const VARIANTARG* source, USHORT flags,
                          VARTYPE type) noexcept;
