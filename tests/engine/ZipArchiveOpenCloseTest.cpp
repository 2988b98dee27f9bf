// ZipArchiveOpenCloseTest.cpp -- opening, creating and closing archives, settings and the refusals.
#include "ZipArchiveTestSupport.h"

#include "engine/ZipFileException.h"
#include "engine/ZipMemFile.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

namespace brevik::test {
namespace {

TEST(ZipArchiveOpenClose, AClosedObjectRefusesEveryEntryOperationQuietly) {
  CZipArchive archive;
  EXPECT_TRUE(archive.IsClosed());
  EXPECT_NO_THROW(archive.Close());
  EXPECT_NO_THROW(archive.Close(CZipArchive::CloseAfterError));
  EXPECT_EQ(archive.GetCount(), 0);
  EXPECT_EQ(archive.GetArchivePath(), "");
  EXPECT_EQ(archive.FindEntry("a"), -1);
  CZipFileHeader header;
  EXPECT_FALSE(archive.GetEntryInfo(header, 0));
  EXPECT_FALSE(archive.OpenEntryForWriting(header));
  EXPECT_FALSE(archive.WriteEntryData("x", 1));
  EXPECT_FALSE(archive.CloseEntryForWriting());
  EXPECT_FALSE(archive.OpenEntryForReading(0));
  char byte = 0;
  EXPECT_EQ(archive.ReadEntryData(&byte, 1), 0u);
  EXPECT_EQ(archive.CloseEntryForReading(), 0);
  EXPECT_FALSE(archive.ExtractEntry(0, "/tmp"));
  EXPECT_FALSE(archive.AddFile("/etc/hostname"));
  EXPECT_FALSE(archive.RemoveLastEntry(true));
  archive.SetRootPath("/x");
  EXPECT_EQ(archive.GetRootPath(), "");
  // The password may be set before opening, but opening clears it.
  EXPECT_TRUE(archive.SetPassword("secret"));
  EXPECT_EQ(archive.GetPassword(), "secret");
}

TEST(ZipArchiveOpenClose, OpenOnAnOpenObjectKeepsTheFirstArchiveAndClearsSettingsOnOpen) {
  ScratchDir dir;
  CZipArchive archive;
  ASSERT_TRUE(archive.SetPassword("secret"));
  ASSERT_TRUE(archive.Open(dir / "a.zip", CZipArchive::CreateNew, CZipArchive::DefaultVolumeSize));
  EXPECT_EQ(archive.GetPassword(), "");
  EXPECT_FALSE(archive.IsClosed());
  EXPECT_FALSE(archive.Open(dir / "b.zip", CZipArchive::CreateNew));
  EXPECT_EQ(archive.GetArchivePath(), dir / "a.zip");
  WriteTestEntry(archive, "one.txt", "one");
  archive.SetRootPath("/data");
  archive.Close();
  EXPECT_TRUE(archive.IsClosed());
  EXPECT_FALSE(std::filesystem::exists(dir / "b.zip"));

  // Reopened: the root path set before is gone, the entry is there.
  ASSERT_TRUE(archive.Open(dir / "a.zip", CZipArchive::OpenReadOnly));
  EXPECT_EQ(archive.GetRootPath(), "");
  EXPECT_EQ(archive.GetCount(), 1);
  EXPECT_EQ(archive.FindEntry("ONE.TXT"), 0);  // names are looked up without regard to case
  EXPECT_EQ(archive.FindEntry("two.txt"), -1);
  EXPECT_FALSE(archive.GetEntryInfo(*std::make_unique<CZipFileHeader>(), 1));
  EXPECT_FALSE(archive.GetEntryInfo(*std::make_unique<CZipFileHeader>(), 65535));
  EXPECT_FALSE(archive.GetEntryInfo(*std::make_unique<CZipFileHeader>(), -1));
  EXPECT_EQ(ReadTestEntry(archive, 0), "one");
  // A read-only archive takes no new entries.
  CZipFileHeader header;
  header.SetEntryName("two.txt");
  EXPECT_FALSE(archive.OpenEntryForWriting(header));
  archive.Close();
  EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(dir / "a.zip")).exitStatus, 0);
}

