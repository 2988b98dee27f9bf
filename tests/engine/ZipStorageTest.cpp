// ZipStorageTest.cpp -- buffered storage: split volumes, their names and limit, whole records, reading across volumes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "engine/ZipConstants.h"
#include "engine/ZipStorage.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "RecordsTestMedium.h"

namespace brevik::test {
namespace {

std::uint64_t FileSize(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : ~0ull;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

TEST(StorageSplit, VolumeNamesFromFirstToLast) {
  ScratchDir dir;
  CZipStorage storage;
  storage.StorageOpen(dir / "a.zip", CZipStorage::CreateSpanned, 100000);
  EXPECT_EQ(storage.GetFilePath(), dir / "a.z01");
  storage.m_iCurrentVolume = 9;
  EXPECT_EQ(storage.SplitVolumeName(false), dir / "a.z10");
  storage.m_iCurrentVolume = 98;
  EXPECT_EQ(storage.SplitVolumeName(false), dir / "a.z99");
  storage.m_iCurrentVolume = 99;  // only an existing archive gets this far
  EXPECT_EQ(storage.SplitVolumeName(false), dir / "a.z100");
  storage.m_iCurrentVolume = 122;
  EXPECT_EQ(storage.SplitVolumeName(false), dir / "a.z123");
  EXPECT_EQ(storage.SplitVolumeName(true), dir / "a.zip");
  const std::string other = "/elsewhere/b.dat";
  EXPECT_EQ(storage.SplitVolumeName(true, &other), "/elsewhere/b.zip");
  storage.m_iCurrentVolume = 0;
  storage.StorageClose(false);
  // The whole archive fitted the first volume, which becomes a.zip; it starts with the signature.
  EXPECT_FALSE(Exists(dir / "a.z01"));
  EXPECT_EQ(ReadFileBytes(dir / "a.zip"), std::string("PK\x07\x08", 4));
}

TEST(StorageSplit, LastVolumeTakesTheRememberedExtension) {
  ScratchDir dir;
  CZipStorage storage;
  storage.StorageOpen(dir / "b.dat", CZipStorage::CreateSpanned, 1000);
  const std::string data(1500, 'd');
  storage.StorageWrite(data.data(), 1500, false);
  EXPECT_EQ(storage.StorageClose(false), dir / "b.zip");
  EXPECT_EQ(FileSize(dir / "b.z01"), 1000u);
  EXPECT_EQ(FileSize(dir / "b.zip"), 504u);
}

TEST(StorageSplit, WholeRecordsMoveAndDataFillsVolumesToTheLastByte) {
  ScratchDir dir;
  CZipStorage storage;
  storage.StorageOpen(dir / "s.zip", CZipStorage::CreateSpanned, 100);
  const std::string ninety(90, 'a');
  storage.StorageWrite(ninety.data(), 90, false);  // volume 1: signature + 90 = 94 bytes
  const std::string record(30, 'r');
  storage.StorageWrite(record.data(), 30, true);  // does not fit the 6 bytes left: volume 2
  EXPECT_EQ(storage.GetCurrentVolume(), 1);
  const std::string data(100, 'b');
  storage.StorageWrite(data.data(), 100, false);  // 70 fill volume 2, 30 start volume 3
  EXPECT_EQ(storage.VolumeFreeSpace(), 70u);
  const std::string big(250, 'B');
  storage.StorageWrite(big.data(), 250, true);  // larger than a volume: an empty one takes it whole
  EXPECT_EQ(storage.GetCurrentVolume(), 3);
  storage.StorageClose(false);
  EXPECT_EQ(ReadFileBytes(dir / "s.z01"), std::string("PK\x07\x08", 4) + ninety);
  EXPECT_EQ(ReadFileBytes(dir / "s.z02"), record + std::string(70, 'b'));
  EXPECT_EQ(ReadFileBytes(dir / "s.z03"), std::string(30, 'b'));
  EXPECT_EQ(ReadFileBytes(dir / "s.zip"), big);
}

TEST(StorageSplit, NinetyNineVolumesAtMost) {
  ScratchDir dir;
  CZipStorage storage;
  storage.StorageOpen(dir / "m.zip", CZipStorage::CreateSpanned, 10);
  const std::string bytes(10, 'x');
  // 4 + 6 bytes fill the first volume; each further 10 bytes fill one more.
  storage.StorageWrite(bytes.data(), 6, false);
  for (int volume = 2; volume <= 99; ++volume) storage.StorageWrite(bytes.data(), 10, false);
  EXPECT_EQ(storage.GetCurrentVolume(), 98);
  EXPECT_TRUE(Exists(dir / "m.z99"));
  const RecordsError error = RecordsErrorOf([&] { storage.StorageWrite(bytes.data(), 1, false); });
  EXPECT_EQ(error.code, 108);
  EXPECT_EQ(error.message, "Limit of the maximum volumes reached");
  EXPECT_EQ(error.fileName, dir / "m.z99");
  storage.StorageClose(true);
}

TEST(StorageSplit, RemovableDiskSpanningIsRefused) {
  ScratchDir dir;
  CZipStorage storage;
  const RecordsError error = RecordsErrorOf([&] { storage.StorageOpen(dir / "r.zip", CZipStorage::CreateSpanned, 0); });
  EXPECT_EQ(error.code, 103);
  EXPECT_EQ(error.message, "No disk-spanning callback object set");
  EXPECT_EQ(error.fileName, "");
  EXPECT_FALSE(storage.IsOpen());
  EXPECT_FALSE(Exists(dir / "r.z01"));
}

TEST(StorageSplit, ReadingCrossesVolumesButNotForWholeRecords) {
  ScratchDir dir;
  WriteFileBytes(dir / "v.z01", "0123456789");
  WriteFileBytes(dir / "v.z02", "abcdefghij");
  WriteFileBytes(dir / "v.zip", "KLMNOP");
  CZipStorage storage;
  storage.StorageOpen(dir / "v.zip", CZipStorage::OpenReadOnly, 0);
  storage.AdoptSpanInfo(2);
  EXPECT_EQ(storage.m_iSpanMode, CZipStorage::SplitSpanned);
  EXPECT_EQ(storage.m_szArchiveExtension, "zip");
  storage.ChangeVolume(0);
  EXPECT_EQ(storage.GetFilePath(), dir / "v.z01");
  char buffer[26];
  EXPECT_EQ(storage.StorageRead(buffer, 5, true), 5u);
  EXPECT_EQ(storage.StorageRead(buffer, 21, false), 21u);
  EXPECT_EQ(std::string(buffer, 21), "56789abcdefghijKLMNOP");
  EXPECT_EQ(storage.GetCurrentVolume(), 2);
  EXPECT_EQ(RecordsErrorOf([&] { storage.StorageRead(buffer, 1, false); }).code, 101);

  storage.ChangeVolume(1);
  storage.m_pFile->Seek(8, CZipAbstractFile::begin);
  const RecordsError error = RecordsErrorOf([&] { storage.StorageRead(buffer, 4, true); });
  EXPECT_EQ(error.code, 101);
  EXPECT_EQ(error.fileName, dir / "v.z02");
  // A record at the very start of the next volume is found there.
  storage.ChangeVolume(0);
  storage.m_pFile->SeekToEnd();
  EXPECT_EQ(storage.StorageRead(buffer, 3, true), 3u);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(RecordsErrorOf([&] { storage.ChangeVolume(3); }).code, 101);
  storage.StorageClose(false);
}

class StorageMedium : public testing::TestWithParam<RecordsMedium> {
protected:
  /// Creates the new archive "name" in the medium under test, with a 16-byte write buffer.
  void OpenNew(const std::string& name) {
    path_ = dir_ / name;
    storage.m_iWriteBufferSize = 16;
    if (GetParam() == RecordsMedium::File)
      storage.StorageOpen(path_, CZipStorage::CreateNew, 0);
    else
      storage.StorageOpenMemory(memory_, CZipStorage::CreateNew);
  }
  /// The archive's bytes, once the storage is closed.
  std::string Written() const {
    return GetParam() == RecordsMedium::File
               ? ReadFileBytes(path_)
               : std::string(reinterpret_cast<const char*>(memory_.GetData()), memory_.GetLength());
  }
  std::string Path() const { return path_; }

private:
  ScratchDir dir_;
  CZipMemFile memory_;
  std::string path_;

protected:
  CZipStorage storage;  ///< last, so that it goes before the file and memory it writes to
};

TEST_P(StorageMedium, ReadingPastTheEndOfAnOrdinaryArchive) {
  RecordsOpenArchive archive("0123456789", GetParam());
  archive.storage.AdoptSpanInfo(0);
  char buffer[8];
  EXPECT_EQ(archive.storage.StorageRead(buffer, 8, false), 8u);
  const RecordsError shortRead = RecordsErrorOf([&] { archive.storage.StorageRead(buffer, 8, false); });
  EXPECT_EQ(shortRead.code, 101);
  EXPECT_EQ(shortRead.message, kBadArchiveText);
  EXPECT_EQ(RecordsErrorOf([&] { archive.storage.StorageRead(buffer, 1, false); }).code, 101);
  EXPECT_EQ(archive.storage.StorageRead(buffer, 0, true), 0u);
}

TEST_P(StorageMedium, BufferedWritesReachTheFileOnFlushAndClose) {
  OpenNew("w.zip");
  const std::string data = GeneratedBytes(100, 3, false);
  storage.StorageWrite(data.data(), 40, true);
  EXPECT_EQ(storage.GetBytesInWriteBuffer(), 8u);  // two full buffers went out
  EXPECT_EQ(storage.m_pFile->GetLength(), 32u);
  storage.StorageWrite(data.data() + 40, 60, false);
  const std::string name = storage.StorageClose(false);
  EXPECT_EQ(Written(), data);
  EXPECT_EQ(name, GetParam() == RecordsMedium::File ? Path() : "");
}

TEST_P(StorageMedium, RewritingBufferedBytesOnlyWhileAllOfThemAreStillThere) {
  OpenNew("r.zip");
  EXPECT_FALSE(storage.RewriteBuffered(0, "X", 1));  // nothing buffered yet
  storage.StorageWrite("abcdefghijklmnopqrst", 20, false);  // 16 went out, "qrst" wait at 16
  EXPECT_FALSE(storage.RewriteBuffered(15, "XY", 2));        // its first byte is in the file
  EXPECT_FALSE(storage.RewriteBuffered(19, "XY", 2));        // past the buffered bytes
  EXPECT_FALSE(storage.RewriteBuffered(21, "", 0));
  EXPECT_TRUE(storage.RewriteBuffered(16, "QR", 2));
  EXPECT_TRUE(storage.RewriteBuffered(18, "ST", 2));
  EXPECT_TRUE(storage.RewriteBuffered(20, "", 0));
  storage.StorageClose(false);
  EXPECT_EQ(Written(), "abcdefghijklmnopQRST");
}

INSTANTIATE_TEST_SUITE_P(BothStorages, StorageMedium, testing::Values(RecordsMedium::File, RecordsMedium::Memory),
                         MediumName);

}  // namespace
}  // namespace brevik::test
