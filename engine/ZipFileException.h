// ZipFileException.h -- CZipFileException, a failed operation on a file of the host.
#pragma once

#include <cstddef>
#include <exception>
#include <string>

/// A failed open, read, write, seek or truncation of a host file: the errno value and the path.
/// Thrown by value, caught by const reference. The message is "<system text> (<path>)", the
/// system text being that of `SystemErrorText` without its closing line break.
class CZipFileException : public std::exception {
public:
  /// Captures the calling thread's errno now.
  explicit CZipFileException(std::string filePath);
  /// With an explicit errno value (for failures that the system did not report through errno).
  CZipFileException(int systemError, std::string filePath);

  /// The errno value.
  int GetSystemError() const noexcept { return systemError_; }
  /// The path of the file; empty for a memory file.
  const std::string& GetFilePath() const noexcept { return filePath_; }
  /// "<system text> (<path>)".
  const std::string& GetErrorDescription() const noexcept { return description_; }
  /// Same text as `GetErrorDescription`.
  const char* what() const noexcept override { return description_.c_str(); }
  /// As `CZipException::CopyErrorMessage`.
  bool CopyErrorMessage(char* buffer, std::size_t bufferSize) const noexcept;

private:
  int systemError_;
  std::string filePath_;
  std::string description_;
};
