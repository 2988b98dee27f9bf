// ZipArchiveExtractTest.cpp -- reading and extracting entries: data, checks, damage, passwords, confinement.
#include "ZipArchiveTestSupport.h"

#include "engine/ZipEndian.h"
#include "engine/ZipFileException.h"
#include "engine/ZipMemFile.h"
#include "support/ArchivePeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace brevik::test {
namespace {

namespace fs = std::filesystem;

/// Overwrites `bytes.size()` bytes of the file at `offset`.
void PatchFile(const std::string& path, std::size_t offset, const std::string& bytes) {
  std::string contents = ReadFileBytes(path);
  contents.replace(offset, bytes.size(), bytes);
  WriteFileBytes(path, contents);
}

std::string Le32(std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

/// Offset of the central header of the only entry: the end record's directory offset.
std::size_t CentralOffset(const std::string& path) {
  std::string contents = ReadFileBytes(path);
  std::size_t end = contents.size() - 22;
  std::uint32_t offset = 0;
  for (int i = 0; i < 4; ++i) offset |= static_cast<std::uint32_t>(static_cast<unsigned char>(contents[end + 16 + i])) << (8 * i);
  return offset;
}

TEST(ZipArchiveExtract, EverySizeComesBackByteForByteStoredDeflatedAndEncrypted) {
  const std::size_t sizes[] = {0, 1, 4, 5, 65535, 65536, 65537, 131072, 3 * 1024 * 1024 + 17};
  for (const char* password : {"", "pässwörd"}) {
    for (int level : {0, 1, 6, 9}) {
      CZipMemFile memory;
      CZipArchive archive;
      ASSERT_TRUE(archive.Open(memory, CZipArchive::CreateNew));
      ASSERT_TRUE(archive.SetPassword(password));
      std::vector<std::string> contents;
      for (std::size_t size : sizes) {
        contents.push_back(GeneratedBytes(size, static_cast<unsigned>(size + level), size % 2 == 0));
        WriteTestEntry(archive, "f" + std::to_string(size), contents.back(), level);
      }
      archive.Close();
      ASSERT_TRUE(archive.Open(memory, CZipArchive::OpenReadOnly));
      ASSERT_TRUE(archive.SetPassword(password));
      for (std::size_t i = 0; i < contents.size(); ++i) {
        EXPECT_EQ(ReadTestEntry(archive, static_cast<int>(i), i % 2 ? 65536 : 1000), contents[i])
            << "size " << sizes[i] << " level " << level << " password '" << password << "'";
        EXPECT_EQ(EntryInfo(archive, static_cast<int>(i)).IsEncrypted(), *password != '\0');
      }
      EXPECT_EQ(archive.GetZlibBlockCount(), 0u);
      archive.Close();
    }
  }
}

TEST(ZipArchiveExtract, AnEntryOfAMultipleOfTheBufferEndsWithAnEmptyReadAndACheckedClose) {
  CZipMemFile memory;
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(memory, CZipArchive::CreateNew));
  std::string data = GeneratedBytes(4 * 8192, 1, true);
  WriteTestEntry(archive, "a", data, 6);
  WriteTestEntry(archive, "empty", "", 0);
  archive.Close();
  ASSERT_TRUE(archive.Open(memory, CZipArchive::OpenReadOnly));
  ASSERT_TRUE(archive.OpenEntryForReading(0));
  std::vector<char> buffer(8192);
  std::string read;
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(archive.ReadEntryData(buffer.data(), 8192), 8192u);
    read.append(buffer.data(), 8192);
  }
  EXPECT_EQ(archive.ReadEntryData(buffer.data(), 8192), 0u);
  EXPECT_EQ(archive.ReadEntryData(nullptr, 8192), 0u);
  EXPECT_EQ(archive.CloseEntryForReading(), 1);
  EXPECT_EQ(read, data);

  // An entry closed before its end reports -1, and the archive reads on.
  ASSERT_TRUE(archive.OpenEntryForReading(0));
  ASSERT_EQ(archive.ReadEntryData(buffer.data(), 100), 100u);
  EXPECT_EQ(archive.CloseEntryForReading(), -1);
  EXPECT_EQ(archive.GetZlibBlockCount(), 0u);

  ASSERT_TRUE(archive.OpenEntryForReading(1));
  EXPECT_EQ(archive.ReadEntryData(buffer.data(), 10), 0u);
  EXPECT_EQ(archive.CloseEntryForReading(), 1);
  EXPECT_EQ(EntryInfo(archive, 1).m_uCrc32, 0u);
  EXPECT_FALSE(archive.OpenEntryForReading(2));
  EXPECT_FALSE(archive.OpenEntryForReading(-1));
  archive.Close();
}

