// ZipDeleteEntriesTest.cpp -- deleting entries in place: what is left, the file's length, stubs, refusals, stops.
#include "ZipArchiveTestSupport.h"

#include "support/EntryEditPeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace brevik::test {
namespace {

/// Five files of different kinds: text that deflates, bytes that do not, an empty file.
std::vector<EntryEditFile> FiveFiles() {
  return {{"one.txt", GeneratedBytes(70000, 1, true)},
          {"sub/two.bin", GeneratedBytes(9000, 2, false)},
          {"three.txt", "short text\n"},
          {"four.bin", GeneratedBytes(140000, 4, false)},
          {"empty", ""}};
}

/// Deletes `indexes` from a copy of `original` and checks the result against the original:
/// the kept entries with their bytes, in order; the file shorter by exactly what the deleted
/// entries took (their data and their directory records); both peers' tests.
void ExpectDeletion(const ScratchDir& dir, const std::string& original, const std::vector<EntryEditFile>& files,
                    std::vector<std::uint16_t> indexes, const std::set<std::size_t>& deleted) {
  const std::string copy = dir / "case.zip";
  std::filesystem::copy_file(original, copy, std::filesystem::copy_options::overwrite_existing);
  const std::vector<EntryEditLayout> layout = PeerEntryLayout(original);
  ASSERT_EQ(layout.size(), files.size());

  CZipArchive archive;
  ASSERT_TRUE(archive.Open(copy, CZipArchive::OpenExisting));
  archive.DeleteEntries(indexes);
  EXPECT_EQ(archive.GetCount(), static_cast<int>(files.size() - deleted.size()));
  archive.Close();

  unsigned long long removedBytes = 0;
  std::vector<std::string> keptNames;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (deleted.count(i) != 0) {
      removedBytes += layout[i].span + layout[i].centralSize;
    } else {
      keptNames.push_back(files[i].first);
    }
  }
  EXPECT_EQ(std::filesystem::file_size(copy), std::filesystem::file_size(original) - removedBytes);
  EXPECT_EQ(PeerEntryNames(copy), keptNames);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (deleted.count(i) == 0) {
      EXPECT_EQ(PeerExtract(copy, files[i].first), files[i].second) << files[i].first;
    }
  }
  if (keptNames.empty()) {
    // Info-ZIP reports an archive without entries as a warning, not as a sound archive.
    EXPECT_EQ(RunCommand("7zz t -bd " + ShellQuote(copy)).exitStatus, 0);
  } else {
    EXPECT_EQ(PeerTestFailures(copy), "");
  }
}

TEST(ZipDeleteEntries, LeavesTheOtherEntriesByteForByteAndShortensTheFileByWhatWasDeleted) {
  ScratchDir dir;
  std::vector<EntryEditFile> five = FiveFiles();
  std::vector<EntryEditFile> three(five.begin(), five.begin() + 3);
  MakeInfoZipArchive(dir / "src5", dir / "five.zip", five);
  MakeInfoZipArchive(dir / "src3", dir / "three.zip", three);
  MakeInfoZipArchive(dir / "src5s", dir / "five-streamed.zip", five, "", true);

  {
    SCOPED_TRACE("entry 0 of three");
    ExpectDeletion(dir, dir / "three.zip", three, {0}, {0});
  }
  {
    SCOPED_TRACE("entries 1 and 3 of five, given out of order");
    ExpectDeletion(dir, dir / "five.zip", five, {3, 1}, {1, 3});
  }
  {
    SCOPED_TRACE("entries 1 and 3 of five, each followed by a data descriptor");
    ExpectDeletion(dir, dir / "five-streamed.zip", five, {1, 3}, {1, 3});
  }
  {
    SCOPED_TRACE("the last entry only");
    ExpectDeletion(dir, dir / "five.zip", five, {4}, {4});
  }
  {
    SCOPED_TRACE("all entries");
    ExpectDeletion(dir, dir / "three.zip", three, {2, 0, 1}, {0, 1, 2});
    EXPECT_EQ(std::filesystem::file_size(dir / "case.zip"), 22u);  // the end record alone
  }
  {
    SCOPED_TRACE("a repeated index deletes its entry once");
    ExpectDeletion(dir, dir / "five.zip", five, {2, 2, 2}, {2});
  }
  {
    SCOPED_TRACE("repeated and past-the-end indexes as many as the entries are not all entries");
    ExpectDeletion(dir, dir / "three.zip", three, {0, 0, 9}, {0});
  }
}

