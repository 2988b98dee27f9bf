// ZipExtractConfinementTest.cpp -- extraction stays inside its target folder: links, NUL bytes, link entries.
#include "ZipArchiveTestSupport.h"

#include "engine/ZipFileException.h"
#include "engine/ZipTargetFolder.h"
#include "support/RecordsArchiveBuilder.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brevik::test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kUnixLink = 0120777u << 16;
constexpr std::uint32_t kUnixFolder0700 = (040700u << 16) | 0x10;

/// A stored entry with Unix attributes `attributes` (high word st_mode).
RecordsEntry UnixEntry(std::string name, std::string data, std::uint32_t attributes) {
  RecordsEntry entry = StoredEntry(std::move(name), std::move(data));
  entry.externalAttributes = attributes;
  return entry;
}

unsigned ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

std::string LinkText(const std::string& path) {
  std::error_code error;
  return fs::read_symlink(path, error).string();
}

/// Runs the test body once with openat2 and once with the component walk that stands in for it.
class TargetLookups : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override { CZipTargetFolder::SetOpenat2Usable(GetParam()); }
  void TearDown() override { CZipTargetFolder::SetOpenat2Usable(true); }
};

TEST_P(TargetLookups, LinksAlreadyInTheTargetAreObstaclesAndWhatTheyNameStaysUntouched) {
  ScratchDir dir;
  const std::vector<RecordsEntry> entries = {
      StoredEntry("evil/x", "planted"),                        // through a link to a folder
      StoredEntry("f", "overwritten"),                         // over a link to a file
      UnixEntry("evil/", "", kUnixFolder0700),                 // a folder entry over a link
      StoredEntry("deep/evil/y", "planted"),                   // a link further down the path
      StoredEntry("fine/z", "fine"),
  };
  WriteFileBytes(dir / "a.zip", BuildStoredArchive(entries).bytes);
  fs::create_directories(dir / "target/deep");
  fs::create_directories(dir / "elsewhere");
  ::chmod((dir / "elsewhere").c_str(), 0755);
  WriteFileBytes(dir / "elsewhere/file", "original");
  ::chmod((dir / "elsewhere/file").c_str(), 0600);
  fs::create_symlink("../elsewhere", dir / "target/evil");
  fs::create_symlink("../elsewhere/file", dir / "target/f");
  fs::create_symlink("../../elsewhere", dir / "target/deep/evil");

  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "a.zip", CZipArchive::OpenReadOnly));
  for (int index : {0, 1, 2, 3}) {
    std::string message;
    EXPECT_EQ(ZipErrorOf([&] { archive.ExtractEntry(index, dir / "target"); }, &message), 130) << index;
    EXPECT_EQ(message, "A symbolic link in the target is in the way");
    archive.Close(CZipArchive::CloseAfterError);  // an entry left open by the refusal
    ASSERT_TRUE(archive.Open(dir / "a.zip", CZipArchive::OpenReadOnly));
  }
  EXPECT_TRUE(archive.ExtractEntry(4, dir / "target"));
  archive.Close();

  EXPECT_EQ(ReadFileBytes(dir / "elsewhere/file"), "original");
  EXPECT_EQ(ModeOf(dir / "elsewhere/file"), 0600u);
  EXPECT_EQ(ModeOf(dir / "elsewhere"), 0755u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "elsewhere"), fs::directory_iterator()), 1);
  EXPECT_EQ(LinkText(dir / "target/f"), "../elsewhere/file");  // the link itself is left as it was
  EXPECT_EQ(ReadFileBytes(dir / "target/fine/z"), "fine");
  // No temporary is left beside the refused file.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "target"), fs::directory_iterator()), 4);
}

TEST_P(TargetLookups, AFileInThePathIsTheSystemsErrorWithTheEntrysPath) {
  ScratchDir dir;
  WriteFileBytes(dir / "a.zip", BuildStoredArchive({StoredEntry("plain/sub/x", "x")}).bytes);
  fs::create_directories(dir / "target");
  WriteFileBytes(dir / "target/plain", "a file where a folder would go");
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "a.zip", CZipArchive::OpenReadOnly));
  try {
    archive.ExtractEntry(0, dir / "target");
    ADD_FAILURE() << "extracting below a file succeeded";
  } catch (const CZipFileException& error) {
    EXPECT_EQ(error.GetSystemError(), ENOTDIR);
    EXPECT_EQ(error.GetFilePath(), dir / "target/plain/sub/x");
  }
  archive.Close(CZipArchive::CloseAfterError);
}

INSTANTIATE_TEST_SUITE_P(Openat2AndWalk, TargetLookups, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "openat2" : "walk"; });

TEST(ZipExtractConfinement, ANameEndsAtItsFirstNulByteAndIsCheckedAsTheSystemSeesIt) {
  ScratchDir dir;
  const std::vector<RecordsEntry> entries = {
      UnixEntry(std::string("..\0/", 4), "", kUnixFolder0700),  // reads as "..": refused
      StoredEntry(std::string("a.txt\0.exe", 10), "text"),      // reads as "a.txt"
      StoredEntry(std::string("\0lead", 5), "x"),               // nothing before the NUL: refused
  };
  WriteFileBytes(dir / "n.zip", BuildStoredArchive(entries).bytes);
  fs::create_directories(dir / "p/target");
  ::chmod((dir / "p").c_str(), 0755);
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "n.zip", CZipArchive::OpenReadOnly));
  EXPECT_EQ(EntryInfo(archive, 0).GetFileName(), "..");
  EXPECT_EQ(EntryInfo(archive, 1).GetFileName(), "a.txt");
  EXPECT_FALSE(archive.ExtractEntry(0, dir / "p/target"));
  EXPECT_EQ(archive.GetExtractRefusal(), 133);
  EXPECT_TRUE(archive.ExtractEntry(1, dir / "p/target"));
  EXPECT_EQ(archive.GetExtractRefusal(), 0);
  EXPECT_FALSE(archive.ExtractEntry(2, dir / "p/target"));
  EXPECT_EQ(archive.GetExtractRefusal(), 133);
  archive.Close();
  EXPECT_EQ(ModeOf(dir / "p"), 0755u);
  EXPECT_EQ(ReadFileBytes(dir / "p/target/a.txt"), "text");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "p/target"), fs::directory_iterator()), 1);
}

