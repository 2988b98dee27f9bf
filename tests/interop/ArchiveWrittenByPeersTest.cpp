// ArchiveWrittenByPeersTest.cpp -- the engine extracts what Info-ZIP, 7-Zip, bsdtar and Python write, exactly.
#include "engine/ZipArchive.h"
#include "engine/ZipException.h"
#include "support/ArchivePeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace brevik::test {
namespace {

namespace fs = std::filesystem;

std::vector<ArchiveTreeItem> PeerTree() {
  const long long t = 1500000000;
  return {
      {"tree/", "", 0755, t},
      {"tree/empty.txt", "", 0644, t},
      {"tree/five.txt", "fives", 0600, t + 2},
      {"tree/big text.txt", GeneratedBytes(3 * 1024 * 1024 + 1, 31, true), 0644, t + 4},
      {"tree/noise.bin", GeneratedBytes(300000, 32, false), 0755, t + 6},
      {"tree/sub/", "", 0755, t},
      {"tree/sub/Grüße.txt", "grüße", 0644, t + 8},
      {"tree/sub/empty dir/", "", 0755, t},
  };
}

/// Extracts every entry of `zip` into `target` with the engine; returns the failures as text.
/// With `inOrder` the archive is told that the entries are read in their order.
std::string ExtractAll(const std::string& zip, const std::string& target, const char* password = nullptr,
                       bool inOrder = false) {
  std::string failures;
  CZipArchive archive;
  try {
    archive.Open(zip, CZipArchive::OpenReadOnly);
    archive.SetPassword(password);
    archive.SetReadAhead(inOrder);
    for (int i = 0; i < archive.GetCount(); ++i) {
      if (!archive.ExtractEntry(i, target)) failures += "entry " + std::to_string(i) + " not extracted; ";
    }
    archive.Close();
  } catch (const std::exception& error) {
    failures += error.what();
    archive.Close(CZipArchive::CloseAfterError);
  }
  return failures;
}

TEST(ArchiveWrittenByPeers, EveryPeersArchiveExtractsByteForByte) {
  ScratchDir dir;
  WriteArchiveTree(dir.path(), PeerTree());
  std::string d = ShellQuote(dir.path());
  struct Writer {
    const char* name;
    std::string command;
    bool modes;  ///< the writer records Unix permission bits
  } writers[] = {
      {"zip-r", "cd " + d + " && zip -qr zip-r.zip tree", true},
      {"zip-0", "cd " + d + " && zip -qr0 zip-0.zip tree", true},
      {"7zz", "cd " + d + " && 7zz a -tzip -bd 7zz.zip tree >/dev/null", false},
      {"bsdtar", "cd " + d + " && bsdtar --format zip -cf bsdtar.zip tree", true},
      {"python-stored", "cd " + d + " && python3 -c \"import zipfile,os\nz=zipfile.ZipFile('python-stored.zip','w')\n"
                        "for r,ds,fs in os.walk('tree'):\n  z.write(r)\n  [z.write(os.path.join(r,f)) for f in fs]\n\"",
       true},
      {"python-deflated",
       "cd " + d + " && python3 -c \"import zipfile,os\nz=zipfile.ZipFile('python-deflated.zip','w',zipfile.ZIP_DEFLATED)\n"
                   "for r,ds,fs in os.walk('tree'):\n  z.write(r)\n  [z.write(os.path.join(r,f)) for f in fs]\n\"",
       true},
      // Written to a pipe, Info-ZIP puts CRC and sizes into data descriptors.
      {"descriptors", "cd " + d + " && zip -qr - tree | cat > descriptors.zip", true},
  };
  for (const auto& writer : writers) {
    CommandResult made = RunCommand(writer.command);
    ASSERT_EQ(made.exitStatus, 0) << writer.name << "\n" << made.output;
    std::string target = dir / ("out-" + std::string(writer.name));
    EXPECT_EQ(ExtractAll(dir / (std::string(writer.name) + ".zip"), target), "") << writer.name;
    EXPECT_EQ(CompareArchiveTrees(dir / "tree", target + "/tree", true, writer.modes), "") << writer.name;
  }
}

TEST(ArchiveWrittenByPeers, Zip64EntriesFromAPipeExtractWithAndWithoutDataDescriptors) {
  ScratchDir dir;
  std::string data = GeneratedBytes(700000, 33, true);
  WriteFileBytes(dir / "input.bin", data);
  std::string input = "cat " + ShellQuote(dir / "input.bin");
  // Read from a pipe, Info-ZIP cannot know the size: the local header gets a ZIP64 extra field
  // (version 4.5 needed); written to a pipe as well, the sizes follow in a ZIP64 data descriptor.
  ASSERT_EQ(RunCommand(input + " | zip -q " + ShellQuote(dir / "seekable.zip") + " -").exitStatus, 0);
  ASSERT_EQ(RunCommand(input + " | zip -q - - | cat > " + ShellQuote(dir / "streamed.zip")).exitStatus, 0);
  for (const char* name : {"seekable", "streamed"}) {
    std::string zip = dir / (std::string(name) + ".zip");
    std::string details = RunCommand("unzip -Zv " + ShellQuote(zip)).output;
    EXPECT_NE(details.find("minimum software version required to extract:   4.5"), std::string::npos) << details;
    bool descriptor = details.find("extended local header:                          yes") != std::string::npos;
    EXPECT_EQ(descriptor, std::string(name) == "streamed") << details;
    std::string target = dir / (std::string("out-") + name);
    EXPECT_EQ(ExtractAll(zip, target), "") << name;
    EXPECT_EQ(ReadFileBytes(target + "/-"), data) << name;
  }
}

TEST(ArchiveWrittenByPeers, ZipCryptoEntriesNeedTheRightPasswordBeforeAnyFileIsCreated) {
  ScratchDir dir;
  WriteArchiveTree(dir.path(), PeerTree());
  const std::string d = ShellQuote(dir.path());
  ASSERT_EQ(RunCommand("cd " + d + " && zip -qr -P 'pa ss' enc.zip tree").exitStatus, 0);
  ASSERT_EQ(RunCommand("cd " + d + " && 7zz a -tzip -bd -p'pa ss' enc7.zip tree >/dev/null").exitStatus, 0);
  // Read entry by entry, and read in order with the entries decoded ahead several at a time.
  for (const bool inOrder : {false, true}) {
    for (const char* zip : {"enc.zip", "enc7.zip"}) {
      const std::string target = dir / (std::string(zip) + (inOrder ? ".ahead" : ".one"));
      EXPECT_EQ(ExtractAll(dir / zip, target, "pa ss", inOrder), "") << zip;
      EXPECT_EQ(CompareArchiveTrees(dir / "tree", target + "/tree", true, true), "") << zip;
    }
  }

  for (const char* password : {static_cast<const char*>(nullptr), "wrong"}) {
    fs::remove_all(dir / "out");
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "enc.zip", CZipArchive::OpenReadOnly));
    archive.SetPassword(password);
    int fileIndex = -1;
    for (int i = 0; i < archive.GetCount() && fileIndex < 0; ++i) {
      CZipFileHeader header;
      archive.GetEntryInfo(header, i);
      if (header.GetFileName() == "tree/big text.txt") fileIndex = i;
    }
    ASSERT_GE(fileIndex, 0);
    int code = 0;
    try {
      archive.ExtractEntry(fileIndex, dir / "out");
    } catch (const CZipException& error) {
      code = error.GetCause();
    }
    archive.Close(CZipArchive::CloseAfterError);
    // A wrong password passes the one-byte check about once in 256 tries; the data then fails
    // (its CRC, its inflate, or its length) and no file is kept.
    if (password == nullptr || code == 110) {
      EXPECT_EQ(code, 110);
    }
    EXPECT_FALSE(fs::exists(dir / "out/tree/big text.txt")) << code;
  }
}

