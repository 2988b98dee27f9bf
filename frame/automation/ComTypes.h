// ComTypes.h -- the fixed-width scalar types of the component object model, with Windows sizes.
#pragma once

#include <cstdint>

// The automation contract speaks in Windows widths: `LONG` is 32 bits even where C++'s `long`
// is 64, so every interface signature uses these names, never the C++ built-ins.
using BYTE = uint8_t;
using CHAR = char;
using SHORT = int16_t;
using USHORT = uint16_t;
using WORD = uint16_t;
using LONG = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using INT = int32_t;
using UINT = uint32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using FLOAT = float;
using DOUBLE = double;
using BOOL = int32_t;
using LCID = uint32_t;
using DISPID = int32_t;
using MEMBERID = DISPID;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using DATE = double;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
