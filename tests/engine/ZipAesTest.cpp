// ZipAesTest.cpp -- WinZip AES entries: written for the peers, peers' archives read, wrong passwords and tampering.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ZipArchiveTestSupport.h"
#include "engine/ZipAes.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

namespace brevik::test {
namespace {

/// Rewrites every AE-2 entry of the archive at `path` as AE-1: vendor version 1 in each 0x9901
/// block and the data's real CRC (`crc`, the same for every entry) in the local and central headers.
void MakeAe1(const std::string& path, std::uint32_t crc) {
  const std::string script = R"(
import struct, sys
path, crc = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, 'rb').read())
block = b'\x01\x99\x07\x00\x02\x00AE'
at = data.find(block)
while at >= 0:
    data[at + 4] = 1
    at = data.find(block, at + 1)
for signature, crc_at in ((b'PK\x03\x04', 14), (b'PK\x01\x02', 16)):
    at = data.find(signature)
    while at >= 0:
        data[at + crc_at:at + crc_at + 4] = struct.pack('<I', crc)
        at = data.find(signature, at + 1)
open(path, 'wb').write(data)
)";
  ASSERT_EQ(RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(path) + " " + std::to_string(crc)).exitStatus, 0);
}

/// Writes `entries` (name, data) with the password "PW" and cipher `method`, deflated.
void WriteAesArchive(const std::string& path, CZipArchive::Encryption method,
                     const std::vector<std::pair<std::string, std::string>>& entries, int level = -1) {
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(path, CZipArchive::CreateNew));
  archive.SetPassword("PW");
  archive.SetEncryption(method);
  for (const auto& [name, data] : entries) WriteTestEntry(archive, name, data, level);
  archive.Close();
}

std::uint32_t Crc(const std::string& data) {
  return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

TEST(ZipAes, EveryStrengthWrittenPassesSevenZipAndBsdtarAndReadsBack) {
  ScratchDir dir;
  const std::string big = GeneratedBytes(200000, 7, true);
  const std::string noise = GeneratedBytes(70001, 8, false);
  const std::vector<std::pair<std::string, std::string>> entries{{"big.txt", big}, {"noise.bin", noise},
                                                                  {"empty", ""}, {"one", "x"}};
  for (const auto& [method, strength] : {std::pair{CZipArchive::Aes128, 1}, std::pair{CZipArchive::Aes192, 2},
                                          std::pair{CZipArchive::Aes256, 3}}) {
    for (const int level : {-1, 0}) {
      SCOPED_TRACE("strength " + std::to_string(strength) + " level " + std::to_string(level));
      const std::string path = dir / ("aes" + std::to_string(strength) + "_" + std::to_string(level + 1) + ".zip");
      WriteAesArchive(path, method, entries, level);
      const CommandResult tested = RunCommand("7zz t -bd -pPW " + ShellQuote(path) + " 2>&1");
      EXPECT_EQ(tested.exitStatus, 0) << tested.output;
      EXPECT_EQ(RunCommand("bsdtar -xOf " + ShellQuote(path) + " --passphrase PW big.txt").output, big);

      CZipArchive archive;
      ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly));
      archive.SetPassword("PW");
      for (int i = 0; i < archive.GetCount(); ++i) EXPECT_EQ(ReadTestEntry(archive, i, 1000), entries[i].second);
      // Method 99, AE-2 (CRC 0) with the strength and the real method in the central record.
      const CZipFileHeader header = EntryInfo(archive, 0);
      EXPECT_EQ(header.m_uMethod, 99);
      EXPECT_EQ(header.m_uCrc32, 0u);
      EXPECT_EQ(header.m_uVersionNeeded, 51);
      ZipAesField field;
      ASSERT_TRUE(ReadAesField(header.m_pExtraField, field));
      EXPECT_EQ(field.vendorVersion, 2);
      EXPECT_EQ(field.strength, strength);
      EXPECT_EQ(field.method, level == 0 ? 0 : 8);
      EXPECT_EQ(header.m_uComprSize, EntryInfo(archive, 0).m_uComprSize);
      // Salt, verifier, the data and the code.
      if (level == 0) {
        EXPECT_EQ(EntryInfo(archive, 3).m_uComprSize, ZipAesFormat::SaltBytes(strength) + 2 + 1 + 10);
      }
    }
  }
}

