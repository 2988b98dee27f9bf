// ZipAppendSequenceTest.cpp -- long runs of appends, stops, replacements, copies and reopens leave every byte in place.
#include "ZipArchiveTestSupport.h"

#include "engine/ZipConstants.h"
#include "engine/ZipEndian.h"
#include "engine/ZipMemFile.h"
#include "support/EntryEditPeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace brevik::test {
namespace {

namespace LH = ZipFormat::LocalHeader;

enum class Medium { File, Memory };

/// The archive of one run, on disk or in memory; `Save` puts the memory form into a file so
/// that the peers can read it.
class SequenceArchive {
public:
  SequenceArchive(Medium medium, const ScratchDir& dir) : medium_(medium), path_(dir / "sequence.zip") {}
  bool Open(CZipArchive& archive, int mode) {
    return medium_ == Medium::File ? archive.Open(path_, mode) : archive.Open(memory_, mode);
  }
  std::string Bytes() {
    if (medium_ == Medium::File) return ReadFileBytes(path_);
    return std::string(reinterpret_cast<const char*>(memory_.GetData()), memory_.GetLength());
  }
  const std::string& Save() {
    if (medium_ == Medium::Memory) WriteFileBytes(path_, Bytes());
    return path_;
  }

private:
  Medium medium_;
  std::string path_;
  CZipMemFile memory_;
};

/// Writes `bytes` to a source file of its own, dated at a fixed time so that two runs write
/// the same archive bytes, and adds it as `storedName`.
bool AddSource(CZipArchive& archive, const ScratchDir& dir, const std::string& storedName, const std::string& bytes,
               int level, int replaceIndex = -1, std::uint32_t bufferSize = 65536) {
  const std::string path = dir / ("source-" + std::to_string(bytes.size()) + "-" + std::to_string(level));
  WriteFileBytes(path, bytes);
  const struct timespec times[2] = {{1300000000, 0}, {1300000000, 0}};
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return false;
  AddFileRequest request;
  request.sourcePath = path;
  request.storedName = storedName;
  request.level = level;
  request.replaceIndex = replaceIndex;
  request.bufferSize = bufferSize;
  return archive.AddFile(request);
}

/// Empty when every local header of `bytes` has the signature, the name and (without a data
/// descriptor, or encrypted, where both places carry them) the CRC and sizes of its central
/// record, and the entry's data reads back as `expected` says; else what differs.
std::string CheckEntries(CZipArchive& archive, const std::string& bytes,
                         const std::vector<std::pair<std::string, std::string>>& expected) {
  std::string problems;
  if (archive.GetCount() != static_cast<int>(expected.size())) {
    return "count " + std::to_string(archive.GetCount()) + " instead of " + std::to_string(expected.size());
  }
  for (int i = 0; i < archive.GetCount(); ++i) {
    const CZipFileHeader entry = EntryInfo(archive, i);
    const std::string where = " (entry " + std::to_string(i) + " " + expected[i].first + ")";
    if (entry.GetFileName() != expected[i].first) problems += "name " + entry.GetFileName() + where + "\n";
    const std::size_t local = entry.m_uOffset;
    if (local + LH::Size > bytes.size()) {
      problems += "local header past the end" + where + "\n";
      continue;
    }
    const char* record = bytes.data() + local;
    if (ReadLE<std::uint32_t>(record) != ZipFormat::LocalHeaderSignature) problems += "no local signature" + where + "\n";
    const std::uint16_t nameLength = ReadLE<std::uint16_t>(record + LH::NameLength);
    if (bytes.compare(local + LH::Size, nameLength, expected[i].first) != 0) problems += "local name" + where + "\n";
    const bool descriptor = (ReadLE<std::uint16_t>(record + LH::Flags) & ZipFormat::Flag::DataDescriptor) != 0;
    if (!descriptor || entry.IsEncrypted()) {
      if (ReadLE<std::uint32_t>(record + LH::Crc) != entry.m_uCrc32 ||
          ReadLE<std::uint32_t>(record + LH::Crc + 4) != entry.m_uComprSize ||
          ReadLE<std::uint32_t>(record + LH::Crc + 8) != entry.m_uUncomprSize) {
        problems += "local CRC or sizes" + where + "\n";
      }
    }
    if (ReadTestEntry(archive, i) != expected[i].second) problems += "data" + where + "\n";
  }
  return problems;
}

/// What Python's zipfile (which compares each local name with its central one), Info-ZIP unzip
/// and 7-Zip say of `path` with the password "pw"; empty when all three find it sound.
std::string PeerVerdicts(const std::string& path) {
  std::string failures;
  CommandResult python = RunCommand(
      "python3 -c 'import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\nz.setpassword(b\"pw\")\n"
      "bad = z.testzip()\nsys.exit(0 if bad is None else \"bad \" + bad)' " +
      ShellQuote(path) + " 2>&1");
  if (python.exitStatus != 0) failures += "python: " + python.output;
  CommandResult unzip = RunCommand("unzip -tqq -P pw " + ShellQuote(path) + " 2>&1");
  if (unzip.exitStatus != 0) failures += "unzip -t: " + unzip.output;
  CommandResult sevenZip = RunCommand("7zz t -bd -ppw " + ShellQuote(path) + " 2>&1");
  if (sevenZip.exitStatus != 0) failures += "7zz t: " + sevenZip.output;
  return failures;
}

class AppendSequence : public testing::TestWithParam<Medium> {};

TEST_P(AppendSequence, EveryLocalHeaderAndEveryByteEndsWhereTheDirectorySays) {
  ScratchDir dir;
  SequenceArchive target(GetParam(), dir);
  std::vector<std::pair<std::string, std::string>> expected;
  CZipArchive archive;
  ASSERT_TRUE(target.Open(archive, CZipArchive::CreateNew));

  // Small entries get their CRC and sizes in the write buffer, large ones by a seek back; a
  // deflated entry larger than the buffer before compression may still fit in it after.
  expected.emplace_back("small.txt", GeneratedBytes(300, 1, true));
  WriteTestEntry(archive, expected.back().first, expected.back().second, 6);
  expected.emplace_back("large-stored.bin", GeneratedBytes(150000, 2, false));
  ASSERT_TRUE(AddSource(archive, dir, expected.back().first, expected.back().second, 0));
  expected.emplace_back("large-deflated.txt", GeneratedBytes(200000, 3, true));
  ASSERT_TRUE(AddSource(archive, dir, expected.back().first, expected.back().second, 6));
  expected.emplace_back("noise-deflated.bin", GeneratedBytes(150000, 4, false));
  ASSERT_TRUE(AddSource(archive, dir, expected.back().first, expected.back().second, 6));

  // Encrypted entries: a signed descriptor after the data, and the values in the local header.
  ASSERT_TRUE(archive.SetPassword("pw"));
  expected.emplace_back("secret-small.txt", GeneratedBytes(500, 5, true));
  WriteTestEntry(archive, expected.back().first, expected.back().second, 6);
  expected.emplace_back("secret-large.bin", GeneratedBytes(150000, 6, false));
  ASSERT_TRUE(AddSource(archive, dir, expected.back().first, expected.back().second, 0));
  ASSERT_TRUE(archive.SetPassword(nullptr));

  // An add stopped half-way is cut off again; the next entry starts where it started.
  RecordingCallback stop(2);
  archive.SetCallback(&stop, cbAddFile);
  EXPECT_EQ(ZipErrorOf([&] { AddSource(archive, dir, "stopped.bin", GeneratedBytes(50000, 7, false), 0, -1, 4096); }),
            errActionAbortedSafely);
  archive.SetCallback(nullptr, cbAddFile);
  ASSERT_EQ(archive.GetCount(), static_cast<int>(expected.size()));
  expected.emplace_back("after-stop.txt", GeneratedBytes(700, 8, true));
  WriteTestEntry(archive, expected.back().first, expected.back().second, 6);

  // Replacements in the middle: stored (in place, the rest moved back) and deflated (through a
  // temporary archive, the rest moved forward).
  expected[1] = {"replaced-stored.bin", GeneratedBytes(1000, 9, false)};
  ASSERT_TRUE(AddSource(archive, dir, expected[1].first, expected[1].second, 0, 1));
  expected[0] = {"replaced-deflated.txt", GeneratedBytes(90000, 10, true)};
  ASSERT_TRUE(AddSource(archive, dir, expected[0].first, expected[0].second, 6, 0));
  // Replacing the last entry cuts it off and appends.
  expected.back() = {"replaced-last.txt", GeneratedBytes(2000, 11, true)};
  ASSERT_TRUE(AddSource(archive, dir, expected.back().first, expected.back().second, 6,
                        static_cast<int>(expected.size()) - 1));

  // Encrypted replacements in the middle: the local header gets its values in the buffer.
  ASSERT_TRUE(archive.SetPassword("pw"));
  expected[2] = {"replaced-secret-stored.bin", GeneratedBytes(30000, 18, false)};
  ASSERT_TRUE(AddSource(archive, dir, expected[2].first, expected[2].second, 0, 2));
  expected[3] = {"replaced-secret-deflated.txt", GeneratedBytes(40000, 19, true)};
  ASSERT_TRUE(AddSource(archive, dir, expected[3].first, expected[3].second, 6, 3));
  ASSERT_TRUE(archive.SetPassword(nullptr));

  // A directory written in the middle is cut off by the next entry.
  archive.WriteDirectoryNow();
  expected.emplace_back("after-directory.txt", GeneratedBytes(400, 12, true));
  WriteTestEntry(archive, expected.back().first, expected.back().second, 6);

  // Entries copied packed from an archive of another tool, one of them with descriptors.
  MakeInfoZipArchive(dir / "plain", dir / "plain.zip", {{"copied.txt", GeneratedBytes(5000, 13, true)}});
  MakeInfoZipArchive(dir / "streamed", dir / "streamed.zip", {{"streamed.bin", GeneratedBytes(80000, 14, false)}},
                     "", true);
  for (const char* source : {"plain.zip", "streamed.zip"}) {
    CZipArchive other;
    ASSERT_TRUE(other.Open(dir / source, CZipArchive::OpenReadOnly));
    ASSERT_TRUE(archive.CopyEntryFrom(other, 0)) << source;
    other.Close();
  }
  expected.emplace_back("copied.txt", GeneratedBytes(5000, 13, true));
  expected.emplace_back("streamed.bin", GeneratedBytes(80000, 14, false));
  expected.emplace_back("after-copies.txt", GeneratedBytes(600, 15, true));
  WriteTestEntry(archive, expected.back().first, expected.back().second, 6);
  archive.Close();

  // Reopened, the archive's own directory is cut off by the first new entry.
  ASSERT_TRUE(target.Open(archive, CZipArchive::OpenExisting));
  expected.emplace_back("reopened.bin", GeneratedBytes(120000, 16, false));
  ASSERT_TRUE(AddSource(archive, dir, expected.back().first, expected.back().second, 0));
  expected.emplace_back("reopened-small.txt", GeneratedBytes(100, 17, true));
  WriteTestEntry(archive, expected.back().first, expected.back().second, 6);
  archive.Close();

  ASSERT_TRUE(target.Open(archive, CZipArchive::OpenReadOnly));
  ASSERT_TRUE(archive.SetPassword("pw"));
  EXPECT_EQ(CheckEntries(archive, target.Bytes(), expected), "");
  archive.Close();
  EXPECT_EQ(PeerVerdicts(target.Save()), "");
}

/// One seeded run of random appends, stops, replacements, deletions, directory writes, copies
/// and reopens (no encryption: its header is random). Returns the archive's final bytes; the
/// entries it should hold are left in `expected`.
std::string RandomRun(Medium medium, unsigned seed, const ScratchDir& dir, const ScratchDir& sources,
                      std::vector<std::pair<std::string, std::string>>& expected) {
  std::mt19937 random(seed);
  const auto pick = [&](unsigned low, unsigned high) {
    return std::uniform_int_distribution<unsigned>(low, high)(random);
  };
  SequenceArchive target(medium, dir);
  CZipArchive archive;
  EXPECT_TRUE(target.Open(archive, CZipArchive::CreateNew));
  expected.clear();
  int copiesLeft = 2;
  for (int step = 0; step < 60 && !testing::Test::HasFailure(); ++step) {
    const std::string name = "e" + std::to_string(step);
    const unsigned operation = pick(0, 9);
    const int count = static_cast<int>(expected.size());
    if (operation == 0 || operation == 1) {
      expected.emplace_back(name + ".txt", GeneratedBytes(pick(0, 3000), seed + step, true));
      WriteTestEntry(archive, expected.back().first, expected.back().second, pick(0, 1) == 0 ? 0 : 6);
    } else if (operation == 2) {
      expected.emplace_back(name + ".bin", GeneratedBytes(pick(66000, 150000), seed + step, false));
      EXPECT_TRUE(AddSource(archive, sources, expected.back().first, expected.back().second, 0));
    } else if (operation == 3) {
      expected.emplace_back(name + ".mix", GeneratedBytes(pick(1000, 200000), seed + step, pick(0, 1) == 0));
      EXPECT_TRUE(AddSource(archive, sources, expected.back().first, expected.back().second, 6));
    } else if (operation == 4 && count > 0) {
      const int index = static_cast<int>(pick(0, count - 1));
      expected[index] = {name + ".new", GeneratedBytes(pick(10, 120000), seed + step, pick(0, 1) == 0)};
      EXPECT_TRUE(AddSource(archive, sources, expected[index].first, expected[index].second, pick(0, 1) == 0 ? 0 : 6,
                            index));
    } else if (operation == 5) {
      RecordingCallback stop(2);
      archive.SetCallback(&stop, cbAddFile);
      EXPECT_EQ(ZipErrorOf([&] { AddSource(archive, sources, name, GeneratedBytes(50000, seed + step, false), 0, -1, 4096); }),
                errActionAbortedSafely);
      archive.SetCallback(nullptr, cbAddFile);
    } else if (operation == 6) {
      archive.WriteDirectoryNow();
    } else if (operation == 7 && count > 0) {
      CZipArray<std::uint16_t> indexes{static_cast<std::uint16_t>(pick(0, count - 1))};
      archive.DeleteEntries(indexes);
      expected.erase(expected.begin() + indexes.front());
    } else if (operation == 8 && copiesLeft > 0) {
      const char* source = copiesLeft-- == 2 ? "plain.zip" : "streamed.zip";
      CZipArchive other;
      EXPECT_TRUE(other.Open(sources / source, CZipArchive::OpenReadOnly));
      EXPECT_TRUE(archive.CopyEntryFrom(other, 0));
      expected.emplace_back(EntryInfo(other, 0).GetFileName(), ReadTestEntry(other, 0));
      other.Close();
    } else if (operation == 9) {
      archive.Close();
      EXPECT_TRUE(target.Open(archive, CZipArchive::OpenExisting));
    }
    EXPECT_EQ(archive.GetCount(), static_cast<int>(expected.size())) << "step " << step << " operation " << operation;
  }
  archive.Close();
  EXPECT_TRUE(target.Open(archive, CZipArchive::OpenReadOnly));
  EXPECT_EQ(CheckEntries(archive, target.Bytes(), expected), "") << "seed " << seed;
  archive.Close();
  if (medium == Medium::File) {
    EXPECT_EQ(PeerVerdicts(target.Save()), "") << "seed " << seed;
  }
  return target.Bytes();
}

TEST(AppendSequence, RandomRunsWriteTheSameBytesOnDiskAsInMemory) {
  // The disk file keeps its own offset and length; the memory file has nothing to keep. Any
  // difference between what the two hold after the same work is an offset or a length gone wrong.
  ScratchDir sources;
  MakeInfoZipArchive(sources / "plain", sources / "plain.zip", {{"copied.txt", GeneratedBytes(5000, 13, true)}});
  MakeInfoZipArchive(sources / "streamed", sources / "streamed.zip",
                     {{"streamed.bin", GeneratedBytes(80000, 14, false)}}, "", true);
  for (unsigned seed : {1u, 2u, 3u, 4u}) {
    ScratchDir onDisk, inMemory;
    std::vector<std::pair<std::string, std::string>> diskEntries, memoryEntries;
    const std::string disk = RandomRun(Medium::File, seed, onDisk, sources, diskEntries);
    const std::string memory = RandomRun(Medium::Memory, seed, inMemory, sources, memoryEntries);
    EXPECT_EQ(diskEntries.size(), memoryEntries.size()) << "seed " << seed;
    EXPECT_TRUE(disk == memory) << "seed " << seed << ": " << disk.size() << " bytes on disk, " << memory.size()
                                << " in memory";
  }
}

TEST(AppendSequence, SplitArchivesOfOneAndOfManyVolumesHoldEveryEntry) {
  // One volume, all in the write buffer; one volume, partly written out; many volumes. The
  // first two end as ordinary archives, their descriptors dropped in the buffer or in the file.
  struct Layout {
    const char* name;
    int volumeSize;
    std::size_t largeBytes;
  } layouts[] = {{"buffered", 1 << 20, 0}, {"written", 1 << 20, 150000}, {"volumes", 70000, 150000}};
  for (const Layout& layout : layouts) {
    ScratchDir dir;
    const std::string path = dir / (std::string(layout.name) + ".zip");
    std::vector<std::pair<std::string, std::string>> expected;
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(path, CZipArchive::CreateSpanned, layout.volumeSize));
    for (int i = 0; i < 4; ++i) {
      expected.emplace_back("small-" + std::to_string(i) + ".txt", GeneratedBytes(2000 + 500 * i, 50 + i, true));
      WriteTestEntry(archive, expected.back().first, expected.back().second, i % 2 == 0 ? 6 : 0);
    }
    if (layout.largeBytes != 0) {
      expected.emplace_back("large.bin", GeneratedBytes(layout.largeBytes, 60, false));
      ASSERT_TRUE(AddSource(archive, dir, expected.back().first, expected.back().second, 0));
    }
    ASSERT_TRUE(archive.SetPassword("pw"));
    expected.emplace_back("secret.txt", GeneratedBytes(3000, 61, true));
    WriteTestEntry(archive, expected.back().first, expected.back().second, 6);
    ASSERT_TRUE(archive.SetPassword(nullptr));
    expected.emplace_back("last.txt", GeneratedBytes(1000, 62, true));
    WriteTestEntry(archive, expected.back().first, expected.back().second, 6);
    archive.Close();

    ASSERT_TRUE(archive.Open(path, CZipArchive::OpenReadOnly)) << layout.name;
    ASSERT_TRUE(archive.SetPassword("pw"));
    ASSERT_EQ(archive.GetCount(), static_cast<int>(expected.size())) << layout.name;
    for (int i = 0; i < archive.GetCount(); ++i) {
      EXPECT_EQ(EntryInfo(archive, i).GetFileName(), expected[i].first) << layout.name;
      EXPECT_TRUE(ReadTestEntry(archive, i) == expected[i].second) << layout.name << " " << expected[i].first;
    }
    const bool oneVolume = layout.volumeSize == 1 << 20;
    if (oneVolume) {
      EXPECT_EQ(ReadFileBytes(path).substr(0, 4), std::string("PK\3\4", 4)) << layout.name;  // no span signature
      EXPECT_EQ(CheckEntries(archive, ReadFileBytes(path), expected), "") << layout.name;
    }
    archive.Close();
    if (oneVolume) {
      EXPECT_EQ(PeerVerdicts(path), "") << layout.name;
    } else {
      // 7-Zip is the one peer here that reads split volumes as they are.
      const CommandResult tested = RunCommand("7zz t -bd -ppw " + ShellQuote(path) + " 2>&1");
      EXPECT_EQ(tested.exitStatus, 0) << tested.output;
      EXPECT_NE(tested.output.find("Volumes = 3"), std::string::npos) << tested.output;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothStorages, AppendSequence, testing::Values(Medium::File, Medium::Memory),
                         [](const testing::TestParamInfo<Medium>& info) {
                           return info.param == Medium::File ? std::string("File") : std::string("Memory");
                         });

}  // namespace
}  // namespace brevik::test
