// Bstr.h -- BSTR, the automation string, and its allocation functions.
#pragma once

#include <string>
#include <string_view>

#include "frame/automation/ComTypes.h"

/// Points at the first character of a block laid out as: a 4-byte length in bytes (excluding the
/// terminator), the UTF-16 characters, one 16-bit zero. The block is obtained with malloc and
/// released with free, always through these functions, so that a client linking its own copy
/// of them can free a BSTR this library made and the other way round. A null BSTR is a valid
/// value meaning "no string"; every function here treats it as the empty string unless stated.
using BSTR = OLECHAR*;

/// A new BSTR holding the zero-terminated `text`. Null for a null `text` or when memory runs out.
BSTR SysAllocString(const OLECHAR* text) noexcept;

/// A new BSTR of `length` characters copied from `text`; a null `text` leaves the characters
/// zero. Null when memory runs out or when the byte length would not fit in 32 bits.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length) noexcept;

/// Releases a BSTR made by this family; null does nothing.
void SysFreeString(BSTR text) noexcept;

/// The number of characters (from the length prefix, so embedded zeros count); 0 for null.
UINT SysStringLen(BSTR text) noexcept;

/// The number of bytes of character data; 0 for null.
UINT SysStringByteLen(BSTR text) noexcept;

/// A new BSTR holding `text` converted from UTF-8 (invalid sequences become U+FFFD). Null only
/// when memory runs out.
BSTR BstrFromUtf8(std::string_view text) noexcept;

/// The UTF-8 form of `text` (unpaired surrogates become U+FFFD); a null BSTR gives "".
std::string Utf8FromBstr(BSTR text);
