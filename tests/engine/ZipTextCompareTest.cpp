// ZipTextCompareTest.cpp -- case-blind comparison of UTF-8 names and byte-wise comparison.
#include "engine/ZipTextCompare.h"

#include <clocale>
#include <cstring>

#include <gtest/gtest.h>

namespace {

TEST(ZipTextCompare, FoldsCaseOfWholeCodePoints) {
  EXPECT_EQ(ZipCompareNoCase("Readme.TXT", "readme.txt"), 0);
  EXPECT_EQ(ZipCompareNoCase("\xc3\x84pfel", "\xc3\xa4PFEL"), 0);                    // Ä / ä
  EXPECT_EQ(ZipCompareNoCase("\xd0\x9c\xd0\x98\xd0\xa0", "\xd0\xbc\xd0\xb8\xd1\x80"), 0);  // МИР / мир
  EXPECT_TRUE(ZipEqualNoCase("\xce\xa3", "\xcf\x83"));                                // Σ / σ
  EXPECT_FALSE(ZipEqualNoCase("a", "\xc3\xa1"));

  EXPECT_LT(ZipCompareNoCase("abc", "ABD"), 0);
  EXPECT_GT(ZipCompareNoCase("abd", "ABC"), 0);
  EXPECT_LT(ZipCompareNoCase("ab", "ABC"), 0);
  EXPECT_GT(ZipCompareNoCase("abc", "AB"), 0);
  EXPECT_EQ(ZipCompareNoCase("", ""), 0);
  // Code point order, not byte order of lower-cased bytes: U+00E9 sorts after "z".
  EXPECT_GT(ZipCompareNoCase("\xc3\xa9", "z"), 0);

  // The process's own locale is untouched.
  EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
}

TEST(ZipTextCompare, InvalidBytesCompareAsThemselves) {
  EXPECT_EQ(ZipCompareNoCase("a\xff", "A\xff"), 0);
  EXPECT_NE(ZipCompareNoCase("a\xfe", "a\xff"), 0);
  // A lone lead byte, an overlong form and an encoded surrogate are not the characters they mimic.
  EXPECT_NE(ZipCompareNoCase("\xc3", "\xc3\xa4"), 0);
  EXPECT_NE(ZipCompareNoCase("\xc1\x81", "A"), 0);
  EXPECT_NE(ZipCompareNoCase("\xed\xa0\x80", "\xef\xbf\xbd"), 0);
  // An invalid byte is never equal to the replacement character or to any real character.
  EXPECT_NE(ZipCompareNoCase("\x80", "\xef\xbf\xbd"), 0);
}

TEST(ZipTextCompare, ExactComparisonIsByteWise) {
  EXPECT_EQ(ZipCompare("a", "a"), 0);
  EXPECT_LT(ZipCompare("A", "a"), 0);
  EXPECT_GT(ZipCompare("b", "a"), 0);
  EXPECT_LT(ZipCompare("a", "ab"), 0);
}

}  // namespace
