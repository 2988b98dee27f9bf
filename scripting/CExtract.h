// CExtract.h -- the Extract operation: extracts the entries named by the queue.
#pragma once

#include <string>

#include "scripting/ZipRequest.h"

/// Runs `Extract` for one request on a fresh archive object. Never throws.
class CExtract {
public:
  virtual ~CExtract() = default;

  /// Extracts every entry whose name matches a queued name (case and surrounding blanks ignored)
  /// into `targetPath`, replacing existing files. Results: "" (names matching nothing, and
  /// entries that fail for other reasons, are passed over); "Cannot open file <zipFile>. It does
  /// not appear to be a valid zip"; "No file or folder exists in given zip file" for an archive
  /// without entries; "Cannot open file <zipFile>. It does not appear to be a valid password"
  /// when an encrypted entry's password is missing or wrong; "Password required to extract given
  /// zip file" when an encrypted entry could not be completed. The archive is closed on every path.
  std::string Extract(const ZipRequest& request);
};
