// ZipEntryBoundsTest.cpp -- entries whose bytes overlap, or lie past the file, are refused before anything is read or cut.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ZipArchive.h"
#include "engine/ZipMemFile.h"
#include "RecordsTestMedium.h"
#include "support/RecordsArchiveBuilder.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

namespace brevik::test {
namespace {

namespace CH = ZipFormat::CentralHeader;

class EntryBounds : public testing::TestWithParam<RecordsMedium> {};

// The detail of the 101 that reading the directory of `bytes` throws; "" when it reads.
std::string OpenDetail(const std::string& bytes, RecordsMedium medium) {
  RecordsOpenArchive archive(bytes, medium);
  try {
    archive.central.ReadCentralDir();
  } catch (const CZipException& error) {
    EXPECT_EQ(error.GetCause(), 101);
    EXPECT_STREQ(error.what(), kBadArchiveText);
    EXPECT_EQ(archive.central.GetCount(), 0);
    return error.GetDetail();
  }
  return "";
}

TEST_P(EntryBounds, DataThatQuotesTheNextEntryOrTheDirectoryIsRefusedOnOpen) {
  // first.txt: local header at 0 (30 + 9 name + 3 data = 42); dir/second.bin at 42 (30 + 14 +
  // 300 = 344, so it ends at 386); third at 386 (30 + 5 + 0), the directory at 421.
  const RecordsArchive good = BuildStoredArchive(
      {StoredEntry("first.txt", "one"), StoredEntry("dir/second.bin", std::string(300, 'x')), StoredEntry("third", "")});
  ASSERT_EQ(good.localOffsets[1], 42u);
  ASSERT_EQ(good.directoryOffset, 421u);
  EXPECT_EQ(OpenDetail(good.bytes, GetParam()), "");

  // The better zip bomb's shape: the first entry's data claims the second entry's local header.
  std::string quoting = good.bytes;
  PatchLE(quoting, good.centralOffsets[0] + CH::CompressedSize, 3 + 30, 4);
  EXPECT_EQ(OpenDetail(quoting, GetParam()),
            "entry 0 'first.txt' and entry 1 'dir/second.bin' overlap: the local header and data of the first run "
            "from offset 0 to 72, the second starts at offset 42");

  // One byte too many is enough: the name counts as well as the data.
  std::string oneByte = good.bytes;
  PatchLE(oneByte, good.centralOffsets[1] + CH::CompressedSize, 301, 4);
  EXPECT_EQ(OpenDetail(oneByte, GetParam()),
            "entry 1 'dir/second.bin' and entry 2 'third' overlap: the local header and data of the first run "
            "from offset 42 to 387, the second starts at offset 386");

  // The last entry runs into the directory; an offset past the file lies past the directory.
  std::string intoDirectory = good.bytes;
  PatchLE(intoDirectory, good.centralOffsets[2] + CH::CompressedSize, 1, 4);
  EXPECT_EQ(OpenDetail(intoDirectory, GetParam()),
            "entry 2 'third' overlaps the central directory: its local header and data run from offset 386 to "
            "422, the directory starts at offset 421");
  std::string farAway = good.bytes;
  PatchLE(farAway, good.centralOffsets[2] + CH::LocalHeaderOffset, 0xFFFFFF00u, 4);
  EXPECT_EQ(OpenDetail(farAway, GetParam()),
            "entry 2 'third' overlaps the central directory: its local header and data run from offset 4294967040 "
            "to 4294967075, the directory starts at offset 421");

  // Bytes between entries that belong to none are a writer's padding, not an overlap.
  std::string gap = good.bytes;
  PatchLE(gap, good.centralOffsets[1] + CH::CompressedSize, 299, 4);
  EXPECT_EQ(OpenDetail(gap, GetParam()), "");
}

TEST_P(EntryBounds, ALocalExtraFieldThatReachesIntoTheNextEntryIsRefusedWhenTheEntryIsOpened) {
  // The central header cannot tell: its extra field is empty. The local one, 30 bytes, takes
  // the first entry's end from 42 to 72, over the second entry's local header at 42.
  RecordsEntry first = StoredEntry("first.txt", "one");
  const RecordsArchive fits = BuildStoredArchive({first, StoredEntry("second", "two")});
  std::string bytes = fits.bytes;
  PatchLE(bytes, fits.localOffsets[0] + ZipFormat::LocalHeader::ExtraLength, 30, 2);
  RecordsOpenArchive archive(bytes, GetParam());
  archive.central.ReadCentralDir();
  std::string detail;
  try {
    archive.central.OpenEntryHeader(0);
  } catch (const CZipException& error) {
    EXPECT_EQ(error.GetCause(), 101);
    detail = error.GetDetail();
  }
  EXPECT_EQ(detail,
            "entry 0 'first.txt' and entry 1 'second' overlap: the local header and data of the first run from "
            "offset 0 to 72, the second starts at offset 42");
  EXPECT_EQ(archive.central.m_pOpenedFile, nullptr);
  // The other entry is sound and reads.
  archive.central.OpenEntryHeader(1);
  archive.central.CloseEntryHeader(false);
}

INSTANTIATE_TEST_SUITE_P(BothStorages, EntryBounds, testing::Values(RecordsMedium::File, RecordsMedium::Memory),
                         MediumName);

TEST(EntryBoundsDelete, AnArchiveWhoseOffsetLiesPastItsEndIsNeitherOpenedNorGrown) {
  // A 101-byte archive of one stored byte whose local header offset says 0xFFFFFF00: deleting
  // its only entry used to set the file's length to that offset, 4 GiB.
  ScratchDir dir;
  const RecordsArchive built = BuildStoredArchive({StoredEntry("a", "x")});
  std::string bytes = built.bytes;
  ASSERT_EQ(bytes.size(), 101u);
  PatchLE(bytes, built.centralOffsets[0] + CH::LocalHeaderOffset, 0xFFFFFF00u, 4);
  const std::string path = dir / "far.zip";
  WriteFileBytes(path, bytes);
  CZipArchive archive;
  int code = 0;
  try {
    archive.Open(path, CZipArchive::OpenExisting);
  } catch (const CZipException& error) {
    code = error.GetCause();
  }
  EXPECT_EQ(code, 101);
  archive.Close(CZipArchive::CloseAfterError);
  EXPECT_EQ(std::filesystem::file_size(path), 101u);
}

TEST(EntryBoundsDelete, AVolumeNumberInAOneVolumeArchiveNeitherReordersNorMisleadsADeletion) {
  // The second entry's central header names volume 1: sorted by volume it came last, out of file
  // order, and deleting the (then) last entry cut the file at the wrong place (the fuzzer's find).
  const RecordsArchive built = BuildStoredArchive(
      {StoredEntry("first.txt", "one"), StoredEntry("dir/second.bin", std::string(300, 'x')), StoredEntry("third", "")});
  std::string bytes = built.bytes;
  PatchLE(bytes, built.centralOffsets[1] + CH::DiskStart, 1, 2);
  CZipMemFile memory;
  memory.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(memory, CZipArchive::OpenExisting));
    CZipFileHeader info;
    ASSERT_TRUE(archive.GetEntryInfo(info, 1));
    EXPECT_EQ(info.GetFileName(), "dir/second.bin");
    std::vector<std::uint16_t> last{2};
    archive.DeleteEntries(last);
    archive.Close();
  }
  CZipArchive again;
  ASSERT_TRUE(again.Open(memory, CZipArchive::OpenReadOnly));
  ASSERT_EQ(again.GetCount(), 2);
  std::string data(300, '\0');
  ASSERT_TRUE(again.OpenEntryForReading(1));
  EXPECT_EQ(again.ReadEntryData(data.data(), 300), 300u);
  EXPECT_EQ(again.CloseEntryForReading(), 1);
  EXPECT_EQ(data, std::string(300, 'x'));
  again.Close();
}

TEST(EntryBoundsDelete, AMemoryArchiveCutShortUnderItsReaderIsNotGrownByADeletion) {
  // The offsets were sound when the directory was read; the bytes under the archive were cut
  // since (a memory file has no lock to keep that out). The deletion must not set the length to
  // an offset that is no longer inside.
  const RecordsArchive built = BuildStoredArchive(
      {StoredEntry("first.txt", "one"), StoredEntry("dir/second.bin", std::string(300, 'x')), StoredEntry("third", "")});
  CZipMemFile memory;
  memory.Write(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()));
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(memory, CZipArchive::OpenExisting));
  memory.SetLength(40);
  std::vector<std::uint16_t> indexes{1};
  std::string detail;
  try {
    archive.DeleteEntries(indexes);
  } catch (const CZipException& error) {
    EXPECT_EQ(error.GetCause(), 101);
    detail = error.GetDetail();
  }
  EXPECT_EQ(detail, "the end of the entries' data is at file position 421, past the end of the 40-byte file");
  archive.Close(CZipArchive::CloseAfterError);
  EXPECT_EQ(memory.GetLength(), 40u);
}

}  // namespace
}  // namespace brevik::test
