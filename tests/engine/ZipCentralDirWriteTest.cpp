// ZipCentralDirWriteTest.cpp -- writing entries and the directory: plain, split, converted, with progress; name look-up.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "engine/ZipActionCallback.h"
#include "engine/ZipConstants.h"
#include "engine/ZipEndian.h"
#include "RecordsEntryWriter.h"
#include "RecordsTestMedium.h"

namespace brevik::test {
namespace {

class ProgressLog : public CZipActionCallback {
public:
  explicit ProgressLog(int stopAtStep = 0) : stopAtStep_(stopAtStep) {}
  void Begin(const char*, const char*) override { events += "Begin;"; }
  void SetTotal(std::uint32_t total) override { events += "Total " + std::to_string(total) + ";"; }
  void End() override { events += "End;"; }
  bool Step(std::uint32_t amount) override {
    events += "Step " + std::to_string(amount) + ";";
    return ++steps_ != stopAtStep_;
  }
  std::string events;

private:
  int stopAtStep_;
  int steps_ = 0;
};

// A new archive in a file or in memory, with its directory.
class NewArchive {
public:
  explicit NewArchive(RecordsMedium medium) : medium_(medium) {
    if (medium == RecordsMedium::File)
      storage.StorageOpen(dir_ / "new.zip", CZipStorage::CreateNew, 0);
    else
      storage.StorageOpenMemory(memory_, CZipStorage::CreateNew);
  }
  ~NewArchive() {
    if (storage.IsOpen()) storage.StorageClose(true);
  }
  /// Closes the storage and returns the archive bytes.
  std::string Finish() {
    storage.StorageClose(false);
    return medium_ == RecordsMedium::File
               ? ReadFileBytes(dir_ / "new.zip")
               : std::string(reinterpret_cast<const char*>(memory_.GetData()), memory_.GetLength());
  }
  CZipStorage storage;
  CZipCentralDir central{&storage};

private:
  RecordsMedium medium_;
  ScratchDir dir_;
  CZipMemFile memory_;
};

class CentralDirWrite : public testing::TestWithParam<RecordsMedium> {};

TEST_P(CentralDirWrite, OrdinaryArchiveHasCrcAndSizesInItsLocalHeaders) {
  NewArchive archive(GetParam());
  WriteStoredEntry(archive.central, archive.storage, "a.txt", "alpha");
  WriteStoredEntry(archive.central, archive.storage, "b/c.txt", std::string(70000, 'c'));
  WriteStoredEntry(archive.central, archive.storage, "secret.txt", "hidden", "pw");
  archive.central.m_pszComment.Assign("the comment");
  archive.central.WriteCentralDir(nullptr);
  EXPECT_TRUE(archive.central.m_bOnDisk);
  const std::string bytes = archive.Finish();

  // Unencrypted entries: no descriptor, CRC in the local header. The encrypted one: bit 3, a
  // signed descriptor, and the values in its local header as well.
  EXPECT_EQ(ReadLE<std::uint16_t>(bytes.data() + ZipFormat::LocalHeader::Flags), 0);
  EXPECT_EQ(ReadLE<std::uint32_t>(bytes.data() + ZipFormat::LocalHeader::Crc), RecordsCrc("alpha"));
  RecordsOpenArchive reread(bytes, GetParam());
  reread.central.ReadCentralDir();
  ASSERT_EQ(reread.central.GetCount(), 3);
  EXPECT_EQ(reread.central.m_pszComment.ToString(), "the comment");
  // The small entries got their values while still in the write buffer, the one larger than the
  // buffer through a seek back; both ways end in the same local header.
  const std::size_t large = reread.central.GetHeader(1)->m_uOffset;
  EXPECT_EQ(ReadLE<std::uint32_t>(bytes.data() + large + ZipFormat::LocalHeader::Crc),
            RecordsCrc(std::string(70000, 'c')));
  EXPECT_EQ(ReadLE<std::uint32_t>(bytes.data() + large + ZipFormat::LocalHeader::Crc + 4), 70000u);
  EXPECT_EQ(ReadLE<std::uint32_t>(bytes.data() + large + ZipFormat::LocalHeader::Crc + 8), 70000u);
  const CZipFileHeader& secret = *reread.central.GetHeader(2);
  EXPECT_EQ(secret.m_uFlag, 0x0009);
  EXPECT_EQ(secret.m_uComprSize, 18u);
  const std::size_t local = secret.m_uOffset;
  EXPECT_EQ(ReadLE<std::uint32_t>(bytes.data() + local + ZipFormat::LocalHeader::Crc), RecordsCrc("hidden"));
  EXPECT_EQ(ReadLE<std::uint32_t>(bytes.data() + local + ZipFormat::LocalHeader::Crc + 4), 18u);
  const std::size_t descriptor = local + ZipFormat::LocalHeader::Size + 10 + 18;
  EXPECT_EQ(ReadLE<std::uint32_t>(bytes.data() + descriptor), ZipFormat::DataDescriptorSignature);
  for (std::uint16_t i = 0; i < 3; ++i) {
    reread.central.OpenEntryHeader(i);
    std::string data(reread.central.GetHeader(i)->m_uComprSize, '\0');
    reread.storage.StorageRead(data.data(), static_cast<std::uint32_t>(data.size()), false);
    reread.central.CloseEntryHeader(false);
    if (i == 0) {
      EXPECT_EQ(data, "alpha");
    }
  }
}

TEST_P(CentralDirWrite, ProgressStepsAndAStopThatLeavesTheArchiveSafe) {
  NewArchive archive(GetParam());
  for (int i = 0; i < 600; ++i) WriteStoredEntry(archive.central, archive.storage, "e" + std::to_string(i), "x");
  ProgressLog log;
  archive.central.WriteCentralDir(&log);
  EXPECT_EQ(log.events, "Begin;Total 600;Step 1;Step 256;Step 256;Step 87;End;");

  NewArchive stopped(GetParam());
  for (int i = 0; i < 300; ++i) WriteStoredEntry(stopped.central, stopped.storage, "e" + std::to_string(i), "x");
  ProgressLog stopper(1);
  const RecordsError error = RecordsErrorOf([&] { stopped.central.WriteCentralDir(&stopper); });
  EXPECT_EQ(error.code, 106);
  EXPECT_EQ(error.message, "Action aborted safely");
  EXPECT_EQ(stopper.events, "Begin;Total 300;Step 1;End;");
  EXPECT_FALSE(stopped.central.m_bOnDisk);
  EXPECT_EQ(stopped.storage.m_pFile->GetLength(), stopped.central.m_info.m_uOffset);
  // Saving again writes the whole directory.
  stopped.central.WriteCentralDir(nullptr);
  RecordsOpenArchive reread(stopped.Finish(), GetParam());
  reread.central.ReadCentralDir();
  EXPECT_EQ(reread.central.GetCount(), 300);
}

TEST_P(CentralDirWrite, AppendingCutsTheOldDirectory) {
  NewArchive archive(GetParam());
  WriteStoredEntry(archive.central, archive.storage, "one", "1");
  archive.central.WriteCentralDir(nullptr);
  const std::uint32_t directory = archive.central.m_info.m_uOffset;
  WriteStoredEntry(archive.central, archive.storage, "two", "22");
  EXPECT_EQ(archive.central.GetHeader(1)->m_uOffset, directory);
  archive.central.WriteCentralDir(nullptr);
  RecordsOpenArchive reread(archive.Finish(), GetParam());
  reread.central.ReadCentralDir();
  ASSERT_EQ(reread.central.GetCount(), 2);
  EXPECT_EQ(reread.central.GetHeader(1)->GetFileName(), "two");
}

INSTANTIATE_TEST_SUITE_P(BothStorages, CentralDirWrite, testing::Values(RecordsMedium::File, RecordsMedium::Memory),
                         MediumName);

TEST(CentralDirSplit, ArchiveThatFitsOneVolumeBecomesOrdinary) {
  for (const bool flushedFirst : {false, true}) {
    SCOPED_TRACE(flushedFirst ? "converted in the file" : "converted in the buffer");
    ScratchDir dir;
    CZipStorage storage;
    if (flushedFirst) storage.m_iWriteBufferSize = 64;  // the data reaches the file before the directory
    storage.StorageOpen(dir / "one.zip", CZipStorage::CreateSpanned, 100000);
    CZipCentralDir central(&storage);
    WriteStoredEntry(central, storage, "a.txt", "alpha");
    WriteStoredEntry(central, storage, "s.txt", "secret", "pw");
    WriteStoredEntry(central, storage, "b.txt", std::string(500, 'b'));
    central.WriteCentralDir(nullptr);
    EXPECT_EQ(storage.StorageClose(false), dir / "one.zip");
    struct stat info {};
    EXPECT_NE(stat((dir / "one.z01").c_str(), &info), 0);
    const std::string bytes = ReadFileBytes(dir / "one.zip");
    EXPECT_EQ(ReadLE<std::uint32_t>(bytes.data()), ZipFormat::LocalHeaderSignature);
    // a.txt: header, 5 bytes, no descriptor; s.txt keeps its signed descriptor; b.txt none.
    const std::uint32_t second = ZipFormat::LocalHeader::Size + 5 + 5;
    const std::uint32_t third = second + ZipFormat::LocalHeader::Size + 5 + 12 + 6 + 16;
    EXPECT_EQ(ReadLE<std::uint32_t>(bytes.data() + second), ZipFormat::LocalHeaderSignature);
    EXPECT_EQ(ReadLE<std::uint32_t>(bytes.data() + third), ZipFormat::LocalHeaderSignature);
    EXPECT_EQ(ReadLE<std::uint32_t>(bytes.data() + third + ZipFormat::LocalHeader::Size + 5 + 500),
              ZipFormat::CentralHeaderSignature);

    RecordsOpenArchive reread(bytes, RecordsMedium::Memory);
    reread.central.ReadCentralDir();
    EXPECT_FALSE(reread.storage.IsSpanned());
    ASSERT_EQ(reread.central.GetCount(), 3);
    EXPECT_EQ(reread.central.GetHeader(0)->m_uFlag, 0);
    EXPECT_EQ(reread.central.GetHeader(1)->m_uFlag, 0x0009);
    EXPECT_EQ(reread.central.GetHeader(2)->m_uOffset, third);
    for (std::uint16_t i = 0; i < 3; ++i) {
      reread.central.OpenEntryHeader(i);
      std::string data(reread.central.GetHeader(i)->m_uComprSize, '\0');
      reread.storage.StorageRead(data.data(), static_cast<std::uint32_t>(data.size()), false);
      reread.central.CloseEntryHeader(false);
    }
  }
}

TEST(CentralDirSplit, ArchiveOverSeveralVolumesReadsBack) {
  ScratchDir dir;
  std::vector<std::string> contents;
  {
    CZipStorage storage;
    storage.StorageOpen(dir / "multi.zip", CZipStorage::CreateSpanned, 300);
    CZipCentralDir central(&storage);
    for (int i = 0; i < 6; ++i) {
      contents.push_back(GeneratedBytes(150 + 40 * i, i, false));
      WriteStoredEntry(central, storage, "entry" + std::to_string(i), contents.back(), i == 2 ? "pw" : "");
    }
    central.WriteCentralDir(nullptr);
    EXPECT_GT(storage.GetCurrentVolume(), 2);
    storage.StorageClose(false);
  }
  EXPECT_EQ(ReadFileBytes(dir / "multi.z01").substr(0, 4), std::string("PK\x07\x08", 4));
  CZipStorage storage;
  storage.StorageOpen(dir / "multi.zip", CZipStorage::OpenReadOnly, 0);
  CZipCentralDir central(&storage);
  central.ReadCentralDir();
  EXPECT_EQ(storage.m_iSpanMode, CZipStorage::SplitSpanned);
  ASSERT_EQ(central.GetCount(), 6);
  for (std::uint16_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    central.OpenEntryHeader(i);
    const CZipFileHeader& header = *central.GetHeader(i);
    std::string data(header.m_uComprSize, '\0');
    storage.StorageRead(data.data(), static_cast<std::uint32_t>(data.size()), false);
    central.CloseEntryHeader(false);
    if (i != 2) {
      EXPECT_EQ(data, contents[i]);
    }
  }
  storage.StorageClose(false);
}

TEST(CentralDirSplit, ReopenAfterWriteSettlesTheKindOfArchive) {
  for (const int volumeSize : {1 << 20, 500}) {
    SCOPED_TRACE(volumeSize);
    ScratchDir dir;
    CZipStorage storage;
    storage.StorageOpen(dir / "r.zip", CZipStorage::CreateSpanned, volumeSize);
    CZipCentralDir central(&storage);
    for (int i = 0; i < 4; ++i) WriteStoredEntry(central, storage, "f" + std::to_string(i), std::string(300, 'a'));
    central.WriteCentralDir(nullptr);
    storage.ReopenAfterWrite();
    EXPECT_FALSE(storage.IsNewSpanned());
    EXPECT_EQ(storage.GetFilePath(), dir / "r.zip");
    if (volumeSize > 1000) {
      // Everything fitted one volume: an ordinary archive, open for changes again.
      EXPECT_FALSE(storage.IsSpanned());
      EXPECT_FALSE(storage.m_bReadOnly);
    } else {
      EXPECT_EQ(storage.m_iSpanMode, CZipStorage::SplitSpanned);
      EXPECT_EQ(storage.m_iVolumeSize, storage.GetCurrentVolume());
      EXPECT_GT(storage.GetCurrentVolume(), 1);
    }
    storage.StorageClose(false);
    if (volumeSize > 1000) {
      RecordsOpenArchive reread(ReadFileBytes(dir / "r.zip"), RecordsMedium::File);
      reread.central.ReadCentralDir();
      EXPECT_EQ(reread.central.GetCount(), 4);
    }
  }
}

TEST(CentralDirSplit, StopWhileWritingASplitDirectoryIsNotSafe) {
  ScratchDir dir;
  CZipStorage storage;
  storage.StorageOpen(dir / "stop.zip", CZipStorage::CreateSpanned, 400);
  CZipCentralDir central(&storage);
  for (int i = 0; i < 5; ++i) WriteStoredEntry(central, storage, "f" + std::to_string(i), std::string(200, 'z'));
  ProgressLog stopper(1);
  const RecordsError error = RecordsErrorOf([&] { central.WriteCentralDir(&stopper); });
  EXPECT_EQ(error.code, 105);
  EXPECT_EQ(error.message, "Action aborted");
  EXPECT_EQ(stopper.events, "Begin;Total 5;Step 1;End;");
  storage.StorageClose(true);
}

TEST(CentralDirFind, CaseRulesSporadicAndNameOnly) {
  const RecordsArchive built = BuildStoredArchive(
      {StoredEntry("a.txt", "1"), StoredEntry("B.txt", "2"), StoredEntry("dir/Sub/", ""),
       StoredEntry("dir/c.TXT", "3"), StoredEntry("A.TXT", "4")});
  RecordsOpenArchive archive(built.bytes, RecordsMedium::Memory);
  archive.central.ReadCentralDir();
  CZipCentralDir& central = archive.central;

  // Without regard to case, the first of two equal names in the sorted array is the later entry.
  EXPECT_EQ(central.FindByName("b.TXT", false, false, false), 1);
  EXPECT_EQ(central.FindByName("a.txt", false, false, false), 4);
  EXPECT_FALSE(central.m_bCaseSensitive);
  // A sporadic case-sensitive look-up scans and leaves the array as it was.
  EXPECT_EQ(central.FindByName("A.TXT", true, true, false), 4);
  EXPECT_EQ(central.FindByName("b.txt", true, true, false), -1);
  EXPECT_FALSE(central.m_bCaseSensitive);
  // A case-sensitive look-up that is not sporadic re-sorts.
  EXPECT_EQ(central.FindByName("a.txt", true, false, false), 0);
  EXPECT_TRUE(central.m_bCaseSensitive);
  EXPECT_EQ(central.FindByName("A.TXT", true, false, false), 4);
  // Name only: the file name part, trailing separators cut, in array order.
  EXPECT_EQ(central.FindByName("C.txt", false, false, true), 3);
  EXPECT_EQ(central.FindByName("sub", false, false, true), 2);
  EXPECT_EQ(central.FindByName("dir", false, false, true), -1);

  // Removing shifts the later indexes; adding inserts into the array.
  central.RemoveHeader(central.GetHeader(1), -1, true);
  EXPECT_EQ(central.FindByName("dir/c.TXT", true, false, false), 2);
  EXPECT_EQ(central.FindByName("B.txt", true, false, false), -1);
}

TEST(CentralDirFind, FirstLookUpWithSporadicBuildsTheOppositeRule) {
  const RecordsArchive built = BuildStoredArchive({StoredEntry("x", ""), StoredEntry("Y", "")});
  RecordsOpenArchive archive(built.bytes, RecordsMedium::Memory);
  archive.central.ReadCentralDir();
  EXPECT_EQ(archive.central.FindByName("y", false, true, false), 1);
  EXPECT_TRUE(archive.central.m_bCaseSensitive);
  EXPECT_TRUE(archive.central.m_bFindFastEnabled);
}

}  // namespace
}  // namespace brevik::test
