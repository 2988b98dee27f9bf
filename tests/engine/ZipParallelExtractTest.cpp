// ZipParallelExtractTest.cpp -- extraction on worker threads gives what one thread gives: files, modes, times, outcomes, callbacks.
#include "ZipArchiveTestSupport.h"

#include "engine/ZipCrc32.h"
#include "engine/ZipFileException.h"
#include "engine/ZipParallelExtract.h"
#include "engine/ZipWholeInflate.h"
#include "support/ArchivePeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <sys/stat.h>

#include <cerrno>

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace brevik::test {
namespace {

namespace fs = std::filesystem;

// An archive of many small files in folders, with among them: a stored entry whose data is
// damaged, a name that leaves the target, one entry above the whole-inflate bound, a link, an
// empty file, a name given twice, a file whose name is also a folder of a later entry, folder
// entries after files (one holding some of them), and two encrypted entries (password "right", the traditional cipher and AES) between plain ones.
std::string MakeMixedArchive(const ScratchDir& dir) {
  const std::string path = dir / "mixed.zip";
  const std::string script =
      "import random, zipfile\n"
      "z = zipfile.ZipFile('" + path + "', 'w')\n"
      "def add(name, data, mode=0o644, method=zipfile.ZIP_DEFLATED, day=2, kind=0o100000):\n"
      "    i = zipfile.ZipInfo(name, (2021, 3, day, 4, 5, 6))\n"
      "    i.external_attr = (kind | mode) << 16\n"
      "    i.compress_type = method\n"
      "    z.writestr(i, data)\n"
      "add('docs/', b'', 0o750, zipfile.ZIP_STORED, kind=0o040000)\n"
      "for k in range(80):\n"
      "    add('docs/sub%d/f%d.txt' % (k % 4, k), (b'line %d of text\\n' % k) * (k * 37 + 1), 0o600 + (k % 2) * 0o44, day=1 + k % 27)\n"
      "add('bad.bin', b'0123456789' * 300, method=zipfile.ZIP_STORED)\n"
      "add('../evil.txt', b'evil')\n"
      "add('big.bin', random.Random(1).randbytes(" + std::to_string(CZipWholeInflater::MaxEntryBytes + 12345) + "))\n"
      "add('link', 'docs/sub1/f1.txt', 0o777, zipfile.ZIP_STORED, kind=0o120000)\n"
      "add('empty.txt', b'')\n"
      "add('dup.txt', b'first')\n"
      "add('dup.txt', b'second')\n"
      "add('a', b'a file')\n"
      "add('a/b', b'in a file?')\n"
      "add('stored.txt', b'stored ' * 1000, method=zipfile.ZIP_STORED)\n"
      "add('late/', b'', 0o700, zipfile.ZIP_STORED, kind=0o040000)\n"
      "add('docs/sub2/', b'', 0o750, zipfile.ZIP_STORED, day=9, kind=0o040000)\n"
      "z.close()\n"
      "data = bytearray(open('" + path + "', 'rb').read())\n"
      "info = zipfile.ZipFile('" + path + "').getinfo('bad.bin')\n"
      "data[info.header_offset + 30 + len('bad.bin') + 100] ^= 0x20\n"
      "open('" + path + "', 'wb').write(data)\n";
  WriteFileBytes(dir / "make.py", script);
  EXPECT_EQ(RunCommand("python3 " + ShellQuote(dir / "make.py")).exitStatus, 0);
  // The encrypted entry and two plain ones after it, appended by the engine.
  CZipArchive archive;
  EXPECT_TRUE(archive.Open(path, CZipArchive::OpenExisting));
  EXPECT_TRUE(archive.SetPassword("right"));
  WriteTestEntry(archive, "secret.txt", GeneratedBytes(20000, 3, true), 6);
  archive.SetEncryption(CZipArchive::Aes256);
  WriteTestEntry(archive, "aes.txt", GeneratedBytes(25000, 6, true), 6);
  EXPECT_TRUE(archive.SetPassword(nullptr));
  WriteTestEntry(archive, "after1.txt", GeneratedBytes(30000, 4, true), 6);
  WriteTestEntry(archive, "after2.txt", GeneratedBytes(40000, 5, true), 1);
  archive.Close();
  return path;
}

struct ExtractionRun {
  std::vector<std::string> outcomes;  ///< per entry, in the order they came
  std::vector<std::string> events;    ///< the callbacks, the target folder's path cut out
};

// Extracts every entry of `archive` into `target` with `threads` and `password`.
ExtractionRun ExtractAll(const std::string& archivePath, const std::string& target, unsigned threads,
                         const char* password = "wrong") {
  ExtractionRun run;
  RecordingCallback callback;
  CZipArchive archive;
  EXPECT_TRUE(archive.Open(archivePath, CZipArchive::OpenReadOnly));
  archive.SetReadAhead(true);
  archive.SetCallback(&callback, cbExtract);
  EXPECT_TRUE(archive.SetPassword(password));
  {
    CZipParallelExtract extractor(archive, threads);
    const auto take = [&](bool wait) {
      while (std::optional<ZipExtractOutcome> outcome = extractor.Next(wait)) {
        std::string text = std::to_string(outcome->index) + (outcome->extracted ? " extracted" : " not extracted") +
                           " refusal " + std::to_string(outcome->refusal);
        if (outcome->error) {
          try {
            std::rethrow_exception(outcome->error);
          } catch (const CZipException& error) {
            text += " error " + std::to_string(error.GetCause());
          } catch (const CZipFileException& error) {
            text += " file error " + std::to_string(error.GetSystemError());
          }
        }
        run.outcomes.push_back(text);
      }
    };
    for (int index = 0; index < archive.GetCount(); ++index) {
      extractor.Extract(index, target, true, nullptr, 65536);
      take(false);
    }
    take(true);
  }
  archive.Close();
  for (std::string event : callback.events) {
    const std::size_t at = event.find(target);
    if (at != std::string::npos) event.replace(at, target.size(), "T");
    run.events.push_back(event);
  }
  return run;
}

// Every path below `folder`: its type, mode, time (of the link itself for a link; none for a
// folder) and bytes.
std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> tree;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    struct stat info {};
    EXPECT_EQ(::lstat(item.path().c_str(), &info), 0);
    // A folder's time is that of the last file made in it, a moment of the run: not compared.
    std::string facts = std::to_string(info.st_mode);
    if (!S_ISDIR(info.st_mode)) facts += " " + std::to_string(info.st_mtime);
    if (S_ISREG(info.st_mode)) {
      // Size and CRC stand for the bytes: a failure then prints a short difference.
      const std::string bytes = ReadFileBytes(item.path());
      facts += " " + std::to_string(bytes.size()) + " bytes, CRC " + std::to_string(ZipCrc32(0, bytes.data(), bytes.size()));
    }
    if (S_ISLNK(info.st_mode)) facts += " -> " + fs::read_symlink(item.path()).string();
    tree[fs::relative(item.path(), folder).string()] = facts;
  }
  return tree;
}