TEST(ZipArchiveOpenClose, SettingsWhileAnEntryIsOpenAreRefused) {
  CZipMemFile memory;
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(memory, CZipArchive::CreateNew));
  ASSERT_TRUE(archive.SetPassword("first"));
  CZipFileHeader header;
  header.SetEntryName("a.txt");
  ASSERT_TRUE(archive.OpenEntryForWriting(header, 0));
  EXPECT_FALSE(archive.SetPassword("second"));
  EXPECT_EQ(archive.GetPassword(), "first");
  archive.SetRootPath("/data");
  EXPECT_EQ(archive.GetRootPath(), "");
  EXPECT_FALSE(archive.OpenEntryForWriting(header, 0));  // one entry at a time
  EXPECT_FALSE(archive.OpenEntryForReading(0));
  ASSERT_TRUE(archive.WriteEntryData("abc", 3));
  ASSERT_TRUE(archive.CloseEntryForWriting());
  EXPECT_TRUE(archive.SetPassword(nullptr));
  EXPECT_EQ(archive.GetPassword(), "");

  ASSERT_TRUE(archive.SetPassword("first"));
  ASSERT_TRUE(archive.OpenEntryForReading(0));
  EXPECT_FALSE(archive.SetPassword("second"));
  EXPECT_FALSE(archive.OpenEntryForReading(0));
  EXPECT_FALSE(archive.OpenEntryForWriting(header, 0));
  // Closing the archive closes the entry being read.
  archive.Close();
  EXPECT_TRUE(archive.IsClosed());
  EXPECT_GT(memory.GetLength(), 0u);
}

TEST(ZipArchiveOpenClose, NewEntriesTakeTheHostSystemOfTheExistingOnes) {
  ScratchDir dir;
  struct Case {
    int madeBy;
    int expected;
  } cases[] = {{0, 0}, {3, 3}, {11, 3}};
  for (const auto& c : cases) {
    std::string path = dir / ("h" + std::to_string(c.madeBy) + ".zip");
    std::string script = "import zipfile\n"
                         "z = zipfile.ZipFile('" + path + "', 'w')\n"
                         "i = zipfile.ZipInfo('first.txt')\n"
                         "i.create_system = " + std::to_string(c.madeBy) + "\n"
                         "z.writestr(i, b'first')\n"
                         "z.close()\n";
    WriteFileBytes(dir / "make.py", script);
    ASSERT_EQ(RunCommand("python3 " + ShellQuote(dir / "make.py")).exitStatus, 0);
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(path, CZipArchive::OpenExisting));
    EXPECT_EQ(archive.GetHostSystem(), c.expected) << "made by " << c.madeBy;
    WriteTestEntry(archive, "second.txt", "second");
    EXPECT_EQ(EntryInfo(archive, 1).EntrySystem(), c.expected);
    archive.Close();
    EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(path)).exitStatus, 0) << "made by " << c.madeBy;
  }
}

TEST(ZipArchiveOpenClose, CloseWithUpdateTimeGivesTheArchiveItsLatestEntryTime) {
  ScratchDir dir;
  std::tm tm2005{}, tm2008{};
  tm2005.tm_year = 105, tm2005.tm_mon = 5, tm2005.tm_mday = 1, tm2005.tm_hour = 12, tm2005.tm_isdst = -1;
  tm2008.tm_year = 108, tm2008.tm_mon = 2, tm2008.tm_mday = 3, tm2008.tm_hour = 8, tm2008.tm_isdst = -1;
  std::time_t t2005 = std::mktime(&tm2005), t2008 = std::mktime(&tm2008);
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "t.zip", CZipArchive::CreateNew));
    WriteTestEntry(archive, "old.txt", "old", -1, t2005);
    WriteTestEntry(archive, "new.txt", "new", -1, t2008);
    WriteTestEntry(archive, "mid.txt", "mid", -1, t2005 + 3600);
    archive.Close(CZipArchive::CloseNormal, true);
  }
  struct stat info {};
  ASSERT_EQ(stat((dir / "t.zip").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, t2008);
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "empty.zip", CZipArchive::CreateNew));
    archive.Close(CZipArchive::CloseNormal, true);
  }
  ASSERT_EQ(stat((dir / "empty.zip").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, 0);
  EXPECT_EQ(info.st_size, 22);  // the end record alone
}

