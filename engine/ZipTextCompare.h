// ZipTextCompare.h -- the engine's comparison of UTF-8 names, with and without regard to case.
#pragma once

#include <string_view>

/// Compares two UTF-8 texts code point by code point after `towlower_l` under a "C.UTF-8"
/// locale object (the process's locale is never changed). A byte that is not part of valid
/// UTF-8 compares as itself, so two different invalid names never compare equal. Returns <0, 0
/// or >0 like strcmp.
int ZipCompareNoCase(std::string_view left, std::string_view right) noexcept;

/// Byte-wise comparison with strcmp's result convention.
int ZipCompare(std::string_view left, std::string_view right) noexcept;

/// `ZipCompareNoCase(left, right) == 0`.
inline bool ZipEqualNoCase(std::string_view left, std::string_view right) noexcept {
  return ZipCompareNoCase(left, right) == 0;
}
