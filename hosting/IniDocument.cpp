// IniDocument.cpp -- parsing INI text into sections and looking up sections and keys.
#include "hosting/IniDocument.h"

#include <fstream>
#include <iterator>

#include "hosting/TextCompare.h"

namespace {

// The runtime library's white space in the C locale: the set the profile functions trim.
bool IsIniSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsIniSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsIniSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool NamesEqual(const std::string& left, const std::string& right) {
  return EqualsTextNoCase(left, right);
}

}  // namespace

bool IniDocument::Section::FindValue(const std::string& key, std::string& value) const {
  for (const std::string& line : lines) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    if (!NamesEqual(std::string(Trim(std::string_view(line).substr(0, equals))), key)) continue;
    std::string_view found = Trim(std::string_view(line).substr(equals + 1));
    // Quotes let an administrator keep white space at the ends of a value.
    if (found.size() >= 2 && (found.front() == '"' || found.front() == '\'') &&
        found.back() == found.front())
      found = found.substr(1, found.size() - 2);
    value.assign(found);
    return true;
  }
  return false;
}

IniDocument IniDocument::Parse(std::string_view text) {
  IniDocument document;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 byte order mark
  Section* current = nullptr;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));  // trimming also drops the CR of CRLF
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      name = name.substr(0, name.find(']'));
      document.sections_.push_back(Section{std::string(Trim(name)), {}});
      current = &document.sections_.back();
      continue;
    }
    if (current) current->lines.emplace_back(line);
  }
  return document;
}

IniDocument IniDocument::Load(const std::string& filePath) {
  std::ifstream file(filePath, std::ios::binary);
  if (!file) return IniDocument();
  std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // A read error part way (a folder, an I/O fault) counts like a file that cannot be read.
  if (file.bad()) return IniDocument();
  return Parse(content);
}

const IniDocument::Section* IniDocument::FindSection(const std::string& name) const {
  for (const Section& section : sections_)
    if (NamesEqual(section.name, name)) return &section;
  return nullptr;
}
