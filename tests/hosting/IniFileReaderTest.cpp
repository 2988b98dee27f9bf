// IniFileReaderTest.cpp -- whole sections and values of any size through the growing buffers.
#include "hosting/IniFileReader.h"

#include <gtest/gtest.h>

#include <string>

#include "support/ScratchDir.h"
#include "support/Shell.h"

using brevik::test::ScratchDir;
using brevik::test::WriteFileBytes;

TEST(IniFileReader, SectionsLongerThanTheFirstBufferAreReadWhole) {
  ScratchDir dir;
  const std::string file = dir / "long.ini";
  // 30 lines of 9 bytes plus their zero bytes: 300 bytes, one doubling past 256.
  std::string text = "[Path]\r\n";
  TextList expected;
  for (int i = 0; i < 30; ++i) {
    std::string line = "Site" + std::to_string(10 + i) + "=/x";
    text += "  " + line + "  \r\n";
    expected.push_back(line);
  }
  // 254 bytes of lines: the read answers size - 2 and is taken again with 512 bytes.
  std::string exact = "[Exact]\n" + std::string(253, 'e') + "\n";
  WriteFileBytes(file, text + exact + "[Big]\n" + std::string(5000, 'b') + "=1\n");

  TextList lines = {"kept"};
  IniFileReader().ReadSection("path", file, lines);
  expected.insert(expected.begin(), "kept");
  EXPECT_EQ(expected, lines);

  TextList exactLines;
  IniFileReader().ReadSection("Exact", file, exactLines);
  EXPECT_EQ(TextList{std::string(253, 'e')}, exactLines);

  TextList big;
  IniFileReader().ReadSection("Big", file, big);
  EXPECT_EQ(TextList{std::string(5000, 'b') + "=1"}, big);

  TextList none;
  IniFileReader().ReadSection("Absent", file, none);
  IniFileReader().ReadSection("Path", dir / "missing.ini", none);
  EXPECT_TRUE(none.empty());
}

TEST(IniFileReader, ValuesOfAnyLengthAreReadWhole) {
  ScratchDir dir;
  const std::string file = dir / "values.ini";
  const std::string fills = std::string(255, 'f');  // exactly size - 1 of the first buffer
  const std::string longer = std::string(1000, 'l');
  WriteFileBytes(file, "[S]\nFills=" + fills + "\nLonger=" + longer + "\nShort= \" a b \" \n");
  IniFileReader reader;
  EXPECT_EQ(fills, reader.ReadString("S", "Fills", file));
  EXPECT_EQ(longer, reader.ReadString("s", "LONGER", file));
  // Quotes keep the inner spaces from the profile read; the reader's own trim then drops them.
  EXPECT_EQ("a b", reader.ReadString("S", "Short", file));
  EXPECT_EQ("", reader.ReadString("S", "Missing", file));
  EXPECT_EQ("", reader.ReadString("S", "Fills", dir / "missing.ini"));
}

TEST(IniFileReader, ByteFAInALineSplitsIt) {
  ScratchDir dir;
  const std::string file = dir / "fa.ini";
  // 0xFA is the reader's own line separator; it cannot occur in valid UTF-8.
  WriteFileBytes(file, "[S]\na=1\xFA b=2\nc=\xC3\xA9\n");
  TextList lines;
  IniFileReader().ReadSection("S", file, lines);
  EXPECT_EQ((TextList{"a=1", "b=2", "c=\xC3\xA9"}), lines);
}
