// ZipReplaceEntryTest.cpp -- replacing entries in place, moving packed data, and adds through a temporary archive.
#include "ZipArchiveTestSupport.h"

#include "engine/ZipMemFile.h"
#include "support/EntryEditPeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace brevik::test {
namespace {

/// Three files whose archive the replacements start from.
std::vector<EntryEditFile> ThreeFiles() {
  return {{"first.txt", GeneratedBytes(40000, 21, true)},
          {"middle.bin", GeneratedBytes(20000, 22, false)},
          {"last.txt", GeneratedBytes(30000, 23, true)}};
}

/// Adds `bytes` (written to a file of its own) as `storedName` at `level`, replacing `replaceIndex`.
bool AddReplacement(CZipArchive& archive, const ScratchDir& dir, const std::string& storedName,
                    const std::string& bytes, int level, int replaceIndex) {
  const std::string path = dir / ("source-" + std::to_string(bytes.size()));
  WriteFileBytes(path, bytes);
  AddFileRequest request;
  request.sourcePath = path;
  request.storedName = storedName;
  request.level = level;
  request.replaceIndex = replaceIndex;
  return archive.AddFile(request);
}

/// Sum of the amounts of the "Step" events.
unsigned long long SteppedTotal(const RecordingCallback& callback) {
  unsigned long long total = 0;
  for (const std::string& event : callback.events) {
    if (event.rfind("Step ", 0) == 0) total += std::stoull(event.substr(5));
  }
  return total;
}

TEST(ZipReplaceEntry, MoveDataNeverOverwritesBytesNotYetMoved) {
  // The ranges are several move pieces (1 MiB) long and move by less than one piece, so every
  // piece written overlaps the piece read next, in both directions.
  CZipMemFile memory;
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(memory, CZipArchive::CreateNew));
  const std::string pattern = GeneratedBytes(3500000, 31, false);
  memory.Write(pattern.data(), static_cast<std::uint32_t>(pattern.size()));
  auto contents = [&] { return std::string(reinterpret_cast<const char*>(memory.GetData()), memory.GetLength()); };

  RecordingCallback towardsEnd;
  archive.MoveData(100, 3000100, 1000, &towardsEnd, true);
  std::string expected = pattern;
  expected.replace(1100, 3000000, pattern, 100, 3000000);
  EXPECT_TRUE(contents() == expected);
  EXPECT_EQ(SteppedTotal(towardsEnd), 3000000u);

  RecordingCallback towardsStart;
  const std::string before = contents();
  archive.MoveData(5000, 3500000, 4321, &towardsStart, false);
  expected = before;
  expected.replace(679, 3495000, before, 5000, 3495000);
  EXPECT_TRUE(contents() == expected);
  EXPECT_EQ(SteppedTotal(towardsStart), 3495000u);

  // A stop is 105; a range that runs past the end of the file cannot be moved completely (112).
  RecordingCallback stop(1);
  std::string message;
  EXPECT_EQ(ZipErrorOf([&] { archive.MoveData(0, 200000, 10, &stop, true); }, &message), errActionAborted);
  EXPECT_EQ(message, "Action aborted");
  EXPECT_EQ(ZipErrorOf([&] { archive.MoveData(3490000, 3600000, 10, nullptr, false); }, &message), errInternal);
  EXPECT_EQ(message, "Internal error");
  archive.Close(CZipArchive::CloseAfterError);
}

