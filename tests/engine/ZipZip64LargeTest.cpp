// ZipZip64LargeTest.cpp -- entries and archives past 4 GiB, made from one sparse 4.4 GB source and checked by the peers.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "engine/ZipArchive.h"
#include "engine/ZipConstants.h"
#include "engine/ZipEndian.h"
#include "engine/ZipFile.h"
#include "support/EntryEditPeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipArchiveTestSupport.h"

namespace brevik::test {
namespace {

namespace LH = ZipFormat::LocalHeader;

constexpr std::uint64_t kSourceBytes = 4400000000ull;
// Two marks in the otherwise empty source: one just past 4 GiB, one at its very end.
constexpr std::uint64_t kMiddleMarkAt = 0x100000004ull;
constexpr std::uint64_t kTailMarkAt = kSourceBytes - 4;

// Every test here reads or packs the one sparse source; packing it costs seconds per pass, so the
// source is made once for the program, and each archive once.
class Zip64Large : public testing::Test {
protected:
  static void SetUpTestSuite() {
    scratch_ = std::make_unique<ScratchDir>();
    source_ = *scratch_ / "big.bin";
    const std::string quoted = ShellQuote(source_);
    ASSERT_EQ(RunCommand("truncate -s " + std::to_string(kSourceBytes) + " " + quoted +
                         " && printf mid | dd of=" + quoted + " bs=1 seek=" + std::to_string(kMiddleMarkAt) +
                         " conv=notrunc status=none && printf tail | dd of=" + quoted + " bs=1 seek=" +
                         std::to_string(kTailMarkAt) + " conv=notrunc status=none")
                  .exitStatus,
              0);
  }
  static void TearDownTestSuite() { scratch_.reset(); }

  static std::unique_ptr<ScratchDir> scratch_;
  static std::string source_;
};
std::unique_ptr<ScratchDir> Zip64Large::scratch_;
std::string Zip64Large::source_;

// Reads entry `index` whole through the engine, which checks its CRC at the end; returns the
// bytes counted and what lies at the two marks.
struct WholeRead {
  std::uint64_t bytes = 0;
  std::string middleMark, tailMark;
  int closeResult = 0;
};
WholeRead ReadWhole(CZipArchive& archive, int index) {
  WholeRead result;
  EXPECT_TRUE(archive.OpenEntryForReading(index));
  std::vector<char> piece(1 << 20);
  for (;;) {
    const std::uint32_t got = archive.ReadEntryData(piece.data(), static_cast<std::uint32_t>(piece.size()));
    const std::uint64_t start = result.bytes;
    const auto take = [&](std::uint64_t at, std::size_t count, std::string& into) {
      for (std::uint64_t i = at; i < at + count; ++i)
        if (i >= start && i < start + got) into += piece[static_cast<std::size_t>(i - start)];
    };
    take(kMiddleMarkAt, 3, result.middleMark);
    take(kTailMarkAt, 4, result.tailMark);
    result.bytes += got;
    if (got == 0) break;
  }
  result.closeResult = archive.CloseEntryForReading(nullptr, false);
  return result;
}

void ExpectWholeSource(CZipArchive& archive, int index) {
  const WholeRead read = ReadWhole(archive, index);
  EXPECT_EQ(read.bytes, kSourceBytes);
  EXPECT_EQ(read.middleMark, "mid");
  EXPECT_EQ(read.tailMark, "tail");
  EXPECT_EQ(read.closeResult, 1);  // the CRC matched
}

// The archive at `path` holds the source as its only entry, with its exact size, whole.
void ExpectTheSourceAlone(const std::string& path) {
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly));
  ASSERT_EQ(archive.GetCount(), 1);
  EXPECT_EQ(EntryInfo(archive, 0).m_uUncomprSize, kSourceBytes);
  ExpectWholeSource(archive, 0);
  archive.Close();
}

// `count` bytes of the file at `path` from `offset` (from its end when negative), without reading the rest.
std::string BytesAt(const std::string& path, std::int64_t offset, std::uint32_t count) {
  std::string bytes(count, '\0');
  CZipFile file;
  EXPECT_TRUE(file.Open(path, CZipFile::modeRead, false));
  file.Seek(offset, offset < 0 ? CZipAbstractFile::end : CZipAbstractFile::begin);
  EXPECT_EQ(file.Read(bytes.data(), count), count);
  return bytes;
}

