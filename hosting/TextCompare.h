// TextCompare.h -- case-insensitive comparison of UTF-8 texts, one code point at a time.
#pragma once

#include <string_view>

/// Compares `a` and `b` code point by code point after folding each with `towlower_l` under a
/// "C.UTF-8" locale object (the process's global locale is never read or changed). A byte that
/// does not start a valid UTF-8 sequence is compared as itself, so two texts that differ only
/// in invalid bytes never compare equal. Returns <0, 0 or >0 like strcmp. Thread-safe.
int CompareTextNoCase(std::string_view a, std::string_view b) noexcept;

/// CompareTextNoCase(a, b) == 0.
bool EqualsTextNoCase(std::string_view a, std::string_view b) noexcept;
