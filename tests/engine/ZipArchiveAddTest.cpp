// ZipArchiveAddTest.cpp -- adding files and folders: names, smart flags, limits, callbacks and stops.
#include "ZipArchiveTestSupport.h"

#include "engine/ZipMemFile.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brevik::test {
namespace {

constexpr std::uint32_t SmartFlags7 =
    CZipArchive::PlainDirectories | CZipArchive::PlainEmptyFiles | CZipArchive::StoreTinyFiles;

TEST(ZipArchiveAdd, SmartFlagsDecideStoringAndEncryptionByKindAndSize) {
  ScratchDir dir;
  WriteFileBytes(dir / "empty.bin", "");
  WriteFileBytes(dir / "four.bin", "1234");
  WriteFileBytes(dir / "five.bin", "12345");
  std::filesystem::create_directory(dir / "folder");
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "a.zip", CZipArchive::CreateNew));
  ASSERT_TRUE(archive.SetPassword("pw"));
  for (const char* name : {"empty.bin", "four.bin", "five.bin", "folder/"}) {
    ASSERT_TRUE(archive.AddFile(dir / name, -1, false, SmartFlags7)) << name;
  }
  EXPECT_EQ(archive.GetPassword(), "pw");  // restored after each pause
  struct Expected {
    const char* name;
    int method;
    bool encrypted;
    std::uint32_t packed;
  } expected[] = {{"empty.bin", 0, false, 0}, {"four.bin", 0, true, 16}, {"five.bin", 8, true, 0}, {"folder/", 0, false, 0}};
  for (int i = 0; i < 4; ++i) {
    CZipFileHeader header = EntryInfo(archive, i);
    EXPECT_EQ(header.GetFileName(), expected[i].name);
    EXPECT_EQ(header.m_uMethod, expected[i].method) << expected[i].name;
    EXPECT_EQ(header.IsEncrypted(), expected[i].encrypted) << expected[i].name;
    if (expected[i].packed != 0) {
      EXPECT_EQ(header.m_uComprSize, expected[i].packed) << expected[i].name;
    }
  }
  EXPECT_TRUE(EntryInfo(archive, 3).IsDirectoryEntry());
  archive.Close();

  // Without the smart flags the same files are all deflated and encrypted (the folder is stored).
  CZipArchive plain;
  ASSERT_TRUE(plain.Open(dir / "b.zip", CZipArchive::CreateNew));
  ASSERT_TRUE(plain.SetPassword("pw"));
  ASSERT_TRUE(plain.AddFile(dir / "empty.bin", -1, false, 0));
  ASSERT_TRUE(plain.AddFile(dir / "four.bin", -1, false, 0));
  ASSERT_TRUE(plain.AddFile(dir / "folder", -1, false, 0));
  EXPECT_EQ(EntryInfo(plain, 0).m_uMethod, 8);
  EXPECT_TRUE(EntryInfo(plain, 0).IsEncrypted());
  EXPECT_EQ(EntryInfo(plain, 1).m_uMethod, 8);
  EXPECT_EQ(EntryInfo(plain, 2).m_uMethod, 0);
  EXPECT_TRUE(EntryInfo(plain, 2).IsEncrypted());
  plain.Close();
  EXPECT_EQ(RunCommand("unzip -tq -P pw " + ShellQuote(dir / "b.zip")).exitStatus, 0);
}

