// TextCompare.cpp -- case folding of UTF-8 code points under a private C.UTF-8 locale object.
#include "hosting/TextCompare.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

namespace {

// Made once, never changed, never freed: the process's global locale is left alone, so this
// comparison behaves the same whatever locale the host runs under.
locale_t FoldingLocale() noexcept {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

// Bytes that start no valid sequence are compared as themselves, above every code point.
constexpr uint32_t kInvalidByteBase = 0x110000;

bool IsContinuation(unsigned char byte) noexcept { return (byte & 0xC0) == 0x80; }

// Decodes one code point at `text[at]` and advances `at`; an invalid byte gives
// kInvalidByteBase + byte and advances one byte.
uint32_t NextCodePoint(std::string_view text, size_t& at) noexcept {
  const auto lead = static_cast<unsigned char>(text[at]);
  size_t length = 0;
  uint32_t value = 0, minimum = 0;
  if (lead < 0x80) {
    ++at;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1Fu, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0Fu, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07u, minimum = 0x10000;
  }
  bool valid = length != 0 && at + length <= text.size();
  for (size_t i = 1; valid && i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[at + i]);
    valid = IsContinuation(byte);
    value = (value << 6) | (byte & 0x3Fu);
  }
  valid = valid && value >= minimum && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
  if (!valid) {
    ++at;
    return kInvalidByteBase + lead;
  }
  at += length;
  return value;
}

uint32_t Folded(uint32_t codePoint) noexcept {
  if (codePoint >= kInvalidByteBase) return codePoint;
  const locale_t locale = FoldingLocale();
  if (locale == static_cast<locale_t>(0)) {
    // Without the locale only ASCII letters fold.
    return codePoint >= 'A' && codePoint <= 'Z' ? codePoint + 32 : codePoint;
  }
  return static_cast<uint32_t>(towlower_l(static_cast<wint_t>(codePoint), locale));
}

}  // namespace

int CompareTextNoCase(std::string_view a, std::string_view b) noexcept {
  size_t atA = 0, atB = 0;
  while (atA < a.size() && atB < b.size()) {
    const uint32_t foldedA = Folded(NextCodePoint(a, atA));
    const uint32_t foldedB = Folded(NextCodePoint(b, atB));
    if (foldedA != foldedB) return foldedA < foldedB ? -1 : 1;
  }
  if (atA < a.size()) return 1;
  if (atB < b.size()) return -1;
  return 0;
}

bool EqualsTextNoCase(std::string_view a, std::string_view b) noexcept {
  return CompareTextNoCase(a, b) == 0;
}