TEST(ZipReplaceEntry, ReplacesAMiddleEntryWithSmallerLargerAndEqualStoredData) {
  ScratchDir dir;
  const std::vector<EntryEditFile> files = ThreeFiles();
  MakeInfoZipArchive(dir / "src", dir / "three.zip", files);
  const std::string original = ReadFileBytes(dir / "three.zip");
  const std::vector<EntryEditLayout> layout = PeerEntryLayout(dir / "three.zip");
  ASSERT_EQ(layout.size(), 3u);

  struct Case {
    const char* label;
    std::size_t size;
  };
  const std::string newName = "new.bin";
  // The replaced entry's space is its local header (30 + name) and its stored data.
  const unsigned long long equalSize = layout[1].span - 30 - newName.size();
  for (const Case& item : {Case{"smaller", 5000}, Case{"larger", 90000}, Case{"equal", equalSize}}) {
    SCOPED_TRACE(item.label);
    WriteFileBytes(dir / "case.zip", original);
    const std::string bytes = GeneratedBytes(item.size, 40 + static_cast<unsigned>(item.size % 7), false);
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "case.zip", CZipArchive::OpenExisting));
    RecordingCallback moves;
    archive.SetCallback(&moves, cbReplaceMove);
    ASSERT_TRUE(AddReplacement(archive, dir, newName, bytes, 0, 1));
    ASSERT_EQ(archive.GetCount(), 3);
    const long long difference = static_cast<long long>(30 + newName.size() + item.size) -
                                 static_cast<long long>(layout[1].span);
    EXPECT_EQ(EntryInfo(archive, 1).GetFileName(), newName);
    EXPECT_EQ(EntryInfo(archive, 1).m_uOffset, layout[1].offset);
    EXPECT_EQ(EntryInfo(archive, 2).m_uOffset, static_cast<long long>(layout[2].offset) + difference);
    if (difference == 0) {
      EXPECT_TRUE(moves.events.empty());
    } else {
      ASSERT_FALSE(moves.events.empty());
      EXPECT_EQ(moves.events.front(), "Begin new.bin " + archive.GetArchivePath());
      EXPECT_EQ(moves.events[1], "SetTotal " + std::to_string(layout[2].span));
      EXPECT_EQ(SteppedTotal(moves), layout[2].span);
      EXPECT_EQ(moves.events.back(), "End");
    }
    archive.Close();

    EXPECT_EQ(PeerTestFailures(dir / "case.zip"), "");
    EXPECT_EQ(PeerEntryNames(dir / "case.zip"), (std::vector<std::string>{"first.txt", newName, "last.txt"}));
    EXPECT_TRUE(PeerExtract(dir / "case.zip", "first.txt") == files[0].second);
    EXPECT_TRUE(PeerExtract(dir / "case.zip", newName) == bytes);
    EXPECT_TRUE(PeerExtract(dir / "case.zip", "last.txt") == files[2].second);
    // The new entry's central record has no extra field; the kept ones are as they were.
    const long long centralDifference = static_cast<long long>(46 + newName.size()) -
                                        static_cast<long long>(layout[1].centralSize);
    EXPECT_EQ(static_cast<long long>(std::filesystem::file_size(dir / "case.zip")),
              static_cast<long long>(original.size()) + difference + centralDifference);
    if (difference == 0) {
      // Nothing behind the replaced entry moved.
      EXPECT_TRUE(ReadFileBytes(dir / "case.zip").compare(layout[2].offset, layout[2].span, original,
                                                           layout[2].offset, layout[2].span) == 0);
    }
  }
}

