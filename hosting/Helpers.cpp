// Helpers.cpp -- system error texts, trimming, comma lists and existence tests on POSIX.
#include "hosting/Helpers.h"

#include <string.h>
#include <sys/stat.h>

#include "hosting/TextCompare.h"

namespace {

bool IsWhiteSpace(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Length of the UTF-8 character starting with `lead`: its declared length for a lead byte,
// 1 for anything else, so a separator is only ever compared at a character boundary.
size_t CharacterLength(unsigned char lead) noexcept {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

// Position of the first `separator` at a character boundary, or npos.
size_t FindSeparator(std::string_view text, char separator) noexcept {
  for (size_t at = 0; at < text.size();) {
    if (text[at] == separator) return at;
    at += CharacterLength(static_cast<unsigned char>(text[at]));
  }
  return std::string_view::npos;
}

}  // namespace

std::string FormatSystemMessage(int32_t number) {
  // strerrordesc_np gives null for a number without a text (strerror would invent one).
  if (const char* text = strerrordesc_np(number)) return std::string(text) + "\n";
  return "The system cannot find error message for error number " + std::to_string(number);
}

std::string TrimmedCopy(std::string_view text) {
  size_t first = 0, last = text.size();
  while (first < last && IsWhiteSpace(text[first])) ++first;
  while (last > first && IsWhiteSpace(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

void SplitToList(std::string_view text, char separator, TextList& list) {
  while (!text.empty()) {
    const size_t at = FindSeparator(text, separator);
    if (at == std::string_view::npos) {
      list.push_back(TrimmedCopy(text));
      return;
    }
    list.push_back(TrimmedCopy(text.substr(0, at)));
    text.remove_prefix(at + 1);
  }
}

bool ListContainsItem(std::string_view listText, std::string_view item) {
  while (!listText.empty()) {
    const size_t at = FindSeparator(listText, ',');
    const std::string_view current = at == std::string_view::npos ? listText : listText.substr(0, at);
    if (EqualsTextNoCase(TrimmedCopy(current), item)) return true;
    if (at == std::string_view::npos) return false;
    listText.remove_prefix(at + 1);
  }
  return false;
}

bool FileExists(const std::string& path) {
  struct stat status {};
  return !path.empty() && ::stat(path.c_str(), &status) == 0;
}

bool FolderExists(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) return false;
  struct stat status {};
  return ::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}