TEST(ZipArchiveAdd, StoredNamesComeFromTheRootPathOrTheFileNameAndNeverClimb) {
  ScratchDir dir;
  std::filesystem::create_directories(dir / "data/sub");
  WriteFileBytes(dir / "data/sub/b.txt", "b");
  WriteFileBytes(dir / "a.txt", "a");
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "n.zip", CZipArchive::CreateNew));
  archive.SetRootPath((dir / "data/").c_str());
  ASSERT_TRUE(archive.AddFile(dir / "data/sub/b.txt", -1, false));      // below the root
  ASSERT_TRUE(archive.AddFile(dir / "a.txt", -1, false));               // outside it: bare name
  ASSERT_TRUE(archive.AddFile(dir / "data/sub/../sub/./b.txt", -1, true));  // full path, cleaned
  ASSERT_TRUE(archive.AddFile(dir / "data/sub/", -1, false));           // a folder below the root
  EXPECT_EQ(EntryInfo(archive, 0).GetFileName(), "sub/b.txt");
  EXPECT_EQ(EntryInfo(archive, 1).GetFileName(), "a.txt");
  std::string full = EntryInfo(archive, 2).GetFileName();
  EXPECT_EQ(full, CZipArchive::CleanStoredName(dir / "data/sub/sub/b.txt"));
  EXPECT_EQ(full.front(), dir.path()[1]);  // no leading "/"
  EXPECT_EQ(EntryInfo(archive, 3).GetFileName(), "sub/");

  // Entries without a name are numbered after the entries before them.
  CZipFileHeader unnamed;
  ASSERT_TRUE(archive.OpenEntryForWriting(unnamed, 0));
  ASSERT_TRUE(archive.CloseEntryForWriting());
  EXPECT_EQ(EntryInfo(archive, 4).GetFileName(), "file4");

  // Neither a path nor a source file, a zero buffer, or a missing file: false.
  AddFileRequest empty;
  EXPECT_FALSE(archive.AddFile(empty));
  EXPECT_FALSE(archive.AddFile(dir / "a.txt", -1, false, 0, 0));
  EXPECT_FALSE(archive.AddFile(dir / "missing.txt"));
  EXPECT_EQ(archive.GetCount(), 5);
  archive.Close();
  EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(dir / "n.zip")).exitStatus, 0);

  CZipMemFile memory;
  CZipArchive first;
  ASSERT_TRUE(first.Open(memory, CZipArchive::CreateNew));
  CZipFileHeader header;
  ASSERT_TRUE(first.OpenEntryForWriting(header, 0));
  ASSERT_TRUE(first.CloseEntryForWriting());
  EXPECT_EQ(EntryInfo(first, 0).GetFileName(), "file0");
  first.Close();
}

TEST(ZipArchiveAdd, ASourceFileInMemoryIsAddedUnderItsGivenName) {
  CZipMemFile source;
  std::string bytes = GeneratedBytes(200000, 3, true);
  source.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  CZipMemFile memory;
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(memory, CZipArchive::CreateNew));
  AddFileRequest request;
  request.storedName = "from/memory.txt";
  request.sourceFile = &source;
  request.level = 9;
  ASSERT_TRUE(archive.AddFile(request));
  CZipFileHeader header = EntryInfo(archive, 0);
  EXPECT_EQ(header.GetFileName(), "from/memory.txt");
  EXPECT_EQ(header.m_uUncomprSize, bytes.size());
  EXPECT_LT(header.m_uComprSize, bytes.size() / 2);
  EXPECT_EQ(header.m_uFlag & 0x6, 0x2);  // the level class of levels 8 and 9
  EXPECT_EQ(header.EntryAttributes(), 0x81A40020u);
  EXPECT_EQ(ReadTestEntry(archive, 0, 65536), bytes);
  archive.Close();
}