TEST(ZipDeleteEntries, MovesOnlyWhatLiesBehindTheFirstDeletedEntry) {
  ScratchDir dir;
  std::vector<EntryEditFile> five = FiveFiles();
  MakeInfoZipArchive(dir / "src", dir / "five.zip", five);
  const std::string original = ReadFileBytes(dir / "five.zip");
  const std::vector<EntryEditLayout> layout = PeerEntryLayout(dir / "five.zip");
  ASSERT_EQ(layout.size(), 5u);

  // Entry 0 stays where it was, entry 2 moves back by entry 1's size, entry 4 by 1's and 3's.
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "five.zip", CZipArchive::OpenExisting));
  std::vector<std::uint16_t> indexes{1, 3};
  archive.DeleteEntries(indexes);
  ASSERT_EQ(archive.GetCount(), 3);
  EXPECT_EQ(EntryInfo(archive, 0).m_uOffset, layout[0].offset);
  EXPECT_EQ(EntryInfo(archive, 1).m_uOffset, layout[2].offset - layout[1].span);
  EXPECT_EQ(EntryInfo(archive, 2).m_uOffset, layout[4].offset - layout[1].span - layout[3].span);
  EXPECT_EQ(ReadTestEntry(archive, 1), five[2].second);
  archive.Close();
  const std::string after = ReadFileBytes(dir / "five.zip");
  EXPECT_TRUE(after.compare(0, layout[1].offset, original, 0, layout[1].offset) == 0);

  // Deleting the last entry moves nothing: every byte in front of it is as it was.
  WriteFileBytes(dir / "last.zip", original);
  CZipArchive last;
  ASSERT_TRUE(last.Open(dir / "last.zip", CZipArchive::OpenExisting));
  RecordingCallback moves;
  last.SetCallback(&moves, cbDeleteMove);
  std::vector<std::uint16_t> lastIndex{4};
  last.DeleteEntries(lastIndex);
  last.Close();
  EXPECT_EQ(moves.events, (std::vector<std::string>{"Begin (null) (null)", "SetTotal 0", "End"}));
  EXPECT_TRUE(ReadFileBytes(dir / "last.zip").compare(0, layout[4].offset, original, 0, layout[4].offset) == 0);
}

TEST(ZipDeleteEntries, KeepsTheBytesInFrontOfTheArchive) {
  ScratchDir dir;
  const std::vector<EntryEditFile> five = FiveFiles();
  const std::vector<EntryEditFile> three(five.begin(), five.begin() + 3);
  MakeInfoZipArchive(dir / "src", dir / "plain.zip", three);
  const std::string stub = GeneratedBytes(1000, 7, false);

  // A stub in front of an archive whose offsets do not count it.
  WriteFileBytes(dir / "raw.zip", stub + ReadFileBytes(dir / "plain.zip"));
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "raw.zip", CZipArchive::OpenExisting));
    std::vector<std::uint16_t> indexes{0};
    archive.DeleteEntries(indexes);
    archive.Close();
    CZipArchive reread;
    ASSERT_TRUE(reread.Open(dir / "raw.zip", CZipArchive::OpenReadOnly));
    ASSERT_EQ(reread.GetCount(), 2);
    EXPECT_EQ(ReadTestEntry(reread, 0), three[1].second);
    EXPECT_EQ(ReadTestEntry(reread, 1), three[2].second);
  }
  EXPECT_TRUE(ReadFileBytes(dir / "raw.zip").compare(0, stub.size(), stub) == 0);

  // A self-extractor whose offsets count the stub (zip -A): deleting every entry keeps it too.
  WriteFileBytes(dir / "sfx.zip", stub + ReadFileBytes(dir / "plain.zip"));
  ASSERT_EQ(RunCommand("zip -qA " + ShellQuote(dir / "sfx.zip")).exitStatus, 0);
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "sfx.zip", CZipArchive::OpenExisting));
    std::vector<std::uint16_t> indexes{1};
    archive.DeleteEntries(indexes);
    archive.Close();
  }
  EXPECT_EQ(PeerTestFailures(dir / "sfx.zip"), "");
  EXPECT_EQ(PeerEntryNames(dir / "sfx.zip"), (std::vector<std::string>{three[0].first, three[2].first}));
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "sfx.zip", CZipArchive::OpenExisting));
    std::vector<std::uint16_t> indexes{0, 1};
    archive.DeleteEntries(indexes);
    EXPECT_EQ(archive.GetCount(), 0);
    archive.Close();
  }
  const std::string emptied = ReadFileBytes(dir / "sfx.zip");
  EXPECT_EQ(emptied.size(), stub.size() + 22);
  EXPECT_TRUE(emptied.compare(0, stub.size(), stub) == 0);
  CZipArchive reread;
  ASSERT_TRUE(reread.Open(dir / "sfx.zip", CZipArchive::OpenReadOnly));
  EXPECT_EQ(reread.GetCount(), 0);
}

