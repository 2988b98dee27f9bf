// ZipAbstractFile.h -- CZipAbstractFile, the byte-stream interface the engine reads and writes through.
#pragma once

#include <cstdint>
#include <string>

/// A file as the engine sees it: a disk file (`CZipFile`) or a block of memory (`CZipMemFile`).
/// Failures are thrown (`CZipFileException` for the disk, `CZipException` 505 for memory).
class CZipAbstractFile {
public:
  /// `Seek` origins.
  enum SeekOrigin : int { begin = 0, current = 1, end = 2 };

  /// Opens `fileName` with the `CZipFile` open-mode flags. On failure throws when
  /// `throwOnError`, else returns false. The default does nothing and returns true.
  virtual bool Open(const std::string& fileName, unsigned openFlags, bool throwOnError) {
    (void)fileName;
    (void)openFlags;
    (void)throwOnError;
    return true;
  }
  /// Closes the file; a second call does nothing.
  virtual void Close() = 0;
  /// Makes written bytes durable (disk) or does nothing (memory).
  virtual void Flush() = 0;
  /// The current offset.
  virtual std::uint64_t GetPosition() const = 0;
  /// Moves to `offset` from `origin` (`SeekOrigin`); returns the new position.
  virtual std::uint64_t Seek(std::int64_t offset, int origin) = 0;
  /// The length in bytes.
  virtual std::uint64_t GetLength() const = 0;
  /// Cuts or extends the file to `newLength` bytes.
  virtual void SetLength(std::uint64_t newLength) = 0;
  /// `Seek(0, begin)`.
  virtual std::uint64_t SeekToBegin() { return Seek(0, begin); }
  /// `Seek(0, end)`.
  virtual std::uint64_t SeekToEnd() { return Seek(0, end); }
  /// The file's path; empty for a memory file.
  virtual std::string GetFilePath() const = 0;
  /// Reads up to `count` bytes at the position; returns how many were read (0 at the end).
  virtual std::uint32_t Read(void* buffer, std::uint32_t count) = 0;
  /// Writes all `count` bytes at the position, or throws.
  virtual void Write(const void* buffer, std::uint32_t count) = 0;
  /// True when nothing is open.
  virtual bool IsClosed() const = 0;
  virtual ~CZipAbstractFile() = default;
};
