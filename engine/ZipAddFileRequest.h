// ZipAddFileRequest.h -- the description of one file or folder to add to an archive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/ZipSourceInfo.h"

class CZipAbstractFile;

/// What `CZipArchive::AddFile` is asked to add and how. The archive only reads it.
struct AddFileRequest {
  /// Disk path of the file or folder; may be empty when `sourceFile` is given.
  std::string sourcePath;
  /// Name to store; empty means the name is derived from `sourcePath`.
  std::string storedName;
  /// When the name is derived: true keeps the folders of the path (without a leading "/" and
  /// without "." or ".." components), false keeps only what lies below the archive's root path,
  /// or else the bare file name.
  bool fullPath = true;
  /// -1 zlib's default, 0 store, 1 to 9 deflate at that level.
  std::int32_t level = -1;
  /// Bit set of `CZipArchive::SmartFlags`.
  std::uint32_t smartFlags = 0;
  /// -1 appends a new entry; -2 replaces the entry of the same name if there is one; 0 or more
  /// replaces that entry.
  std::int32_t replaceIndex = -1;
  /// Bytes read from the source per step; 0 makes `AddFile` refuse.
  std::uint32_t bufferSize = 65536;
  /// When not null, the data is read from this file instead of from `sourcePath`. Not owned.
  CZipAbstractFile* sourceFile = nullptr;
  /// What the caller has just read of `sourcePath` (a directory walk stats every file anyway);
  /// when empty, `AddFile` stats the path itself. Ignored when `sourceFile` is given.
  std::optional<ZipSourceInfo> sourceInfo;
  /// The caller has seen a regular file at `sourcePath` (a directory entry's type) without a
  /// stat of its own: `AddFile` opens the file first and takes its facts from the open
  /// descriptor, which also makes sure they are those of the bytes read. Ignored with
  /// `sourceInfo` or `sourceFile`.
  bool sourceSeenAsFile = false;
};

/// Why `CZipArchive::AddFile` refused a disk source, for the refusals a folder walk passes over
/// in silence (`CZipArchive::GetAddRefusal`).
enum class AddSourceRefusal {
  None,       ///< not refused, or refused for another reason
  IsArchive,  ///< the archive's own file: read while being written, it would give neither its
              ///< old bytes nor its new ones
  Vanished,   ///< a source seen as a file (`sourceSeenAsFile`) was gone when it was opened (ENOENT)
};
