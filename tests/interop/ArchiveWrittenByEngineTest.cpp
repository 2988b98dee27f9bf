// ArchiveWrittenByEngineTest.cpp -- archives the engine writes are accepted and extracted exactly by the peers.
#include "engine/ZipArchive.h"
#include "support/ArchivePeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace brevik::test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t SmartFlags7 =
    CZipArchive::PlainDirectories | CZipArchive::PlainEmptyFiles | CZipArchive::StoreTinyFiles;

/// The tree every test archives: the sizes around the buffer boundaries, incompressible data,
/// empty and nested folders, names with spaces and non-ASCII letters, several modes and times.
std::vector<ArchiveTreeItem> SourceTree() {
  const long long t = 1400000000;
  return {
      {"empty.txt", "", 0644, t},
      {"one.txt", "1", 0600, t + 2},
      {"four.txt", "four", 0640, t + 4},
      {"five.txt", "fives", 0755, t + 6},
      {"exact 64k.bin", GeneratedBytes(65536, 1, true), 0644, t + 8},
      {"64k plus one.bin", GeneratedBytes(65537, 2, true), 0664, t + 10},
      {"several MiB.txt", GeneratedBytes(5 * 1024 * 1024 + 3, 3, true), 0644, t + 12},
      {"noise.bin", GeneratedBytes(1024 * 1024, 4, false), 0444, t + 14},
      {"empty folder/", "", 0755, t},
      {"nested/", "", 0755, t},
      {"nested/deeper/", "", 0700, t},
      {"nested/deeper/Ünïcødé файл.txt", "non-ASCII name", 0644, t + 16},
      {"nested/a b c.txt", "spaces", 0644, t + 18},
  };
}

/// Adds every item of the tree at `root` to a new archive `path`, names relative to `root`.
void WriteEngineArchive(const std::string& path, const std::string& root, const char* password,
                        std::uint32_t smartFlags, int volumeSize = 0) {
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(path, volumeSize > 0 ? CZipArchive::CreateSpanned : CZipArchive::CreateNew, volumeSize));
  archive.SetRootPath(root.c_str());
  ASSERT_TRUE(archive.SetPassword(password));
  for (const auto& item : SourceTree()) {
    ASSERT_TRUE(archive.AddFile(root + "/" + item.relativePath, -1, false, smartFlags)) << item.relativePath;
  }
  archive.Close();
}

TEST(ArchiveWrittenByEngine, EveryPeerTestsItAndExtractsTheSameBytesTimesAndModes) {
  ScratchDir dir;
  WriteArchiveTree(dir / "src", SourceTree());
  WriteEngineArchive(dir / "a.zip", dir / "src", nullptr, SmartFlags7);
  std::string zip = ShellQuote(dir / "a.zip");
  for (const std::string& check : {"unzip -t " + zip, "python3 -m zipfile -t " + zip, "7zz t " + zip, "bsdtar -tf " + zip}) {
    CommandResult result = RunCommand(check);
    EXPECT_EQ(result.exitStatus, 0) << check << "\n" << result.output;
  }
  // Each peer restores what it knows how to: all restore the bytes; unzip and bsdtar also the
  // Unix permission bits, and unzip, 7-Zip and bsdtar the modification times.
  struct Extractor {
    const char* name;
    std::string command;
    bool times;
    bool modes;
  } extractors[] = {
      {"unzip", "unzip -q " + zip + " -d " + ShellQuote(dir / "unzip"), true, true},
      {"python", "python3 -m zipfile -e " + zip + " " + ShellQuote(dir / "python"), false, false},
      {"7zz", "7zz x -y -o" + ShellQuote(dir / "7zz") + " " + zip, true, false},
      {"bsdtar", "mkdir -p " + ShellQuote(dir / "bsdtar") + " && bsdtar -xpf " + zip + " -C " + ShellQuote(dir / "bsdtar"),
       true, true},
  };
  for (const auto& extractor : extractors) {
    CommandResult result = RunCommand("umask 022; " + extractor.command);
    ASSERT_EQ(result.exitStatus, 0) << extractor.name << "\n" << result.output;
    EXPECT_EQ(CompareArchiveTrees(dir / "src", dir / extractor.name, extractor.times, extractor.modes), "")
        << extractor.name;
  }
}