TEST(ZipArchiveOpenClose, AFailedOpenIsReleasedByTheAfterErrorClose) {
  ScratchDir dir;
  WriteFileBytes(dir / "not.zip", std::string(100, 'x'));
  CZipArchive archive;
  std::string message;
  EXPECT_EQ(ZipErrorOf([&] { archive.Open(dir / "not.zip", CZipArchive::OpenExisting); }, &message), 116);
  EXPECT_EQ(message,
            "The central directory was not found in the archive (or you were trying to open not the last disk of "
            "a multi-disk archive)");
  EXPECT_TRUE(archive.IsClosed());
  archive.Close();  // CloseNormal does not touch what a failed Open left
  archive.Close(CZipArchive::CloseAfterErrorKeepDirectory);
  EXPECT_EQ(ReadFileBytes(dir / "not.zip"), std::string(100, 'x'));  // nothing was written into it
  EXPECT_TRUE(archive.Open(dir / "new.zip", CZipArchive::CreateNew));
  archive.Close();

  bool threw = false;
  try {
    archive.Open(dir / "missing.zip", CZipArchive::OpenExisting);
  } catch (const CZipFileException& error) {
    threw = true;
    EXPECT_EQ(error.GetSystemError(), ENOENT);
  }
  EXPECT_TRUE(threw);
  archive.Close(CZipArchive::CloseAfterError);
  EXPECT_TRUE(archive.IsClosed());

  // Removable-disk spanning does not exist here.
  EXPECT_EQ(ZipErrorOf([&] { archive.Open(dir / "s.zip", CZipArchive::CreateSpanned, 0); }, &message), 103);
  EXPECT_EQ(message, "No disk-spanning callback object set");
  archive.Close(CZipArchive::CloseAfterError);
}

TEST(ZipArchiveOpenClose, TheAfterErrorCloseAbandonsTheOpenEntryAndKeepDirectoryKeepsTheFinishedOnes) {
  ScratchDir dir;
  for (int mode : {CZipArchive::CloseAfterError, CZipArchive::CloseAfterErrorKeepDirectory}) {
    std::string path = dir / ("m" + std::to_string(mode) + ".zip");
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(path, CZipArchive::CreateNew));
    WriteTestEntry(archive, "done.txt", std::string(1000, 'd'));
    CZipFileHeader header;
    header.SetEntryName("half.txt");
    ASSERT_TRUE(archive.OpenEntryForWriting(header, 6));
    std::string data = GeneratedBytes(300000, 7, true);
    ASSERT_TRUE(archive.WriteEntryData(data.data(), static_cast<std::uint32_t>(data.size())));
    EXPECT_GT(archive.GetZlibBlockCount(), 0u);
    archive.Close(mode);
    EXPECT_EQ(archive.GetZlibBlockCount(), 0u);
    CommandResult listing = RunCommand("unzip -l " + ShellQuote(path));
    if (mode == CZipArchive::CloseAfterError) {
      EXPECT_NE(listing.exitStatus, 0);  // no directory was written
    } else {
      EXPECT_NE(listing.output.find("done.txt"), std::string::npos) << listing.output;
      EXPECT_EQ(listing.output.find("half.txt"), std::string::npos) << listing.output;
      EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(path)).exitStatus, 0);
    }
  }
}

}  // namespace
}  // namespace brevik::test
