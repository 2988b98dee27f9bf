// ZipParallelAddTest.cpp -- adding with workers: the same bytes for any thread count, long sources in chunks, failures per entry.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "ZipArchiveTestSupport.h"
#include "engine/ZipDeflateChunks.h"
#include "engine/ZipFileException.h"
#include "engine/ZipSourceInfo.h"
#include "support/ArchivePeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

namespace brevik::test {
namespace {

struct Source {
  std::string name;
  std::string bytes;
};

// Text, noise, an empty and a tiny file, one a little under the whole-buffer bound and one long
// enough for several chunks, whose last chunk is short.
std::vector<Source> Sources() {
  const std::size_t chunk = ZipDeflate::ChunkBytes;
  return {{"a.txt", GeneratedBytes(200000, 1, true)},
          {"noise.bin", GeneratedBytes(70000, 2, false)},
          {"empty", ""},
          {"tiny", "abc"},
          {"near-bound.txt", GeneratedBytes(ZipDeflate::WholeBound - 7, 3, true)},
          {"long.txt", GeneratedBytes(5 * chunk + 12345, 4, true) + GeneratedBytes(chunk, 5, false)},
          {"z.txt", GeneratedBytes(3000, 6, true)}};
}

void WriteSources(const ScratchDir& dir, const std::vector<Source>& sources) {
  for (const Source& source : sources) {
    WriteFileBytes(dir / source.name, source.bytes);
    // Equal times make the entries' headers equal from one archive to the next.
    std::filesystem::last_write_time(dir / source.name, std::filesystem::file_time_type{});
  }
}

// Adds `sources` (as the folder walk does: each announced before its turn, as far as there is
// room) into a new archive at `zipPath` with `threads`; returns what each add answered.
std::vector<bool> AddAll(const ScratchDir& dir, const std::vector<Source>& sources, const std::string& zipPath,
                         unsigned threads, const char* password = nullptr,
                         CZipArchive::Encryption encryption = CZipArchive::ZipCrypto) {
  CZipArchive archive;
  archive.Open(zipPath, CZipArchive::CreateNew);
  archive.SetWorkerThreads(threads);
  archive.SetEncryption(encryption);
  if (password != nullptr) archive.SetPassword(password);
  std::size_t announced = 0;
  std::vector<bool> added;
  for (const Source& source : sources) {
    while (announced < sources.size() && archive.AnnounceRoom() > 0)
      archive.AnnounceSource(dir / sources[announced++].name, -1);
    AddFileRequest request;
    request.sourcePath = dir / source.name;
    request.storedName = source.name;
    request.smartFlags = CZipArchive::PlainEmptyFiles | CZipArchive::StoreTinyFiles;
    request.sourceSeenAsFile = true;
    added.push_back(archive.AddFile(request));
  }
  archive.Close();
  return added;
}

// Each entry of the archive at `zipPath`, read back through the engine, is its source.
void ExpectEntries(const std::string& zipPath, const std::vector<Source>& sources, const char* password = nullptr) {
  CZipArchive archive;
  archive.Open(zipPath, CZipArchive::OpenReadOnly);
  if (password != nullptr) archive.SetPassword(password);
  ASSERT_EQ(archive.GetCount(), static_cast<int>(sources.size()));
  for (std::size_t i = 0; i < sources.size(); ++i) {
    CZipFileHeader info;
    archive.GetEntryInfo(info, static_cast<int>(i));
    EXPECT_EQ(info.GetFileName(), sources[i].name);
    EXPECT_TRUE(ReadTestEntry(archive, static_cast<int>(i), 65536) == sources[i].bytes) << sources[i].name;
  }
  archive.Close();
}

TEST(ZipParallelAdd, TheArchiveIsTheSameWithOneTwoAndEightThreads) {
  ScratchDir dir;
  const std::vector<Source> sources = Sources();
  WriteSources(dir, sources);
  std::string first;
  for (unsigned threads : {1u, 2u, 8u}) {
    const std::string zipPath = dir / ("t" + std::to_string(threads) + ".zip");
    EXPECT_EQ(AddAll(dir, sources, zipPath, threads), std::vector<bool>(sources.size(), true));
    ExpectEntries(zipPath, sources);
    const std::string bytes = ReadFileBytes(zipPath);
    if (first.empty())
      first = bytes;
    else
      EXPECT_TRUE(bytes == first) << threads << " threads wrote other bytes";
  }
}

TEST(ZipParallelAdd, ChunkedAndWholeEntriesInflateInEveryPeer) {
  ScratchDir dir;
  const std::vector<Source> sources = Sources();
  WriteSources(dir, sources);
  const std::string zipPath = dir / "peers.zip";
  AddAll(dir, sources, zipPath, 2);
  EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(zipPath)).exitStatus, 0);
  if (ArchivePeerAvailable("7zz")) {
    EXPECT_EQ(RunCommand("7zz t " + ShellQuote(zipPath)).exitStatus, 0);
  }
  // Python's zipfile inflates through zlib and checks every CRC.
  const CommandResult python = RunCommand(
      "python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
      "print(z.testzip(), [i.compress_type for i in z.infolist()])' " +
      ShellQuote(zipPath));
  EXPECT_EQ(python.exitStatus, 0);
  EXPECT_EQ(python.output, "None [8, 8, 0, 0, 8, 8, 8]\n");
}