TEST(ZipDeleteEntries, DoesNothingWhereTheFileCannotBeRewritten) {
  ScratchDir dir;
  std::vector<EntryEditFile> files{{"a.bin", GeneratedBytes(300000, 11, false)}, {"b.txt", "bee\n"}};
  MakeInfoZipArchive(dir / "src", dir / "plain.zip", files);

  // A split archive: no volume changes.
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.path()) + " && zip -q -s 100k plain.zip --out split.zip").exitStatus, 0);
  ASSERT_TRUE(std::filesystem::exists(dir / "split.z01"));
  const std::string volume1 = ReadFileBytes(dir / "split.z01");
  const std::string lastVolume = ReadFileBytes(dir / "split.zip");
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "split.zip", CZipArchive::OpenExisting));
    ASSERT_EQ(archive.GetSpanState(), CZipArchive::SpanState::ExistingSpanned);
    std::vector<std::uint16_t> indexes{0};
    archive.DeleteEntries(indexes);
    EXPECT_EQ(archive.GetCount(), 2);
    archive.Close();
  }
  EXPECT_EQ(ReadFileBytes(dir / "split.z01"), volume1);
  EXPECT_EQ(ReadFileBytes(dir / "split.zip"), lastVolume);

  // Read-only, an entry open for reading, an empty list, and no archive at all.
  const std::string plain = ReadFileBytes(dir / "plain.zip");
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "plain.zip", CZipArchive::OpenReadOnly));
    std::vector<std::uint16_t> indexes{0};
    archive.DeleteEntries(indexes);
    EXPECT_EQ(archive.GetCount(), 2);
    archive.Close();
  }
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "plain.zip", CZipArchive::OpenExisting));
    ASSERT_TRUE(archive.OpenEntryForReading(1));
    std::vector<std::uint16_t> indexes{0};
    archive.DeleteEntries(indexes);
    EXPECT_EQ(archive.GetCount(), 2);
    archive.CloseEntryForReading(nullptr, true);
    std::vector<std::uint16_t> none;
    archive.DeleteEntries(none);
    EXPECT_EQ(archive.GetCount(), 2);
    archive.Close();
  }
  EXPECT_EQ(ReadFileBytes(dir / "plain.zip"), plain);
  CZipArchive closed;
  std::vector<std::uint16_t> indexes{0};
  closed.DeleteEntries(indexes);
  EXPECT_EQ(closed.GetCount(), 0);
}

TEST(ZipDeleteEntries, ReportsProgressAndStopsWhereTheCallbackSays) {
  ScratchDir dir;
  std::vector<EntryEditFile> files;
  for (int i = 0; i < 600; ++i) files.push_back({"f" + std::to_string(1000 + i), "entry " + std::to_string(i) + "\n"});
  MakeInfoZipArchive(dir / "src", dir / "many.zip", files, "-0");
  const std::string original = ReadFileBytes(dir / "many.zip");
  const std::vector<EntryEditLayout> layout = PeerEntryLayout(dir / "many.zip");
  ASSERT_EQ(layout.size(), 600u);

  // The scan steps at entries 256 and 512; the move reports every byte it moves, once.
  {
    WriteFileBytes(dir / "case.zip", original);
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "case.zip", CZipArchive::OpenExisting));
    RecordingCallback scan;
    RecordingCallback move;
    archive.SetCallback(&scan, cbDeleteScan);
    archive.SetCallback(&move, cbDeleteMove);
    std::vector<std::uint16_t> indexes{10};
    archive.DeleteEntries(indexes);
    archive.Close();
    EXPECT_EQ(scan.events, (std::vector<std::string>{"Begin (null) (null)", "SetTotal 600", "Step 256", "Step 256", "End"}));
    const unsigned long long behind = layout[599].offset + layout[599].span - layout[11].offset;
    ASSERT_GE(move.events.size(), 4u);
    EXPECT_EQ(move.events[1], "SetTotal " + std::to_string(behind));
    unsigned long long stepped = 0;
    for (const std::string& event : move.events) {
      if (event.rfind("Step ", 0) == 0) stepped += std::stoull(event.substr(5));
    }
    EXPECT_EQ(stepped, behind);
    EXPECT_EQ(move.events.back(), "End");
    EXPECT_EQ(PeerTestFailures(dir / "case.zip"), "");
  }

  // Stopped while scanning: nothing has changed (106), and closing after the error keeps it so.
  {
    WriteFileBytes(dir / "case.zip", original);
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "case.zip", CZipArchive::OpenExisting));
    RecordingCallback scan(2);
    archive.SetCallback(&scan, cbDeleteScan);
    std::vector<std::uint16_t> indexes{3, 500};
    std::string message;
    EXPECT_EQ(ZipErrorOf([&] { archive.DeleteEntries(indexes); }, &message), errActionAbortedSafely);
    EXPECT_EQ(message, "Action aborted safely");
    EXPECT_EQ(scan.events.back(), "End");
    EXPECT_EQ(archive.GetCount(), 600);
    archive.Close(CZipArchive::CloseAfterError);
    EXPECT_EQ(ReadFileBytes(dir / "case.zip"), original);
  }

  // Stopped while moving: the archive can no longer be trusted (105).
  {
    WriteFileBytes(dir / "case.zip", original);
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "case.zip", CZipArchive::OpenExisting));
    RecordingCallback move(1);
    archive.SetCallback(&move, cbDeleteMove);
    std::vector<std::uint16_t> indexes{0};
    CZipException caught;
    try {
      archive.DeleteEntries(indexes);
    } catch (const CZipException& error) {
      caught = error;
    }
    EXPECT_EQ(caught.GetCause(), errActionAborted);
    EXPECT_STREQ(caught.what(), "Action aborted");
    EXPECT_EQ(caught.GetFileName(), archive.GetArchivePath());
    EXPECT_EQ(move.events.back(), "End");
    archive.Close(CZipArchive::CloseAfterError);
  }
}

}  // namespace
}  // namespace brevik::test
