// ZipMemFileTest.cpp -- the memory file's growth steps, seeking, reading, length changes and closing.
#include "engine/ZipMemFile.h"

#include <string>

#include <gtest/gtest.h>

#include "engine/ZipException.h"
#include "engine/ZipFileException.h"

namespace {

std::string ReadAll(CZipMemFile& file) {
  file.SeekToBegin();
  std::string bytes(file.GetLength(), '\0');
  const std::uint32_t got = file.Read(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  bytes.resize(got);
  return bytes;
}

TEST(ZipMemFile, CapacityGrowsInWholeSteps) {
  CZipMemFile one;
  EXPECT_TRUE(one.IsClosed());
  one.Write("a", 1);
  EXPECT_EQ(one.GetCapacity(), 1024u);
  EXPECT_FALSE(one.IsClosed());
  one.Write(std::string(1023, 'b').data(), 1023);
  EXPECT_EQ(one.GetCapacity(), 1024u);
  one.Write("c", 1);
  EXPECT_EQ(one.GetCapacity(), 2048u);
  EXPECT_EQ(one.GetLength(), 1025u);

  CZipMemFile bulk;
  const std::string block(1025, 'x');
  bulk.Write(block.data(), 1025);
  EXPECT_EQ(bulk.GetCapacity(), 2048u);

  CZipMemFile odd(100);
  odd.Write(std::string(250, 'y').data(), 250);
  EXPECT_EQ(odd.GetCapacity(), 300u);

  CZipMemFile nothing;
  nothing.Write("z", 0);
  EXPECT_EQ(nothing.GetCapacity(), 0u);
  EXPECT_TRUE(nothing.IsClosed());
}

TEST(ZipMemFile, SeekHasNoUpperBoundAndReadsThereGiveNothing) {
  CZipMemFile file;
  file.Write("12345", 5);
  EXPECT_EQ(file.Seek(10, CZipAbstractFile::end), 15u);
  char byte = '?';
  EXPECT_EQ(file.Read(&byte, 1), 0u);
  EXPECT_EQ(file.GetPosition(), 15u);

  EXPECT_EQ(file.Seek(2, CZipAbstractFile::begin), 2u);
  EXPECT_EQ(file.Seek(1, CZipAbstractFile::current), 3u);
  EXPECT_EQ(file.Seek(-1, CZipAbstractFile::current), 2u);
  EXPECT_EQ(file.Seek(99, 7), 2u);  // an unknown origin changes nothing
  char two[8] = {};
  EXPECT_EQ(file.Read(two, 8), 3u);
  EXPECT_EQ(std::string(two, 3), "345");
  EXPECT_EQ(file.GetPosition(), 5u);

  try {
    file.Seek(-6, CZipAbstractFile::end);
    FAIL() << "a position before the start was accepted";
  } catch (const CZipFileException& error) {
    EXPECT_STREQ(error.what(), "Invalid argument ()");
  }
  EXPECT_EQ(file.GetPosition(), 5u);
  EXPECT_EQ(file.Seek(-5, CZipAbstractFile::end), 0u);
}

TEST(ZipMemFile, WritingPastTheEndFillsTheGapWithZeros) {
  CZipMemFile file;
  file.Write("ab", 2);
  file.Seek(5, CZipAbstractFile::begin);
  file.Write("cd", 2);
  EXPECT_EQ(file.GetLength(), 7u);
  EXPECT_EQ(ReadAll(file), std::string("ab\0\0\0cd", 7));

  // Overwriting in the middle keeps the length.
  file.Seek(1, CZipAbstractFile::begin);
  file.Write("XY", 2);
  EXPECT_EQ(file.GetLength(), 7u);
  EXPECT_EQ(file.GetPosition(), 3u);
  EXPECT_EQ(ReadAll(file), std::string("aXY\0\0cd", 7));
}

TEST(ZipMemFile, SetLengthBothWays) {
  CZipMemFile file;
  file.Write("0123456789", 10);
  file.Seek(2, CZipAbstractFile::begin);

  file.SetLength(0);
  EXPECT_EQ(file.GetLength(), 0u);
  EXPECT_EQ(file.GetPosition(), 0u);
  EXPECT_EQ(file.GetCapacity(), 1024u);  // shrinking never releases memory

  // Within the capacity the position follows the length; the old bytes do not come back.
  file.SetLength(4);
  EXPECT_EQ(file.GetPosition(), 4u);
  EXPECT_EQ(ReadAll(file), std::string(4, '\0'));

  // Beyond the capacity the file grows and the position stays.
  file.Seek(1, CZipAbstractFile::begin);
  file.SetLength(3000);
  EXPECT_EQ(file.GetCapacity(), 3072u);
  EXPECT_EQ(file.GetPosition(), 1u);
  EXPECT_EQ(file.GetLength(), 3000u);
  EXPECT_EQ(ReadAll(file), std::string(3000, '\0'));
}

TEST(ZipMemFile, ClosedFileCannotGrowAgain) {
  CZipMemFile file;
  file.Write("abc", 3);
  file.Close();
  EXPECT_TRUE(file.IsClosed());
  EXPECT_EQ(file.GetLength(), 0u);
  EXPECT_EQ(file.GetPosition(), 0u);
  EXPECT_EQ(file.GetCapacity(), 0u);
  EXPECT_EQ(file.GetGrowBy(), 0u);
  file.Close();  // a second close does nothing

  try {
    file.Write("d", 1);
    FAIL() << "a closed memory file grew";
  } catch (const CZipException& error) {
    EXPECT_EQ(error.GetCause(), 505);
    EXPECT_EQ(error.GetFileName(), "");
    EXPECT_STREQ(error.what(), "Not enough memory");
  }
  EXPECT_THROW(file.SetLength(1), CZipException);
  file.SetLength(0);
  EXPECT_EQ(file.GetFilePath(), "");
}

TEST(ZipMemFile, ImpossibleGrowthIsNotEnoughMemory) {
  CZipMemFile file;
  file.Seek(INT64_MAX, CZipAbstractFile::begin);
  try {
    file.Seek(INT64_MAX, CZipAbstractFile::current);
    file.Write("x", 1);
    FAIL() << "a write at an impossible position succeeded";
  } catch (const CZipException& error) {
    EXPECT_EQ(error.GetCause(), 505);
  }
  EXPECT_EQ(file.GetLength(), 0u);
}

}  // namespace