TEST(ZipParallelAdd, ALongSourceThatShrankEndsItsStreamWhereItsDataEnds) {
  // Stat'ed at six chunks, found holding exactly five: the sixth read finds nothing, and an
  // empty final block closes the stream the five sync-flushed chunks left open. Stat'ed at
  // 4.5 chunks while holding more: the entry ends at the size it was checked against.
  ScratchDir dir;
  const std::string bytes = GeneratedBytes(5 * ZipDeflate::ChunkBytes, 8, true);
  WriteFileBytes(dir / "shrank.txt", bytes);
  for (unsigned threads : {1u, 2u}) {
    const std::string zipPath = dir / ("s" + std::to_string(threads) + ".zip");
    CZipArchive archive;
    archive.Open(zipPath, CZipArchive::CreateNew);
    archive.SetWorkerThreads(threads);
    for (std::uint64_t claimed : {6 * ZipDeflate::ChunkBytes, 9 * ZipDeflate::ChunkBytes / 2}) {
      ZipSourceInfo seen;
      ASSERT_TRUE(ZipReadSourceInfo(dir / "shrank.txt", seen));
      seen.size = claimed;
      AddFileRequest request;
      request.sourcePath = dir / "shrank.txt";
      request.storedName = "shrank" + std::to_string(claimed);
      request.sourceInfo = seen;
      ASSERT_TRUE(archive.AddFile(request));
    }
    EXPECT_TRUE(ReadTestEntry(archive, 0, 65536) == bytes);
    EXPECT_TRUE(ReadTestEntry(archive, 1, 65536) == bytes.substr(0, 9 * ZipDeflate::ChunkBytes / 2));
    archive.Close();
    EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(zipPath)).exitStatus, 0);
  }
}

TEST(ZipParallelAdd, AStopInTheMiddleOfALongSourceCutsItsEntryOffWhileChunksAreInFlight) {
  ScratchDir dir;
  WriteFileBytes(dir / "keep.txt", "keep");
  WriteFileBytes(dir / "long.txt", GeneratedBytes(8 * ZipDeflate::ChunkBytes, 9, true));
  CZipArchive archive;
  archive.Open(dir / "stop.zip", CZipArchive::CreateNew);
  archive.SetWorkerThreads(2);
  ASSERT_TRUE(archive.AddFile(dir / "keep.txt"));
  const auto lengthBefore = std::filesystem::file_size(dir / "stop.zip");
  // The first chunk is written when the callback says stop; later ones are still being deflated.
  RecordingCallback stop(2);
  archive.SetCallback(&stop, cbAddFile);
  std::string message;
  EXPECT_EQ(ZipErrorOf([&] { archive.AddFile(dir / "long.txt"); }, &message), 106);
  EXPECT_EQ(message, "Action aborted safely");
  EXPECT_EQ(archive.GetCount(), 1);
  EXPECT_EQ(std::filesystem::file_size(dir / "stop.zip"), lengthBefore);
  archive.SetCallback(nullptr, cbAll);
  archive.Close();
  EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(dir / "stop.zip")).exitStatus, 0);
}

TEST(ZipParallelAdd, EncryptedEntriesTakeTheirDataDeflatedAhead) {
  ScratchDir dir;
  const std::vector<Source> sources = Sources();
  WriteSources(dir, sources);
  AddAll(dir, sources, dir / "crypto.zip", 2, "secret", CZipArchive::ZipCrypto);
  ExpectEntries(dir / "crypto.zip", sources, "secret");
  AddAll(dir, sources, dir / "aes.zip", 2, "secret", CZipArchive::Aes256);
  ExpectEntries(dir / "aes.zip", sources, "secret");
  if (ArchivePeerAvailable("7zz")) {
    EXPECT_EQ(RunCommand("7zz t -psecret " + ShellQuote(dir / "aes.zip")).exitStatus, 0);
  }
}