TEST(ZipReplaceEntry, CountsTheNameBytesAsTheyAreStoredNotAsTheHostHoldsThem) {
  // In an archive of MS-DOS entries new names are stored in CP437: "é" is one byte there and
  // two in the host's UTF-8, so a room computed from the host form would be a byte off per "é".
  ScratchDir dir;
  static const char* const make =
      "import sys, zipfile\n"
      "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
      "    for n, size in (('a.txt', 3000), ('b.txt', 5000), ('c.txt', 7000)):\n"
      "        i = zipfile.ZipInfo(n, (2010, 1, 1, 0, 0, 0))\n"
      "        i.create_system = 0\n"
      "        z.writestr(i, n.encode() * (size // 5))\n";
  ASSERT_EQ(RunCommand("python3 -c " + ShellQuote(make) + " " + ShellQuote(dir / "dos.zip")).exitStatus, 0);
  const std::string stored = GeneratedBytes(4000, 91, false);
  const std::string packed = GeneratedBytes(9000, 92, true);

  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "dos.zip", CZipArchive::OpenExisting));
  ASSERT_EQ(archive.GetHostSystem(), 0);
  ASSERT_TRUE(AddReplacement(archive, dir, "caf\u00e9 \u00e9t\u00e9.txt", stored, 0, 1));
  ASSERT_TRUE(AddReplacement(archive, dir, "\u00fcber.txt", packed, -1, 0));
  archive.Close();

  EXPECT_EQ(PeerTestFailures(dir / "dos.zip"), "");
  static const char* const show =
      "import sys, zipfile\n"
      "z = zipfile.ZipFile(sys.argv[1])\n"
      "for i in z.infolist():\n"
      "    print(i.filename, hex(i.flag_bits & 0x800), len(z.read(i)))\n";
  EXPECT_EQ(RunCommand("python3 -c " + ShellQuote(show) + " " + ShellQuote(dir / "dos.zip")).output,
            "\u00fcber.txt 0x0 9000\ncaf\u00e9 \u00e9t\u00e9.txt 0x0 4000\nc.txt 0x0 7000\n");
  CZipArchive reread;
  ASSERT_TRUE(reread.Open(dir / "dos.zip", CZipArchive::OpenReadOnly));
  EXPECT_EQ(ReadTestEntry(reread, 0), packed);
  EXPECT_EQ(ReadTestEntry(reread, 1), stored);
}

TEST(ZipReplaceEntry, ResolvesTheIndexByNameAndAppendsWhenNothingFollows) {
  ScratchDir dir;
  const std::vector<EntryEditFile> files = ThreeFiles();
  MakeInfoZipArchive(dir / "src", dir / "three.zip", files);
  const std::vector<EntryEditLayout> layout = PeerEntryLayout(dir / "three.zip");

  // The last entry is replaced by cutting it off and appending.
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "three.zip", CZipArchive::OpenExisting));
  RecordingCallback moves;
  archive.SetCallback(&moves, cbReplaceMove);
  ASSERT_TRUE(AddReplacement(archive, dir, "tail.txt", "the new tail\n", 0, 2));
  EXPECT_TRUE(moves.events.empty());
  EXPECT_EQ(EntryInfo(archive, 2).m_uOffset, layout[2].offset);

  // -2 with a name that is not there appends; with a name that is there (in another case)
  // replaces that entry.
  ASSERT_TRUE(AddReplacement(archive, dir, "extra.txt", "appended\n", 0, -2));
  EXPECT_EQ(archive.GetCount(), 4);
  ASSERT_TRUE(AddReplacement(archive, dir, "FIRST.TXT", "renamed first\n", 0, -2));
  EXPECT_EQ(archive.GetCount(), 4);
  EXPECT_EQ(EntryInfo(archive, 0).GetFileName(), "FIRST.TXT");

  // Indexes past the end are refused before anything is written.
  EXPECT_FALSE(AddReplacement(archive, dir, "x.txt", "x\n", 0, 4));
  EXPECT_FALSE(AddReplacement(archive, dir, "x.txt", "x\n", 0, 100));
  EXPECT_EQ(archive.GetCount(), 4);
  int index = -7;
  EXPECT_TRUE(archive.ResolveReplaceIndex(index, "anything"));
  EXPECT_EQ(index, -1);
  archive.Close();

  EXPECT_EQ(PeerTestFailures(dir / "three.zip"), "");
  EXPECT_EQ(PeerEntryNames(dir / "three.zip"),
            (std::vector<std::string>{"FIRST.TXT", "middle.bin", "tail.txt", "extra.txt"}));
  EXPECT_EQ(PeerExtract(dir / "three.zip", "FIRST.TXT"), "renamed first\n");
  EXPECT_TRUE(PeerExtract(dir / "three.zip", "middle.bin") == files[1].second);
  EXPECT_EQ(PeerExtract(dir / "three.zip", "tail.txt"), "the new tail\n");
  EXPECT_EQ(PeerExtract(dir / "three.zip", "extra.txt"), "appended\n");

  // A split archive is never rewritten: a replacement is refused, an append still works.
  CZipArchive split;
  ASSERT_TRUE(split.Open(dir / "split.zip", CZipArchive::CreateSpanned, 100000));
  ASSERT_TRUE(AddReplacement(split, dir, "a.txt", "a\n", 0, -1));
  ASSERT_TRUE(AddReplacement(split, dir, "b.txt", "b\n", 0, -1));
  EXPECT_FALSE(AddReplacement(split, dir, "c.txt", "c\n", 0, 0));
  int splitIndex = 0;
  EXPECT_FALSE(split.ResolveReplaceIndex(splitIndex, "a.txt"));
  EXPECT_EQ(split.GetCount(), 2);
  split.Close();
  EXPECT_EQ(PeerTestFailures(dir / "split.zip"), "");
}

