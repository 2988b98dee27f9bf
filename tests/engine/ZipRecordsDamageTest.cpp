// ZipRecordsDamageTest.cpp -- randomly damaged archives: reading them fails cleanly or succeeds, never worse.
#include <gtest/gtest.h>

#include <random>

#include "engine/ZipFileException.h"
#include "RecordsEntryWriter.h"
#include "RecordsTestMedium.h"

namespace brevik::test {
namespace {

// An archive with a stub, stored and encrypted entries, descriptors and a comment.
std::string SampleArchive() {
  CZipMemFile memory;
  CZipStorage storage;
  storage.StorageOpenMemory(memory, CZipStorage::CreateNew);
  CZipCentralDir central(&storage);
  WriteStoredEntry(central, storage, "a.txt", "alpha alpha alpha");
  WriteStoredEntry(central, storage, "dir/", "");
  WriteStoredEntry(central, storage, "s\xC3\xA9" "cret", GeneratedBytes(300, 1, false), "pw");
  WriteStoredEntry(central, storage, "z", "zz");
  central.m_pszComment.Assign("comment");
  central.WriteCentralDir(nullptr);
  storage.StorageClose(false);
  return std::string(200, 'S') + std::string(reinterpret_cast<const char*>(memory.GetData()), memory.GetLength());
}

// Reads everything the damaged archive offers; only the engine's own failures may come out.
void ReadEverything(const std::string& bytes, RecordsMedium medium) {
  try {
    RecordsOpenArchive archive(bytes, medium);
    archive.central.ReadCentralDir();
    for (std::uint16_t i = 0; i < archive.central.GetCount(); ++i) {
      try {
        archive.central.OpenEntryHeader(i);
        const CZipFileHeader& header = *archive.central.GetHeader(i);
        if (header.IsEncrypted()) {
          CZipCrypto crypto;
          crypto.CheckEncryptionHeader("pw", header, archive.storage);
        }
        std::string data(std::min<std::uint32_t>(header.m_uComprSize, 4096), '\0');
        archive.storage.StorageRead(data.data(), static_cast<std::uint32_t>(data.size()), false);
        archive.central.CloseEntryHeader(false);
      } catch (const CZipException&) {
        archive.central.CloseEntryHeader(true);
      }
      archive.central.FindByName("a.txt", false, false, false);
      archive.central.FindByName("A.TXT", true, false, true);
    }
  } catch (const CZipException&) {
  } catch (const CZipFileException&) {
  }
}

TEST(RecordsDamage, DamagedArchivesNeverCrashHangOrLeak) {
  const std::string good = SampleArchive();
  std::mt19937 random(20261208);
  for (int round = 0; round < 1500; ++round) {
    std::string bytes = good;
    const int kind = round % 3;
    if (kind == 0) {
      // A few random bytes changed.
      const int changes = 1 + static_cast<int>(random() % 4);
      for (int c = 0; c < changes; ++c) bytes[random() % bytes.size()] = static_cast<char>(random());
    } else if (kind == 1) {
      // A field set to a value near a limit.
      static const std::uint32_t values[] = {0, 1, 0xFFFF, 0xFFFFFFFF, 0x7FFFFFFF, 0xFFFFFFF0, 0x10000};
      const std::size_t at = random() % (bytes.size() - 4);
      PatchLE(bytes, at, values[random() % 7], 1 + random() % 4);
    } else {
      // Cut short.
      bytes.resize(random() % bytes.size());
    }
    for (const RecordsMedium medium : {RecordsMedium::File, RecordsMedium::Memory}) ReadEverything(bytes, medium);
  }
  // The undamaged archive reads without a single failure.
  RecordsOpenArchive archive(good, RecordsMedium::Memory);
  archive.central.ReadCentralDir();
  EXPECT_EQ(archive.central.GetCount(), 4);
  EXPECT_EQ(archive.central.m_uBytesBeforeZip, 200u);
}

}  // namespace
}  // namespace brevik::test
