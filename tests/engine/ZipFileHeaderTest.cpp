// ZipFileHeaderTest.cpp -- entry headers: local header checks, preparation flags, times, attributes, name forms.
#include <gtest/gtest.h>

#include <ctime>

#include "engine/ZipConstants.h"
#include "engine/ZipFileHeader.h"
#include "support/RecordsArchiveBuilder.h"
#include "RecordsTestMedium.h"

namespace brevik::test {
namespace {

namespace LH = ZipFormat::LocalHeader;

class FileHeaderLocal : public testing::TestWithParam<RecordsMedium> {};

// Opens entry 0 of `bytes` and tells whether its local header was accepted.
RecordsError OpenFirstEntry(const std::string& bytes, RecordsMedium medium, std::uint16_t* flagsAfter = nullptr) {
  RecordsOpenArchive archive(bytes, medium);
  archive.central.ReadCentralDir();
  const RecordsError error = RecordsErrorOf([&] { archive.central.OpenEntryHeader(0); });
  if (flagsAfter != nullptr) *flagsAfter = archive.central.GetHeader(0)->m_uFlag;
  return error;
}

TEST_P(FileHeaderLocal, LocalHeaderIsCheckedAgainstTheCentralOne) {
  const RecordsArchive good = BuildStoredArchive({StoredEntry("a.txt", "hello", 0x0010)});
  const std::uint32_t local = good.localOffsets[0];
  std::uint16_t flags = 0;

  EXPECT_EQ(OpenFirstEntry(good.bytes, GetParam(), &flags).code, 0);
  EXPECT_EQ(flags, 0x0010);

  // Bits 4 and above may differ: the central flags stay.
  std::string high = good.bytes;
  PatchLE(high, local + LH::Flags, 0x0030, 2);
  EXPECT_EQ(OpenFirstEntry(high, GetParam(), &flags).code, 0);
  EXPECT_EQ(flags, 0x0010);

  // Bit 3 differs: the local flags win, and then CRC and sizes are not compared.
  std::string descriptor = good.bytes;
  PatchLE(descriptor, local + LH::Flags, 0x0808, 2);
  PatchLE(descriptor, local + LH::Crc, 0, 4);
  PatchLE(descriptor, local + LH::CompressedSize, 0, 4);
  EXPECT_EQ(OpenFirstEntry(descriptor, GetParam(), &flags).code, 0);
  EXPECT_EQ(flags, 0x0808);

  std::string deflated = good.bytes;
  PatchLE(deflated, local + LH::Method, 8, 2);  // central says stored
  EXPECT_EQ(OpenFirstEntry(deflated, GetParam()).code, 101);

  std::string crc = good.bytes;
  PatchLE(crc, local + LH::Crc, 0x12345678, 4);
  EXPECT_EQ(OpenFirstEntry(crc, GetParam()).code, 101);

  std::string size = good.bytes;
  PatchLE(size, local + LH::UncompressedSize, 6, 4);
  EXPECT_EQ(OpenFirstEntry(size, GetParam()).code, 101);

  std::string signature = good.bytes;
  PatchLE(signature, local + LH::Signature, 0x04034B51, 4);
  const RecordsError error = OpenFirstEntry(signature, GetParam());
  EXPECT_EQ(error.code, 101);
  EXPECT_EQ(error.message, kBadArchiveText);
}

TEST_P(FileHeaderLocal, TheMethodMustAgreeWhateverItIsAndTheReaderJudgesIt) {
  // Whether a method can be read is decided when the data is opened (136 there), not here.
  RecordsArchive built = BuildStoredArchive({StoredEntry("a", "x")});
  PatchLE(built.bytes, built.localOffsets[0] + LH::Method, 98, 2);
  PatchLE(built.bytes, built.centralOffsets[0] + ZipFormat::CentralHeader::Method, 98, 2);
  EXPECT_EQ(OpenFirstEntry(built.bytes, GetParam()).code, 0);
  PatchLE(built.bytes, built.localOffsets[0] + LH::Method, 12, 2);
  EXPECT_EQ(OpenFirstEntry(built.bytes, GetParam()).code, 101);
}

TEST_P(FileHeaderLocal, DataStartsAfterTheLocalExtraFieldNotTheCentralOne) {
  // Info-ZIP's time field is 9 bytes in the local header and 5 in the central one.
  RecordsEntry entry = StoredEntry("t.txt", "payload");
  entry.localExtra = std::string("UT\x05\x00\x03" "abcd", 9);
  entry.centralExtra = std::string("UT\x01\x00\x03", 5);
  const RecordsArchive built = BuildStoredArchive({entry});
  RecordsOpenArchive archive(built.bytes, GetParam());
  archive.central.ReadCentralDir();
  archive.central.OpenEntryHeader(0);
  EXPECT_EQ(archive.central.m_pLocalExtraField.GetSize(), 9u);
  char data[7];
  archive.storage.StorageRead(data, 7, true);
  EXPECT_EQ(std::string(data, 7), "payload");
  EXPECT_EQ(archive.central.GetHeader(0)->m_pExtraField.GetSize(), 5u);
}

TEST_P(FileHeaderLocal, LocalExtraFieldOfAnyLengthBesideTheCentralOne) {
  // A local header is read with the central header's lengths in one go: a local extra field
  // that is shorter, absent or longer than the central one must still leave the file at the data.
  struct Case {
    std::string localExtra;
    std::string centralExtra;
  };
  // Info-ZIP's time field: modification and access time locally, the modification time only in
  // the central header (the size of a local header is guessed from that).
  const std::string localTimes("UT\x09\x00\x03" "mmmmaaaa", 13);
  const std::string centralTimes("UT\x05\x00\x03" "mmmm", 9);
  const Case cases[] = {{"", ""},
                        {"", GeneratedBytes(40, 6, false)},
                        {GeneratedBytes(12, 5, false), GeneratedBytes(40, 6, false)},
                        {GeneratedBytes(40, 5, false), GeneratedBytes(12, 6, false)},
                        {GeneratedBytes(300, 5, false), ""},
                        {GeneratedBytes(40000, 5, false), "abcd"},
                        {localTimes, centralTimes},
                        {centralTimes, centralTimes},
                        {"", centralTimes}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.localExtra.size()) + " local, " + std::to_string(c.centralExtra.size()) + " central");
    RecordsEntry first = StoredEntry("first.txt", "first payload");
    first.localExtra = c.localExtra;
    first.centralExtra = c.centralExtra;
    const RecordsArchive built = BuildStoredArchive({first, StoredEntry("second.txt", "second payload")});
    RecordsOpenArchive archive(built.bytes, GetParam());
    archive.central.ReadCentralDir();
    for (std::uint16_t i = 0; i < 2; ++i) {
      archive.central.OpenEntryHeader(i);
      EXPECT_EQ(archive.central.m_pLocalExtraField.ToString(), i == 0 ? first.localExtra : std::string());
      const std::size_t nameLength = i == 0 ? 9 : 10;
      EXPECT_EQ(archive.storage.m_pFile->GetPosition(),
                built.localOffsets[i] + LH::Size + nameLength + (i == 0 ? c.localExtra.size() : 0));
      const std::string expected = i == 0 ? "first payload" : "second payload";
      std::string data(expected.size(), '\0');
      archive.storage.StorageRead(data.data(), static_cast<std::uint32_t>(data.size()), true);
      EXPECT_EQ(data, expected);
      archive.central.CloseEntryHeader(false);
    }
  }
  // A local extra field that the file ends inside of is damage: a copy of the local header,
  // with 20 bytes of extra field announced and 5 present, placed at the very end of the file.
  RecordsArchive built = BuildStoredArchive({StoredEntry("cut.txt", "")});
  std::string local = built.bytes.substr(built.localOffsets[0], LH::Size + 7);
  PatchLE(local, LH::ExtraLength, 20, 2);
  std::string bytes = built.bytes;
  PatchLE(bytes, built.centralOffsets[0] + ZipFormat::CentralHeader::LocalHeaderOffset, bytes.size(), 4);
  // A local header past the directory is itself refused when the directory is read.
  RecordsOpenArchive archive(bytes + local + "xxxxx", GetParam());
  const RecordsError error = RecordsErrorOf([&] { archive.central.ReadCentralDir(); });
  EXPECT_EQ(error.code, 101);
  EXPECT_EQ(error.message, kBadArchiveText);
  EXPECT_EQ(archive.central.m_pOpenedFile, nullptr);
}