TEST(ZipParallelExtract, FilesModesTimesOutcomesAndCallbacksAreThoseOfOneThread) {
  ScratchDir dir;
  const std::string archive = MakeMixedArchive(dir);
  const ExtractionRun one = ExtractAll(archive, dir / "one", 1);
  const ExtractionRun four = ExtractAll(archive, dir / "four", 4);
  EXPECT_EQ(four.outcomes, one.outcomes);
  EXPECT_EQ(four.events, one.events);
  EXPECT_EQ(Tree(dir / "four"), Tree(dir / "one"));

  // What one thread gives is itself right: the damaged, leaving, locked and clashing entries
  // fail for their own reasons and the others are written.
  ASSERT_EQ(one.outcomes.size(), 97u);
  EXPECT_EQ(one.outcomes[0], "0 extracted refusal 0");
  EXPECT_EQ(one.outcomes[81], "81 not extracted refusal 0 error 102");  // bad.bin: its CRC
  EXPECT_EQ(one.outcomes[82], "82 not extracted refusal 133");          // ../evil.txt
  EXPECT_EQ(one.outcomes[83], "83 extracted refusal 0");                // big.bin, streamed
  EXPECT_EQ(one.outcomes[89], "89 not extracted refusal 0 file error " + std::to_string(ENOTDIR));  // a/b
  EXPECT_EQ(one.outcomes[92], "92 extracted refusal 0");                // docs/sub2/
  EXPECT_EQ(one.outcomes[93], "93 not extracted refusal 0 error 110");  // secret.txt: wrong password
  EXPECT_EQ(one.outcomes[94], "94 not extracted refusal 0 error 110");  // aes.txt
  EXPECT_EQ(one.outcomes[96], "96 extracted refusal 0");
  EXPECT_EQ(ReadFileBytes(dir / "four/dup.txt"), "second");
  EXPECT_EQ(ReadFileBytes(dir / "four/docs/sub3/f7.txt"), ReadFileBytes(dir / "one/docs/sub3/f7.txt"));
  EXPECT_FALSE(fs::exists(dir / "four/bad.bin"));
  EXPECT_FALSE(fs::exists(dir / "evil.txt"));
  EXPECT_EQ(fs::file_size(dir / "four/big.bin"), CZipWholeInflater::MaxEntryBytes + 12345);
}