std::string PythonTestZip(const std::string& archive) {
  const CommandResult result =
      RunCommand("python3 -c 'import sys, zipfile\nprint(zipfile.ZipFile(sys.argv[1]).testzip())' " +
                 ShellQuote(archive) + " 2>&1");
  return result.output;
}

TEST_F(Zip64Large, InfoZipsArchiveOfTheSourceIsReadWithItsExactSizeAndCrc) {
  const std::string archivePath = *scratch_ / "infozip.zip";
  ASSERT_EQ(RunCommand("cd " + ShellQuote(scratch_->path()) + " && zip -q -1 infozip.zip big.bin").exitStatus, 0);
  ExpectTheSourceAlone(archivePath);
}

TEST_F(Zip64Large, AStoredArchivePastFourGibibytesTakesAppendsAndDeletionsAcrossTheLine) {
  const std::string archivePath = *scratch_ / "stored.zip";
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(archivePath, CZipArchive::CreateNew));
    WriteTestEntry(archive, "first.txt", "in front of the large one", 0);
    ASSERT_TRUE(archive.AddFile(source_, 0, false));
    archive.Close();
  }
  {
    // Appended in a later session: its local header starts past 4 GiB, and so does the directory.
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(archivePath, CZipArchive::OpenExisting));
    WriteTestEntry(archive, "after.txt", "behind the large one");
    archive.Close();
  }
  std::uint64_t largeHeaderAt = 0;
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(archivePath, CZipArchive::OpenReadOnly));
    ASSERT_EQ(archive.GetCount(), 3);
    EXPECT_EQ(EntryInfo(archive, 1).m_uUncomprSize, kSourceBytes);
    EXPECT_GT(EntryInfo(archive, 2).m_uOffset, 0xFFFFFFFFull);
    largeHeaderAt = EntryInfo(archive, 1).m_uOffset;
    EXPECT_EQ(ReadTestEntry(archive, 2), "behind the large one");
    ExpectWholeSource(archive, 1);
    archive.Close();
  }
  // The ZIP64 end record and its locator stand right before the end record.
  const std::string tail = BytesAt(archivePath, -98, 98);
  EXPECT_EQ(ReadLE<std::uint32_t>(tail.data()), ZipFormat::Zip64EndRecordSignature);
  EXPECT_EQ(ReadLE<std::uint32_t>(tail.data() + 56), ZipFormat::Zip64LocatorSignature);
  EXPECT_EQ(ReadLE<std::uint32_t>(tail.data() + 76 + 16), 0xFFFFFFFFu);  // directory offset: placeholder

  // The large entry's local header: placeholders in both size fields, the sizes in the ZIP64
  // block first in its extra field (patched in after the data), version 4.5.
  const std::string head = BytesAt(archivePath, static_cast<std::int64_t>(largeHeaderAt), 64);
  ASSERT_EQ(ReadLE<std::uint32_t>(head.data()), ZipFormat::LocalHeaderSignature);
  EXPECT_EQ(ReadLE<std::uint16_t>(head.data() + LH::VersionNeeded), 45);
  EXPECT_EQ(ReadLE<std::uint32_t>(head.data() + LH::CompressedSize), 0xFFFFFFFFu);
  EXPECT_EQ(ReadLE<std::uint32_t>(head.data() + LH::UncompressedSize), 0xFFFFFFFFu);
  const std::size_t block = LH::Size + ReadLE<std::uint16_t>(head.data() + LH::NameLength);
  EXPECT_EQ(ReadLE<std::uint16_t>(head.data() + block), 0x0001);
  EXPECT_EQ(ReadLE<std::uint16_t>(head.data() + block + 2), 16);
  EXPECT_EQ(ReadLE<std::uint64_t>(head.data() + block + 4), kSourceBytes);
  EXPECT_EQ(ReadLE<std::uint64_t>(head.data() + block + 12), kSourceBytes);

  const CommandResult unzip = RunCommand("unzip -tqq " + ShellQuote(archivePath));
  EXPECT_EQ(unzip.exitStatus, 0) << unzip.output;
  const CommandResult sevenZip = RunCommand("7zz t -bd " + ShellQuote(archivePath));
  EXPECT_EQ(sevenZip.exitStatus, 0) << sevenZip.output;
  EXPECT_EQ(PythonTestZip(archivePath), "None\n");
  const CommandResult listing = RunCommand("bsdtar -tf " + ShellQuote(archivePath));
  EXPECT_EQ(listing.output, "first.txt\nbig.bin\nafter.txt\n");

  // Deleting the large entry brings the last one below 4 GiB: it loses its ZIP64 offset, and the
  // archive its ZIP64 end record.
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(archivePath, CZipArchive::OpenExisting));
    CZipArray<std::uint16_t> indexes;
    indexes.push_back(1);
    archive.DeleteEntries(indexes);
    archive.Close();
  }
  const std::string bytes = ReadFileBytes(archivePath);
  EXPECT_LT(bytes.size(), 1000u);
  EXPECT_EQ(bytes.find("PK\x06\x06"), std::string::npos);
  const CommandResult unzipAfter = RunCommand("unzip -tqq " + ShellQuote(archivePath));
  EXPECT_EQ(unzipAfter.exitStatus, 0) << unzipAfter.output;
  EXPECT_EQ(PythonTestZip(archivePath), "None\n");
  EXPECT_EQ(PeerExtract(archivePath, "after.txt"), "behind the large one");
}

