// Bstr.cpp -- BSTR allocation over malloc/free with a 4-byte byte-length prefix.
#include "frame/automation/Bstr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "frame/automation/TextConversion.h"

namespace {

// Block layout: [uint32 byte length][char16_t x length][char16_t 0]. The prefix is 4 bytes, so
// the characters sit at a 4-byte offset, enough for char16_t alignment.
constexpr size_t kPrefixBytes = sizeof(uint32_t);

unsigned char* BlockOf(BSTR text) noexcept {
  return reinterpret_cast<unsigned char*>(text) - kPrefixBytes;
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) noexcept {
  const uint64_t dataBytes = uint64_t{length} * sizeof(OLECHAR);
  if (dataBytes > std::numeric_limits<uint32_t>::max() - kPrefixBytes - sizeof(OLECHAR))
    return nullptr;
  auto* block = static_cast<unsigned char*>(
      std::malloc(kPrefixBytes + static_cast<size_t>(dataBytes) + sizeof(OLECHAR)));
  if (!block) return nullptr;
  const auto byteLength = static_cast<uint32_t>(dataBytes);
  std::memcpy(block, &byteLength, kPrefixBytes);
  auto* characters = reinterpret_cast<OLECHAR*>(block + kPrefixBytes);
  if (text)
    std::memcpy(characters, text, static_cast<size_t>(dataBytes));
  else
    std::memset(characters, 0, static_cast<size_t>(dataBytes));
  characters[length] = 0;
  return characters;
}

BSTR SysAllocString(const OLECHAR* text) noexcept {
  if (!text) return nullptr;
  size_t length = 0;
  while (text[length] != 0) ++length;
  if (length > std::numeric_limits<UINT>::max()) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(length));
}

void SysFreeString(BSTR text) noexcept {
  if (text) std::free(BlockOf(text));
}

UINT SysStringByteLen(BSTR text) noexcept {
  if (!text) return 0;
  uint32_t byteLength = 0;
  std::memcpy(&byteLength, BlockOf(text), kPrefixBytes);
  return byteLength;
}

UINT SysStringLen(BSTR text) noexcept {
  return SysStringByteLen(text) / sizeof(OLECHAR);
}

BSTR BstrFromUtf8(std::string_view text) noexcept {
  try {
    const std::u16string wide = Utf8ToUtf16(text);
    if (wide.size() > std::numeric_limits<UINT>::max()) return nullptr;
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  } catch (...) {  // only std::bad_alloc: the conversion throws nothing else
    return nullptr;
  }
}

std::string Utf8FromBstr(BSTR text) {
  return Utf16ToUtf8(std::u16string_view(text, SysStringLen(text)));
}