TEST(ZipArchiveExtract, ExtractEntryWritesFilesAndFoldersWithTheirTimesAndModes) {
  ScratchDir dir;
  std::vector<ArchiveTreeItem> items = {
      {"src/nested/deeper/", "", 0750, 1300000000},
      {"src/nested/deeper/file.txt", "deep text", 0640, 1300000002},
      {"src/run.sh", "#!/bin/sh\n", 0755, 1300000004},
      {"src/empty/", "", 0755, 1300000000},
  };
  WriteArchiveTree(dir.path(), items);
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "t.zip", CZipArchive::CreateNew));
  archive.SetRootPath(dir.path().c_str());
  for (const char* name : {"src/", "src/nested/", "src/nested/deeper/", "src/nested/deeper/file.txt", "src/run.sh",
                           "src/empty/"}) {
    ASSERT_TRUE(archive.AddFile(dir / name, -1, false)) << name;
  }
  archive.Close();

  ASSERT_TRUE(archive.Open(dir / "t.zip", CZipArchive::OpenReadOnly));
  fs::create_directories(dir / "out/src");  // a folder that exists already is fine
  WriteFileBytes(dir / "out/src/run.sh", "old contents that are longer");  // and a file is replaced
  RecordingCallback callback;
  archive.SetCallback(&callback, cbExtract);
  for (int i = 0; i < archive.GetCount(); ++i) EXPECT_TRUE(archive.ExtractEntry(i, dir / "out")) << i;
  archive.Close();
  EXPECT_EQ(CompareArchiveTrees(dir / "src", dir / "out/src", true, true), "");
  EXPECT_EQ(callback.events[0], "Begin src/ " + (dir / "out/src"));
  EXPECT_EQ(callback.events[1], "SetTotal 0");
  EXPECT_EQ(callback.events[2], "End");
}

TEST(ZipArchiveExtract, NamesThatClimbOutOfTheTargetFolderAreNeverWritten) {
  ScratchDir dir;
  std::string script = "import zipfile\n"
                       "z = zipfile.ZipFile('" + (dir / "evil.zip") + "', 'w')\n"
                       "z.writestr('../evil.txt', b'evil')\n"
                       "z.writestr('a/../../evil2.txt', b'evil')\n"
                       "z.writestr('/abs/inside.txt', b'inside')\n"
                       "i = zipfile.ZipInfo('..\\\\evil3.txt')\n"
                       "i.create_system = 0\n"
                       "z.writestr(i, b'evil')\n"
                       "z.writestr('good.txt', b'good')\n"
                       "z.close()\n";
  WriteFileBytes(dir / "make.py", script);
  ASSERT_EQ(RunCommand("python3 " + ShellQuote(dir / "make.py")).exitStatus, 0);
  fs::create_directories(dir / "target/out");
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "evil.zip", CZipArchive::OpenReadOnly));
  ASSERT_EQ(archive.GetCount(), 5);
  std::vector<std::string> names;
  for (int i = 0; i < 5; ++i) names.push_back(EntryInfo(archive, i).GetFileName());
  EXPECT_EQ(names[3], "../evil3.txt");  // a DOS-family name's "\" is its separator
  for (int i = 0; i < 5; ++i) {
    bool expected = names[i] == "good.txt" || names[i] == "/abs/inside.txt";
    EXPECT_EQ(archive.ExtractEntry(i, dir / "target/out"), expected) << names[i];
    EXPECT_EQ(archive.ExtractEntry(i, dir / "target/out", false), true) << names[i];  // bare names stay inside
  }
  archive.Close();
  EXPECT_FALSE(fs::exists(dir / "target/evil.txt"));
  EXPECT_FALSE(fs::exists(dir / "target/evil2.txt"));
  EXPECT_FALSE(fs::exists(dir / "target/evil3.txt"));
  EXPECT_FALSE(fs::exists(dir / "evil2.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "target/out/abs/inside.txt"), "inside");
  EXPECT_EQ(ReadFileBytes(dir / "target/out/evil.txt"), "evil");
  EXPECT_EQ(ReadFileBytes(dir / "target/out/good.txt"), "good");
}

TEST(ZipArchiveExtract, AFlippedByteGivesACrcMismatchAndLeavesNeitherAPartialFileNorADamagedOldOne) {
  ScratchDir dir;
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "d.zip", CZipArchive::CreateNew));
    WriteTestEntry(archive, "data.bin", std::string(1000, 'a'), 0);
    WriteTestEntry(archive, "other.bin", "other", 0);
    archive.Close();
  }
  PatchFile(dir / "d.zip", 30 + 8 + 500, "b");
  for (bool memoryStorage : {false, true}) {
    std::string target = dir / (memoryStorage ? "m" : "f");
    CZipMemFile memory;
    std::string bytes = ReadFileBytes(dir / "d.zip");
    memory.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    int descriptors = OpenDescriptorCount();
    CZipArchive archive;
    if (memoryStorage) {
      ASSERT_TRUE(archive.Open(memory, CZipArchive::OpenReadOnly));
    } else {
      ASSERT_TRUE(archive.Open(dir / "d.zip", CZipArchive::OpenReadOnly));
    }
    // Once into an empty folder, once over a file of that name, which must survive whole.
    std::string message;
    EXPECT_EQ(ZipErrorOf([&] { archive.ExtractEntry(0, target + "/empty"); }, &message), 102);
    EXPECT_EQ(message, "Crc mismatched");
    EXPECT_TRUE(fs::is_empty(target + "/empty"));
    EXPECT_FALSE(archive.ExtractEntry(1, target));  // the damaged entry is still open
    archive.Close(CZipArchive::CloseAfterError);
    WriteFileBytes(target + "/data.bin", "the file that was there");
    ASSERT_TRUE(memoryStorage ? archive.Open(memory, CZipArchive::OpenReadOnly)
                              : archive.Open(dir / "d.zip", CZipArchive::OpenReadOnly));
    EXPECT_EQ(ZipErrorOf([&] { archive.ExtractEntry(0, target); }), 102);
    EXPECT_EQ(ReadFileBytes(target + "/data.bin"), "the file that was there");
    EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 2);  // and "empty"
    archive.Close(CZipArchive::CloseAfterError);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);

    // Without the check the same entry extracts.
    ASSERT_TRUE(memoryStorage ? archive.Open(memory, CZipArchive::OpenReadOnly)
                              : archive.Open(dir / "d.zip", CZipArchive::OpenReadOnly));
    archive.SetIgnoreCrc(true);
    EXPECT_TRUE(archive.ExtractEntry(0, target));
    EXPECT_TRUE(archive.ExtractEntry(1, target));
    archive.Close();
  }
}

