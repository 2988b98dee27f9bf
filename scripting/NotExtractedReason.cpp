// NotExtractedReason.cpp -- the texts that say why an entry was not extracted.
#include "scripting/NotExtractedReason.h"

#include "engine/ZipException.h"
#include "engine/ZipFileException.h"

namespace NotExtractedReason {

std::string ForEngineError(const CZipException& error) {
  switch (error.GetCause()) {
    case errLinkInTheWay: return "a symbolic link in the target is in the way";
    case errLinkLeavesTarget: return "it is a symbolic link that would lead outside the target folder";
    case errBadLinkText: return "it is a symbolic link whose text is empty, too long or holds a NUL byte";
    case errNameLeavesTarget: return "its name leads outside the target folder";
    case errCrcMismatch: return "its data failed the CRC check";
    case errAuthFailed: return "its data failed the AES authentication check";
    case errBadPassword: return "the password is missing or wrong";
    // The engine names the method: "unsupported compression method 98 (PPMd)".
    case errUnsupportedMethod: return error.GetDetail();
    default: {
      std::string text = error.GetErrorDescription();
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      return "it cannot be read: " + text;
    }
  }
}

std::string ForFileError(const CZipFileException& error) { return "it cannot be written: " + error.GetErrorDescription(); }

std::string ForRefusal(int refusalCode) {
  switch (refusalCode) {
    case errNameLeavesTarget: return "its name leads outside the target folder";
    case errDataShort: return "its data ended before its declared size";
    case errNotAFolder: return "something other than a folder is in its place";
    default: return "its time or attributes could not be set";
  }
}

std::string ForOtherError() { return "it could not be extracted"; }

std::string OverByteLimit(std::uint64_t limitBytes) {
  return "it would take the bytes extracted in one call past the limit of " + std::to_string(limitBytes);
}

std::string OverRatioLimit(std::uint64_t ratio, std::uint64_t limitRatio) {
  return "it expands " + std::to_string(ratio) + " times its packed size, more than the limit of " +
         std::to_string(limitRatio);
}

}  // namespace NotExtractedReason
