// ZipWholeInflateTest.cpp -- deflated entries inflated in one call: exact data, and sizes or CRCs that lie refused.
#include "ZipArchiveTestSupport.h"

#include "engine/ZipCrc32.h"
#include "engine/ZipWholeInflate.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace brevik::test {
namespace {

namespace fs = std::filesystem;

void PatchBytes(const std::string& path, std::size_t offset, std::uint32_t value) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(static_cast<std::streamoff>(offset));
  const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                         static_cast<char>(value >> 24)};
  file.write(bytes, 4);
}

// One deflated entry, "t.txt", holding `data`; its local header at 0, its central one found.
std::size_t WriteOneEntry(const std::string& path, const std::string& data) {
  CZipArchive archive;
  EXPECT_TRUE(archive.Open(path, CZipArchive::CreateNew));
  WriteTestEntry(archive, "t.txt", data, 6);
  archive.Close();
  const std::string bytes = ReadFileBytes(path);
  return bytes.rfind(std::string("PK\x01\x02", 4));
}

// The CRC and declared size of the entry, in both its headers (APPNOTE 4.3.7 and 4.3.12).
void SetCrcAndSize(const std::string& path, std::size_t central, std::uint32_t crc, std::uint32_t size) {
  PatchBytes(path, 14, crc);
  PatchBytes(path, 22, size);
  PatchBytes(path, central + 16, crc);
  PatchBytes(path, central + 24, size);
}

TEST(ZipWholeInflate, AnEntryComesBackWholeOrInPiecesAndOneAboveTheBoundStreams) {
  ScratchDir dir;
  const std::string small = GeneratedBytes(300000, 4, true);
  const std::string large = GeneratedBytes(static_cast<std::size_t>(CZipWholeInflater::MaxEntryBytes) + 70001, 5, true);
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "w.zip", CZipArchive::CreateNew));
    WriteTestEntry(archive, "small", small, 6);
    WriteTestEntry(archive, "large", large, 6);
    archive.Close();
  }
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "w.zip", CZipArchive::OpenReadOnly));
  // Pieces smaller than the entry are served from the inflated copy.
  EXPECT_EQ(ReadTestEntry(archive, 0, 4096), small);
  EXPECT_EQ(ReadTestEntry(archive, 1, 65536), large);
  EXPECT_TRUE(archive.ExtractEntry(0, dir / "out"));
  EXPECT_TRUE(archive.ExtractEntry(1, dir / "out"));
  EXPECT_EQ(ReadFileBytes(dir / "out/small"), small);
  EXPECT_EQ(ReadFileBytes(dir / "out/large"), large);
  archive.Close();
}

TEST(ZipWholeInflate, ADeclaredSizeSmallerThanTheDataIsDamageEvenWithTheMatchingCrc) {
  ScratchDir dir;
  const std::string data = GeneratedBytes(100000, 6, true);
  const std::string path = dir / "lie.zip";
  const std::size_t central = WriteOneEntry(path, data);
  // The header claims only the first half, with that half's CRC: read to the declared size
  // alone, the entry would seem sound.
  SetCrcAndSize(path, central, ZipCrc32(0, data.data(), 50000), 50000);
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly));
  std::string message;
  std::string detail;
  const int code = ZipErrorOf([&] {
    try {
      archive.ExtractEntry(0, dir / "out");
    } catch (const CZipException& error) {
      detail = error.GetDetail();
      throw;
    }
  }, &message);
  EXPECT_EQ(code, 101);
  EXPECT_EQ(detail, "entry 0 't.txt' (Deflate): the data goes on past the entry's declared size of 50000 bytes");
  EXPECT_FALSE(fs::exists(dir / "out/t.txt"));
  archive.Close(CZipArchive::CloseAfterError);
}

TEST(ZipWholeInflate, AStreamedEntryWhoseDataGoesOnPastItsDeclaredSizeIsRefusedToo) {
  ScratchDir dir;
  const std::string data = GeneratedBytes(static_cast<std::size_t>(CZipWholeInflater::MaxEntryBytes) + 200000, 8, true);
  const std::string path = dir / "lie.zip";
  const std::size_t central = WriteOneEntry(path, data);
  // Above the whole-inflate bound, and not a multiple of the 64 KiB buffer.
  const std::uint32_t declared = static_cast<std::uint32_t>(CZipWholeInflater::MaxEntryBytes) + 100;
  SetCrcAndSize(path, central, ZipCrc32(0, data.data(), declared), declared);
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly));
  std::string message;
  EXPECT_EQ(ZipErrorOf([&] { archive.ExtractEntry(0, dir / "out"); }, &message), 506);
  EXPECT_EQ(message, "Zlib library error (buffer error)");
  EXPECT_FALSE(fs::exists(dir / "out/t.txt"));
  archive.Close(CZipArchive::CloseAfterError);
}

TEST(ZipWholeInflate, AWrongCrcOrADeclaredSizeLargerThanTheDataKeepsNoFile) {
  ScratchDir dir;
  const std::string data = GeneratedBytes(100000, 7, true);
  const std::string path = dir / "bad.zip";
  const std::size_t central = WriteOneEntry(path, data);
  const std::uint32_t crc = ZipCrc32(0, data.data(), data.size());

  SetCrcAndSize(path, central, crc ^ 1, 100000);
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly));
    std::string message;
    EXPECT_EQ(ZipErrorOf([&] { archive.ExtractEntry(0, dir / "crc"); }, &message), 102);
    EXPECT_EQ(message, "Crc mismatched");
    EXPECT_FALSE(fs::exists(dir / "crc/t.txt"));
    archive.Close(CZipArchive::CloseAfterError);
  }
  // Data that ends before its declared size: the streaming path's refusal, as before.
  SetCrcAndSize(path, central, crc, 100001);
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly));
    EXPECT_FALSE(archive.ExtractEntry(0, dir / "short"));
    EXPECT_EQ(archive.GetExtractRefusal(), 134);
    EXPECT_FALSE(fs::exists(dir / "short/t.txt"));
    archive.Close(CZipArchive::CloseAfterError);
  }
}

}  // namespace
}  // namespace brevik::test