TEST_P(FileHeaderLocal, DataDescriptorIsCheckedWithOrWithoutSignature) {
  const std::string data = "descriptor data";
  for (const bool withSignature : {true, false}) {
    for (const bool damaged : {false, true}) {
      SCOPED_TRACE(std::string(withSignature ? "signed" : "unsigned") + (damaged ? ", damaged" : ""));
      RecordsArchive built = BuildStoredArchive({StoredEntry("d", data, 0x0008)});
      RecordBytes descriptor;
      if (withSignature) descriptor.U32(0x08074B50);  // data descriptor signature
      descriptor.U32(RecordsCrc(data) ^ (damaged ? 1u : 0u))  // crc-32
          .U32(static_cast<std::uint32_t>(data.size()))         // compressed size
          .U32(static_cast<std::uint32_t>(data.size()));        // uncompressed size
      // The descriptor goes between the data and the directory, which moves up by its size.
      const std::string bytes = built.bytes.substr(0, built.directoryOffset) + descriptor.str() +
                                built.bytes.substr(built.directoryOffset);
      std::string fixed = bytes;
      PatchLE(fixed, built.endRecordOffset + descriptor.size() + ZipFormat::EndRecord::DirectoryOffset,
              built.directoryOffset + descriptor.size(), 4);
      RecordsOpenArchive archive(fixed, GetParam());
      archive.central.ReadCentralDir();
      archive.central.OpenEntryHeader(0);
      std::string read(data.size(), '\0');
      archive.storage.StorageRead(read.data(), static_cast<std::uint32_t>(read.size()), false);
      EXPECT_EQ(RecordsErrorOf([&] { archive.central.CloseEntryHeader(false); }).code, damaged ? 101 : 0);
      // Right after the descriptor, whichever form it has: where the directory now starts.
      EXPECT_EQ(archive.storage.m_pFile->GetPosition(), built.directoryOffset + descriptor.size());
    }
  }
}

