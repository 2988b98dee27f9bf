// EntryNameMatch.h -- whether a queued name names an archive entry, for Extract and Delete.
#pragma once

#include <string>

#include "hosting/Helpers.h"
#include "hosting/TextCompare.h"

/// True when `queuedName` and `entryName`, each without leading and trailing white space, are
/// equal without regard to case (code point by code point). No wildcard is interpreted.
inline bool EntryNameMatches(const std::string& queuedName, const std::string& entryName) {
  return EqualsTextNoCase(TrimmedCopy(queuedName), TrimmedCopy(entryName));
}