TEST(ZipReplaceEntry, ASourceThatCannotBeReadLeavesTheLastEntryInPlace) {
  ScratchDir dir;
  const std::vector<EntryEditFile> files = ThreeFiles();
  MakeInfoZipArchive(dir / "src", dir / "three.zip", files);

  // Replacing the last entry cuts it off before its replacement is written; a source that is
  // missing must be found out first, for stored and compressed replacements alike.
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "three.zip", CZipArchive::OpenExisting));
  for (int level : {0, 6}) {
    AddFileRequest request;
    request.sourcePath = dir / "vanished.txt";
    request.storedName = "last.txt";
    request.level = level;
    request.replaceIndex = 2;
    EXPECT_FALSE(archive.AddFile(request));
    request.replaceIndex = -2;
    EXPECT_FALSE(archive.AddFile(request));
    EXPECT_EQ(archive.GetCount(), 3);
  }
  archive.Close();
  EXPECT_EQ(PeerTestFailures(dir / "three.zip"), "");
  EXPECT_TRUE(PeerExtract(dir / "three.zip", "last.txt") == files[2].second);
}

TEST(ZipReplaceEntry, ACompressedReplacementGoesThroughATemporaryArchiveThatIsRemoved) {
  ScratchDir dir;
  const std::vector<EntryEditFile> files = ThreeFiles();
  MakeInfoZipArchive(dir / "src", dir / "three.zip", files);
  std::filesystem::create_directory(dir / "tmp");

  const std::string text = GeneratedBytes(120000, 51, true);
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "three.zip", CZipArchive::OpenExisting));
  archive.SetTempPath(dir / "tmp");
  ASSERT_TRUE(archive.SetPassword("secret"));
  RecordingCallback copies;
  archive.SetCallback(&copies, cbCopyFromTemp);
  ASSERT_TRUE(AddReplacement(archive, dir, "packed.txt", text, 6, 0));
  const CZipFileHeader packed = EntryInfo(archive, 0);
  EXPECT_EQ(packed.m_uMethod, 8);
  EXPECT_TRUE(packed.IsEncrypted());
  EXPECT_LT(packed.m_uComprSize, text.size() / 2);
  ASSERT_GE(copies.events.size(), 3u);
  // The packed entry comes from a temporary archive in the archive's temporary folder...
  EXPECT_EQ(copies.events[0].rfind("Begin packed.txt " + (dir / "tmp/ZAR"), 0), 0u) << copies.events[0];
  EXPECT_EQ(copies.events[1], "SetTotal " + std::to_string(packed.m_uComprSize));
  EXPECT_EQ(SteppedTotal(copies), packed.m_uComprSize);
  EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp"));  // ...and it is gone
  EXPECT_EQ(ReadTestEntry(archive, 0), text);
  archive.Close();
  EXPECT_EQ(RunCommand("unzip -tqq -P secret " + ShellQuote(dir / "three.zip")).exitStatus, 0);
  EXPECT_EQ(RunCommand("7zz t -bd -psecret " + ShellQuote(dir / "three.zip")).exitStatus, 0);
  EXPECT_EQ(RunCommand("unzip -p -P secret " + ShellQuote(dir / "three.zip") + " packed.txt").output, text);

  // Stopped while the packed entry is copied in place of another: the archive cannot be made
  // sound again (105), and the temporary file is gone all the same.
  CZipArchive stopped;
  ASSERT_TRUE(stopped.Open(dir / "three.zip", CZipArchive::OpenExisting));
  stopped.SetTempPath(dir / "tmp");
  RecordingCallback stop(1);
  stopped.SetCallback(&stop, cbCopyFromTemp);
  EXPECT_EQ(ZipErrorOf([&] { AddReplacement(stopped, dir, "again.txt", GeneratedBytes(200000, 52, false), 6, 0); }),
            errActionAborted);
  EXPECT_EQ(stop.events.back(), "End");
  EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp"));
  stopped.Close(CZipArchive::CloseAfterError);
}