TEST(ArchiveWrittenByPeers, ASplitArchiveOfInfoZipExtractsByteForByte) {
  ScratchDir dir;
  WriteArchiveTree(dir.path(), PeerTree());
  CommandResult made = RunCommand("cd " + ShellQuote(dir.path()) + " && zip -qr -s 64k split.zip tree");
  ASSERT_EQ(made.exitStatus, 0) << made.output;
  ASSERT_TRUE(fs::exists(dir / "split.z02"));
  EXPECT_EQ(ExtractAll(dir / "split.zip", dir / "out"), "");
  EXPECT_EQ(CompareArchiveTrees(dir / "tree", dir / "out/tree", true, true), "");
}

TEST(ArchiveWrittenByPeers, FoldersWithoutTheDosBitOrFromADosHostCanBeEnteredAlsoByAnUnprivilegedUser) {
  ScratchDir dir;
  WriteArchiveTree(dir.path(), {{"folders/", "", 0755, 0}, {"folders/unix/", "", 0700, 0}, {"folders/unix/f.txt", "f", 0644, 0}});
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.path()) + " && bsdtar --format zip -cf unix.zip folders").exitStatus, 0);
  // A DOS-family entry: external attributes 0x10 only, no Unix mode at all.
  std::string script = "import zipfile\n"
                       "z = zipfile.ZipFile('" + (dir / "dos.zip") + "', 'w')\n"
                       "i = zipfile.ZipInfo('dosdir/')\n"
                       "i.create_system = 0\n"
                       "i.external_attr = 0x10\n"
                       "z.writestr(i, b'')\n"
                       "j = zipfile.ZipInfo('dosdir\\\\inner.txt')\n"
                       "j.create_system = 0\n"
                       "j.external_attr = 0x20\n"
                       "z.writestr(j, b'inner')\n"
                       "z.close()\n";
  WriteFileBytes(dir / "make.py", script);
  ASSERT_EQ(RunCommand("python3 " + ShellQuote(dir / "make.py")).exitStatus, 0);
  fs::create_directory(dir / "shared");
  fs::permissions(dir / "shared", fs::perms::all);

  auto extractAndEnter = [&](const std::string& target) {
    if (!ExtractAll(dir / "unix.zip", target).empty()) return 1;
    if (!ExtractAll(dir / "dos.zip", target).empty()) return 2;
    for (const char* folder : {"/folders/unix", "/dosdir"}) {
      std::string path = target + folder;
      if (!fs::is_directory(path)) return 3;
      if (access(path.c_str(), R_OK | W_OK | X_OK) != 0) return 4;
    }
    if (ReadFileBytes(target + "/dosdir/inner.txt") != "inner") return 5;
    if (ReadFileBytes(target + "/folders/unix/f.txt") != "f") return 6;
    return 0;
  };
  EXPECT_EQ(extractAndEnter(dir / "as-root"), 0);
  EXPECT_EQ(RunAsUnprivileged([&] { return extractAndEnter(dir / "shared/as-nobody"); }), 0);
}

}  // namespace
}  // namespace brevik::test
