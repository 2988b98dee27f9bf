// RegistryTree.cpp -- the whole registry in memory, read from and written as REGEDIT4 text.
#include "hosting/RegistryTree.h"

#include <cerrno>
#include <cstdio>

namespace {

constexpr const char* kRootNames[] = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG",   "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
    "HKEY_USERS",        "HKEY_PERFORMANCE_DATA", "HKEY_DYN_DATA",
};

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/// Reads the lines of a REGEDIT4 text one by one; knows the line number for messages.
class LineReader {
public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    auto end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = end + 1;
    ++lineNumber_;
    return true;
  }

  int lineNumber() const { return lineNumber_; }

private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int lineNumber_ = 0;
};

/// Parses one REGEDIT4 text; the first problem found ends the parse with its line number.
class Parser {
public:
  Parser(std::string_view text, const std::string& source, RegistryTree& tree)
      : lines_(text), source_(source), tree_(tree) {}

  RegistryResult Run() {
    std::string_view line;
    bool headerSeen = false;
    while (lines_.Next(line)) {
      if (lines_.lineNumber() == 1 && line.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        line.remove_prefix(kUtf8Bom.size());
      }
      const std::string_view trimmed = Trim(line);
      if (trimmed.empty() || trimmed.front() == ';') continue;
      if (!headerSeen) {
        if (trimmed != kHeader4 && trimmed != kHeader5) {
          return Damaged("the file does not start with the line \"REGEDIT4\"");
        }
        headerSeen = true;
        continue;
      }
      if (trimmed.front() == '[') {
        if (!ParseKeyLine(trimmed)) return failure_;
      } else if (trimmed.front() == '"' || trimmed.front() == '@') {
        if (!ParseValueLine(trimmed)) return failure_;
      } else {
        return Damaged("expected a [key] line or a value line, found \"" + std::string(trimmed) + "\"");
      }
    }
    return {};
  }

private:
  RegistryResult Damaged(const std::string& what) {
    failure_ = RegistryResult::Failure(EBADMSG, source_ + " line " + std::to_string(lines_.lineNumber()) + ": " + what);
    return failure_;
  }

  bool ParseKeyLine(std::string_view line) {
    const auto close = line.rfind(']');
    if (line.size() < 2 || line.back() != ']' || close == 0) {
      Damaged("a [key] line without its closing \"]\"");
      return false;
    }
    const std::string path(line.substr(1, close - 1));
    if (!path.empty() && path.front() == '-') {
      Damaged("a key deletion line \"[-...]\" has no place in a registry file");
      return false;
    }
    RegistryResult result;
    current_ = tree_.CreateKey(path, result);
    if (current_ == nullptr) {
      Damaged("the key \"" + path + "\" is not a valid key path");
      return false;
    }
    return true;
  }

