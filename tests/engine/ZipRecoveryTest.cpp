// ZipRecoveryTest.cpp -- the recovery scan: what it keeps from a cut or directory-less archive, what it drops and why.
#include <gtest/gtest.h>

#include "engine/ZipArchive.h"
#include "engine/ZipMemFile.h"
#include "engine/ZipRecovery.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

namespace brevik::test {
namespace {

// Writes `name` with `bytes` (deflated unless `level` is 0) through the entry calls.
void AddEntry(CZipArchive& archive, const std::string& name, const std::string& bytes, int level) {
  CZipFileHeader header;
  header.SetEntryName(name);
  header.SetEntrySystem(3);
  header.SetEntryAttributes(0x81A40000u);
  header.SetEntryTime(1200000000);
  ASSERT_TRUE(archive.OpenEntryForWriting(header, level));
  archive.WriteEntryData(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  archive.CloseEntryForWriting(false);
}

ZipRecoveryScan Scan(const std::string& bytes) {
  CZipMemFile memory;
  memory.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  return ScanForEntries(memory);
}

std::vector<std::string> KeptNames(const ZipRecoveryScan& scan) {
  std::vector<std::string> names;
  for (const ZipRecoveredEntry& entry : scan.kept) names.push_back(entry.name);
  return names;
}

TEST(Recovery, AnArchiveCutAtAnyByteKeepsExactlyTheEntriesBeforeTheCut) {
  // Stored, deflated, encrypted (with its signed descriptor), empty and a folder, by the engine.
  CZipMemFile memory;
  CZipArchive archive;
  archive.Open(memory, CZipArchive::CreateNew);
  AddEntry(archive, "stored.bin", GeneratedBytes(700, 1, false), 0);
  AddEntry(archive, "deflated.txt", GeneratedBytes(3000, 2, true), 6);
  archive.SetPassword("pw");
  AddEntry(archive, "secret.txt", GeneratedBytes(900, 3, true), 6);
  archive.SetPassword(nullptr);
  AddEntry(archive, "empty", "", 6);
  AddEntry(archive, "z.txt", "last", 0);
  std::vector<std::uint64_t> ends;
  for (int i = 0; i < archive.GetCount(); ++i) {
    CZipFileHeader info;
    archive.GetEntryInfo(info, i);
    if (i > 0) ends.push_back(info.m_uOffset);
  }
  archive.Close();
  const std::string whole(reinterpret_cast<const char*>(memory.GetData()), memory.GetLength());
  ends.push_back(whole.find("PK\x01\x02"));
  const std::vector<std::string> names{"stored.bin", "deflated.txt", "secret.txt", "empty", "z.txt"};

  for (std::size_t cut = 0; cut <= ends.back(); cut += 7) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const ZipRecoveryScan scan = Scan(whole.substr(0, cut));
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < names.size() && ends[i] <= cut; ++i) expected.push_back(names[i]);
    EXPECT_EQ(KeptNames(scan), expected);
  }
  // The whole archive, directory and all, gives every entry and drops nothing.
  const ZipRecoveryScan all = Scan(whole);
  EXPECT_EQ(KeptNames(all), names);
  EXPECT_TRUE(all.dropped.empty());
}

TEST(Recovery, ReasonsForWhatIsDroppedAndCopiesLeftByAMove) {
  CZipMemFile memory;
  CZipArchive archive;
  archive.Open(memory, CZipArchive::CreateNew);
  AddEntry(archive, "a.txt", GeneratedBytes(2000, 4, true), 6);
  AddEntry(archive, "b.bin", GeneratedBytes(500, 5, false), 0);
  archive.Close();
  const std::string whole(reinterpret_cast<const char*>(memory.GetData()), memory.GetLength());
  const std::size_t second = whole.find("PK\x03\x04", 4);
  const std::size_t directory = whole.find("PK\x01\x02");

  // b.bin cut inside its data; then a.txt's whole record once more, as a stopped move leaves it.
  const std::string records = whole.substr(0, directory - 100) + whole.substr(0, second);
  const ZipRecoveryScan scan = Scan(records);
  EXPECT_EQ(KeptNames(scan), std::vector<std::string>{"a.txt"});
  ASSERT_EQ(scan.dropped.size(), 2u);
  EXPECT_EQ(scan.dropped[0].name, "b.bin");
  EXPECT_EQ(scan.dropped[0].offset, second);
  EXPECT_EQ(scan.dropped[0].reason, "its data does not give the CRC-32 and size it names (the entry was not finished, or is damaged)");
  EXPECT_EQ(scan.dropped[1].name, "a.txt");
  EXPECT_EQ(scan.dropped[1].reason, "it is a copy of the entry kept at offset 0");

  // The directory written for what was kept opens, and the entry reads.
  CZipMemFile repaired;
  repaired.Write(records.data(), static_cast<std::uint32_t>(records.size()));
  WriteRecoveredDirectory(repaired, scan);
  CZipArchive reopened;
  ASSERT_TRUE(reopened.Open(repaired, CZipArchive::OpenReadOnly));
  ASSERT_EQ(reopened.GetCount(), 1);
  ASSERT_TRUE(reopened.OpenEntryForReading(0));
  std::string data(2000, '\0');
  EXPECT_EQ(reopened.ReadEntryData(data.data(), 2000), 2000u);
  EXPECT_EQ(reopened.CloseEntryForReading(), 1);
  EXPECT_EQ(data, GeneratedBytes(2000, 4, true));
  reopened.Close();
}

TEST(Recovery, StreamedEntriesOfPeersAreFoundByTheirStreamsAndDescriptors) {
  // Info-ZIP writing to a pipe leaves the sizes for the data descriptor; without the directory
  // the deflate stream's end and the descriptor are all there is.
  ScratchDir dir;
  WriteFileBytes(dir / "a.txt", GeneratedBytes(40000, 6, true));
  WriteFileBytes(dir / "b.bin", GeneratedBytes(3000, 7, false));
  const CommandResult zipped =
      RunCommand("cd " + ShellQuote(dir.path()) + " && zip -q -fd - a.txt b.bin > streamed.zip && "
                 "zip -q -0 -fd - b.bin > stored.zip");
  ASSERT_EQ(zipped.exitStatus, 0) << zipped.output;
  for (const char* archiveName : {"streamed.zip", "stored.zip"}) {
    SCOPED_TRACE(archiveName);
    const std::string whole = ReadFileBytes(dir / archiveName);
    std::string records = whole.substr(0, whole.find("PK\x01\x02"));
    CZipMemFile memory;
    memory.Write(records.data(), static_cast<std::uint32_t>(records.size()));
    const ZipRecoveryScan scan = ScanForEntries(memory);
    const std::vector<std::string> expected =
        std::string(archiveName) == "streamed.zip" ? std::vector<std::string>{"a.txt", "b.bin"}
                                                   : std::vector<std::string>{"b.bin"};
    EXPECT_EQ(KeptNames(scan), expected);
    WriteRecoveredDirectory(memory, scan);
    WriteFileBytes(dir / "repaired.zip", std::string(reinterpret_cast<const char*>(memory.GetData()), memory.GetLength()));
    const CommandResult tested = RunCommand("unzip -tq " + ShellQuote(dir / "repaired.zip"));
    EXPECT_EQ(tested.exitStatus, 0) << tested.output;
  }
}

}  // namespace
}  // namespace brevik::test