TEST(ZipExtractConfinement, LinkEntriesBecomeLinksOnlyWhenTheyStayInsideTheTarget) {
  ScratchDir dir;
  const std::vector<RecordsEntry> entries = {
      StoredEntry("data.txt", "data"),
      UnixEntry("in", "data.txt", kUnixLink),
      UnixEntry("sub/up", "../data.txt", kUnixLink),
      UnixEntry("sub/here", "./x/../y", kUnixLink),             // ".." after a name: may pass a link
      UnixEntry("out", "../elsewhere", kUnixLink),
      UnixEntry("sub/twice", "../../elsewhere", kUnixLink),
      UnixEntry("abs", "/etc/passwd", kUnixLink),
      UnixEntry("empty", "", kUnixLink),
      UnixEntry("nul", std::string("a\0b", 3), kUnixLink),
      UnixEntry("dir", "sub", kUnixLink),
      StoredEntry("dir/through", "x"),                          // a link the archive just made
  };
  WriteFileBytes(dir / "l.zip", BuildStoredArchive(entries).bytes);
  const std::string target = dir / "target";
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "l.zip", CZipArchive::OpenReadOnly));
  const std::vector<int> expected = {0, 0, 0, 131, 131, 131, 131, 132, 132, 0, 130};
  for (int index = 0; index < archive.GetCount(); ++index) {
    EXPECT_EQ(ZipErrorOf([&] { EXPECT_TRUE(archive.ExtractEntry(index, target)) << index; }), expected[index])
        << index;
  }
  archive.Close();
  EXPECT_EQ(LinkText(target + "/in"), "data.txt");
  EXPECT_EQ(ReadFileBytes(target + "/in"), "data");
  EXPECT_EQ(ReadFileBytes(target + "/sub/up"), "data");
  EXPECT_EQ(LinkText(target + "/dir"), "sub");
  for (const char* refused : {"sub/here", "out", "sub/twice", "abs", "empty", "nul", "sub/through"})
    EXPECT_FALSE(fs::exists(fs::symlink_status(target + "/" + refused))) << refused;

  // Extracted again over itself: a link entry replaces the link of its name, never what it names.
  WriteFileBytes(dir / "again.zip", BuildStoredArchive({UnixEntry("in", "sub", kUnixLink)}).bytes);
  ASSERT_TRUE(archive.Open(dir / "again.zip", CZipArchive::OpenReadOnly));
  EXPECT_TRUE(archive.ExtractEntry(0, target));
  archive.Close();
  EXPECT_EQ(LinkText(target + "/in"), "sub");
  EXPECT_EQ(ReadFileBytes(target + "/data.txt"), "data");
}

TEST(ZipExtractConfinement, ALinkStaysInsideOnlyWithLeadingParentsThatDoNotClimbOut) {
  struct Case {
    const char* text;
    int depth;
    bool inside;
  };
  for (const Case& c : std::vector<Case>{{"a", 0, true},          {"a/b/", 0, true},   {".", 0, true},
                                         {"..", 1, true},         {"../..", 1, false}, {"../a/../b", 2, false},
                                         {"./../a", 1, true},     {"/a", 3, false},    {"", 0, false},
                                         {"a//b/./c", 0, true},   {"..", 0, false}}) {
    EXPECT_EQ(CZipTargetFolder::LinkStaysInside(c.text, c.depth), c.inside) << c.text << " at " << c.depth;
  }
}

TEST(ZipExtractConfinement, DataThatEndsBeforeItsDeclaredSizeLeavesNoFile) {
  ScratchDir dir;
  const std::string script = "import zipfile\n"
                             "z = zipfile.ZipFile('" + (dir / "s.zip") + "', 'w', zipfile.ZIP_DEFLATED)\n"
                             "z.writestr('short.txt', b'hello ' * 100)\n"
                             "z.close()\n";
  WriteFileBytes(dir / "make.py", script);
  ASSERT_EQ(RunCommand("python3 " + ShellQuote(dir / "make.py")).exitStatus, 0);
  // Both headers declare 10 bytes more than the deflate stream holds.
  std::string bytes = ReadFileBytes(dir / "s.zip");
  const std::size_t central = bytes.find(std::string("PK\1\2", 4));
  PatchLE(bytes, 22, 610, 4);            // local header: uncompressed size
  PatchLE(bytes, central + 24, 610, 4);  // central header: uncompressed size
  WriteFileBytes(dir / "s.zip", bytes);
  fs::create_directories(dir / "out");
  WriteFileBytes(dir / "out/short.txt", "kept");
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "s.zip", CZipArchive::OpenReadOnly));
  EXPECT_FALSE(archive.ExtractEntry(0, dir / "out"));
  EXPECT_EQ(archive.GetExtractRefusal(), 134);
  archive.Close();
  EXPECT_EQ(ReadFileBytes(dir / "out/short.txt"), "kept");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace brevik::test
