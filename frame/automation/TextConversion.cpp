// TextConversion.cpp -- UTF-8 <-> UTF-16 with U+FFFD for every ill-formed sequence.
#include "frame/automation/TextConversion.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool InRange(unsigned char byte, unsigned char low, unsigned char high) noexcept {
  return byte >= low && byte <= high;
}

// Decodes one code point at `text[at]` and advances `at`. An ill-formed sequence gives
// U+FFFD and advances past its maximal valid prefix only (at least one byte), so the byte that
// broke the sequence starts the next one.
char32_t DecodeUtf8(std::string_view text, size_t& at) noexcept {
  const auto lead = static_cast<unsigned char>(text[at++]);
  if (lead < 0x80) return lead;
  size_t continuationCount = 0;
  char32_t value = 0;
  // The bounds of the second byte exclude overlong forms, surrogates and values above U+10FFFF.
  unsigned char secondLow = 0x80, secondHigh = 0xBF;
  if (InRange(lead, 0xC2, 0xDF)) {
    continuationCount = 1;
    value = lead & 0x1F;
  } else if (InRange(lead, 0xE0, 0xEF)) {
    continuationCount = 2;
    value = lead & 0x0F;
    if (lead == 0xE0) secondLow = 0xA0;
    if (lead == 0xED) secondHigh = 0x9F;
  } else if (InRange(lead, 0xF0, 0xF4)) {
    continuationCount = 3;
    value = lead & 0x07;
    if (lead == 0xF0) secondLow = 0x90;
    if (lead == 0xF4) secondHigh = 0x8F;
  } else {
    return kReplacement;
  }
  for (size_t i = 0; i < continuationCount; ++i) {
    if (at >= text.size()) return kReplacement;
    const auto byte = static_cast<unsigned char>(text[at]);
    const bool valid = i == 0 ? InRange(byte, secondLow, secondHigh) : InRange(byte, 0x80, 0xBF);
    if (!valid) return kReplacement;
    value = (value << 6) | (byte & 0x3F);
    ++at;
  }
  return value;
}

void AppendUtf8(std::string& out, char32_t value) {
  if (value < 0x80) {
    out += static_cast<char>(value);
  } else if (value < 0x800) {
    out += static_cast<char>(0xC0 | (value >> 6));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    out += static_cast<char>(0xE0 | (value >> 12));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (value >> 18));
    out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    const char32_t value = DecodeUtf8(text, at);
    if (value < 0x10000) {
      out += static_cast<char16_t>(value);
    } else {
      const char32_t offset = value - 0x10000;
      out += static_cast<char16_t>(0xD800 + (offset >> 10));
      out += static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    const char16_t unit = text[at];
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
        text[at + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{text[at + 1]} - 0xDC00));
      ++at;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}