TEST(ArchiveWrittenByEngine, PasswordProtectedEntriesExtractWithThePeersPassword) {
  ScratchDir dir;
  WriteArchiveTree(dir / "src", SourceTree());
  WriteEngineArchive(dir / "p.zip", dir / "src", "s3cret pass", SmartFlags7);
  std::string zip = ShellQuote(dir / "p.zip");
  CommandResult listing = RunCommand("unzip -Z -v " + zip);
  // The empty file is stored in the clear, the four-byte one stored and encrypted, the
  // five-byte one deflated and encrypted.
  auto section = [&](const std::string& name) {
    std::size_t at = listing.output.find("\n  " + name + "\n");
    return at == std::string::npos ? std::string() : listing.output.substr(at, 1500);
  };
  EXPECT_NE(section("empty.txt").find("file security status:                           not encrypted"), std::string::npos);
  EXPECT_NE(section("four.txt").find("compression method:                             none (stored)"), std::string::npos);
  EXPECT_NE(section("four.txt").find("file security status:                           encrypted"), std::string::npos);
  EXPECT_NE(section("five.txt").find("compression method:                             deflated"), std::string::npos);
  EXPECT_NE(section("five.txt").find("file security status:                           encrypted"), std::string::npos);

  EXPECT_EQ(RunCommand("unzip -q -P 's3cret pass' " + zip + " -d " + ShellQuote(dir / "unzip")).exitStatus, 0);
  EXPECT_EQ(CompareArchiveTrees(dir / "src", dir / "unzip", true, true), "");
  CommandResult seven = RunCommand("7zz x -y '-ps3cret pass' -o" + ShellQuote(dir / "7zz") + " " + zip);
  EXPECT_EQ(seven.exitStatus, 0) << seven.output;
  EXPECT_EQ(CompareArchiveTrees(dir / "src", dir / "7zz", true, false), "");
  EXPECT_NE(RunCommand("unzip -q -P wrong " + zip + " -d " + ShellQuote(dir / "wrong")).exitStatus, 0);
}

TEST(ArchiveWrittenByEngine, ASplitArchiveWithAnEntryOverSeveralVolumesIsAcceptedBy7Zip) {
  ScratchDir dir;
  WriteArchiveTree(dir / "src", SourceTree());
  WriteEngineArchive(dir / "split.zip", dir / "src", nullptr, SmartFlags7, 65536);
  // The incompressible megabyte alone needs sixteen volumes of 64 KiB.
  EXPECT_TRUE(fs::exists(dir / "split.z16"));
  EXPECT_TRUE(fs::exists(dir / "split.zip"));
  for (const auto& volume : fs::directory_iterator(dir.path())) {
    if (volume.is_regular_file()) {
      EXPECT_LE(volume.file_size(), 65536u) << volume.path();
    }
  }
  EXPECT_EQ(ReadFileBytes(dir / "split.z01").substr(0, 4), std::string("PK\x07\x08", 4));
  CommandResult test = RunCommand("7zz t " + ShellQuote(dir / "split.zip"));
  EXPECT_EQ(test.exitStatus, 0) << test.output;
  CommandResult extract = RunCommand("7zz x -y -o" + ShellQuote(dir / "7zz") + " " + ShellQuote(dir / "split.zip"));
  EXPECT_EQ(extract.exitStatus, 0) << extract.output;
  EXPECT_EQ(CompareArchiveTrees(dir / "src", dir / "7zz", true, false), "");

  // The engine reads its own split archive back, under the usual umask.
  mode_t savedMask = umask(022);
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "split.zip", CZipArchive::OpenReadOnly));
  EXPECT_EQ(archive.GetSpanState(), CZipArchive::SpanState::ExistingSpanned);
  for (int i = 0; i < archive.GetCount(); ++i) EXPECT_TRUE(archive.ExtractEntry(i, dir / "engine")) << i;
  archive.Close();
  umask(savedMask);
  EXPECT_EQ(CompareArchiveTrees(dir / "src", dir / "engine", true, false), "");
  // The engine applies the permission bits through the umask (022 here), never wider.
  for (const auto& item : SourceTree()) {
    if (item.relativePath.back() == '/') continue;
    EXPECT_EQ(fs::status(dir / ("engine/" + item.relativePath)).permissions(),
              static_cast<fs::perms>(item.mode & ~0022u))
        << item.relativePath;
  }
}

TEST(ArchiveWrittenByEngine, ASpannedArchiveThatFitsOneVolumeBecomesAnOrdinaryArchive) {
  ScratchDir dir;
  WriteFileBytes(dir / "small.txt", GeneratedBytes(5000, 5, true));
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "one.zip", CZipArchive::CreateSpanned, 1 << 20));
  ASSERT_TRUE(archive.AddFile(dir / "small.txt", -1, false));
  archive.Close();
  EXPECT_FALSE(fs::exists(dir / "one.z01"));
  EXPECT_EQ(ReadFileBytes(dir / "one.zip").substr(0, 4), std::string("PK\x03\x04", 4));
  EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(dir / "one.zip")).exitStatus, 0);
}

}  // namespace
}  // namespace brevik::test