// A ZIP64 extended information block with the uncompressed and compressed size.
std::string Zip64Extra(std::uint64_t uncompressed, std::uint64_t compressed) {
  RecordBytes extra;
  extra.U16(0x0001)        // header id: ZIP64 extended information
      .U16(16)             // data size
      .U64(uncompressed)   // original size
      .U64(compressed);    // compressed size
  return extra.str();
}

TEST_P(FileHeaderLocal, Zip64LocalSizesAndZip64Descriptors) {
  const std::string data = "streamed by a ZIP64 writer";
  const auto size = static_cast<std::uint32_t>(data.size());
  {
    // Sizes in the ZIP64 field, 0xFFFFFFFF in the local header's own fields.
    RecordsEntry entry = StoredEntry("z", data);
    entry.localExtra = Zip64Extra(size, size);
    RecordsArchive built = BuildStoredArchive({entry});
    PatchLE(built.bytes, built.localOffsets[0] + LH::CompressedSize, 0xFFFFFFFF, 4);
    PatchLE(built.bytes, built.localOffsets[0] + LH::UncompressedSize, 0xFFFFFFFF, 4);
    RecordsOpenArchive archive(built.bytes, GetParam());
    archive.central.ReadCentralDir();
    archive.central.OpenEntryHeader(0);
    std::string read(size, '\0');
    archive.storage.StorageRead(read.data(), size, true);
    EXPECT_EQ(read, data);
    archive.central.CloseEntryHeader(false);

    // ... and a ZIP64 field that disagrees is a mismatch.
    entry.localExtra = Zip64Extra(size + 1, size);
    RecordsArchive wrong = BuildStoredArchive({entry});
    PatchLE(wrong.bytes, wrong.localOffsets[0] + LH::CompressedSize, 0xFFFFFFFF, 4);
    PatchLE(wrong.bytes, wrong.localOffsets[0] + LH::UncompressedSize, 0xFFFFFFFF, 4);
    EXPECT_EQ(OpenFirstEntry(wrong.bytes, GetParam()).code, 101);
  }
  for (const bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "damaged" : "good");
    // Bit 3 with a ZIP64 local field: the descriptor carries 8-byte sizes.
    RecordsEntry entry = StoredEntry("z", data, 0x0008);
    entry.localExtra = Zip64Extra(0, 0);
    RecordsArchive built = BuildStoredArchive({entry});
    RecordBytes descriptor;
    descriptor.U32(0x08074B50)              // data descriptor signature
        .U32(RecordsCrc(data))              // crc-32
        .U64(size)                          // compressed size, 8 bytes
        .U64(size + (damaged ? 1u : 0u));   // uncompressed size, 8 bytes
    std::string bytes = built.bytes.substr(0, built.directoryOffset) + descriptor.str() +
                        built.bytes.substr(built.directoryOffset);
    PatchLE(bytes, built.endRecordOffset + descriptor.size() + ZipFormat::EndRecord::DirectoryOffset,
            built.directoryOffset + descriptor.size(), 4);
    RecordsOpenArchive archive(bytes, GetParam());
    archive.central.ReadCentralDir();
    archive.central.OpenEntryHeader(0);
    std::string read(size, '\0');
    archive.storage.StorageRead(read.data(), size, true);
    EXPECT_EQ(RecordsErrorOf([&] { archive.central.CloseEntryHeader(false); }).code, damaged ? 101 : 0);
  }
}