TEST(ZipArchiveAdd, ReplacementsAndTheSpannedEfficiencyCheckGoThroughATemporaryArchive) {
  ScratchDir dir;
  WriteFileBytes(dir / "a.txt", "some text");
  WriteFileBytes(dir / "b.txt", GeneratedBytes(70000, 21, true));
  WriteFileBytes(dir / "noise.bin", GeneratedBytes(70000, 22, false));
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "r.zip", CZipArchive::CreateNew));
  ASSERT_TRUE(archive.AddFile(dir / "a.txt", -1, false));
  ASSERT_TRUE(archive.AddFile(dir / "noise.bin", -1, false));
  AddFileRequest replace;
  replace.sourcePath = dir / "b.txt";
  replace.storedName = "a.txt";
  replace.replaceIndex = -2;  // the entry of the same name
  ASSERT_TRUE(archive.AddFile(replace));
  EXPECT_EQ(archive.GetCount(), 2);
  EXPECT_EQ(EntryInfo(archive, 0).GetFileName(), "a.txt");
  EXPECT_EQ(EntryInfo(archive, 0).m_uMethod, 8);
  EXPECT_EQ(ReadTestEntry(archive, 0), ReadFileBytes(dir / "b.txt"));
  replace.storedName = "new.txt";  // -2 with a name not in the archive appends
  replace.replaceIndex = -2;
  ASSERT_TRUE(archive.AddFile(replace));
  EXPECT_EQ(archive.GetCount(), 3);
  replace.replaceIndex = 7;  // out of range
  EXPECT_FALSE(archive.AddFile(replace));
  CZipFileHeader header;
  header.SetEntryName("b.txt");
  EXPECT_FALSE(archive.OpenEntryForWriting(header, (9 << 16) | CZipArchive::ReplaceLevelMarker, nullptr, 9));
  archive.Close();
  EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(dir / "r.zip")).exitStatus, 0);

  CZipArchive spanned;
  ASSERT_TRUE(spanned.Open(dir / "s.zip", CZipArchive::CreateSpanned, 65536));
  ASSERT_TRUE(spanned.AddFile(dir / "noise.bin", 9, false, CZipArchive::CheckEfficiency));
  ASSERT_TRUE(spanned.AddFile(dir / "b.txt", 9, false, CZipArchive::CheckEfficiency | CZipArchive::TempInMemory));
  EXPECT_EQ(EntryInfo(spanned, 0).m_uMethod, 0);
  EXPECT_EQ(EntryInfo(spanned, 1).m_uMethod, 8);
  AddFileRequest spannedReplace;
  spannedReplace.sourcePath = dir / "a.txt";
  spannedReplace.replaceIndex = 0;
  EXPECT_FALSE(spanned.AddFile(spannedReplace));  // volumes cannot be rewritten
  spanned.Close();
  EXPECT_EQ(RunCommand("7zz t " + ShellQuote(dir / "s.zip")).exitStatus, 0);
}

TEST(ZipArchiveAdd, TheEfficiencyCheckStoresDataThatDoesNotCompressAndLeavesNoTrace) {
  ScratchDir dir;
  std::string noise = GeneratedBytes(150000, 11, false);
  WriteFileBytes(dir / "noise.bin", noise);
  WriteFileBytes(dir / "text.txt", GeneratedBytes(150000, 12, true));
  RecordingCallback addCallback, storeCallback;
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "e.zip", CZipArchive::CreateNew));
  archive.SetCallback(&addCallback, cbAddFile);
  archive.SetCallback(&storeCallback, cbStoreAgain);
  ASSERT_TRUE(archive.AddFile(dir / "noise.bin", 9, false, CZipArchive::CheckEfficiency));
  ASSERT_TRUE(archive.AddFile(dir / "text.txt", 9, false, CZipArchive::CheckEfficiency));
  CZipFileHeader stored = EntryInfo(archive, 0);
  EXPECT_EQ(stored.GetFileName(), "noise.bin");
  EXPECT_EQ(stored.m_uMethod, 0);
  EXPECT_EQ(stored.m_uOffset, 0u);  // in the first attempt's place
  EXPECT_EQ(EntryInfo(archive, 1).m_uMethod, 8);
  EXPECT_EQ(storeCallback.events.front(), "Begin noise.bin " + (dir / "noise.bin"));
  EXPECT_EQ(storeCallback.events.back(), "End");
  archive.Close();
  // The first attempt left nothing: the stored entry and the deflated one follow each other.
  CZipArchive reader;
  ASSERT_TRUE(reader.Open(dir / "e.zip", CZipArchive::OpenReadOnly));
  CZipFileHeader first = EntryInfo(reader, 0), second = EntryInfo(reader, 1);
  EXPECT_EQ(second.m_uOffset, first.HeaderSize(true) + noise.size());
  EXPECT_EQ(ReadTestEntry(reader, 0), noise);
  reader.Close();
}

