// Helpers.h -- small stateless helpers: system error texts, trimming, comma lists, existence tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hosting/TextList.h"

/// The system's text for error number `number` (an errno value) followed by "\n", the line
/// break the system's message texts end with; for a number the system has no text for,
/// "The system cannot find error message for error number N" (N in signed decimal, no line
/// break). Never throws except std::bad_alloc.
std::string FormatSystemMessage(int32_t number);

/// `text` without leading and trailing white space (space, tab, line feed, vertical tab, form
/// feed, carriage return). Bytes of multibyte UTF-8 characters are never white space.
std::string TrimmedCopy(std::string_view text);

/// Appends to `list` the trimmed items of `text` separated by `separator`: two separators in a
/// row give an empty item, a separator at the very end gives none, an empty text gives none.
/// The search walks UTF-8 characters whole, so a byte inside a multibyte character never
/// matches.
void SplitToList(std::string_view text, char separator, TextList& list);

/// True when one of the trimmed items of the comma-separated `listText` equals `item` without
/// regard to case (multibyte-aware); false for an empty list text.
bool ListContainsItem(std::string_view listText, std::string_view item);

/// True when exactly the name `path` exists (a file, a folder or anything else): `stat` on that
/// name, no wildcards. False for an empty path.
bool FileExists(const std::string& path);

/// True when `path`, with trailing "/" removed (a lone "/" stays), names an existing folder:
/// `stat` and S_ISDIR. False for an empty path.
bool FolderExists(const std::string& path);
