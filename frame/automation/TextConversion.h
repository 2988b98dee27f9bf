// TextConversion.h -- the one conversion pair between UTF-8 (narrow text) and UTF-16 (automation).
#pragma once

#include <string>
#include <string_view>

/// UTF-8 to UTF-16. Each ill-formed sequence (a stray continuation byte, a truncated or overlong
/// sequence, an encoded surrogate, a value above U+10FFFF) becomes one U+FFFD per maximal
/// invalid subpart, as the Unicode standard recommends; never throws for bad input.
std::u16string Utf8ToUtf16(std::string_view text);

/// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD; never throws for bad input.
std::string Utf16ToUtf8(std::u16string_view text);