TEST(ZipArchiveAdd, ACallbackThatStopsUndoesAnUnfinishedEntryOrCompletesAFinishedOne) {
  ScratchDir dir;
  std::string big = GeneratedBytes(3 * 65536 + 10, 5, true);
  WriteFileBytes(dir / "big.bin", big);
  WriteFileBytes(dir / "small.bin", "small");
  WriteFileBytes(dir / "keep.bin", "keep");
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "c.zip", CZipArchive::CreateNew));
  ASSERT_TRUE(archive.AddFile(dir / "keep.bin"));
  std::uint64_t lengthBefore = std::filesystem::file_size(dir / "c.zip");

  RecordingCallback stopEarly(1);
  archive.SetCallback(&stopEarly, cbAddFile);
  std::string message;
  EXPECT_EQ(ZipErrorOf([&] { archive.AddFile(dir / "big.bin", -1, false); }, &message), 106);
  EXPECT_EQ(message, "Action aborted safely");
  EXPECT_EQ(archive.GetCount(), 1);
  EXPECT_EQ(archive.GetZlibBlockCount(), 0u);
  EXPECT_EQ(stopEarly.events, (std::vector<std::string>{"Begin big.bin " + (dir / "big.bin"), "SetTotal 196618",
                                                        "Step 65536", "End"}));

  RecordingCallback stopLast(1);
  archive.SetCallback(&stopLast, cbAddFile);
  EXPECT_EQ(ZipErrorOf([&] { archive.AddFile(dir / "small.bin"); }), 106);
  EXPECT_EQ(archive.GetCount(), 2);  // all data was read: the entry was completed
  archive.SetCallback(nullptr, cbAll);
  archive.Close();
  EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(dir / "c.zip")).exitStatus, 0);
  CZipArchive reader;
  ASSERT_TRUE(reader.Open(dir / "c.zip", CZipArchive::OpenReadOnly));
  EXPECT_EQ(ReadTestEntry(reader, 1), "small");
  // The undone entry left no bytes: the second entry starts where the first one ended.
  EXPECT_EQ(EntryInfo(reader, 1).m_uOffset, lengthBefore);
  reader.Close();
}

TEST(ZipArchiveAdd, AStopOnASpannedArchiveLeavesTheEntryForTheAfterErrorClose) {
  ScratchDir dir;
  WriteFileBytes(dir / "big.bin", GeneratedBytes(3 * 65536, 6, true));
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "s.zip", CZipArchive::CreateSpanned, 1 << 20));
  RecordingCallback stop(2);
  archive.SetCallback(&stop, cbAddFile);
  std::string message;
  EXPECT_EQ(ZipErrorOf([&] { archive.AddFile(dir / "big.bin"); }, &message), 105);
  EXPECT_EQ(message, "Action aborted");
  archive.Close(CZipArchive::CloseAfterError);
  EXPECT_EQ(archive.GetZlibBlockCount(), 0u);
}

TEST(ZipArchiveAdd, The65536thEntryIsRefused) {
  CZipMemFile memory;
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(memory, CZipArchive::CreateNew));
  CZipFileHeader header;
  header.SetEntryName("e");
  for (int i = 0; i < 65535; ++i) {
    ASSERT_TRUE(archive.OpenEntryForWriting(header, 0)) << i;
    ASSERT_TRUE(archive.CloseEntryForWriting());
  }
  EXPECT_FALSE(archive.OpenEntryForWriting(header, 0));
  EXPECT_EQ(archive.GetCount(), 65535);
  archive.Close();
  CZipArchive reader;
  ASSERT_TRUE(reader.Open(memory, CZipArchive::OpenReadOnly));
  EXPECT_EQ(reader.GetCount(), 65535);
  reader.Close();
}

