// PrintableName.cpp -- escaping control characters and malformed UTF-8 in names printed on a terminal.
#include "tools/PrintableName.h"

#include <cstdint>
#include <cstdio>

#include "engine/ZipEntryName.h"

namespace {

void AppendOctal(std::string& out, unsigned char byte) {
  char escape[5];
  std::snprintf(escape, sizeof escape, "\\%03o", byte);
  out += escape;
}

}  // namespace

std::string PrintableName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  std::size_t i = 0;
  while (i < name.size()) {
    std::uint32_t code = 0;
    const std::size_t length = ZipEntryName::Utf8SequenceLength(name.substr(i), code);
    if (length == 0) {
      AppendOctal(out, static_cast<unsigned char>(name[i]));
      ++i;
      continue;
    }
    switch (code) {
      case '\a': out += "\\a"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\v': out += "\\v"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
          for (std::size_t k = 0; k < length; ++k) AppendOctal(out, static_cast<unsigned char>(name[i + k]));
        } else {
          out.append(name.substr(i, length));
        }
    }
    i += length;
  }
  return out;
}