TEST(ZipParallelAdd, ASourceGoneBeforeItsTurnIsRefusedAloneAndTheOthersFollow) {
  ScratchDir dir;
  std::vector<Source> sources = Sources();
  WriteSources(dir, sources);
  std::filesystem::remove(dir / "near-bound.txt");
  CZipArchive archive;
  archive.Open(dir / "gone.zip", CZipArchive::CreateNew);
  archive.SetWorkerThreads(2);
  for (const Source& source : sources) archive.AnnounceSource(dir / source.name, -1);
  std::vector<std::string> refused;
  for (const Source& source : sources) {
    AddFileRequest request;
    request.sourcePath = dir / source.name;
    request.storedName = source.name;
    request.sourceSeenAsFile = true;
    if (!archive.AddFile(request)) {
      refused.push_back(source.name);
      EXPECT_EQ(archive.GetAddRefusal(), AddSourceRefusal::Vanished);
    }
  }
  archive.Close();
  EXPECT_EQ(refused, std::vector<std::string>{"near-bound.txt"});
  sources.erase(sources.begin() + 4);
  ExpectEntries(dir / "gone.zip", sources);
}

TEST(ZipParallelAdd, TheArchiveOpenedAheadByAWorkerIsRefusedBeforeItsEntryBegins) {
  ScratchDir dir;
  WriteFileBytes(dir / "a.txt", "a");
  CZipArchive archive;
  archive.Open(dir / "self.zip", CZipArchive::CreateNew);
  archive.SetWorkerThreads(2);
  RecordingCallback progress;
  archive.SetCallback(&progress, cbAddFile);
  std::vector<bool> added;
  for (const char* name : {"self.zip", "a.txt"}) archive.AnnounceSource(dir / name, -1);
  for (const char* name : {"self.zip", "a.txt"}) {
    AddFileRequest request;
    request.sourcePath = dir / name;
    request.storedName = name;
    request.sourceSeenAsFile = true;
    added.push_back(archive.AddFile(request));
    if (!added.back()) {
      EXPECT_EQ(archive.GetAddRefusal(), AddSourceRefusal::IsArchive);
    }
  }
  archive.Close();
  EXPECT_EQ(added, (std::vector<bool>{false, true}));
  ASSERT_FALSE(progress.events.empty());
  EXPECT_EQ(progress.events.front(), "Begin a.txt " + (dir / "a.txt"));
}

TEST(ZipParallelAdd, AFullDiskInTheMiddleKeepsTheEntriesBeforeAndNoneAfter) {
  ScratchDir dir;
  std::vector<Source> sources;
  for (int i = 0; i < 12; ++i) sources.push_back({"n" + std::to_string(10 + i), GeneratedBytes(100000, 20 + i, false)});
  WriteSources(dir, sources);
  const std::string zipPath = dir / "full.zip";
  // Room for about five entries: the sixth or seventh meets the full disk while later ones are
  // already deflated ahead.
  const int status = RunWithFileSizeLimit(550 * 1000, [&] {
    CZipArchive archive;
    archive.Open(zipPath, CZipArchive::CreateNew);
    archive.SetWorkerThreads(2);
    for (const Source& source : sources) archive.AnnounceSource(dir / source.name, -1);
    int result = 20;
    try {
      for (const Source& source : sources) {
        AddFileRequest request;
        request.sourcePath = dir / source.name;
        request.storedName = source.name;
        request.sourceSeenAsFile = true;
        if (!archive.AddFile(request)) return 21;
      }
    } catch (const CZipFileException& error) {
      result = error.GetSystemError() == EFBIG ? 0 : 22;
    }
    // The Zip operation's way out: the entry that met the full disk is cut off, which makes room
    // for the directory of those before it.
    try {
      archive.CloseEntryForWriting(true);
      archive.RemoveLastEntry(true);
      archive.Close(CZipArchive::CloseNormal);
    } catch (const CZipFileException&) {
      archive.Close(CZipArchive::CloseAfterError);
      return 23;
    }
    return result;
  });
  ASSERT_EQ(status, 0);
  CZipArchive archive;
  archive.Open(zipPath, CZipArchive::OpenReadOnly);
  const int count = archive.GetCount();
  EXPECT_GE(count, 4);
  EXPECT_LT(count, 6);
  for (int i = 0; i < count; ++i) {
    CZipFileHeader info;
    archive.GetEntryInfo(info, i);
    EXPECT_EQ(info.GetFileName(), sources[static_cast<std::size_t>(i)].name);
    EXPECT_TRUE(ReadTestEntry(archive, i, 65536) == sources[static_cast<std::size_t>(i)].bytes) << i;
  }
  archive.Close();
  EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(zipPath)).exitStatus, 0);
}

}  // namespace
}  // namespace brevik::test
