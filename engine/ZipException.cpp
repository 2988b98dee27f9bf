// ZipException.cpp -- the engine's error messages and CZipException.
#include "engine/ZipException.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <zlib.h>

namespace {

/// The fixed English texts; codes absent here are described from the system's error.
const char* FixedText(int code) noexcept {
  switch (code) {
    case 1: return "Not super-user";
    case 2: return "No such file or directory";
    case 4: return "Interrupted system call";
    case 5: return "I/O error";
    case 6: return "No such device or address";
    case 9: return "Bad file number";
    case 12: return "Not enough space";
    case 13: return "Permission denied";
    case 14: return "Bad address";
    case 17: return "File exists";
    case 18: return "Cross-device link";
    case 19: return "No such device";
    case 20: return "Not a directory";
    case 21: return "Is a directory";
    case 22: return "Invalid argument";
    case 23: return "File table overflow";
    case 24: return "Too many open files";
    case 27: return "File too large";
    case 28: return "No space left on device";
    case 29: return "Illegal seek";
    case 30: return "Read-only file system";
    case errBadArchive: return "Damaged or not a zip file";
    case errCrcMismatch: return "Crc mismatched";
    case errNoSpanCallback: return "No disk-spanning callback object set";
    case errDiskChangeAborted: return "Disk change aborted";
    case errActionAborted: return "Action aborted";
    case errActionAbortedSafely: return "Action aborted safely";
    case errNonRemovable: return "The device selected for the disk spanning archive is non removable";
    case errTooManyVolumes: return "Limit of the maximum volumes reached";
    case errNameTooLong: return "The filename of the file being added to the archive is too long";
    case errBadPassword: return "Incorrect password set for the file being decrypted";
    case errDirWithSize: return "During testing found the directory with the size greater than 0";
    case errInternal: return "Internal error";
    case errPlatformNotSupported: return "Cannot create the file for the specified platform";
    case errCentralDirNotFound:
      return "The central directory was not found in the archive (or you were trying to open not the "
             "last disk of a multi-disk archive)";
    case errLinkInTheWay: return "A symbolic link in the target is in the way";
    case errLinkLeavesTarget: return "The symbolic link would lead outside the target folder";
    case errBadLinkText: return "The symbolic link's text is empty, too long or holds a NUL byte";
    case errNameLeavesTarget: return "The name leads outside the target folder";
    case errDataShort: return "The data ended before the entry's declared size";
    case errNotAFolder: return "Something other than a folder is in the place of the folder";
    case errUnsupportedMethod: return "The entry's compression method is not supported";
    case errAuthFailed: return "The entry's authentication code does not match its data";
    case errZlibStreamEnd: return "Zlib Library error (end of stream)";
    case errZlibStream: return "Zlib library error (stream error)";
    case errZlibData: return "Zlib library error (data error)";
    case errZlibMemory: return "Not enough memory";
    case errZlibBuffer: return "Zlib library error (buffer error)";
    case errZlibVersion: return "Zlib library error (version error)";
    default: return nullptr;
  }
}

}  // namespace

std::string SystemErrorText(int systemError) {
  if (systemError == 0) return DescribeError(errGeneric, true, 0);
  if (const char* text = strerrordesc_np(systemError)) return std::string(text) + "\n";
  char fallback[96];
  std::snprintf(fallback, sizeof fallback, "The system cannot find error message for error number %d",
                systemError);
  return fallback;
}

std::string SystemErrorText() { return SystemErrorText(errno); }

std::string DescribeError(int code, bool noLookup, int systemError) {
  if (const char* text = FixedText(code)) return text;
  if (code == errRemoveFailed || code == errRenameFailed) {
    const char* what = code == errRemoveFailed ? "Error while removing a file" : "Error while renaming a file";
    return std::string(what) + " (" + SystemErrorText(systemError) + ")";
  }
  if (code == errZlibErrno) {
    // zlib reports a failure of the C library; the captured errno says which. 502 itself is no
    // errno value and would only point back here.
    const int cause = systemError == errZlibErrno ? int{errGeneric} : systemError;
    return DescribeError(cause, false, systemError);
  }
  if (noLookup) return "Unknown error";
  return SystemErrorText(systemError);
}

std::string DescribeError(int code, bool noLookup) { return DescribeError(code, noLookup, errno); }

int ZlibToZipError(int zlibResult) {
  switch (zlibResult) {
    case Z_STREAM_END: return errZlibStreamEnd;
    case Z_NEED_DICT: return errZlibNeedDict;
    case Z_ERRNO: return errZlibErrno;
    case Z_STREAM_ERROR: return errZlibStream;
    case Z_DATA_ERROR: return errZlibData;
    case Z_MEM_ERROR: return errZlibMemory;
    case Z_BUF_ERROR: return errZlibBuffer;
    case Z_VERSION_ERROR: return errZlibVersion;
    default: return errGeneric;
  }
}

CZipException::CZipException(int cause, std::string fileName)
    : cause_(cause), systemError_(errno), fileName_(std::move(fileName)) {
  description_ = DescribeError(cause_, false, systemError_);
}

CZipException::CZipException(int cause, std::string fileName, std::string detail)
    : CZipException(cause, std::move(fileName)) {
  detail_ = std::move(detail);
}

bool CZipException::CopyErrorMessage(char* buffer, std::size_t bufferSize) const noexcept {
  if (buffer == nullptr || bufferSize == 0 || description_.empty()) return false;
  const std::size_t count = std::min(bufferSize - 1, description_.size());
  std::memcpy(buffer, description_.data(), count);
  buffer[count] = '\0';
  return true;
}

void ThrowZipError(int code, const std::string& fileName) { throw CZipException(code, fileName); }

void ThrowZipError(int code, const std::string& fileName, std::string detail) {
  throw CZipException(code, fileName, std::move(detail));
}
