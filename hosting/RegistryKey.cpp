// RegistryKey.cpp -- one registry key: its values and its sub keys, names matched without case.
#include "hosting/RegistryKey.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cctype>

namespace {

/// Owns the C.UTF-8 locale object for case folding. It is made once and never changed; the
/// process's global locale is never touched because a host's other threads depend on it. It is
/// freed when the library is unloaded, since a host may load and unload the library many times.
class CaseFoldingLocale {
public:
  CaseFoldingLocale() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr))) {}
  ~CaseFoldingLocale() {
    if (locale_ != static_cast<locale_t>(nullptr)) freelocale(locale_);
  }
  CaseFoldingLocale(const CaseFoldingLocale&) = delete;
  CaseFoldingLocale& operator=(const CaseFoldingLocale&) = delete;
  locale_t get() const { return locale_; }

private:
  locale_t locale_;
};

locale_t CaseLocale() {
  static const CaseFoldingLocale locale;
  return locale.get();
}

/// Decodes the code point at `text[pos]` and advances `pos`. A byte that does not start a valid,
/// shortest-form sequence stands for itself (as 0x110000 + byte, outside Unicode), so invalid
/// bytes match only the same bytes.
uint32_t NextCodePoint(const std::string& text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = 0;
  uint32_t codePoint = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07u;
  }
  if (length == 0 || pos + length > text.size()) {
    ++pos;
    return 0x110000u + lead;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0u) != 0x80u) {
      ++pos;
      return 0x110000u + lead;
    }
    codePoint = (codePoint << 6) | (next & 0x3Fu);
  }
  const bool overlong = (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
  const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
  if (overlong || surrogate || codePoint > 0x10FFFF) {
    ++pos;
    return 0x110000u + lead;
  }
  pos += length;
  return codePoint;
}

uint32_t FoldCase(uint32_t codePoint) {
  const locale_t locale = CaseLocale();
  if (codePoint > 0x10FFFF || locale == static_cast<locale_t>(nullptr)) {
    return codePoint < 0x80 ? static_cast<uint32_t>(tolower(static_cast<int>(codePoint))) : codePoint;
  }
  return static_cast<uint32_t>(towlower_l(static_cast<wint_t>(codePoint), locale));
}

}  // namespace

bool RegistryNamesEqual(const std::string& left, const std::string& right) {
  std::size_t leftPos = 0;
  std::size_t rightPos = 0;
  while (leftPos < left.size() && rightPos < right.size()) {
    if (FoldCase(NextCodePoint(left, leftPos)) != FoldCase(NextCodePoint(right, rightPos))) {
      return false;
    }
  }
  return leftPos == left.size() && rightPos == right.size();
}

const RegistryValue* RegistryKey::FindValue(const std::string& valueName) const {
  for (const RegistryValue& value : values_) {
    if (RegistryNamesEqual(value.name, valueName)) return &value;
  }
  return nullptr;
}

void RegistryKey::SetValue(RegistryValue value) {
  for (RegistryValue& existing : values_) {
    if (RegistryNamesEqual(existing.name, value.name)) {
      value.name = existing.name;
      existing = std::move(value);
      return;
    }
  }
  values_.push_back(std::move(value));
}

bool RegistryKey::DeleteValue(const std::string& valueName) {
  const auto found = std::find_if(values_.begin(), values_.end(), [&](const RegistryValue& value) {
    return RegistryNamesEqual(value.name, valueName);
  });
  if (found == values_.end()) return false;
  values_.erase(found);
  return true;
}

RegistryKey* RegistryKey::FindSubKey(const std::string& keyName) {
  for (const auto& subKey : subKeys_) {
    if (RegistryNamesEqual(subKey->name(), keyName)) return subKey.get();
  }
  return nullptr;
}

const RegistryKey* RegistryKey::FindSubKey(const std::string& keyName) const {
  return const_cast<RegistryKey*>(this)->FindSubKey(keyName);
}

RegistryKey& RegistryKey::OpenOrCreateSubKey(const std::string& keyName) {
  if (RegistryKey* existing = FindSubKey(keyName)) return *existing;
  subKeys_.push_back(std::make_unique<RegistryKey>(keyName));
  return *subKeys_.back();
}

bool RegistryKey::DeleteSubKey(const std::string& keyName) {
  const auto found = std::find_if(subKeys_.begin(), subKeys_.end(), [&](const auto& subKey) {
    return RegistryNamesEqual(subKey->name(), keyName);
  });
  if (found == subKeys_.end()) return false;
  subKeys_.erase(found);
  return true;
}