INSTANTIATE_TEST_SUITE_P(BothStorages, FileHeaderLocal, testing::Values(RecordsMedium::File, RecordsMedium::Memory),
                         MediumName);

TEST(FileHeaderPrepare, LevelClassDescriptorAndEncryptionFlags) {
  struct Case {
    int level;
    bool spanning;
    bool encrypted;
    std::uint16_t flags;
    std::uint16_t method;
    std::uint32_t compressedSize;
  };
  const Case cases[] = {
      {1, false, false, 0x0006, 8, 0},  {2, false, false, 0x0004, 8, 0},  {6, false, false, 0x0000, 8, 0},
      {8, false, false, 0x0002, 8, 0},  {9, false, false, 0x0002, 8, 0},  {0, false, false, 0x0000, 0, 0},
      {0, true, false, 0x0008, 0, 0},   {9, false, true, 0x000B, 8, 12},  {1, true, true, 0x000F, 8, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "level " << c.level << " spanning " << c.spanning << " encrypted " << c.encrypted);
    CZipFileHeader header;
    header.SetEntryName("file.txt");
    header.SetEntrySystem(3);
    header.m_uFlag = 0xFFFF;
    header.m_uCrc32 = 7;
    header.m_uUncomprSize = 9;
    ASSERT_TRUE(header.PrepareForAdding(c.level, c.spanning, c.encrypted));
    EXPECT_EQ(header.m_uFlag, c.flags);
    EXPECT_EQ(header.m_uMethod, c.method);
    EXPECT_EQ(header.m_uComprSize, c.compressedSize);
    EXPECT_EQ(header.m_uCrc32, 0u);
    EXPECT_EQ(header.m_uUncomprSize, 0u);
    EXPECT_EQ(header.m_uVersionMadeBy, 0x0314);
    EXPECT_EQ(header.m_uVersionNeeded, 20);
  }
}

