// ProfileFunctions.cpp -- section, key and name reads with the profile API's truncation results.
#include "hosting/ProfileFunctions.h"

#include <cstring>
#include <string>
#include <vector>

#include "hosting/IniDocument.h"

namespace {

/// Writes `items` as zero-terminated strings followed by one more zero byte. When they do not
/// all fit, as much as fits is written, the buffer ends in two zero bytes and the result is
/// size - 2, as the profile API reports a cut list.
uint32_t CopyList(const std::vector<std::string>& items, char* returned, uint32_t size) {
  if (size == 0) return 0;
  if (size == 1) {
    returned[0] = '\0';
    return 0;
  }
  size_t needed = 1;  // the final zero byte
  for (const std::string& item : items) needed += item.size() + 1;
  if (needed <= size) {
    char* out = returned;
    for (const std::string& item : items) {
      std::memcpy(out, item.data(), item.size());
      out += item.size();
      *out++ = '\0';
    }
    *out = '\0';
    if (items.empty()) returned[1] = '\0';  // an empty run still reads as two zero bytes
    return static_cast<uint32_t>(needed - 1);
  }
  const size_t room = size - 2;  // bytes before the two closing zero bytes
  size_t written = 0;
  for (const std::string& item : items) {
    if (written == room) break;
    size_t part = std::min(item.size(), room - written);
    std::memcpy(returned + written, item.data(), part);
    written += part;
    if (written < room) returned[written++] = '\0';
  }
  returned[size - 2] = '\0';
  returned[size - 1] = '\0';
  return size - 2;
}

/// Writes `text` zero-terminated; a text that does not fit is cut to size - 1 bytes and the
/// result is size - 1, as the profile API reports a cut string.
uint32_t CopyString(const std::string& text, char* returned, uint32_t size) {
  if (size == 0) return 0;
  size_t length = std::min<size_t>(text.size(), size - 1);
  std::memcpy(returned, text.data(), length);
  returned[length] = '\0';
  return static_cast<uint32_t>(length);
}

}  // namespace

uint32_t GetPrivateProfileSectionA(const char* sectionName, char* returned, uint32_t size,
                                   const char* fileName) {
  IniDocument document = IniDocument::Load(fileName ? fileName : "");
  const IniDocument::Section* section = document.FindSection(sectionName ? sectionName : "");
  return CopyList(section ? section->lines : std::vector<std::string>(), returned, size);
}

uint32_t GetPrivateProfileStringA(const char* sectionName, const char* keyName,
                                  const char* defaultText, char* returned, uint32_t size,
                                  const char* fileName) {
  IniDocument document = IniDocument::Load(fileName ? fileName : "");
  if (!sectionName) {
    std::vector<std::string> names;
    for (const IniDocument::Section& section : document.sections()) names.push_back(section.name);
    return CopyList(names, returned, size);
  }
  const IniDocument::Section* section = document.FindSection(sectionName);
  if (!keyName) {
    std::vector<std::string> names;
    if (section) {
      for (const std::string& line : section->lines) {
        size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string key = line.substr(0, equals);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
        names.push_back(key);
      }
    }
    return CopyList(names, returned, size);
  }
  std::string value;
  if (!section || !section->FindValue(keyName, value)) value = defaultText ? defaultText : "";
  return CopyString(value, returned, size);
}
