// ZipZip64RecordsTest.cpp -- ZIP64 fields read and written on small archives: extra fields, end records, peers' archives.
#include <gtest/gtest.h>

#include "engine/ZipArchive.h"
#include "engine/ZipConstants.h"
#include "engine/ZipEndian.h"
#include "support/RecordsArchiveBuilder.h"
#include "ZipArchiveTestSupport.h"
#include "RecordsTestMedium.h"

namespace brevik::test {
namespace {

namespace CH = ZipFormat::CentralHeader;
namespace LH = ZipFormat::LocalHeader;

class Zip64Records : public testing::TestWithParam<RecordsMedium> {};

// Reads the packed data of entry `index` after its local header was opened.
std::string ReadPacked(RecordsOpenArchive& archive, std::uint16_t index) {
  archive.central.OpenEntryHeader(index);
  const CZipFileHeader& header = *archive.central.GetHeader(index);
  std::string data(header.m_uComprSize, '\0');
  archive.storage.StorageRead(data.data(), static_cast<std::uint32_t>(header.m_uComprSize), false);
  archive.central.CloseEntryHeader(false);
  return data;
}

TEST_P(Zip64Records, OnlyThePlaceholderFieldsAreTakenFromTheExtraFieldInTheNotesOrder) {
  std::vector<RecordsEntry> entries = {StoredEntry("a.txt", "alpha"), StoredEntry("b.txt", "bravo!")};
  // Entry a: only its uncompressed size and its offset are placeholders, so the block holds
  // those two, in that order. Entry b: only the offset and the disk.
  entries[0].centralExtra = RecordBytes()
                                .U16(0x0001)  // ZIP64 header id
                                .U16(16)      // data size
                                .U64(5)       // original size
                                .U64(0)       // local header offset
                                .str();
  RecordsArchive built = BuildStoredArchive(entries);
  const std::uint64_t offsetB = built.localOffsets[1];
  entries[1].centralExtra = RecordBytes()
                                .U16(0x0001)   // ZIP64 header id
                                .U16(12)       // data size
                                .U64(offsetB)  // local header offset
                                .U32(0)        // disk start
                                .str();
  built = BuildStoredArchive(entries);
  std::string bytes = built.bytes;
  PatchLE(bytes, built.centralOffsets[0] + CH::UncompressedSize, 0xFFFFFFFF, 4);
  PatchLE(bytes, built.centralOffsets[0] + CH::LocalHeaderOffset, 0xFFFFFFFF, 4);
  PatchLE(bytes, built.centralOffsets[1] + CH::LocalHeaderOffset, 0xFFFFFFFF, 4);
  PatchLE(bytes, built.centralOffsets[1] + CH::DiskStart, 0xFFFF, 2);
  RecordsOpenArchive archive(bytes, GetParam());
  archive.central.ReadCentralDir();
  ASSERT_EQ(archive.central.GetCount(), 2);
  const CZipFileHeader& a = *archive.central.GetHeader(0);
  EXPECT_EQ(a.m_uUncomprSize, 5u);
  EXPECT_EQ(a.m_uComprSize, 5u);
  EXPECT_EQ(a.m_uOffset, 0u);
  const CZipFileHeader& b = *archive.central.GetHeader(1);
  EXPECT_EQ(b.m_uOffset, offsetB);
  EXPECT_EQ(b.m_uDiskStart, 0);
  EXPECT_EQ(ReadPacked(archive, 0), "alpha");
  EXPECT_EQ(ReadPacked(archive, 1), "bravo!");

  // A block shorter than its placeholders need is damage, named with the entry.
  std::string shortBlock = bytes;
  PatchLE(shortBlock, built.centralOffsets[0] + CH::CompressedSize, 0xFFFFFFFF, 4);
  RecordsOpenArchive damaged(shortBlock, GetParam());
  const RecordsError error = RecordsErrorOf([&] { damaged.central.ReadCentralDir(); });
  EXPECT_EQ(error.code, 101);
  EXPECT_EQ(error.message, kBadArchiveText);
  EXPECT_EQ(error.detail, "the central header of 'a.txt': the ZIP64 extra field holds 16 bytes, 24 are needed");
}

TEST_P(Zip64Records, APlaceholderWithoutABlockIsTheValueItself) {
  // Writers before ZIP64 could store 0xFFFFFFFF as a size; without a 0x0001 block it stays one.
  std::vector<RecordsEntry> entries = {StoredEntry("a.txt", "alpha")};
  RecordsArchive built = BuildStoredArchive(entries);
  std::string bytes = built.bytes;
  PatchLE(bytes, built.centralOffsets[0] + CH::UncompressedSize, 0xFFFFFFFF, 4);
  RecordsOpenArchive archive(bytes, GetParam());
  archive.central.ReadCentralDir();
  EXPECT_EQ(archive.central.GetHeader(0)->m_uUncomprSize, 0xFFFFFFFFu);
}

INSTANTIATE_TEST_SUITE_P(BothStorages, Zip64Records, testing::Values(RecordsMedium::File, RecordsMedium::Memory),
                         MediumName);

// The fixed part and the extra field of the one central header that `header` writes.
struct WrittenCentral {
  std::string record;
  std::string extra;
};
WrittenCentral WriteCentral(CZipFileHeader& header) {
  CZipMemFile memory;
  CZipStorage storage;
  storage.StorageOpenMemory(memory, CZipStorage::CreateNew);
  const std::uint32_t size = header.WriteCentralHeader(storage);
  storage.StorageFlush();
  std::string bytes(size, '\0');
  memory.Seek(0, CZipAbstractFile::begin);
  memory.Read(bytes.data(), size);
  storage.StorageClose(true);
  const auto nameLength = ReadLE<std::uint16_t>(bytes.data() + CH::NameLength);
  const auto extraLength = ReadLE<std::uint16_t>(bytes.data() + CH::ExtraLength);
  return {bytes.substr(0, CH::Size), bytes.substr(CH::Size + nameLength, extraLength)};
}

TEST(Zip64CentralWrite, OnlyOverflowingFieldsGoIntoTheBlockAndAnOldBlockIsDropped) {
  CZipFileHeader header;
  header.SetEntryName("big.bin");
  header.ConvertName(false);
  header.m_uVersionNeeded = 20;
  header.m_uUncomprSize = 5000000000ull;
  header.m_uComprSize = 1000;
  header.m_uOffset = 0x100000000ull;
  // An old block from the archive the entry was read from, and an unrelated block after it.
  header.m_pExtraField.Assign(RecordBytes()
                                  .U16(0x0001).U16(8).U64(123)          // stale ZIP64 block
                                  .U16(0x5455).U16(5).U16(0).U16(0).Text("\x01")  // "UT" block
                                  .str());
  WrittenCentral written = WriteCentral(header);
  EXPECT_EQ(ReadLE<std::uint16_t>(written.record.data() + CH::VersionNeeded), 45);
  EXPECT_EQ(ReadLE<std::uint32_t>(written.record.data() + CH::UncompressedSize), 0xFFFFFFFFu);
  EXPECT_EQ(ReadLE<std::uint32_t>(written.record.data() + CH::CompressedSize), 1000u);
  EXPECT_EQ(ReadLE<std::uint32_t>(written.record.data() + CH::LocalHeaderOffset), 0xFFFFFFFFu);
  EXPECT_EQ(written.extra, RecordBytes()
                               .U16(0x5455).U16(5).U16(0).U16(0).Text("\x01")  // kept as it was
                               .U16(0x0001).U16(16)     // ZIP64 block: two values
                               .U64(5000000000ull)      // original size
                               .U64(0x100000000ull)     // local header offset
                               .str());

  // Moved below 4 GiB (a deletion in front of it): the block goes, the fields hold the values.
  header.m_uUncomprSize = 10;
  header.m_uOffset = 0xFFFFFFFEull;
  header.m_uVersionNeeded = 20;
  written = WriteCentral(header);
  EXPECT_EQ(ReadLE<std::uint16_t>(written.record.data() + CH::VersionNeeded), 20);
  EXPECT_EQ(ReadLE<std::uint32_t>(written.record.data() + CH::LocalHeaderOffset), 0xFFFFFFFEu);
  EXPECT_EQ(written.extra, RecordBytes().U16(0x5455).U16(5).U16(0).U16(0).Text("\x01").str());
}

TEST(Zip64CentralWrite, AnArchiveThatNeedsNoZip64HasNoneOfItsRecords) {
  CZipMemFile memory;
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(memory, CZipArchive::CreateNew));
  WriteTestEntry(archive, "stored.txt", "stored", 0);
  WriteTestEntry(archive, "deflated.txt", std::string(5000, 'd'));
  archive.Close();
  std::string bytes(static_cast<std::size_t>(memory.GetLength()), '\0');
  memory.Seek(0, CZipAbstractFile::begin);
  memory.Read(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  // No ZIP64 end record, locator, extra block or version 4.5 anywhere.
  EXPECT_EQ(bytes.find("PK\x06\x06"), std::string::npos);
  EXPECT_EQ(bytes.find("PK\x06\x07"), std::string::npos);
  for (std::size_t at = bytes.find("PK\x01\x02"); at != std::string::npos; at = bytes.find("PK\x01\x02", at + 4)) {
    EXPECT_EQ(ReadLE<std::uint16_t>(bytes.data() + at + CH::VersionNeeded), 20);
    EXPECT_EQ(ReadLE<std::uint16_t>(bytes.data() + at + CH::ExtraLength), 0);
  }
  for (std::size_t at = bytes.find("PK\x03\x04"); at != std::string::npos; at = bytes.find("PK\x03\x04", at + 4))
    EXPECT_EQ(ReadLE<std::uint16_t>(bytes.data() + at + LH::ExtraLength), 0);
}

// Python's zipfile makes the ZIP64 archives of this test: with `force_zip64` on small entries, on
// a seekable file (sizes in the local ZIP64 block) and on a pipe (8-byte data descriptors).
TEST(Zip64PeerArchives, PythonForceZip64EntriesAreReadSeekableAndStreamed) {
  ScratchDir dir;
  const std::string script =
      "import sys, zipfile\n"
      "def fill(z):\n"
      "    for name, data, method in (('one.txt', b'first entry', zipfile.ZIP_STORED),\n"
      "                               ('two.txt', b'second ' * 500, zipfile.ZIP_DEFLATED)):\n"
      "        info = zipfile.ZipInfo(name, (2024, 1, 2, 3, 4, 6))\n"
      "        info.compress_type = method\n"
      "        with z.open(info, 'w', force_zip64=True) as f: f.write(data)\n"
      "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z: fill(z)\n"
      "with zipfile.ZipFile(sys.stdout.buffer, 'w', zipfile.ZIP_DEFLATED) as z: fill(z)\n";
  WriteFileBytes(dir / "make.py", script);
  ASSERT_EQ(RunCommand("python3 " + ShellQuote(dir / "make.py") + " " + ShellQuote(dir / "seek.zip") + " | cat > " +
                       ShellQuote(dir / "pipe.zip"))
                .exitStatus,
            0);
  for (const char* name : {"seek.zip", "pipe.zip"}) {
    SCOPED_TRACE(name);
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / name, CZipArchive::OpenReadOnly));
    ASSERT_EQ(archive.GetCount(), 2);
    EXPECT_EQ(ReadTestEntry(archive, 0), "first entry");
    std::string second;
    for (int i = 0; i < 500; ++i) second += "second ";
    EXPECT_EQ(ReadTestEntry(archive, 1), second);
    archive.Close();
  }
}

TEST(Zip64PeerArchives, MoreThan65535EntriesAreRefusedWithTheCount) {
  ScratchDir dir;
  ASSERT_EQ(RunCommand("python3 -c 'import sys, zipfile\n"
                       "with zipfile.ZipFile(sys.argv[1], \"w\") as z:\n"
                       "    for i in range(65536): z.writestr(str(i), b\"\")' " +
                       ShellQuote(dir / "many.zip"))
                .exitStatus,
            0);
  CZipArchive archive;
  try {
    archive.Open(dir / "many.zip", CZipArchive::OpenReadOnly);
    ADD_FAILURE() << "opened";
  } catch (const CZipException& error) {
    EXPECT_EQ(error.GetCause(), 101);
    EXPECT_EQ(error.GetDetail(), "the ZIP64 end record counts 65536 entries, more than the 65535 this engine reads");
  }
}

}  // namespace
}  // namespace brevik::test
