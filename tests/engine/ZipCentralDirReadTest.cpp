// ZipCentralDirReadTest.cpp -- reading the central directory: layouts, leniencies and damaged archives.
#include <gtest/gtest.h>

#include <functional>

#include "engine/ZipConstants.h"
#include "support/RecordsArchiveBuilder.h"
#include "RecordsTestMedium.h"

namespace brevik::test {
namespace {

namespace ER = ZipFormat::EndRecord;
namespace CH = ZipFormat::CentralHeader;

class CentralDirRead : public testing::TestWithParam<RecordsMedium> {};

std::vector<RecordsEntry> ThreeEntries() {
  return {StoredEntry("first.txt", "one"), StoredEntry("dir/second.bin", std::string(300, 'x')),
          StoredEntry("third", "")};
}

// Reads the data of entry `index` after its local header was opened.
std::string ReadEntryData(RecordsOpenArchive& archive, std::uint16_t index) {
  archive.central.OpenEntryHeader(index);
  const CZipFileHeader& header = *archive.central.GetHeader(index);
  std::string data(header.m_uComprSize, '\0');
  archive.storage.StorageRead(data.data(), header.m_uComprSize, false);
  archive.central.CloseEntryHeader(false);
  return data;
}

TEST_P(CentralDirRead, EntriesFollowLocalHeaderOrderWhateverTheDirectoryOrder) {
  const auto entries = ThreeEntries();
  const RecordsArchive built = BuildStoredArchive(entries, "archive comment", {}, {2, 0, 1});
  RecordsOpenArchive archive(built.bytes, GetParam());
  archive.central.ReadCentralDir();
  ASSERT_EQ(archive.central.GetCount(), 3);
  for (std::uint16_t i = 0; i < 3; ++i) {
    const CZipFileHeader& header = *archive.central.GetHeader(i);
    EXPECT_EQ(header.GetFileName(), entries[i].name);
    EXPECT_EQ(header.m_uOffset, built.localOffsets[i]);
    EXPECT_EQ(header.m_uCrc32, RecordsCrc(entries[i].data));
    EXPECT_EQ(ReadEntryData(archive, i), entries[i].data);
  }
  EXPECT_EQ(archive.central.m_pszComment.ToString(), "archive comment");
  EXPECT_EQ(archive.central.m_uBytesBeforeZip, 0u);
  EXPECT_EQ(archive.central.m_uEndRecordPosition, built.endRecordOffset);
  EXPECT_TRUE(archive.central.m_bOnDisk);
}

TEST_P(CentralDirRead, StubBeforeTheArchiveIsSkipped) {
  const auto entries = ThreeEntries();
  const RecordsArchive built = BuildStoredArchive(entries, {}, std::string(1000, 'S'));
  RecordsOpenArchive archive(built.bytes, GetParam());
  archive.central.ReadCentralDir();
  EXPECT_EQ(archive.central.m_uBytesBeforeZip, 1000u);
  ASSERT_EQ(archive.central.GetCount(), 3);
  for (std::uint16_t i = 0; i < 3; ++i) EXPECT_EQ(ReadEntryData(archive, i), entries[i].data);
}

TEST_P(CentralDirRead, EndRecordSearchWindowAndEmptyArchive) {
  // The longest comment there is: the end record starts exactly 65557 bytes before the end.
  const std::string longest(ER::MaxCommentLength, 'c');
  {
    RecordsOpenArchive archive(BuildStoredArchive(ThreeEntries(), longest).bytes, GetParam());
    archive.central.ReadCentralDir();
    EXPECT_EQ(archive.central.GetCount(), 3);
    EXPECT_EQ(archive.central.m_pszComment.GetSize(), ER::MaxCommentLength);
  }
  {
    // One byte more after it and the record lies outside the window.
    RecordsOpenArchive archive(BuildStoredArchive(ThreeEntries(), longest).bytes + "!", GetParam());
    const RecordsError error = RecordsErrorOf([&] { archive.central.ReadCentralDir(); });
    EXPECT_EQ(error.code, 116);
    EXPECT_EQ(error.message, kNoDirectoryText);
  }
  {
    // A signature across the border of two search chunks is still found.
    const std::string comment(CZipCentralDir::SearchBufferSize - ER::Size - 2, 'k');
    RecordsOpenArchive archive(BuildStoredArchive(ThreeEntries(), comment).bytes, GetParam());
    archive.central.ReadCentralDir();
    EXPECT_EQ(archive.central.GetCount(), 3);
  }
  {
    RecordsOpenArchive archive(BuildStoredArchive({}).bytes, GetParam());
    archive.central.ReadCentralDir();
    EXPECT_EQ(archive.central.GetCount(), 0);
    EXPECT_EQ(archive.central.m_info.m_uSize, 0u);
  }
}

TEST_P(CentralDirRead, Zip64EndRecordBeforeTheEndRecordIsPartOfTheDirectory) {
  const auto entries = ThreeEntries();
  RecordsArchive built = BuildStoredArchive(entries, {}, std::string(100, 'S'));
  const std::string endRecord = built.bytes.substr(built.endRecordOffset);
  const std::uint64_t zip64Offset = built.endRecordOffset - 100;  // counted from the archive start
  RecordBytes zip64;
  zip64.U32(0x06064B50)        // zip64 end of central dir signature
      .U64(44)                 // size of the remaining record
      .U16(0x031E)             // version made by
      .U16(45)                 // version needed
      .U32(0)                  // number of this disk
      .U32(0)                  // disk where the directory starts
      .U64(3)                  // entries on this disk
      .U64(3)                  // total entries
      .U64(built.endRecordOffset - built.directoryOffset)  // directory size
      .U64(built.directoryOffset - 100)                    // directory offset
      .U32(0x07064B50)         // zip64 end of central dir locator signature
      .U32(0)                  // disk of the zip64 end record
      .U64(zip64Offset)        // its relative offset
      .U32(1);                 // total number of disks
  const std::string withZip64 = built.bytes.substr(0, built.endRecordOffset) + zip64.str() + endRecord;
  {
    RecordsOpenArchive archive(withZip64, GetParam());
    archive.central.ReadCentralDir();
    EXPECT_EQ(archive.central.m_uBytesBeforeZip, 100u);
    ASSERT_EQ(archive.central.GetCount(), 3);
    EXPECT_EQ(ReadEntryData(archive, 1), entries[1].data);
  }
  {
    // An end record holding only placeholders (as writers past one limit leave every field):
    // each takes the ZIP64 record's value.
    std::string marked = withZip64;
    const std::size_t end = marked.size() - ER::Size;
    PatchLE(marked, end + ER::ThisVolume, 0xFFFF, 2);
    PatchLE(marked, end + ER::StartVolume, 0xFFFF, 2);
    PatchLE(marked, end + ER::HeadersOnVolume, 0xFFFF, 2);
    PatchLE(marked, end + ER::HeadersTotal, 0xFFFF, 2);
    PatchLE(marked, end + ER::DirectorySize, 0xFFFFFFFF, 4);
    PatchLE(marked, end + ER::DirectoryOffset, 0xFFFFFFFF, 4);
    RecordsOpenArchive archive(marked, GetParam());
    archive.central.ReadCentralDir();
    EXPECT_EQ(archive.central.m_uBytesBeforeZip, 100u);
    EXPECT_EQ(archive.central.m_info.m_uOffset, built.directoryOffset - 100);
    ASSERT_EQ(archive.central.GetCount(), 3);
    EXPECT_EQ(ReadEntryData(archive, 2), entries[2].data);
  }
  {
    // A 64-bit offset that would wrap around when added to the size is damage, not a position.
    std::string wrapping = withZip64;
    PatchLE(wrapping, built.endRecordOffset + 48, 0xFFFFFFFFFFFFFFF0ull, 8);  // directory offset
    PatchLE(wrapping, wrapping.size() - ER::Size + ER::DirectoryOffset, 0xFFFFFFFF, 4);
    RecordsOpenArchive archive(wrapping, GetParam());
    EXPECT_EQ(RecordsErrorOf([&] { archive.central.ReadCentralDir(); }).code, 101);
  }
  {
    // The entry indexes are 16-bit: a ZIP64 count past 65535 is refused, whatever the end record says.
    std::string many = withZip64;
    const std::size_t zip64At = built.endRecordOffset;
    PatchLE(many, zip64At + 24, 70000, 8);  // entries on this disk
    PatchLE(many, zip64At + 32, 70000, 8);  // total entries
    PatchLE(many, many.size() - ER::Size + ER::HeadersTotal, 0xFFFF, 2);
    RecordsOpenArchive archive(many, GetParam());
    const auto error = RecordsErrorOf([&] { archive.central.ReadCentralDir(); });
    EXPECT_EQ(error.code, 101);
    EXPECT_EQ(error.detail, "the ZIP64 end record counts 70000 entries, more than the 65535 this engine reads");
  }
}

TEST_P(CentralDirRead, A0xFFFFCountWithoutZip64RecordIsACount) {
  std::vector<RecordsEntry> entries(65535);
  for (std::size_t i = 0; i < entries.size(); ++i) entries[i].name = std::to_string(i);
  RecordsOpenArchive archive(BuildStoredArchive(entries).bytes, GetParam());
  archive.central.ReadCentralDir();
  ASSERT_EQ(archive.central.GetCount(), 65535);
  EXPECT_EQ(archive.central.GetHeader(65534)->GetFileName(), "65534");
  EXPECT_EQ(archive.central.FindByName("40000", false, false, false), 40000);
}

TEST_P(CentralDirRead, HeadersLargerThanTheReadBufferAndAcrossItsBorders) {
  // The directory is read in 64 KiB pieces: one header of about 190 KiB needs a larger buffer,
  // and hundreds of headers of odd sizes fall across the piece borders.
  std::vector<RecordsEntry> entries;
  RecordsEntry huge = StoredEntry(std::string(65535, 'n'), "huge");
  huge.centralExtra = GeneratedBytes(65535, 3, false);
  huge.comment = std::string(65535, 'c');
  entries.push_back(huge);
  for (int i = 0; i < 700; ++i) {
    RecordsEntry entry = StoredEntry("e" + std::to_string(i) + std::string(static_cast<std::size_t>(i % 97), 'x'),
                                     std::to_string(i));
    entry.comment = std::string(static_cast<std::size_t>(i % 13), 'k');
    entry.centralExtra = GeneratedBytes(static_cast<std::size_t>(i % 7) * 3, static_cast<std::uint32_t>(i), false);
    entries.push_back(entry);
  }
  const RecordsArchive built = BuildStoredArchive(entries, "end");
  RecordsOpenArchive archive(built.bytes, GetParam());
  archive.central.ReadCentralDir();
  ASSERT_EQ(archive.central.GetCount(), entries.size());
  for (std::uint16_t i = 0; i < archive.central.GetCount(); ++i) {
    const CZipFileHeader& header = *archive.central.GetHeader(i);
    ASSERT_EQ(header.GetFileName(), entries[i].name) << i;
    ASSERT_EQ(header.m_pExtraField.ToString(), entries[i].centralExtra) << i;
    ASSERT_EQ(header.m_pszComment.ToString(), entries[i].comment) << i;
    ASSERT_EQ(header.m_uOffset, built.localOffsets[i]) << i;
  }
  // The file is left where reading header by header left it: right after the last header.
  EXPECT_EQ(archive.storage.m_pFile->GetPosition(), built.endRecordOffset);
  EXPECT_EQ(ReadEntryData(archive, 0), "huge");
  EXPECT_EQ(ReadEntryData(archive, 700), "699");
}

TEST_P(CentralDirRead, HeadersAreReadAsFarAsTheyGoAndTheFileIsLeftAfterTheLast) {
  const RecordsArchive good = BuildStoredArchive(ThreeEntries());
  {
    // The read-ahead stops at the directory size the end record gives; a last header whose
    // comment runs on into the end record is still read from the file, as it always was.
    std::string longer = good.bytes;
    PatchLE(longer, good.centralOffsets[2] + CH::CommentLength, 10, 2);
    RecordsOpenArchive archive(longer, GetParam());
    archive.central.ReadCentralDir();
    ASSERT_EQ(archive.central.GetCount(), 3);
    EXPECT_EQ(archive.central.GetHeader(2)->m_pszComment.ToString(), good.bytes.substr(good.endRecordOffset, 10));
    EXPECT_EQ(archive.storage.m_pFile->GetPosition(), good.endRecordOffset + 10u);
  }
}

TEST_P(CentralDirRead, EveryRecordTheDirectorySizeHoldsIsReadWhateverTheCount) {
  const RecordsArchive good = BuildStoredArchive(ThreeEntries());
  const std::uint32_t end = good.endRecordOffset;
  // Python's zipfile and bsdtar read all three of these; so does the engine.
  for (const std::uint16_t counted : {0, 1, 2}) {
    SCOPED_TRACE(std::to_string(counted) + " counted");
    std::string fewer = good.bytes;
    PatchLE(fewer, end + ER::HeadersTotal, counted, 2);
    PatchLE(fewer, end + ER::HeadersOnVolume, counted, 2);
    RecordsOpenArchive archive(fewer, GetParam());
    archive.central.ReadCentralDir();
    ASSERT_EQ(archive.central.GetCount(), 3);
    EXPECT_EQ(archive.central.GetHeader(2)->GetFileName(), ThreeEntries()[2].name);
    // The file is after the last record read.
    EXPECT_EQ(archive.storage.m_pFile->GetPosition(), end);
  }
  {
    // Past the count, a record whose end lies beyond the directory's size is not one of it.
    std::string beyond = good.bytes;
    PatchLE(beyond, end + ER::HeadersTotal, 1, 2);
    PatchLE(beyond, good.centralOffsets[2] + CH::CommentLength, 10, 2);  // runs on into the end record
    RecordsOpenArchive archive(beyond, GetParam());
    archive.central.ReadCentralDir();
    EXPECT_EQ(archive.central.GetCount(), 2);
    EXPECT_EQ(archive.storage.m_pFile->GetPosition(), good.centralOffsets[2]);
  }
  {
    // ... and bytes that are not a central header end the directory there.
    std::string other = good.bytes;
    PatchLE(other, end + ER::HeadersTotal, 1, 2);
    PatchLE(other, good.centralOffsets[2] + CH::Signature, 0x02014B51, 4);
    RecordsOpenArchive archive(other, GetParam());
    archive.central.ReadCentralDir();
    EXPECT_EQ(archive.central.GetCount(), 2);
    EXPECT_EQ(archive.storage.m_pFile->GetPosition(), good.centralOffsets[2]);
  }
}

// One damaged archive: how it is made from a good one and the code reading it must give.
struct Damage {
  const char* what;
  std::function<std::string(const RecordsArchive&)> make;
  int code;
};

TEST_P(CentralDirRead, DamagedArchivesGiveTheirCodes) {
  const RecordsArchive good = BuildStoredArchive(ThreeEntries());
  const std::uint32_t end = good.endRecordOffset;
  const std::uint32_t central0 = good.centralOffsets[0];
  const std::vector<Damage> damages = {
      {"empty file", [](const RecordsArchive&) { return std::string(); }, 116},
      {"garbage", [](const RecordsArchive&) { return GeneratedBytes(70000, 7, false); }, 116},
      {"truncated inside the end record",
       [end](const RecordsArchive& a) { return a.bytes.substr(0, end + 10); }, 101},
      {"truncated inside the comment",
       [end](const RecordsArchive& a) {
         std::string b = a.bytes;
         PatchLE(b, end + ER::CommentLength, 40, 2);  // comment length: 40, but none follows
         return b + "short";
       }, 101},
      {"front cut off, directory no longer fits",
       [](const RecordsArchive& a) { return a.bytes.substr(40); }, 101},
      {"directory offset outside the file",
       [end](const RecordsArchive& a) {
         std::string b = a.bytes;
         PatchLE(b, end + ER::DirectoryOffset, 0xFFFFFF00u, 4);
         return b;
       }, 101},
      {"size and offset wrapping past 2^32",
       [end](const RecordsArchive& a) {
         std::string b = a.bytes;
         PatchLE(b, end + ER::DirectorySize, 0xFFFFFFF0u, 4);  // offset + size wraps to below the record
         PatchLE(b, end + ER::DirectoryOffset, 0x20, 4);
         return b;
       }, 101},
      {"directory size 0 with entries",
       [end](const RecordsArchive& a) {
         std::string b = a.bytes;
         PatchLE(b, end + ER::DirectorySize, 0, 4);
         PatchLE(b, end + ER::DirectoryOffset, end, 4);
         return b;
       }, 101},
      {"entry count 0 with a directory that holds no header",
       [end, central0](const RecordsArchive& a) {
         std::string b = a.bytes;
         PatchLE(b, end + ER::HeadersTotal, 0, 2);
         PatchLE(b, central0 + CH::Signature, 0x02014B51, 4);
         return b;
       }, 101},
      {"more entries than headers",
       [end](const RecordsArchive& a) {
         std::string b = a.bytes;
         PatchLE(b, end + ER::HeadersTotal, 4, 2);
         return b;
       }, 101},
      {"central header with a wrong signature",
       [central0](const RecordsArchive& a) {
         std::string b = a.bytes;
         PatchLE(b, central0 + CH::Signature, 0x02014B51, 4);
         return b;
       }, 101},
      {"central name length running past the end",
       [central0](const RecordsArchive& a) {
         std::string b = a.bytes;
         PatchLE(b, central0 + CH::NameLength, 0xFFFF, 2);
         return b;
       }, 101},
      {"two entries at one offset",
       [](const RecordsArchive& a) {
         std::string b = a.bytes;
         PatchLE(b, a.centralOffsets[2] + CH::LocalHeaderOffset, a.localOffsets[1], 4);
         return b;
       }, 101},
      {"end record on volume 5 of a memory or missing split archive",
       [end](const RecordsArchive& a) {
         std::string b = a.bytes;
         PatchLE(b, end + ER::ThisVolume, 5, 2);
         PatchLE(b, end + ER::StartVolume, 7, 2);  // beyond the last volume
         return b;
       }, 101},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    RecordsOpenArchive archive(damage.make(good), GetParam());
    const RecordsError error = RecordsErrorOf([&] { archive.central.ReadCentralDir(); });
    EXPECT_EQ(error.code, damage.code);
    EXPECT_EQ(error.message, damage.code == 101 ? kBadArchiveText : kNoDirectoryText);
  }
}

TEST_P(CentralDirRead, DuplicateOffsetErrorCarriesNoNameOtherErrorsTheArchivePath) {
  const RecordsArchive good = BuildStoredArchive(ThreeEntries());
  std::string duplicate = good.bytes;
  PatchLE(duplicate, good.centralOffsets[0] + CH::LocalHeaderOffset, good.localOffsets[2], 4);
  RecordsOpenArchive archive(duplicate, GetParam());
  EXPECT_EQ(RecordsErrorOf([&] { archive.central.ReadCentralDir(); }).fileName, "");

  std::string badSignature = good.bytes;
  PatchLE(badSignature, good.centralOffsets[1], 0, 4);
  RecordsOpenArchive other(badSignature, GetParam());
  const RecordsError error = RecordsErrorOf([&] { other.central.ReadCentralDir(); });
  EXPECT_EQ(error.code, 101);
  EXPECT_EQ(error.fileName, other.path());
}

TEST_P(CentralDirRead, LocalHeadersPointingAnywhereAreDamage) {
  const RecordsArchive good = BuildStoredArchive(ThreeEntries());
  for (const std::uint32_t offset : {0xFFFFFFF0u, 0x7FFFFFFFu, good.directoryOffset, good.localOffsets[1] + 1}) {
    SCOPED_TRACE(offset);
    std::string bytes = good.bytes;
    PatchLE(bytes, good.centralOffsets[1] + CH::LocalHeaderOffset, offset, 4);
    RecordsOpenArchive archive(bytes, GetParam());
    // Each puts entry 1's header and data over the next entry or the directory: refused when
    // the directory is read, before any entry is opened.
    const RecordsError error = RecordsErrorOf([&] { archive.central.ReadCentralDir(); });
    EXPECT_EQ(error.code, 101);
    EXPECT_EQ(error.message, kBadArchiveText);
    EXPECT_EQ(archive.central.GetCount(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(BothStorages, CentralDirRead, testing::Values(RecordsMedium::File, RecordsMedium::Memory),
                         MediumName);

}  // namespace
}  // namespace brevik::test