TEST(ZipArchiveExtract, DamagedDeflateDataAndDataPastTheEndFailCleanly) {
  ScratchDir dir;
  std::string data = GeneratedBytes(200000, 4, true);
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "z.zip", CZipArchive::CreateNew));
    WriteTestEntry(archive, "z.bin", data, 6);
    archive.Close();
  }
  std::string original = ReadFileBytes(dir / "z.zip");
  CZipArchive probe;
  ASSERT_TRUE(probe.Open(dir / "z.zip", CZipArchive::OpenReadOnly));
  std::uint32_t packed = EntryInfo(probe, 0).m_uComprSize;
  probe.Close();
  std::size_t central = CentralOffset(dir / "z.zip");

  struct Damage {
    const char* what;
    std::function<void(const std::string&)> apply;
    std::vector<int> codes;
  } damages[] = {
      // The deflate stream claimed shorter than it is: it ends inside the packed data.
      {"truncated stream",
       [&](const std::string& path) {
         PatchFile(path, 18, Le32(packed / 2));
         PatchFile(path, central + 20, Le32(packed / 2));
       },
       {504, 506}},
      // Garbage in the middle of the stream: a CRC mismatch, an inflate error, or data that
      // goes on past the declared size (101, as the whole-buffer inflate finds it).
      {"garbage", [&](const std::string& path) { PatchFile(path, 30 + 5 + packed / 2, std::string(64, '\xff')); },
       {101, 102, 504}},
      // A size that runs past the end of the archive file.
      {"past the end",
       [&](const std::string& path) {
         PatchFile(path, 18, Le32(packed + 100000));
         PatchFile(path, central + 20, Le32(packed + 100000));
       },
       {101}},
      // An unsupported method in both headers.
      {"method 98",
       [&](const std::string& path) {
         PatchFile(path, 8, std::string("\x62\x00", 2));
         PatchFile(path, central + 10, std::string("\x62\x00", 2));
       },
       {136}},
  };
  for (auto& damage : damages) {
    std::string path = dir / "damaged.zip";
    WriteFileBytes(path, original);
    damage.apply(path);
    fs::remove_all(dir / "out");
    int descriptors = OpenDescriptorCount();
    CZipArchive archive;
    // Packed data that runs past the directory's start is refused when the archive is opened.
    int code = ZipErrorOf([&] { archive.Open(path, CZipArchive::OpenReadOnly); });
    if (code == 0) code = ZipErrorOf([&] { archive.ExtractEntry(0, dir / "out"); });
    EXPECT_NE(std::find(damage.codes.begin(), damage.codes.end(), code), damage.codes.end())
        << damage.what << ": code " << code;
    archive.Close(CZipArchive::CloseAfterError);
    EXPECT_EQ(archive.GetZlibBlockCount(), 0u);
    EXPECT_EQ(OpenDescriptorCount(), descriptors) << damage.what;
    if (code == 101 || code == 136) {
      EXPECT_FALSE(fs::exists(dir / "out/z.bin")) << damage.what;  // refused before writing
    }
  }
}

