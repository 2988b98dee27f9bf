// HelpersTextCompareTest.cpp -- case-insensitive UTF-8 comparison, independent of the locale.
#include <gtest/gtest.h>

#include <clocale>

#include "hosting/TextCompare.h"

namespace {

TEST(HelpersTextCompare, LettersOfAnyScriptFoldAndOthersDoNot) {
  EXPECT_TRUE(EqualsTextNoCase("MAKEUNIQUE", "makeunique"));
  EXPECT_TRUE(EqualsTextNoCase("\xC3\x84pfel.TXT", "\xC3\xA4pfel.txt"));            // Ä / ä
  EXPECT_TRUE(EqualsTextNoCase("\xD0\x9F\xD0\xA0\xD0\x98", "\xD0\xBF\xD1\x80\xD0\xB8"));  // ПРИ / при
  EXPECT_TRUE(EqualsTextNoCase("\xCE\xA3", "\xCF\x83"));                          // Σ / σ
  EXPECT_FALSE(EqualsTextNoCase("MAKEUNIQUE ", "makeunique"));
  EXPECT_FALSE(EqualsTextNoCase("a", "\xC3\xA1"));                                 // a / á
  EXPECT_FALSE(EqualsTextNoCase("ss", "\xC3\x9F"));                                // no full folding
  EXPECT_TRUE(EqualsTextNoCase("", ""));
  EXPECT_LT(CompareTextNoCase("abc", "ABD"), 0);
  EXPECT_GT(CompareTextNoCase("abcd", "ABC"), 0);
  EXPECT_LT(CompareTextNoCase("ab", "abc"), 0);
}

TEST(HelpersTextCompare, InvalidBytesCompareAsThemselves) {
  EXPECT_TRUE(EqualsTextNoCase("a\xFF", "A\xFF"));
  EXPECT_FALSE(EqualsTextNoCase("\xFF", "\xFE"));
  EXPECT_FALSE(EqualsTextNoCase("\xC3", "\xC4"));  // truncated sequences differ by their byte
  EXPECT_FALSE(EqualsTextNoCase("\xC3\xA4", "\xC3"));
  EXPECT_FALSE(EqualsTextNoCase("\xC0\xAF", "/"));  // an overlong form is not the character
  // An invalid byte never equals the replacement character either.
  EXPECT_FALSE(EqualsTextNoCase("\xFF", "\xEF\xBF\xBD"));
}

TEST(HelpersTextCompare, TheGlobalLocaleIsNeitherReadNorChanged) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");  // a host that never set a locale: towlower alone folds ASCII only
  EXPECT_TRUE(EqualsTextNoCase("\xC3\x89", "\xC3\xA9"));  // É / é
  EXPECT_EQ(std::string(std::setlocale(LC_ALL, nullptr)), "C");
  std::setlocale(LC_ALL, before.c_str());
}

}  // namespace
