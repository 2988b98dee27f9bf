// TextConversionTest.cpp -- UTF-8 <-> UTF-16, with U+FFFD for every ill-formed sequence.
#include <gtest/gtest.h>

#include "frame/automation/TextConversion.h"

namespace {

TEST(TextConversion, WellFormedTextRoundTripsInBothDirections) {
  const std::string utf8 = "A\x7F \xC2\x80 \xDF\xBF \xE0\xA0\x80 \xEF\xBF\xBD \xF0\x90\x80\x80 \xF4\x8F\xBF\xBF";
  const std::u16string utf16 = u"A\x7F \u0080 \u07FF \u0800 \uFFFD \U00010000 \U0010FFFF";
  EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
  EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
  EXPECT_EQ(Utf8ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
  EXPECT_EQ(Utf8ToUtf16(""), u"");
}

TEST(TextConversion, IllFormedUtf8BecomesOneReplacementPerMaximalSubpart) {
  struct Case {
    std::string input;
    std::u16string expected;
  };
  const Case cases[] = {
      {"\x80", u"\uFFFD"},                            // stray continuation byte
      {"a\xC3", u"a\uFFFD"},                          // truncated at the end
      {"\xC3(", u"\uFFFD("},                          // the breaking byte starts over
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                  // overlong "/" (C0 is never valid)
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},        // overlong three-byte form
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},        // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xF0\x9F\x98", u"\uFFFD"},                    // a valid prefix cut short counts once
      {"\xE2\x82x", u"\uFFFDx"},
      {"\xFF\xFE", u"\uFFFD\uFFFD"},
  };
  for (const Case& item : cases) EXPECT_EQ(Utf8ToUtf16(item.input), item.expected) << item.input;
}

TEST(TextConversion, UnpairedSurrogatesBecomeReplacements) {
  const std::u16string loneHigh = {u'a', char16_t(0xD83D), u'b'};
  const std::u16string loneLow = {char16_t(0xDE00)};
  const std::u16string reversed = {char16_t(0xDE00), char16_t(0xD83D)};
  const std::u16string highAtEnd = {u'x', char16_t(0xD83D)};
  EXPECT_EQ(Utf16ToUtf8(loneHigh), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(Utf16ToUtf8(loneLow), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(reversed), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(highAtEnd), "x\xEF\xBF\xBD");
}

}  // namespace
