// HelpersTest.cpp -- system error texts, trimming, splitting, comma lists and existence tests.
#include <gtest/gtest.h>

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "hosting/Helpers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

using namespace brevik::test;

namespace {

TEST(HelpersSystemMessage, KnownNumbersEndInALineBreakUnknownOnesGetTheFixedText) {
  EXPECT_EQ(FormatSystemMessage(ENOENT), "No such file or directory\n");
  EXPECT_EQ(FormatSystemMessage(ENOSPC), "No space left on device\n");
  EXPECT_EQ(FormatSystemMessage(99999), "The system cannot find error message for error number 99999");
  EXPECT_EQ(FormatSystemMessage(-5), "The system cannot find error message for error number -5");
}

TEST(HelpersTrim, EveryWhiteSpaceClassGoesAndNothingElse) {
  EXPECT_EQ(TrimmedCopy(" \t\n\v\f\r a b \r\f\v\n\t "), "a b");
  EXPECT_EQ(TrimmedCopy(" \t\r\n"), "");
  EXPECT_EQ(TrimmedCopy(""), "");
  EXPECT_EQ(TrimmedCopy("x"), "x");
  // A no-break space (U+00A0) and a zero byte are no white space.
  EXPECT_EQ(TrimmedCopy("\xC2\xA0x\xC2\xA0"), "\xC2\xA0x\xC2\xA0");
  EXPECT_EQ(TrimmedCopy(std::string(" \0 ", 3)), std::string("\0", 1));
  // The last byte of a multibyte character is kept whole.
  EXPECT_EQ(TrimmedCopy(" \xE2\x80\x85 "), "\xE2\x80\x85");
}

TEST(HelpersSplit, ItemsAreTrimmedEmptyOnesKeptAndATrailingSeparatorAddsNone) {
  TextList list = {"kept"};
  SplitToList(" a , b,,c ,", ',', list);
  EXPECT_EQ(list, (TextList{"kept", "a", "b", "", "c"}));
  TextList single;
  SplitToList("  only  ", ',', single);
  EXPECT_EQ(single, TextList{"only"});
  TextList none;
  SplitToList("", ',', none);
  EXPECT_TRUE(none.empty());
  TextList blanks;
  SplitToList(" ; ", ';', blanks);  // the blank after the separator is text: it makes an item
  EXPECT_EQ(blanks, (TextList{"", ""}));
  TextList leading;
  SplitToList(",x", ',', leading);
  EXPECT_EQ(leading, (TextList{"", "x"}));
}

TEST(HelpersSplit, ASeparatorIsOnlyFoundAtACharacterBoundary) {
  // U+00BC is C2 BC: its trail byte BC is never taken for a separator BC.
  TextList list;
  SplitToList("\xC2\xBC\xBCx", '\xBC', list);
  EXPECT_EQ(list, (TextList{"\xC2\xBC", "x"}));
}

TEST(HelpersListContains, ItemsAreComparedTrimmedAndWithoutCase) {
  EXPECT_TRUE(ListContainsItem("Zip ,UnZip", "zip"));
  EXPECT_TRUE(ListContainsItem("Zip ,UnZip", "unzip"));
  EXPECT_FALSE(ListContainsItem("Zip ,UnZip", "Delete"));
  EXPECT_FALSE(ListContainsItem("", ""));
  EXPECT_TRUE(ListContainsItem("a,,b", ""));  // an empty item is an item
  EXPECT_FALSE(ListContainsItem("a,b,", ""));  // a trailing comma adds none
  EXPECT_TRUE(ListContainsItem("\tBrevik\r\n", "BREVIK"));
  EXPECT_FALSE(ListContainsItem("Brevik", " Brevik"));  // the item itself is not trimmed
  EXPECT_TRUE(ListContainsItem("\xC3\x84rger, \xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"));  // ÉTÉ / été
  EXPECT_FALSE(ListContainsItem("Zip UnZip", "Zip"));
}

TEST(HelpersExistence, ExactNamesOnlyAndFoldersThroughTrailingSlashes) {
  ScratchDir scratch;
  const std::string file = scratch / "data.txt";
  const std::string folder = scratch / "sub";
  WriteFileBytes(file, "x");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  EXPECT_TRUE(FileExists(file));
  EXPECT_TRUE(FileExists(folder));  // a folder is found by the path test too
  EXPECT_FALSE(FileExists(scratch / "*.txt"));  // no wildcards
  EXPECT_FALSE(FileExists(scratch / "data.tx?"));
  EXPECT_FALSE(FileExists(file + " "));
  EXPECT_FALSE(FileExists(""));
  EXPECT_TRUE(FolderExists(folder));
  EXPECT_TRUE(FolderExists(folder + "//"));
  EXPECT_TRUE(FolderExists("/"));
  EXPECT_TRUE(FolderExists("///"));
  EXPECT_FALSE(FolderExists(file));
  EXPECT_FALSE(FolderExists(file + "/"));
  EXPECT_FALSE(FolderExists(scratch / "missing"));
  EXPECT_FALSE(FolderExists(""));
  // A "\" is an ordinary character of a Linux name, not a separator to cut.
  EXPECT_FALSE(FolderExists(folder + "\\"));
  ASSERT_EQ(::mkdir((scratch / "back\\").c_str(), 0755), 0);
  EXPECT_TRUE(FolderExists(scratch / "back\\"));
  // A dangling symbolic link names nothing.
  ASSERT_EQ(::symlink((scratch / "gone").c_str(), (scratch / "link").c_str()), 0);
  EXPECT_FALSE(FileExists(scratch / "link"));
}

}  // namespace