TEST(ZipArchiveExtract, AMissingOrWrongPasswordFailsWith110BeforeAnyFileIsCreated) {
  ScratchDir dir;
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "p.zip", CZipArchive::CreateNew));
    ASSERT_TRUE(archive.SetPassword("right"));
    WriteTestEntry(archive, "secret.txt", GeneratedBytes(5000, 2, true));
    archive.Close();
  }
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "p.zip", CZipArchive::OpenReadOnly));
  std::string message;
  EXPECT_EQ(ZipErrorOf([&] { archive.ExtractEntry(0, dir / "out"); }, &message), 110);
  EXPECT_EQ(message, "Incorrect password set for the file being decrypted");
  EXPECT_FALSE(fs::exists(dir / "out/secret.txt"));
  // A wrong password fails the one-byte check except in about 1 case of 256, where the data
  // itself then fails.
  int badPasswordCount = 0;
  for (const char* wrong : {"wrong", "Right", "righ", "right!", "x"}) {
    ASSERT_TRUE(archive.SetPassword(wrong));
    int code = ZipErrorOf([&] { archive.ExtractEntry(0, dir / "out"); });
    if (code == 110) {
      ++badPasswordCount;
      EXPECT_FALSE(fs::exists(dir / "out/secret.txt"));
    } else {
      // The data then fails (its CRC, its inflate, or its length) and no file is kept.
      EXPECT_FALSE(fs::exists(dir / "out/secret.txt")) << code;
      archive.Close(CZipArchive::CloseAfterError);
      ASSERT_TRUE(archive.Open(dir / "p.zip", CZipArchive::OpenReadOnly));
      fs::remove_all(dir / "out");
    }
  }
  EXPECT_GE(badPasswordCount, 3);
  ASSERT_TRUE(archive.SetPassword("right"));
  EXPECT_TRUE(archive.ExtractEntry(0, dir / "out"));
  archive.Close();
}

TEST(ZipArchiveExtract, ACallbackThatStopsEarlyGives105AndAtTheLastBufferACompleteFileAnd106) {
  ScratchDir dir;
  std::string data = GeneratedBytes(3 * 65536 + 5, 9, true);
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "c.zip", CZipArchive::CreateNew));
    WriteTestEntry(archive, "c.bin", data);
    archive.Close();
  }
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "c.zip", CZipArchive::OpenReadOnly));
  RecordingCallback early(1);
  archive.SetCallback(&early, cbExtract);
  std::string message;
  EXPECT_EQ(ZipErrorOf([&] { archive.ExtractEntry(0, dir / "early"); }, &message), 105);
  EXPECT_EQ(message, "Action aborted");
  EXPECT_EQ(fs::file_size(dir / "early/c.bin"), 65536u);
  EXPECT_EQ(early.events.back(), "End");

  RecordingCallback last(4);
  archive.SetCallback(&last, cbExtract);
  EXPECT_EQ(ZipErrorOf([&] { archive.ExtractEntry(0, dir / "last"); }, &message), 106);
  EXPECT_EQ(message, "Action aborted safely");
  EXPECT_EQ(ReadFileBytes(dir / "last/c.bin"), data);
  archive.Close();
}

/// The umask, changed for one test and restored afterwards.
class UmaskScope {
public:
  explicit UmaskScope(mode_t mask) : old_(::umask(mask)) {}
  ~UmaskScope() { ::umask(old_); }
  void Change(mode_t mask) { ::umask(mask); }

private:
  mode_t old_;
};

struct StatOf {
  explicit StatOf(const std::string& path) { EXPECT_EQ(::stat(path.c_str(), &info), 0) << path; }
  unsigned Mode() const { return info.st_mode & 07777; }
  struct stat info {};
};

