// ZipException.h -- CZipException, the engine's error codes and their English messages.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

/// The engine's error codes: errno values 1 to 30 (only those listed in `DescribeError` have
/// texts of their own), the engine's own codes 100 to 116 and 130 to 137, and zlib's return values shifted to
/// 500 to 507 (see `ZlibToZipError`).
enum ZipErrorCode : int {
  errGeneric = 100,              ///< no fixed text: the system's text for the captured error
  errBadArchive = 101,           ///< "Damaged or not a zip file"
  errCrcMismatch = 102,          ///< "Crc mismatched"
  errNoSpanCallback = 103,       ///< "No disk-spanning callback object set"
  errDiskChangeAborted = 104,    ///< "Disk change aborted"
  errActionAborted = 105,        ///< "Action aborted"
  errActionAbortedSafely = 106,  ///< "Action aborted safely"
  errNonRemovable = 107,         ///< "The device selected for the disk spanning archive is non removable"
  errTooManyVolumes = 108,       ///< "Limit of the maximum volumes reached"
  errNameTooLong = 109,          ///< "The filename of the file being added to the archive is too long"
  errBadPassword = 110,          ///< "Incorrect password set for the file being decrypted"
  errDirWithSize = 111,          ///< "During testing found the directory with the size greater than 0"
  errInternal = 112,             ///< "Internal error"
  errRemoveFailed = 113,         ///< "Error while removing a file (<system text>)"
  errRenameFailed = 114,         ///< "Error while renaming a file (<system text>)"
  errPlatformNotSupported = 115, ///< "Cannot create the file for the specified platform"
  errCentralDirNotFound = 116,   ///< the end-of-central-directory record was not found
  // Entries that extraction refuses to write, 130 to 139: the texts say why.
  errLinkInTheWay = 130,         ///< "A symbolic link in the target is in the way"
  errLinkLeavesTarget = 131,     ///< "The symbolic link would lead outside the target folder"
  errBadLinkText = 132,          ///< "The symbolic link's text is empty, too long or holds a NUL byte"
  errNameLeavesTarget = 133,     ///< "The name leads outside the target folder"
  errDataShort = 134,            ///< "The data ended before the entry's declared size"
  errNotAFolder = 135,           ///< "Something other than a folder is in the place of the folder"
  errUnsupportedMethod = 136,    ///< "The entry's compression method is not supported"; the detail names it
  errAuthFailed = 137,           ///< "The entry's authentication code does not match its data"
  errZlibStreamEnd = 500,        ///< Z_STREAM_END
  errZlibNeedDict = 501,         ///< Z_NEED_DICT (no fixed text)
  errZlibErrno = 502,            ///< Z_ERRNO: described by the captured errno
  errZlibStream = 503,           ///< Z_STREAM_ERROR
  errZlibData = 504,             ///< Z_DATA_ERROR
  errZlibMemory = 505,           ///< Z_MEM_ERROR, also a memory file that cannot grow
  errZlibBuffer = 506,           ///< Z_BUF_ERROR
  errZlibVersion = 507,          ///< Z_VERSION_ERROR
};

/// The message for `code`, describing system-dependent codes (100, 113, 114, 502 and unlisted
/// values) from `systemError`, an errno value. With `noLookup`, a code without a fixed text
/// gives "Unknown error" instead of the system's text. Never throws anything but bad_alloc.
std::string DescribeError(int code, bool noLookup, int systemError);
/// As above, describing from the calling thread's errno at the time of the call.
std::string DescribeError(int code, bool noLookup = false);

/// The system's text for errno value `systemError`: its description followed by "\n" (the line
/// break the system's message table ends texts with), or "The system cannot find error message
/// for error number N" when the system has none. 0 gives "Unknown error".
std::string SystemErrorText(int systemError);
/// As above for the calling thread's errno now.
std::string SystemErrorText();

/// Converts a zlib return value into an engine code: Z_STREAM_END 500, Z_NEED_DICT 501,
/// Z_ERRNO 502, Z_STREAM_ERROR 503, Z_DATA_ERROR 504, Z_MEM_ERROR 505, Z_BUF_ERROR 506,
/// Z_VERSION_ERROR 507; anything else (Z_OK included) 100.
int ZlibToZipError(int zlibResult);

/// The engine's exception for its own codes, thrown by value and caught by const reference.
/// It captures errno when it is made, so its message does not depend on what errno holds by the
/// time someone asks.
class CZipException : public std::exception {
public:
  using enum ZipErrorCode;

  /// An exception with `cause` (a `ZipErrorCode` or errno value) concerning `fileName` (the
  /// archive, or the file whose removal or renaming failed; empty when not known).
  explicit CZipException(int cause = errGeneric, std::string fileName = {});
  /// As above, with `detail`: what exactly was found (which entry, which offset, what was
  /// expected). The description stays the code's fixed text; the detail is for logs and tools.
  CZipException(int cause, std::string fileName, std::string detail);

  /// The code.
  int GetCause() const noexcept { return cause_; }
  /// The path concerned; empty when not known.
  const std::string& GetFileName() const noexcept { return fileName_; }
  /// errno as it was when the exception was made.
  int GetSystemError() const noexcept { return systemError_; }
  /// What exactly was found, when the thrower said; empty otherwise.
  const std::string& GetDetail() const noexcept { return detail_; }
  /// `DescribeError(cause, false, captured errno)`.
  const std::string& GetErrorDescription() const noexcept { return description_; }
  /// Same text as `GetErrorDescription`.
  const char* what() const noexcept override { return description_.c_str(); }

  /// Copies at most `bufferSize` - 1 bytes of the description into `buffer` and terminates it.
  /// False, leaving the buffer alone, when `buffer` is null, `bufferSize` is 0 or the
  /// description is empty.
  bool CopyErrorMessage(char* buffer, std::size_t bufferSize) const noexcept;

private:
  int cause_;
  int systemError_;
  std::string fileName_;
  std::string detail_;
  std::string description_;
};

/// Throws `CZipException(code, fileName)` by value. Every engine throw site goes through it.
[[noreturn]] void ThrowZipError(int code, const std::string& fileName = {});
/// Throws `CZipException(code, fileName, detail)` by value.
[[noreturn]] void ThrowZipError(int code, const std::string& fileName, std::string detail);