TEST_F(Zip64Large, ASplitArchiveCarriesTheEntrysZip64SizesInItsDescriptorAndDirectory) {
  // Split volumes always take a data descriptor: after a ZIP64 local header it has 8-byte sizes.
  const std::string archivePath = *scratch_ / "split.zip";
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(archivePath, CZipArchive::CreateSpanned, 1000000));
    ASSERT_TRUE(archive.AddFile(source_, -1, false));
    archive.Close();
  }
  EXPECT_TRUE(std::filesystem::exists(*scratch_ / "split.z04"));
  const CommandResult sevenZip = RunCommand("7zz t -bd " + ShellQuote(archivePath));
  EXPECT_EQ(sevenZip.exitStatus, 0) << sevenZip.output;
  ExpectTheSourceAlone(archivePath);
}

TEST_F(Zip64Large, DataOfUnknownSizePastFourGibibytesIsRefusedRatherThanWrittenWithWrongSizes) {
  // Written through the low-level calls, the size is not known in advance: the local header has
  // no ZIP64 block, so the entry is refused when its size reaches 4 GiB, and can be taken out.
  const std::string archivePath = *scratch_ / "unknown.zip";
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(archivePath, CZipArchive::CreateNew));
  WriteTestEntry(archive, "kept.txt", "kept");
  CZipFileHeader header;
  header.SetEntryName("endless.bin");
  ASSERT_TRUE(archive.OpenEntryForWriting(header, 1));
  const std::string zeros(1 << 20, '\0');
  std::uint64_t written = 0;
  CZipException failure(0, "");
  try {
    for (; written <= kSourceBytes; written += zeros.size())
      archive.WriteEntryData(zeros.data(), static_cast<std::uint32_t>(zeros.size()));
  } catch (const CZipException& error) {
    failure = error;
  }
  EXPECT_EQ(written, 0x100000000ull - zeros.size());
  EXPECT_EQ(failure.GetCause(), 27);
  EXPECT_EQ(failure.GetErrorDescription(), "File too large");
  EXPECT_EQ(failure.GetDetail(),
            "the entry's size reached 4294967296 bytes, past the 4 GiB its local header can hold: its source's size was "
            "not known in advance");
  archive.CloseEntryForWriting(true);
  EXPECT_TRUE(archive.RemoveLastEntry(true));
  archive.Close();
  const CommandResult unzip = RunCommand("unzip -tqq " + ShellQuote(archivePath));
  EXPECT_EQ(unzip.exitStatus, 0) << unzip.output;
  EXPECT_EQ(PeerExtract(archivePath, "kept.txt"), "kept");
}

}  // namespace
}  // namespace brevik::test