TEST(ZipArchiveExtract, ModesFollowTheUmaskOfEachExtractionForNewAndExistingFiles) {
  ScratchDir dir;
  struct ModedEntry {
    const char* name;
    std::uint32_t unixMode;  // st_mode as stored in the high word of the attributes
  };
  const std::vector<ModedEntry> entries = {
      {"run.sh", S_IFREG | 0755},      {"secret.txt", S_IFREG | 0600},  {"sub/ro.txt", S_IFREG | 0444},
      {"fifo", S_IFIFO | 0777},        {"setid", S_IFREG | 07755},      {"sub/deeper/x.txt", S_IFREG | 0664},
  };
  const std::time_t entryTime = 1300000000;
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "m.zip", CZipArchive::CreateNew));
    for (const ModedEntry& entry : entries) {
      CZipFileHeader header;
      header.SetEntryName(entry.name);
      header.SetEntrySystem(3);
      header.SetEntryAttributes(entry.unixMode << 16);
      header.SetEntryTime(entryTime);
      ASSERT_TRUE(archive.OpenEntryForWriting(header, -1));
      ASSERT_TRUE(archive.WriteEntryData(entry.name, static_cast<std::uint32_t>(std::strlen(entry.name))));
      ASSERT_TRUE(archive.CloseEntryForWriting(false));
    }
    archive.Close();
  }
  const auto extractAll = [&](const std::string& target) {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "m.zip", CZipArchive::OpenReadOnly));
    for (int i = 0; i < archive.GetCount(); ++i) EXPECT_TRUE(archive.ExtractEntry(i, target)) << i;
    archive.Close();
  };
  const auto expectModes = [&](const std::string& target, const std::vector<unsigned>& modes, const char* pass) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::string path = target + "/" + entries[i].name;
      StatOf file(path);
      EXPECT_EQ(file.Mode(), modes[i]) << pass << " " << path;
      EXPECT_EQ(file.info.st_mtime, entryTime) << pass << " " << path;
      EXPECT_EQ(ReadFileBytes(path), entries[i].name) << pass << " " << path;
    }
  };

  UmaskScope umask(022);
  extractAll(dir / "out");
  expectModes(dir / "out", {0755, 0600, 0444, 0644, 0755, 0644}, "new files, umask 022");

  // The same files again, now existing with other modes, times and longer contents, under
  // another umask: each gets the entry's mode less the new umask, its time and its bytes.
  umask.Change(077);
  for (const ModedEntry& entry : entries) {
    const std::string path = dir / "out" + "/" + entry.name;
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    WriteFileBytes(path, std::string(100, 'o'));
  }
  extractAll(dir / "out");
  expectModes(dir / "out", {0700, 0600, 0400, 0600, 0700, 0600}, "existing files, umask 077");
  extractAll(dir / "fresh");
  expectModes(dir / "fresh", {0700, 0600, 0400, 0600, 0700, 0600}, "new files, umask 077");

  // A folder in the path that is a file: the open's own error, with the path, and no folder made.
  WriteFileBytes(dir / "blocked", "a file");
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "m.zip", CZipArchive::OpenReadOnly));
  try {
    archive.ExtractEntry(2, dir / "blocked");
    ADD_FAILURE() << "extracting below a file succeeded";
  } catch (const CZipFileException& error) {
    EXPECT_EQ(error.GetSystemError(), ENOTDIR);
    EXPECT_EQ(error.GetFilePath(), dir / "blocked/sub/ro.txt");
  }
  archive.Close(CZipArchive::CloseAfterError);
}

TEST(ZipArchiveExtract, AFullDiskWhileExtractingIsACleanFileErrorAndTheArchiveStillCloses) {
  ScratchDir dir;
  std::string data = GeneratedBytes(2 * 1024 * 1024, 8, true);
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "f.zip", CZipArchive::CreateNew));
    WriteTestEntry(archive, "big.bin", data);
    archive.Close();
  }
  int status = RunWithFileSizeLimit(256 * 1024, [&] {
    int descriptors = OpenDescriptorCount();
    CZipArchive archive;
    archive.Open(dir / "f.zip", CZipArchive::OpenReadOnly);
    int result = 10;
    try {
      archive.ExtractEntry(0, dir / "out");
    } catch (const CZipFileException& error) {
      result = error.GetSystemError() == EFBIG ? 0 : 11;
    }
    archive.Close(CZipArchive::CloseAfterError);
    if (archive.GetZlibBlockCount() != 0) return 12;
    if (OpenDescriptorCount() != descriptors) return 13;
    return result;
  });
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace brevik::test