TEST(ZipParallelExtract, EncryptedEntriesAreDecryptedInOrderAndWrittenByWorkers) {
  ScratchDir dir;
  const std::string archive = MakeMixedArchive(dir);
  const ExtractionRun one = ExtractAll(archive, dir / "one", 1, "right");
  const ExtractionRun two = ExtractAll(archive, dir / "two", 2, "right");
  EXPECT_EQ(two.outcomes, one.outcomes);
  EXPECT_EQ(Tree(dir / "two"), Tree(dir / "one"));
  EXPECT_EQ(one.outcomes[93], "93 extracted refusal 0");
  EXPECT_EQ(one.outcomes[94], "94 extracted refusal 0");
  EXPECT_EQ(ReadFileBytes(dir / "two/secret.txt"), GeneratedBytes(20000, 3, true));
  EXPECT_EQ(ReadFileBytes(dir / "two/aes.txt"), GeneratedBytes(25000, 6, true));
}

TEST(ZipParallelExtract, EntriesOfOneNameLandInTheArchivesOrderWhateverTheThreads) {
  ScratchDir dir;
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "same.zip", CZipArchive::CreateNew));
    for (int round = 0; round < 30; ++round) WriteTestEntry(archive, "same.txt", GeneratedBytes(50000 + round, round, true), 6);
    archive.Close();
  }
  const ExtractionRun eight = ExtractAll(dir / "same.zip", dir / "out", 8);
  EXPECT_EQ(eight.outcomes.size(), 30u);
  EXPECT_EQ(ReadFileBytes(dir / "out/same.txt"), GeneratedBytes(50000 + 29, 29, true));
}

TEST(ZipParallelExtract, AFullDiskFailsOnlyTheFilesThatMeetItAndLeavesNothingHalfWritten) {
  // Files under and over the size the disk takes, in turn, inflated by workers: each one over is
  // reported for itself (EFBIG), leaves neither its file nor its temporary, and those under it,
  // before and after, are written whole.
  ScratchDir dir;
  std::vector<std::string> contents;
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "full.zip", CZipArchive::CreateNew));
    for (int i = 0; i < 12; ++i) {
      contents.push_back(GeneratedBytes(i % 3 == 1 ? 300000 : 60000, 40 + static_cast<unsigned>(i), true));
      WriteTestEntry(archive, "f" + std::to_string(i), contents.back(), 6);
    }
    archive.Close();
  }
  const int status = RunWithFileSizeLimit(200000, [&] {
    const ExtractionRun run = ExtractAll(dir / "full.zip", dir / "out", 2);
    if (run.outcomes.size() != contents.size()) return 100;
    for (std::size_t i = 0; i < contents.size(); ++i) {
      const std::string expected = std::to_string(i) + (i % 3 == 1 ? " not extracted refusal 0 file error " + std::to_string(EFBIG)
                                                                   : " extracted refusal 0");
      if (run.outcomes[i] != expected) return 101 + static_cast<int>(i);
    }
    return 0;
  });
  ASSERT_EQ(status, 0);
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(dir / "out")) names.push_back(item.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"f0", "f11", "f2", "f3", "f5", "f6", "f8", "f9"}));
  for (std::size_t i = 0; i < contents.size(); ++i) {
    if (i % 3 != 1) {
      EXPECT_TRUE(ReadFileBytes(dir / ("out/f" + std::to_string(i))) == contents[i]) << i;
    }
  }
}

}  // namespace
}  // namespace brevik::test
