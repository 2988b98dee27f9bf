// ZipEntryName.cpp -- CP437 <-> UTF-8 for entry names (over CZipAutoBuffer's conversion), UTF-8 validation.
#include "engine/ZipEntryName.h"

#include <cstdint>
#include <stdexcept>

#include "engine/ZipAutoBuffer.h"

namespace ZipEntryName {

bool IsDosFamily(int hostSystem) {
  return hostSystem == 0 || hostSystem == 6 || hostSystem == 10 || hostSystem == 11;
}

bool IsAscii(std::string_view bytes) {
  for (const char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::size_t Utf8SequenceLength(std::string_view rest, std::uint32_t& code) {
  if (rest.empty()) return 0;
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

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::uint32_t code = 0;
    const std::size_t length = Utf8SequenceLength(bytes.substr(i), code);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string Cp437ToUtf8(std::string_view bytes) {
  if (IsAscii(bytes)) return std::string(bytes);
  CZipAutoBuffer name;
  name.Assign(bytes);
  try {
    name.ConvertOemAnsi(false);
  } catch (const std::runtime_error&) {
    // CP437 maps all 256 byte values, so a failure here means iconv lacks the table; the bytes
    // as stored are then the best host form there is.
    return std::string(bytes);
  }
  return name.ToString();
}

std::optional<std::string> Utf8ToCp437(std::string_view text) {
  if (IsAscii(text)) return std::string(text);
  if (!IsValidUtf8(text)) return std::nullopt;
  CZipAutoBuffer name;
  name.Assign(text);
  try {
    // A lossy conversion put "?" for a character CP437 lacks: such a name is stored as UTF-8.
    if (!name.ConvertOemAnsi(true)) return std::nullopt;
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
  return name.ToString();
}

}  // namespace ZipEntryName