TEST(FileHeaderPrepare, TooLongPartsAndDirectoryVersion) {
  CZipFileHeader header;
  header.SetEntrySystem(3);
  header.SetEntryName(std::string(65535, 'n'));
  EXPECT_TRUE(header.PrepareForAdding(6, false, false));
  header.SetEntryName(std::string(65536, 'n'));
  EXPECT_FALSE(header.PrepareForAdding(6, false, false));
  header.SetEntryName("n");
  header.m_pszComment.Assign(std::string(65536, 'c'));
  EXPECT_FALSE(header.PrepareForAdding(6, false, false));
  header.m_pszComment.Release();
  header.m_pExtraField.Assign(std::string(65536, 'e'));
  EXPECT_FALSE(header.PrepareForAdding(6, false, false));

  // The limit counts the stored bytes: 40000 "é" are 80000 bytes of UTF-8.
  CZipFileHeader wide;
  wide.SetEntrySystem(3);
  std::string accents;
  for (int i = 0; i < 40000; ++i) accents += "\xC3\xA9";
  wide.SetEntryName(accents);
  EXPECT_FALSE(wide.PrepareForAdding(6, false, false));
  // ... while in CP437 for a DOS entry they are 40000 bytes.
  wide.SetEntrySystem(0);
  EXPECT_TRUE(wide.PrepareForAdding(6, false, false));

  CZipFileHeader folder;
  folder.SetEntrySystem(3);
  folder.SetEntryName("dir/");
  folder.m_uExternalAttr = 0x41ED0000u;
  ASSERT_TRUE(folder.PrepareForAdding(0, false, false));
  EXPECT_EQ(folder.m_uVersionNeeded, 10);
}

TEST(FileHeaderTime, DosTimeBothWays) {
  CZipFileHeader header;
  header.m_uModDate = 0x3A21;
  header.m_uModTime = 0;
  std::tm expected{};
  expected.tm_year = 109;
  expected.tm_mon = 0;
  expected.tm_mday = 1;
  expected.tm_isdst = -1;
  EXPECT_EQ(header.EntryTime(), std::mktime(&expected));

  std::tm moment{};
  moment.tm_year = 125;  // 2025-07-14 13:45:58
  moment.tm_mon = 6;
  moment.tm_mday = 14;
  moment.tm_hour = 13;
  moment.tm_min = 45;
  moment.tm_sec = 58;
  moment.tm_isdst = -1;
  const std::time_t t = std::mktime(&moment);
  header.SetEntryTime(t);
  EXPECT_EQ(header.m_uModTime, 13 * 2048 + 45 * 32 + 29);
  EXPECT_EQ(header.m_uModDate, (2025 - 1980) * 512 + 7 * 32 + 14);
  EXPECT_EQ(header.EntryTime(), t);
  header.SetEntryTime(t + 1);  // odd seconds round down to the 2-second grid
  EXPECT_EQ(header.EntryTime(), t);

  // A memo answers for the date and time it holds and follows every other one.
  ZipEntryTimeMemo memo;
  EXPECT_EQ(header.EntryTime(memo), t);
  EXPECT_EQ(header.EntryTime(memo), t);
  header.SetEntryTime(t + 2);
  EXPECT_EQ(header.EntryTime(memo), t + 2);
  header.m_uModDate = 0x3A21;  // the memo's time of day (13:46:00), another date
  std::tm otherDay = moment;
  otherDay.tm_min = 46;
  otherDay.tm_sec = 0;
  otherDay.tm_year = 109;
  otherDay.tm_mon = 0;
  otherDay.tm_mday = 1;
  otherDay.tm_isdst = -1;
  EXPECT_EQ(header.EntryTime(memo), std::mktime(&otherDay));

  std::tm old{};
  old.tm_year = 79;  // 1979-06-15
  old.tm_mon = 5;
  old.tm_mday = 15;
  old.tm_hour = 12;
  old.tm_isdst = -1;
  header.SetEntryTime(std::mktime(&old));
  EXPECT_EQ(header.m_uModDate >> 9, 0);
  EXPECT_EQ(header.m_uModDate & 0x1FF, 6 * 32 + 15);
}