TEST(ZipAes, ASplitArchiveKeepsTheDescriptorAndPassesSevenZip) {
  ScratchDir dir;
  const std::string path = dir / "split.zip";
  const std::string first = GeneratedBytes(90000, 21, false);
  const std::string second = GeneratedBytes(20000, 22, true);
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(path, CZipArchive::CreateSpanned, 70000));
  archive.SetPassword("PW");
  archive.SetEncryption(CZipArchive::Aes256);
  WriteTestEntry(archive, "first.bin", first, 0);
  WriteTestEntry(archive, "second.txt", second);
  archive.Close();
  const CommandResult tested = RunCommand("7zz t -bd -pPW " + ShellQuote(path) + " 2>&1");
  EXPECT_EQ(tested.exitStatus, 0) << tested.output;
  ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly));
  archive.SetPassword("PW");
  // A split archive cannot go back to the local header: the sizes follow the data.
  EXPECT_TRUE(EntryInfo(archive, 0).IsDataDescriptor());
  EXPECT_TRUE(ReadTestEntry(archive, 0) == first);
  EXPECT_TRUE(ReadTestEntry(archive, 1) == second);
}

TEST(ZipAes, AesEntriesBetweenTraditionalOnesAreReadInOrderWithTheDecodeAheadWindow) {
  ScratchDir dir;
  const std::string path = dir / "mixed.zip";
  std::vector<std::string> data;
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(path, CZipArchive::CreateNew));
  archive.SetPassword("PW");
  for (int i = 0; i < 6; ++i) {
    archive.SetEncryption(i % 2 == 0 ? CZipArchive::ZipCrypto : CZipArchive::Aes128);
    data.push_back(GeneratedBytes(3000 + 100 * i, 30 + i, i % 3 != 0));
    WriteTestEntry(archive, "e" + std::to_string(i), data.back(), i % 3 == 0 ? 0 : 6);
  }
  archive.Close();
  ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly));
  archive.SetPassword("PW");
  archive.SetReadAhead(true);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(EntryInfo(archive, i).m_uMethod, i % 2 == 0 ? (i % 3 == 0 ? 0 : 8) : 99) << i;
    EXPECT_TRUE(ReadTestEntry(archive, i) == data[i]) << i;
  }
}

TEST(ZipAes, SevenZipArchivesOfBothStrengthsAndBothVersionsAreRead) {
  ScratchDir dir;
  const std::string big = GeneratedBytes(150000, 3, true);
  WriteFileBytes(dir / "big.txt", big);
  WriteFileBytes(dir / "small.txt", "small\n");
  for (const char* strength : {"AES128", "AES256"}) {
    for (const bool ae1 : {false, true}) {
      SCOPED_TRACE(std::string(strength) + (ae1 ? " AE-1" : " AE-2"));
      const std::string path = dir / (std::string(strength) + (ae1 ? "_1" : "_2") + ".zip");
      ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.path()) + " && 7zz a -bd -tzip -mem=" + strength + " -pPW " +
                           ShellQuote(path) + " big.txt >/dev/null")
                    .exitStatus,
                0);
      if (ae1) {
        MakeAe1(path, Crc(big));
        ASSERT_EQ(RunCommand("7zz t -bd -pPW " + ShellQuote(path) + " >/dev/null").exitStatus, 0);
      }
      CZipArchive archive;
      ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly));
      archive.SetPassword("PW");
      EXPECT_EQ(ReadTestEntry(archive, 0, 4096), big);
      const std::string out = dir / ("out_" + std::string(strength) + (ae1 ? "1" : "2"));
      std::filesystem::create_directory(out);
      EXPECT_TRUE(archive.ExtractEntry(0, out));
      EXPECT_EQ(ReadFileBytes(out + "/big.txt"), big);
    }
  }
}

