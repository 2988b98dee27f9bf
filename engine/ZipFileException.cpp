// ZipFileException.cpp -- CZipFileException's capture of errno and its message.
#include "engine/ZipFileException.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "engine/ZipException.h"

CZipFileException::CZipFileException(std::string filePath) : CZipFileException(errno, std::move(filePath)) {}

CZipFileException::CZipFileException(int systemError, std::string filePath)
    : systemError_(systemError), filePath_(std::move(filePath)) {
  std::string text = SystemErrorText(systemError_);
  // The line break ends a message-table text; inside "text (path)" it would split the message.
  if (!text.empty() && text.back() == '\n') text.pop_back();
  description_ = text + " (" + filePath_ + ")";
}

bool CZipFileException::CopyErrorMessage(char* buffer, std::size_t bufferSize) const noexcept {
  if (buffer == nullptr || bufferSize == 0 || description_.empty()) return false;
  const std::size_t count = std::min(bufferSize - 1, description_.size());
  std::memcpy(buffer, description_.data(), count);
  buffer[count] = '\0';
  return true;
}
