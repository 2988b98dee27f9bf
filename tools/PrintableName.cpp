// PrintableName.cpp -- escaping control characters and malformed UTF-8 in names printed on a terminal.
#include "tools/PrintableName.h"

#include <cstdint>
#include <cstdio>

namespace {

void AppendOctal(std::string& out, unsigned char byte) {
  char escape[5];
  std::snprintf(escape, sizeof escape, "\\%03o", byte);
  out += escape;
}

/// The length of the well-formed UTF-8 sequence at the start of `rest` (shortest form, no
/// surrogates, at most U+10FFFF) and its code point; 0 when there is none.
std::size_t Utf8Sequence(std::string_view rest, std::uint32_t& code) {
  const auto lead = static_cast<unsigned char>(rest[0]);
  std::size_t length = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (rest.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(rest[i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  static constexpr std::uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string PrintableName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  std::size_t i = 0;
  while (i < name.size()) {
    std::uint32_t code = 0;
    const std::size_t length = Utf8Sequence(name.substr(i), code);
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
