// IniFileReader.cpp -- the buffer-doubling reads over the profile functions.
#include "hosting/IniFileReader.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "hosting/Helpers.h"
#include "hosting/ProfileFunctions.h"

namespace {

constexpr uint32_t kFirstBufferBytes = 256;
// Doubling stops here so that the size never wraps; a section or value that fills even this
// buffer is taken as it was cut.
constexpr uint32_t kLargestBufferBytes = uint32_t{1} << 31;

/// The item separator of a section read: the profile API ends each line with a zero byte, and
/// those become this byte so that the lines can be split as one text. It never occurs in
/// valid UTF-8.
constexpr char kLineSeparator = static_cast<char>(0xFA);

}  // namespace

void IniFileReader::ReadSection(const std::string& section, const std::string& file,
                                TextList& list) const {
  for (uint32_t size = kFirstBufferBytes;; size *= 2) {
    std::vector<char> buffer(size);
    uint32_t written = GetPrivateProfileSectionA(section.c_str(), buffer.data(), size,
                                                 file.c_str());
    if (written == 0) return;
    // size - 2 is the profile API's sign that the section was cut.
    if (written == size - 2 && size < kLargestBufferBytes) continue;
    std::string text(buffer.data(), written);
    std::replace(text.begin(), text.end(), '\0', kLineSeparator);
    SplitToList(TrimmedCopy(text), kLineSeparator, list);
    return;
  }
}

std::string IniFileReader::ReadString(const std::string& section, const std::string& key,
                                      const std::string& file) const {
  for (uint32_t size = kFirstBufferBytes;; size *= 2) {
    std::vector<char> buffer(size);
    uint32_t written = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                                size, file.c_str());
    // size - 1 is the profile API's sign that the value was cut.
    if (written == size - 1 && size < kLargestBufferBytes) continue;
    return TrimmedCopy(std::string(buffer.data(), written));
  }
}