TEST(FileHeaderAttributes, DirectoriesAndUnsupportedSystems) {
  CZipFileHeader header;
  header.SetEntrySystem(0);
  header.SetEntryName("folder/");
  header.m_uExternalAttr = 0;  // another tool's directory without attributes
  EXPECT_TRUE(header.IsDirectoryEntry());
  EXPECT_EQ(header.EntryAttributes(), 0x41FF0010u);

  header.SetEntryName("file");
  header.m_uExternalAttr = 0x20;
  EXPECT_FALSE(header.IsDirectoryEntry());

  header.SetEntrySystem(3);
  header.m_uExternalAttr = 0x41ED0000u;  // Unix directory without the DOS bit
  EXPECT_TRUE(header.IsDirectoryEntry());
  EXPECT_EQ(header.EntryAttributes(), 0x41ED0000u);

  header.SetEntrySystem(2);  // no conversion for this system
  header.SetEntryName("x\\");
  EXPECT_EQ(header.EntryAttributes(), 0x41FF0010u);
  header.SetEntryName("x");
  EXPECT_EQ(header.EntryAttributes(), 0x81A40020u);
  const RecordsError error = RecordsErrorOf([&] { header.SetEntryAttributes(0x81A40000u); });
  EXPECT_EQ(error.code, 115);

  header.SetEntrySystem(0);
  header.SetEntryAttributes(0x41ED0010u);
  EXPECT_EQ(header.m_uExternalAttr, 0x10u);
}

// Writes a new header's local and central records into a memory archive; returns the bytes.
std::string WriteRecords(CZipFileHeader& header) {
  CZipMemFile memory;
  CZipStorage storage;
  storage.StorageOpenMemory(memory, CZipStorage::CreateNew);
  header.ConvertName(false);
  header.WriteLocalHeader(storage);
  header.WriteCentralHeader(storage);
  storage.StorageClose(false);
  return std::string(reinterpret_cast<const char*>(memory.GetData()), memory.GetLength());
}

TEST(FileHeaderWrite, ExtraFieldGoesOnlyIntoTheLocalHeader) {
  CZipFileHeader header;
  header.SetEntrySystem(3);
  header.SetEntryName("e.txt");
  header.m_pExtraField.Assign(std::string("\x34\x12\x02\x00xy", 6));
  ASSERT_TRUE(header.PrepareForAdding(6, false, false));
  const std::string bytes = WriteRecords(header);
  const std::size_t central = LH::Size + 5 + 6;
  ASSERT_EQ(bytes.size(), central + ZipFormat::CentralHeader::Size + 5);
  EXPECT_EQ(bytes.substr(LH::Size + 5, 6), std::string("\x34\x12\x02\x00xy", 6));
  EXPECT_EQ(bytes[central + ZipFormat::CentralHeader::ExtraLength], 0);
  EXPECT_EQ(header.m_uOffset, 0u);
  EXPECT_EQ(header.m_uDiskStart, 0);
  EXPECT_EQ(header.m_pExtraField.GetSize(), 0u);
}