  /// Reads a quoted text at `pos` (on its opening quote) and moves `pos` past the closing quote.
  bool ParseQuoted(std::string_view line, std::size_t& pos, std::string& out) {
    ++pos;
    while (pos < line.size()) {
      const char c = line[pos++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos >= line.size()) break;
      const char escaped = line[pos++];
      switch (escaped) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default:
          Damaged(std::string("an unknown escape \"\\") + escaped + "\" in a quoted text");
          return false;
      }
    }
    Damaged("a quoted text without its closing quote");
    return false;
  }

  bool ParseValueLine(std::string_view line) {
    if (current_ == nullptr) {
      Damaged("a value line before any [key] line");
      return false;
    }
    RegistryValue value;
    std::size_t pos = 0;
    if (line.front() == '@') {
      pos = 1;
    } else if (!ParseQuoted(line, pos, value.name)) {
      return false;
    }
    const std::string_view afterName = Trim(line.substr(pos));
    if (afterName.empty() || afterName.front() != '=') {
      Damaged("expected \"=\" after the value name");
      return false;
    }
    const std::string_view data = Trim(afterName.substr(1));
    if (!ParseData(data, value)) return false;
    current_->SetValue(std::move(value));
    return true;
  }

  bool ParseData(std::string_view data, RegistryValue& value) {
    if (!data.empty() && data.front() == '"') {
      std::size_t pos = 0;
      value.type = kRegSz;
      if (!ParseQuoted(data, pos, value.text)) return false;
      if (!Trim(data.substr(pos)).empty()) {
        Damaged("unexpected text after the closing quote");
        return false;
      }
      return true;
    }
    if (data.substr(0, 6) == "dword:") {
      const std::string_view digits = data.substr(6);
      if (digits.empty() || digits.size() > 8) {
        Damaged("a dword value needs one to eight hex digits");
        return false;
      }
      uint32_t number = 0;
      for (const char c : digits) {
        const int digit = HexDigit(c);
        if (digit < 0) {
          Damaged("a dword value needs one to eight hex digits");
          return false;
        }
        number = (number << 4) | static_cast<uint32_t>(digit);
      }
      value.type = kRegDword;
      value.number = number;
      return true;
    }
    if (data.substr(0, 3) == "hex") return ParseHex(data, value);
    Damaged("expected a quoted text, dword: or hex: after \"=\"");
    return false;
  }

  /// hex:01,02 is binary data; hex(n): carries the type number n in hex. A line ending in "\"
  /// continues on the next line, as regedit wraps long values.
  bool ParseHex(std::string_view data, RegistryValue& value) {
    std::size_t pos = 3;
    value.type = kRegBinary;
    if (pos < data.size() && data[pos] == '(') {
      const auto close = data.find(')', pos);
      uint32_t type = 0;
      const std::string_view digits =
          close == std::string_view::npos ? std::string_view{} : data.substr(pos + 1, close - pos - 1);
      bool valid = !digits.empty() && digits.size() <= 8;
      for (const char c : digits) {
        const int digit = HexDigit(c);
        valid = valid && digit >= 0;
        type = (type << 4) | static_cast<uint32_t>(digit < 0 ? 0 : digit);
      }
      if (!valid) {
        Damaged("a hex(n): value needs a hex type number");
        return false;
      }
      value.type = type;
      pos = close + 1;
    }
    if (pos >= data.size() || data[pos] != ':') {
      Damaged("expected \":\" after hex");
      return false;
    }
    std::string list(data.substr(pos + 1));
    std::string_view continuation;
    while (!Trim(list).empty() && Trim(list).back() == '\\') {
      list = std::string(Trim(list));
      list.pop_back();
      if (!lines_.Next(continuation)) {
        Damaged("a continued hex value ends with the file");
        return false;
      }
      list += continuation;
    }
    std::string bytes;
    std::string_view rest = Trim(list);
    while (!rest.empty()) {
      const auto comma = rest.find(',');
      const std::string_view item = Trim(rest.substr(0, comma));
      if (item.size() != 2 || HexDigit(item[0]) < 0 || HexDigit(item[1]) < 0) {
        Damaged("a hex value holds \"" + std::string(item) + "\" where a byte of two hex digits belongs");
        return false;
      }
      bytes += static_cast<char>(HexDigit(item[0]) * 16 + HexDigit(item[1]));
      if (comma == std::string_view::npos) break;
      rest = rest.substr(comma + 1);
      if (Trim(rest).empty()) {
        Damaged("a hex value ends with \",\"");
        return false;
      }
    }
    if (value.type == kRegSz || value.type == kRegDword) {
      // The store keeps texts and numbers in their own members; hex(1) and hex(4) data is
      // converted so that readers see one form of each type.
      if (value.type == kRegDword) {
        if (bytes.size() != 4) {
          Damaged("a hex(4) value needs exactly four bytes");
          return false;
        }
        value.number = 0;
        for (int i = 3; i >= 0; --i) value.number = (value.number << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
      } else {
        const auto zero = bytes.find('\0');
        value.text = bytes.substr(0, zero);
      }
      return true;
    }
    value.bytes = std::move(bytes);
    return true;
  }

  LineReader lines_;
  const std::string& source_;
  RegistryTree& tree_;
  RegistryKey* current_ = nullptr;
  RegistryResult failure_;
};

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (const char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

void FormatValue(const RegistryValue& value, std::string& out) {
  out += value.name.empty() ? std::string("@") : "\"" + Escape(value.name) + "\"";
  out += '=';
  if (value.type == kRegSz) {
    out += "\"" + Escape(value.text) + "\"";
  } else if (value.type == kRegDword) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "dword:%08x", value.number);
    out += digits;
  } else {
    char prefix[32];
    if (value.type == kRegBinary) {
      std::snprintf(prefix, sizeof prefix, "hex:");
    } else {
      std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
    }
    out += prefix;
    for (std::size_t i = 0; i < value.bytes.size(); ++i) {
      char byte[4];
      std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(value.bytes[i]));
      if (i > 0) out += ',';
      out += byte;
    }
  }
  out += '\n';
}

