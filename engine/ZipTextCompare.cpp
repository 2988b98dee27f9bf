// ZipTextCompare.cpp -- code-point comparison of UTF-8 names under a private C.UTF-8 locale.
#include "engine/ZipTextCompare.h"

#include <cstdint>

#include <locale.h>
#include <wctype.h>

namespace {

/// The locale object for case folding; made once, never changed, never freed (it lives as long
/// as the process, like the C library's own locales).
locale_t FoldingLocale() noexcept {
  static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

/// Marks a byte outside valid UTF-8 so that it compares as itself and never equals a character.
constexpr std::uint32_t kInvalidByteBase = 0x110000;

/// Decodes the code point at `text[index]`, advancing `index`.
std::uint32_t NextCodePoint(std::string_view text, std::size_t& index) noexcept {
  const auto lead = static_cast<unsigned char>(text[index]);
  std::size_t length = 0;
  std::uint32_t value = 0;
  std::uint32_t minimum = 0;
  if (lead < 0x80) {
    ++index;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  }
  if (length == 0 || index + length > text.size()) {
    ++index;
    return kInvalidByteBase + lead;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[index + i]);
    if ((next & 0xC0) != 0x80) {
      ++index;
      return kInvalidByteBase + lead;
    }
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++index;
    return kInvalidByteBase + lead;
  }
  index += length;
  return value;
}

std::uint32_t Fold(std::uint32_t codePoint) noexcept {
  if (codePoint >= kInvalidByteBase) return codePoint;
  const locale_t locale = FoldingLocale();
  if (locale == static_cast<locale_t>(nullptr)) {
    return codePoint >= 'A' && codePoint <= 'Z' ? codePoint + ('a' - 'A') : codePoint;
  }
  return static_cast<std::uint32_t>(::towlower_l(static_cast<wint_t>(codePoint), locale));
}

}  // namespace

int ZipCompareNoCase(std::string_view left, std::string_view right) noexcept {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < left.size() && j < right.size()) {
    const std::uint32_t a = Fold(NextCodePoint(left, i));
    const std::uint32_t b = Fold(NextCodePoint(right, j));
    if (a != b) return a < b ? -1 : 1;
  }
  if (i < left.size()) return 1;
  if (j < right.size()) return -1;
  return 0;
}

int ZipCompare(std::string_view left, std::string_view right) noexcept {
  const int result = left.compare(right);
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}