TEST(ZipArchiveAdd, NamesLongerThanTheFormatAllowAreRefusedWith109) {
  CZipMemFile memory;
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(memory, CZipArchive::CreateNew));
  CZipFileHeader header;
  header.SetEntryName(std::string(65536, 'n'));
  std::string message;
  EXPECT_EQ(ZipErrorOf([&] { archive.OpenEntryForWriting(header, 0); }, &message), 109);
  EXPECT_EQ(message, "The filename of the file being added to the archive is too long");
  header.SetEntryName(std::string(65535, 'n'));
  EXPECT_TRUE(archive.OpenEntryForWriting(header, 0));
  EXPECT_TRUE(archive.CloseEntryForWriting());
  // Records of every size reach the archive whole: far past, just past and below 512 bytes.
  for (const std::size_t length : {std::size_t{482}, std::size_t{467}, std::size_t{5}}) {
    header.SetEntryName(std::string(length, 'm'));
    EXPECT_TRUE(archive.OpenEntryForWriting(header, 0));
    EXPECT_TRUE(archive.CloseEntryForWriting());
  }
  archive.Close();
  CZipArchive reader;
  ASSERT_TRUE(reader.Open(memory, CZipArchive::OpenReadOnly));
  ASSERT_EQ(reader.GetCount(), 4);
  EXPECT_EQ(EntryInfo(reader, 0).GetFileName(), std::string(65535, 'n'));
  EXPECT_EQ(EntryInfo(reader, 1).GetFileName(), std::string(482, 'm'));
  EXPECT_EQ(EntryInfo(reader, 2).GetFileName(), std::string(467, 'm'));
  EXPECT_EQ(EntryInfo(reader, 3).GetFileName(), std::string(5, 'm'));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(ReadTestEntry(reader, i), "") << i;  // each local header checked
  reader.Close();
}

TEST(ZipArchiveAdd, OneCompressorKeptAcrossEntriesPacksEachAsAFreshOneWould) {
  ScratchDir dir;
  const std::string first = GeneratedBytes(150000, 21, true);
  const std::string second = GeneratedBytes(90000, 22, true);
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "k.zip", CZipArchive::CreateNew));
  WriteTestEntry(archive, "a.txt", first, 6);
  EXPECT_GT(archive.GetZlibBlockCount(), 0u);  // kept for the next entry
  WriteTestEntry(archive, "b.txt", second, 1);  // another level: a new stream
  WriteTestEntry(archive, "c.txt", first, 6);
  WriteTestEntry(archive, "d.txt", "", 6);
  WriteTestEntry(archive, "e.txt", second, 1);
  // An entry abandoned half-way leaves a stream that must not be reused as it is.
  CZipFileHeader header;
  header.SetEntryName("half.txt");
  ASSERT_TRUE(archive.OpenEntryForWriting(header, 1));
  ASSERT_TRUE(archive.WriteEntryData(first.data(), 70000));
  ASSERT_TRUE(archive.RemoveLastEntry(true));
  ASSERT_TRUE(archive.CloseEntryForWriting(true));
  WriteTestEntry(archive, "f.txt", second, 1);

  EXPECT_EQ(EntryInfo(archive, 2).m_uComprSize, EntryInfo(archive, 0).m_uComprSize);
  EXPECT_EQ(EntryInfo(archive, 4).m_uComprSize, EntryInfo(archive, 1).m_uComprSize);
  EXPECT_EQ(EntryInfo(archive, 5).m_uComprSize, EntryInfo(archive, 1).m_uComprSize);
  EXPECT_NE(EntryInfo(archive, 1).m_uComprSize, EntryInfo(archive, 0).m_uComprSize);
  archive.Close();
  EXPECT_EQ(archive.GetZlibBlockCount(), 0u);
  EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(dir / "k.zip")).exitStatus, 0);

  CZipArchive reader;
  ASSERT_TRUE(reader.Open(dir / "k.zip", CZipArchive::OpenReadOnly));
  ASSERT_EQ(reader.GetCount(), 6);
  const std::string expected[] = {first, second, first, "", second, second};
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(ReadTestEntry(reader, i, 65536) == expected[i]) << i;
  reader.Close();
}