TEST(ZipAes, AnAe1EntryWhoseCrcDisagreesIsACrcMismatch) {
  ScratchDir dir;
  const std::string path = dir / "ae1.zip";
  WriteAesArchive(path, CZipArchive::Aes256, {{"a.txt", "the data"}});
  MakeAe1(path, Crc("other data"));
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly));
  archive.SetPassword("PW");
  std::string message;
  EXPECT_EQ(ZipErrorOf([&] { archive.ExtractEntry(0, dir.path()); }, &message), 102);
  EXPECT_FALSE(std::filesystem::exists(dir / "a.txt"));
}

TEST(ZipAes, AWrongOrMissingPasswordIsRefusedBeforeAnythingIsWritten) {
  ScratchDir dir;
  const std::string path = dir / "aes.zip";
  WriteAesArchive(path, CZipArchive::Aes128, {{"a.txt", GeneratedBytes(5000, 1, true)}});
  std::filesystem::create_directory(dir / "out");
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly));
  for (const char* password : {"pw", static_cast<const char*>(nullptr)}) {
    archive.SetPassword(password);
    std::string message;
    EXPECT_EQ(ZipErrorOf([&] { archive.ExtractEntry(0, dir / "out"); }, &message), 110);
    EXPECT_EQ(message, "Incorrect password set for the file being decrypted");
    EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
    archive.CloseEntryForReading(nullptr, true);
  }
  // The archive stays usable: the right password reads the entry.
  archive.SetPassword("PW");
  EXPECT_TRUE(archive.ExtractEntry(0, dir / "out"));
}

TEST(ZipAes, ATamperedEntryIsNotKeptAndIsReportedAsFailingItsCode) {
  ScratchDir dir;
  const std::string data = GeneratedBytes(40000, 5, false);
  for (const int level : {0, 6}) {
    const std::string path = dir / ("tampered" + std::to_string(level) + ".zip");
    WriteAesArchive(path, CZipArchive::Aes256, {{"a.bin", data}}, level);
    std::string bytes = ReadFileBytes(path);
    // Past the local header (30 + 5 + 11), the salt and verifier (18): a byte of the data.
    bytes[30 + 5 + 11 + 18 + 1000] ^= 0x20;
    WriteFileBytes(path, bytes);
    const std::string out = dir / ("out" + std::to_string(level));
    std::filesystem::create_directory(out);
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly));
    archive.SetPassword("PW");
    std::string message;
    const int code = ZipErrorOf([&] { archive.ExtractEntry(0, out); }, &message);
    // Deflated data that no longer inflates is reported by its code as well.
    EXPECT_EQ(code, 137);
    EXPECT_EQ(message, "The entry's authentication code does not match its data");
    EXPECT_TRUE(std::filesystem::is_empty(out));
  }
}

TEST(ZipAes, AnAesEntryWithoutItsExtraBlockIsDamaged) {
  ScratchDir dir;
  const std::string path = dir / "noblock.zip";
  WriteAesArchive(path, CZipArchive::Aes128, {{"a.txt", "data"}});
  std::string bytes = ReadFileBytes(path);
  // Both 0x9901 block ids become an unknown id: the entry no longer says how it is encrypted.
  for (std::size_t at = bytes.find("\x01\x99\x07\x00", 0, 4); at != std::string::npos;
       at = bytes.find("\x01\x99\x07\x00", at + 1, 4))
    bytes[at + 1] = 0x7F;
  WriteFileBytes(path, bytes);
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly));
  archive.SetPassword("PW");
  try {
    archive.OpenEntryForReading(0);
    ADD_FAILURE() << "opened";
  } catch (const CZipException& error) {
    EXPECT_EQ(error.GetCause(), 101);
    EXPECT_EQ(error.GetFileName(), path);
    EXPECT_EQ(error.GetDetail(), "AES entry \"a.txt\": no usable 0x9901 extra block");
  }
}

}  // namespace
}  // namespace brevik::test