TEST(FileHeaderName, ArchiveAndHostForms) {
  // A new DOS entry is stored in CP437 with "/"; its sizes count the stored bytes.
  CZipFileHeader source;
  source.SetEntrySystem(0);
  source.SetEntryName("dir/\xC3\xBC" "ber.txt");
  source.m_uCrc32 = 1;
  const std::string bytes = WriteRecords(source);
  EXPECT_EQ(source.m_uFlag & ZipFormat::Flag::Utf8Name, 0);
  EXPECT_EQ(bytes.substr(LH::Size, 12), std::string("dir/\x81" "ber.txt"));
  EXPECT_EQ(source.HeaderSize(true), LH::Size + 12);  // the host form has 13 bytes
  source.ConvertName(true);
  EXPECT_EQ(source.GetFileName(), "dir/\xC3\xBC" "ber.txt");
  EXPECT_EQ(source.HeaderSize(true), LH::Size + 12);
  EXPECT_EQ(source.HeaderSize(false), ZipFormat::CentralHeader::Size + 12);

  // A name CP437 cannot hold is stored as UTF-8 with bit 11.
  CZipFileHeader japanese;
  japanese.SetEntrySystem(0);
  japanese.SetEntryName("\xE6\x97\xA5\xE6\x9C\xAC.txt");
  ASSERT_TRUE(japanese.PrepareForAdding(6, false, false));
  EXPECT_NE(japanese.m_uFlag & ZipFormat::Flag::Utf8Name, 0);
  japanese.ConvertName(false);
  EXPECT_EQ(japanese.GetFileName(), "\xE6\x97\xA5\xE6\x9C\xAC.txt");

  // Other hosts keep the bytes; non-ASCII ones get bit 11, ASCII ones do not; "\" is a character.
  CZipFileHeader unix;
  unix.SetEntrySystem(3);
  unix.SetEntryName("caf\xC3\xA9\\x");
  unix.ConvertName(false);
  EXPECT_NE(unix.m_uFlag & ZipFormat::Flag::Utf8Name, 0);
  EXPECT_EQ(unix.GetFileName(), "caf\xC3\xA9\\x");
  CZipFileHeader ascii;
  ascii.SetEntrySystem(3);
  ascii.SetEntryName("plain\\name");
  ascii.ConvertName(false);
  EXPECT_EQ(ascii.m_uFlag & ZipFormat::Flag::Utf8Name, 0);
  EXPECT_EQ(ascii.GetFileName(), "plain\\name");
}

TEST(FileHeaderName, EntriesReadKeepTheirBytesAndFlags) {
  // UTF-8 bytes without bit 11 from a Unix host (as Info-ZIP writes them), a CP437 name from a
  // DOS host, and bit 11 on a DOS host.
  struct Case {
    std::uint16_t system;
    std::uint16_t flags;
    std::string stored;
    std::string host;
  };
  const Case cases[] = {
      {3, 0x0000, "\xC3\xA9t\xC3\xA9.txt", "\xC3\xA9t\xC3\xA9.txt"},
      {0, 0x0000, "a\\\x82t\x82.txt", "a/\xC3\xA9t\xC3\xA9.txt"},
      {11, 0x0000, "\x82", "\xC3\xA9"},
      {0, 0x0800, "\xC3\xA9.txt", "\xC3\xA9.txt"},
      {3, 0x0000, "bad\xFF", "bad\xFF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    const RecordsArchive built =
        BuildStoredArchive({StoredEntry(c.stored, "d", c.flags, c.system)});
    RecordsOpenArchive archive(built.bytes, RecordsMedium::Memory);
    archive.central.ReadCentralDir();
    CZipFileHeader& header = *archive.central.GetHeader(0);
    EXPECT_EQ(header.GetFileName(), c.host);
    EXPECT_EQ(header.ArchiveName(), c.stored);
    EXPECT_EQ(header.HeaderSize(true), LH::Size + c.stored.size());
    const std::string written = WriteRecords(header);
    EXPECT_EQ(written.substr(LH::Size, c.stored.size()), c.stored);
    EXPECT_EQ(header.m_uFlag, c.flags);
    // Renaming makes it a new name, encoded by the rules for new names.
    header.ConvertName(true);
    header.SetEntryName("renamed");
    EXPECT_EQ(header.ArchiveName(), "renamed");
  }
}

TEST(FileHeaderCrc, CrcAndSizesInTheirOrder) {
  CZipFileHeader header;
  header.m_uCrc32 = 0x11223344;
  header.m_uComprSize = 0x55667788;
  header.m_uUncomprSize = 0x99AABBCC;
  char bytes[12];
  header.WriteCrcAndSizes(bytes);
  EXPECT_EQ(std::string(bytes, 12), std::string("\x44\x33\x22\x11\x88\x77\x66\x55\xCC\xBB\xAA\x99", 12));
  EXPECT_TRUE(header.CheckCrcAndSizes(bytes));
  for (int i = 0; i < 12; ++i) {
    char changed[12];
    std::copy_n(bytes, 12, changed);
    changed[i] = static_cast<char>(changed[i] ^ 0x40);
    EXPECT_FALSE(header.CheckCrcAndSizes(changed)) << i;
  }
}

}  // namespace
}  // namespace brevik::test