void FormatKey(const RegistryKey& key, const std::string& path, bool isRoot, std::string& out) {
  if (!key.values().empty() || (!isRoot && key.subKeys().empty())) {
    out += "[" + path + "]\n";
    for (const RegistryValue& value : key.values()) FormatValue(value, out);
    out += '\n';
  }
  for (const auto& subKey : key.subKeys()) FormatKey(*subKey, path + "\\" + subKey->name(), false, out);
}

/// A key name must fit on its [key] line.
bool ValidKeyName(const std::string& name) {
  return name.find_first_of(std::string("\n\r\0", 3)) == std::string::npos;
}

}  // namespace

bool SplitRegistryPath(const std::string& keyPath, std::vector<std::string>& components) {
  components.clear();
  std::size_t start = 0;
  while (true) {
    const auto separator = keyPath.find('\\', start);
    const std::string component = keyPath.substr(start, separator == std::string::npos ? std::string::npos : separator - start);
    if (component.empty()) return false;
    components.push_back(component);
    if (separator == std::string::npos) return true;
    start = separator + 1;
  }
}

RegistryTree::RegistryTree() {
  for (const char* name : kRootNames) roots_.push_back(std::make_unique<RegistryKey>(name));
}

RegistryResult RegistryTree::Parse(std::string_view text, const std::string& source, RegistryTree& tree) {
  tree = RegistryTree();
  if (text.find('\0') != std::string_view::npos) {
    return RegistryResult::Failure(EBADMSG, source + ": the file holds a zero byte, which no registry text can");
  }
  RegistryResult result = Parser(text, source, tree).Run();
  if (!result.ok()) tree = RegistryTree();
  return result;
}

std::string RegistryTree::Format() const {
  std::string out = "REGEDIT4\n\n";
  for (const auto& root : roots_) FormatKey(*root, root->name(), true, out);
  return out;
}

const RegistryKey* RegistryTree::FindKey(const std::string& keyPath) const {
  return const_cast<RegistryTree*>(this)->FindKey(keyPath);
}

RegistryKey* RegistryTree::FindKey(const std::string& keyPath) {
  std::vector<std::string> components;
  if (!SplitRegistryPath(keyPath, components)) return nullptr;
  RegistryKey* key = nullptr;
  for (const auto& root : roots_) {
    if (RegistryNamesEqual(root->name(), components.front())) key = root.get();
  }
  for (std::size_t i = 1; key != nullptr && i < components.size(); ++i) key = key->FindSubKey(components[i]);
  return key;
}

RegistryKey* RegistryTree::CreateKey(const std::string& keyPath, RegistryResult& result) {
  std::vector<std::string> components;
  if (!SplitRegistryPath(keyPath, components)) {
    result = RegistryResult::Failure(EINVAL, "\"" + keyPath + "\" is not a key path: it is empty or has an empty component");
    return nullptr;
  }
  RegistryKey* key = nullptr;
  for (const auto& root : roots_) {
    if (RegistryNamesEqual(root->name(), components.front())) key = root.get();
  }
  if (key == nullptr) {
    result = RegistryResult::Failure(EINVAL, "\"" + components.front() + "\" is not a root key of the registry");
    return nullptr;
  }
  for (std::size_t i = 1; i < components.size(); ++i) {
    if (!ValidKeyName(components[i])) {
      result = RegistryResult::Failure(EINVAL, "a key name cannot hold a line break or a zero byte");
      return nullptr;
    }
  }
  for (std::size_t i = 1; i < components.size(); ++i) key = &key->OpenOrCreateSubKey(components[i]);
  result = {};
  return key;
}

RegistryResult RegistryTree::DeleteKey(const std::string& keyPath) {
  const auto lastSeparator = keyPath.rfind('\\');
  if (lastSeparator == std::string::npos) {
    if (FindKey(keyPath) != nullptr) {
      return RegistryResult::Failure(EINVAL, "the root key \"" + keyPath + "\" cannot be deleted");
    }
    return RegistryResult::Failure(ENOENT, "the key \"" + keyPath + "\" does not exist");
  }
  RegistryKey* parent = FindKey(keyPath.substr(0, lastSeparator));
  if (parent == nullptr || !parent->DeleteSubKey(keyPath.substr(lastSeparator + 1))) {
    return RegistryResult::Failure(ENOENT, "the key \"" + keyPath + "\" does not exist");
  }
  return {};
}
