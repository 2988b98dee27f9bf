// BstrTest.cpp -- BSTR layout, lengths, null handling and UTF-8 round trips.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "frame/automation/Bstr.h"
#include "frame/automation/UniqueBstr.h"

namespace {

TEST(Bstr, TheBlockIsALengthPrefixTheCharactersAndATerminator) {
  const char16_t text[] = u"ab\0cd";  // an embedded zero is part of the string
  BSTR value = SysAllocStringLen(text, 5);
  ASSERT_NE(value, nullptr);
  uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<unsigned char*>(value) - 4, 4);
  EXPECT_EQ(prefix, 10u);
  EXPECT_EQ(SysStringLen(value), 5u);
  EXPECT_EQ(SysStringByteLen(value), 10u);
  EXPECT_EQ(std::u16string(value, 5), std::u16string(text, 5));
  EXPECT_EQ(value[5], 0);
  // A client with its own copy of these functions frees the block with free(): the block
  // starts four bytes before the pointer.
  std::free(reinterpret_cast<unsigned char*>(value) - 4);
}

TEST(Bstr, NullAndEmptyAreDifferentValues) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
  UniqueBstr empty(SysAllocString(u""));
  ASSERT_NE(empty.Get(), nullptr);
  EXPECT_EQ(SysStringLen(empty.Get()), 0u);
  // A null source with a length gives that many zero characters.
  UniqueBstr zeros(SysAllocStringLen(nullptr, 3));
  ASSERT_NE(zeros.Get(), nullptr);
  EXPECT_EQ(std::u16string(zeros.Get(), 3), std::u16string(3, u'\0'));
  // A length whose byte count does not fit the 32-bit prefix is refused, not wrapped.
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
}

TEST(Bstr, SysAllocStringStopsAtTheFirstZero) {
  UniqueBstr value(SysAllocString(u"Brevik\0tail"));
  EXPECT_EQ(SysStringLen(value.Get()), 6u);
  EXPECT_EQ(value.ToUtf8(), "Brevik");
}

TEST(Bstr, Utf8CrossesBothWays) {
  UniqueBstr value = UniqueBstr::FromUtf8("d\xC3\xA9j\xC3\xA0 \xF0\x9F\x93\xA6");  // U+1F4E6
  ASSERT_NE(value.Get(), nullptr);
  EXPECT_EQ(SysStringLen(value.Get()), 7u);  // the package sign takes a surrogate pair
  EXPECT_EQ(value.ToUtf8(), "d\xC3\xA9j\xC3\xA0 \xF0\x9F\x93\xA6");
  EXPECT_EQ(Utf8FromBstr(nullptr), "");
  UniqueBstr moved = std::move(value);
  EXPECT_EQ(value.Get(), nullptr);
  BSTR released = moved.Release();
  EXPECT_EQ(moved.Get(), nullptr);
  SysFreeString(released);
}

}  // namespace
