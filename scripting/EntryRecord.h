// EntryRecord.h -- the values of one listed archive entry, gathered while a listing is filled.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "frame/automation/IEntryDetails.h"

/// One entry as `UnZip` or `List` describes it: what an `IUnZipEntries` object shows. Type
/// ("Dir" or "File") and PasswordRequired ("Yes" or "No") are two fixed texts each, kept as flags.
struct EntryRecord {
  std::string name;        ///< the entry's name as the engine reports it (host form, UTF-8)
  std::string savedName;   ///< where UnZip wrote it, relative to the target; "" when not written
  uint64_t size = 0;       ///< the uncompressed size (from the ZIP64 extra field when it has one)
  bool isDirectory = false;  ///< Type "Dir", else "File"
  bool encrypted = false;    ///< general-purpose flag bit 0: PasswordRequired "Yes", else "No"
  EntryDetails details;     ///< the central header's other facts, for verbose listings
  /// Why UnZip did not write the entry (a `NotExtractedReason` text); "" when it was written or
  /// not asked to be.
  std::string notExtractedReason;

  /// Builds the record of one entry. `unzipping` is true for UnZip, false for List;
  /// `savedNameCandidate` is the unique name chosen under MAKEUNIQUE ("" otherwise); `extracted`
  /// is the engine's answer for this entry. With a candidate, SavedName is the candidate when the
  /// entry was extracted; without one it is the entry's name when UnZip extracted it; else "".
  static EntryRecord Describe(bool unzipping, std::string entryName, bool isDirectory,
                              uint64_t uncompressedSize, const std::string& savedNameCandidate,
                              bool extracted, bool encrypted) {
    EntryRecord record;
    if (!savedNameCandidate.empty())
      record.savedName = extracted ? savedNameCandidate : std::string();
    else
      record.savedName = unzipping && extracted ? entryName : std::string();
    record.name = std::move(entryName);
    record.size = uncompressedSize;
    record.isDirectory = isDirectory;
    record.encrypted = encrypted;
    return record;
  }
};