TEST(ZipReplaceEntry, CheckEfficiencyOnASplitArchiveKeepsOnlyTheStoredEntry) {
  ScratchDir dir;
  std::filesystem::create_directory(dir / "tmp");
  const std::string noise = GeneratedBytes(50000, 61, false);
  const std::string text = GeneratedBytes(50000, 62, true);
  WriteFileBytes(dir / "noise.bin", noise);
  WriteFileBytes(dir / "text.txt", text);

  for (std::uint32_t memoryFlag : {0u, static_cast<std::uint32_t>(CZipArchive::TempInMemory)}) {
    SCOPED_TRACE(memoryFlag != 0 ? "temporary archive in memory" : "temporary archive in a file");
    const std::string path = dir / "eff.zip";
    std::filesystem::remove(path);
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(path, CZipArchive::CreateSpanned, 10000000));
    archive.SetTempPath(dir / "tmp");
    RecordingCallback again;
    archive.SetCallback(&again, cbStoreAgain);
    ASSERT_TRUE(archive.AddFile(dir / "noise.bin", 9, false, CZipArchive::CheckEfficiency | memoryFlag));
    ASSERT_TRUE(archive.AddFile(dir / "text.txt", 9, false, CZipArchive::CheckEfficiency | memoryFlag));
    ASSERT_EQ(archive.GetCount(), 2);
    const CZipFileHeader stored = EntryInfo(archive, 0);
    EXPECT_EQ(stored.GetFileName(), "noise.bin");
    EXPECT_EQ(stored.m_uMethod, 0);
    EXPECT_EQ(stored.m_uComprSize, noise.size());
    EXPECT_EQ(stored.m_uOffset, 4u);  // right after the split archive's signature
    EXPECT_EQ(again.events.front(), "Begin noise.bin " + (dir / "noise.bin"));
    EXPECT_EQ(EntryInfo(archive, 1).m_uMethod, 8);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp"));
    archive.Close();

    // One volume was enough: it became an ordinary archive holding the two entries and
    // nothing of the first, deflated attempt.
    const std::vector<EntryEditLayout> layout = PeerEntryLayout(path);
    ASSERT_EQ(layout.size(), 2u);
    EXPECT_EQ(layout[0].offset, 0u);
    EXPECT_EQ(layout[0].span, 30 + std::string("noise.bin").size() + noise.size());
    EXPECT_EQ(PeerTestFailures(path), "");
    EXPECT_TRUE(PeerExtract(path, "noise.bin") == noise);
    EXPECT_TRUE(PeerExtract(path, "text.txt") == text);
  }
}

}  // namespace
}  // namespace brevik::test
