// ZipSourceInfo.h -- ZipSourceInfo, what adding a disk file needs to know of it, from one stat.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

struct stat;

/// The facts `CZipArchive::AddFile` takes from a source on disk before it reads any data: its
/// host attributes, modification time and size. One `stat` gives them all; reading them through
/// three separate calls (attributes, time, size) cost three system calls per file for the same
/// answer.
struct ZipSourceInfo {
  /// Host attributes in the form `PlatformOps::ReadAttributes` gives: `st_mode << 16`, plus 0x10
  /// for a directory and 0x01 when the owner cannot write.
  std::uint32_t attributes = 0;
  /// Modification time in seconds; meaningful only when `modTimeKnown`.
  std::time_t modTime = 0;
  /// False when the system reported the time as -1 (the caller then uses the current time).
  bool modTimeKnown = false;
  /// Size in bytes, 64-bit; meaningful only for a regular file.
  std::uint64_t size = 0;
  /// True for a regular file, the only kind whose size is its data.
  bool isRegularFile = false;
};

/// The information of `path` (following a symbolic link, as `stat` does). False, leaving `info`
/// unchanged, when `path` cannot be stat'ed.
bool ZipReadSourceInfo(const std::string& path, ZipSourceInfo& info);

/// The same information from a `stat` result the caller already has (a directory walk's).
ZipSourceInfo ZipSourceInfoFromStat(const struct stat& status);
