// CDelete.h -- the Delete operation: removes the entries named by the queue.
#pragma once

#include <string>

#include "scripting/ZipRequest.h"

/// Runs `Delete` for one request on a fresh archive object. Never throws.
class CDelete {
public:
  virtual ~CDelete() = default;

  /// Removes every entry whose name matches a queued name (case and surrounding blanks
  /// ignored), each entry once however many names match it, and writes the new directory.
  /// Results: "" (names matching nothing are not reported); "Cannot open file <zipFile>. It does
  /// not appear to be a valid zip"; "No file or folder exists in given zip file" for an archive
  /// without entries; the engine's description of an error while deleting or closing (the
  /// archive is then released without writing more). The password plays no part.
  std::string Delete(const ZipRequest& request);
};
