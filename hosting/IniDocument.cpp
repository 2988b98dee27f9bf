// IniDocument.cpp -- parsing INI text into sections and looking up sections and keys.
#include "hosting/IniDocument.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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

/// Owns one open file descriptor.
class FileDescriptor {
public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

private:
  int fd_;
};

/// The whole content of `filePath`; false when it cannot be opened or read (a folder, an I/O
/// fault part way).
bool ReadWholeFile(const std::string& filePath, std::string& content) {
  FileDescriptor file(open(filePath.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return false;
  char chunk[16384];
  for (;;) {
    ssize_t got = read(file.get(), chunk, sizeof chunk);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.append(chunk, static_cast<size_t>(got));
  }
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
  std::string content;
  if (!ReadWholeFile(filePath, content)) return IniDocument();
  return Parse(content);
}

const IniDocument::Section* IniDocument::FindSection(const std::string& name) const {
  for (const Section& section : sections_)
    if (NamesEqual(section.name, name)) return &section;
  return nullptr;
}
