// ZipAutoBufferTest.cpp -- owned byte blocks: allocation rules, deep copies, slashes and CP437 names.
#include "engine/ZipAutoBuffer.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(ZipAutoBuffer, AllocateReplacesOnlyWhenTheSizeChanges) {
  CZipAutoBuffer buffer;
  EXPECT_FALSE(buffer.IsAllocated());
  EXPECT_EQ(buffer.GetBuffer(), nullptr);

  char* first = buffer.Allocate(4, true);
  EXPECT_EQ(std::string(first, 4), std::string(4, '\0'));
  first[0] = 'k';
  EXPECT_EQ(buffer.Allocate(4), first);  // same size: same block, contents kept
  EXPECT_EQ(buffer.GetBuffer()[0], 'k');
  buffer.Allocate(4, true);  // same size, cleared when asked
  EXPECT_EQ(buffer.GetBuffer()[0], '\0');

  buffer.Allocate(0);
  EXPECT_FALSE(buffer.IsAllocated());
  EXPECT_EQ(buffer.GetBuffer(), nullptr);

  CZipAutoBuffer sized(3, true);
  EXPECT_EQ(sized.GetSize(), 3u);
  sized.Release();
  EXPECT_EQ(sized.GetSize(), 0u);
  EXPECT_EQ(sized.GetBuffer(), nullptr);
}

TEST(ZipAutoBuffer, CopiesAreDeepAndSelfAssignmentKeepsTheBytes) {
  CZipAutoBuffer original;
  original.Assign(std::string_view("name"));
  CZipAutoBuffer copy(original);
  copy.GetBuffer()[0] = 'N';
  EXPECT_EQ(original.ToString(), "name");
  EXPECT_EQ(copy.ToString(), "Name");

  CZipAutoBuffer assigned;
  assigned.Assign(std::string_view("longer text"));
  assigned = original;
  EXPECT_EQ(assigned.ToString(), "name");
  EXPECT_NE(assigned.GetBuffer(), original.GetBuffer());

  CZipAutoBuffer& alias = assigned;
  assigned = alias;
  EXPECT_EQ(assigned.ToString(), "name");

  assigned = CZipAutoBuffer();
  EXPECT_FALSE(assigned.IsAllocated());

  // Assigning a part of itself must copy before the old block goes.
  CZipAutoBuffer self;
  self.Assign(std::string_view("abcdef"));
  self.Assign(self.GetBuffer() + 2, 3);
  EXPECT_EQ(self.ToString(), "cde");

  CZipAutoBuffer moved(std::move(self));
  EXPECT_EQ(moved.ToString(), "cde");
}

TEST(ZipAutoBuffer, FlipSlashesBothWays) {
  CZipAutoBuffer name;
  name.Assign(std::string_view("a/b\\c/d"));
  name.FlipSlashes(true);
  EXPECT_EQ(name.ToString(), "a\\b\\c\\d");
  name.FlipSlashes(false);
  EXPECT_EQ(name.ToString(), "a/b/c/d");
  CZipAutoBuffer empty;
  empty.FlipSlashes(true);
  EXPECT_FALSE(empty.IsAllocated());
}

TEST(ZipAutoBuffer, EveryHighCp437ByteRoundTripsThroughUtf8) {
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    SCOPED_TRACE(byte);
    CZipAutoBuffer name;
    const std::string oem = std::string("a") + static_cast<char>(byte) + "z";
    name.Assign(std::string_view(oem));
    EXPECT_TRUE(name.ConvertOemAnsi(false));
    const std::string utf8 = name.ToString();
    EXPECT_GT(utf8.size(), oem.size());  // a character above 0x7F takes two or three UTF-8 bytes
    EXPECT_TRUE(name.ConvertOemAnsi(true));
    EXPECT_EQ(name.ToString(), oem);
  }
  CZipAutoBuffer known;
  known.Assign(std::string_view("\x81\x9c\xe1"));  // u with diaeresis, pound sign, sharp s
  EXPECT_TRUE(known.ConvertOemAnsi(false));
  EXPECT_EQ(known.ToString(), "\xc3\xbc\xc2\xa3\xc3\x9f");
}

TEST(ZipAutoBuffer, CharactersCp437CannotHoldBecomeQuestionMarks) {
  CZipAutoBuffer name;
  name.Assign(std::string_view("caf\xc3\xa9-\xe2\x82\xac-\xf0\x9f\x98\x80.txt"));  // e acute, euro, emoji
  EXPECT_FALSE(name.ConvertOemAnsi(true));
  EXPECT_EQ(name.ToString(), "caf\x82-?-?.txt");

  CZipAutoBuffer broken;
  broken.Assign(std::string_view("a\xff" "b\xc3"));  // an invalid byte and a cut-off sequence
  EXPECT_FALSE(broken.ConvertOemAnsi(true));
  EXPECT_EQ(broken.ToString(), "a?b?");

  CZipAutoBuffer ascii;
  ascii.Assign(std::string_view("plain/ascii name.txt"));
  EXPECT_TRUE(ascii.ConvertOemAnsi(true));
  EXPECT_EQ(ascii.ToString(), "plain/ascii name.txt");
}

}  // namespace