TEST(ZipArchiveAdd, TheCallersStatOfTheSourceIsUsedAndTheEntryEndsAtItsSize) {
  ScratchDir dir;
  const std::string bytes = GeneratedBytes(5000, 23, true);
  WriteFileBytes(dir / "grown.txt", bytes);
  ZipSourceInfo seen;
  ASSERT_TRUE(ZipReadSourceInfo(dir / "grown.txt", seen));
  seen.size = 3000;  // as stat'ed before the file grew to its present size
  seen.modTime = 1300000000;

  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "g.zip", CZipArchive::CreateNew));
  AddFileRequest request;
  request.sourcePath = dir / "grown.txt";
  request.fullPath = false;
  request.sourceInfo = seen;
  ASSERT_TRUE(archive.AddFile(request));
  ASSERT_TRUE(archive.AddFile(dir / "grown.txt", -1, false));  // stat'ed by the archive itself
  CZipFileHeader given = EntryInfo(archive, 0);
  EXPECT_EQ(given.m_uUncomprSize, 3000u);
  EXPECT_EQ(given.EntryTime(), 1300000000);
  EXPECT_EQ(EntryInfo(archive, 1).m_uUncomprSize, 5000u);
  EXPECT_TRUE(ReadTestEntry(archive, 0) == bytes.substr(0, 3000));
  EXPECT_TRUE(ReadTestEntry(archive, 1) == bytes);
  archive.Close();
}

TEST(ZipArchiveAdd, AFileSeenInAListingTakesItsFactsFromTheOpenAndIsNeverTheArchive) {
  ScratchDir dir;
  const std::string bytes = GeneratedBytes(3000, 29, true);
  WriteFileBytes(dir / "seen.txt", bytes);
  ASSERT_EQ(::chmod((dir / "seen.txt").c_str(), 0640), 0);
  const struct timespec times[2] = {{1400000000, 0}, {1400000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "seen.txt").c_str(), times, 0), 0);
  ASSERT_EQ(::mkdir((dir / "was-a-file").c_str(), 0755), 0);

  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "s.zip", CZipArchive::CreateNew));
  AddFileRequest request;
  request.sourcePath = dir / "seen.txt";
  request.fullPath = false;
  request.sourceSeenAsFile = true;
  ASSERT_TRUE(archive.AddFile(request));
  EXPECT_NE(archive.GetAddRefusal(), AddSourceRefusal::IsArchive);
  const CZipFileHeader entry = EntryInfo(archive, 0);
  EXPECT_EQ(entry.m_uUncomprSize, 3000u);
  EXPECT_EQ(entry.EntryTime(), 1400000000);
  EXPECT_EQ(entry.EntryAttributes() >> 16, 0100640u);
  EXPECT_TRUE(ReadTestEntry(archive, 0) == bytes);

  // What has become a folder since the listing is added as the folder it is.
  request.sourcePath = dir / "was-a-file";
  ASSERT_TRUE(archive.AddFile(request));
  EXPECT_TRUE(EntryInfo(archive, 1).IsDirectoryEntry());

  // The archive's own file, under its name or another link to it, is refused and said to be it.
  ASSERT_EQ(::link((dir / "s.zip").c_str(), (dir / "other-name.zip").c_str()), 0);
  for (const char* name : {"s.zip", "other-name.zip"}) {
    request.sourcePath = dir / name;
    EXPECT_FALSE(archive.AddFile(request)) << name;
    EXPECT_EQ(archive.GetAddRefusal(), AddSourceRefusal::IsArchive) << name;
  }
  // Nor is it added when named by a caller that made no listing.
  AddFileRequest named;
  named.sourcePath = dir / "other-name.zip";
  EXPECT_FALSE(archive.AddFile(named));
  EXPECT_EQ(archive.GetAddRefusal(), AddSourceRefusal::IsArchive);
  // A file gone since the listing is told apart from one that cannot be read.
  request.sourcePath = dir / "missing.txt";
  EXPECT_FALSE(archive.AddFile(request));
  EXPECT_NE(archive.GetAddRefusal(), AddSourceRefusal::IsArchive);
  EXPECT_EQ(archive.GetAddRefusal(), AddSourceRefusal::Vanished);
  if (::geteuid() != 0) {
    WriteFileBytes(dir / "locked.txt", "locked");
    ASSERT_EQ(::chmod((dir / "locked.txt").c_str(), 0), 0);
    request.sourcePath = dir / "locked.txt";
    EXPECT_FALSE(archive.AddFile(request));
    EXPECT_NE(archive.GetAddRefusal(), AddSourceRefusal::Vanished);
  }
  EXPECT_EQ(archive.GetCount(), 2);
  archive.Close();
}

}  // namespace
}  // namespace brevik::test
