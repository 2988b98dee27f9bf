// ZipFaultInjectionTest.cpp -- adding, extracting and deleting with the Nth file call failing, for every N.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/ZipArchive.h"
#include "engine/ZipException.h"
#include "engine/ZipRecovery.h"
#include "FaultyMemFile.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

namespace brevik::test {
namespace {

const std::map<std::string, std::string> kFinished = {{"a.txt", GeneratedBytes(5000, 1, true)},
                                                       {"b.bin", GeneratedBytes(3000, 2, false)},
                                                       {"c.txt", "short"}};
const std::string kAdded = GeneratedBytes(70000, 3, true);

// Writes `name` with `bytes` through the entry calls (deflated, with a password when given).
void AddEntry(CZipArchive& archive, const std::string& name, const std::string& bytes) {
  CZipFileHeader header;
  header.SetEntryName(name);
  header.SetEntrySystem(3);
  header.SetEntryAttributes(0x81A40000u);
  header.SetEntryTime(1200000000);
  if (!archive.OpenEntryForWriting(header, 6)) throw std::runtime_error("refused to open " + name);
  archive.WriteEntryData(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  archive.CloseEntryForWriting(false);
}

// a.txt, b.bin (encrypted) and c.txt in a memory archive.
std::string BaseArchive() {
  CZipMemFile memory;
  CZipArchive archive;
  archive.Open(memory, CZipArchive::CreateNew);
  for (const auto& [name, bytes] : kFinished) {
    archive.SetPassword(name == "b.bin" ? "pw" : nullptr);
    AddEntry(archive, name, bytes);
  }
  archive.Close();
  return std::string(reinterpret_cast<const char*>(memory.GetData()), memory.GetLength());
}

// The entries `bytes` holds, as name -> data: through its directory when it opens, else (with
// `recover`) through the recovery scan and the directory it writes. Entries that do not read are
// left out.
std::map<std::string, std::string> Entries(const std::string& bytes, bool recover) {
  CZipMemFile memory;
  memory.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  CZipArchive archive;
  try {
    archive.Open(memory, CZipArchive::OpenReadOnly);
  } catch (const CZipException&) {
    archive.Close(CZipArchive::CloseAfterError);
    if (!recover) return {};
    WriteRecoveredDirectory(memory, ScanForEntries(memory));
    archive.Open(memory, CZipArchive::OpenReadOnly);
  }
  archive.SetPassword("pw");
  std::map<std::string, std::string> entries;
  for (int i = 0; i < archive.GetCount(); ++i) {
    CZipFileHeader info;
    archive.GetEntryInfo(info, i);
    archive.SetPassword(info.IsEncrypted() ? "pw" : nullptr);
    try {
      std::string data;
      archive.OpenEntryForReading(i);
      char piece[4096];
      while (const std::uint32_t got = archive.ReadEntryData(piece, sizeof piece)) data.append(piece, got);
      if (archive.CloseEntryForReading() == 1) entries[info.GetFileName()] = data;
    } catch (const CZipException&) {
      archive.CloseEntryForReading(nullptr, true);
    }
  }
  archive.Close(CZipArchive::CloseAfterError);
  return entries;
}

// Every finished entry is in `entries` with its data.
void ExpectFinishedEntries(const std::map<std::string, std::string>& entries, const std::string& context) {
  for (const auto& [name, bytes] : kFinished) {
    ASSERT_TRUE(entries.count(name)) << context << ": " << name << " is lost";
    EXPECT_TRUE(entries.at(name) == bytes) << context << ": " << name << " changed";
  }
}

TEST(FaultInjection, AnAddThatFailsAtAnyCallKeepsEveryFinishedEntry) {
  const std::string base = BaseArchive();
  int failures = 0;
  for (int failAt = 1;; ++failAt) {
    const std::string context = "call " + std::to_string(failAt) + " failed";
    FaultyMemFile file(base, failAt);
    CZipArchive archive;
    bool reported = false;
    try {
      archive.Open(file, CZipArchive::OpenExisting);
      AddEntry(archive, "added.txt", kAdded);
      archive.Close();
    } catch (const CZipFileException& error) {
      reported = true;
      EXPECT_EQ(error.GetSystemError(), EIO) << context;
      // The caller's way out: the directory of the finished entries, when the file takes it.
      try {
        archive.Close(CZipArchive::CloseAfterErrorKeepDirectory);
      } catch (const CZipFileException&) {
        archive.Close(CZipArchive::CloseAfterError);
      }
    }
    if (!file.Failed()) {
      // Every call of a whole add has failed once: the sweep is over.
      EXPECT_FALSE(reported);
      EXPECT_EQ(Entries(file.Bytes(), false).at("added.txt"), kAdded);
      break;
    }
    ++failures;
    EXPECT_TRUE(reported) << context << " but the add reported nothing";
    // The directory of the finished entries was written: no recovery is needed.
    const std::map<std::string, std::string> entries = Entries(file.Bytes(), false);
    ExpectFinishedEntries(entries, context);
    // The new entry is there whole or not at all.
    if (entries.count("added.txt")) {
      EXPECT_TRUE(entries.at("added.txt") == kAdded) << context;
    }
  }
  EXPECT_GT(failures, 5);
}

TEST(FaultInjection, AnExtractionThatFailsAtAnyCallSaysSoAndLeavesTheArchiveAlone) {
  const std::string base = BaseArchive();
  ScratchDir dir;
  for (int failAt = 1;; ++failAt) {
    const std::string context = "call " + std::to_string(failAt) + " failed";
    FaultyMemFile file(base, failAt);
    CZipArchive archive;
    bool reported = false;
    try {
      archive.Open(file, CZipArchive::OpenReadOnly);
      archive.SetReadAhead(true);
      for (int i = 0; i < archive.GetCount(); ++i) {
        CZipFileHeader info;
        archive.GetEntryInfo(info, i);
        archive.SetPassword(info.IsEncrypted() ? "pw" : nullptr);
        if (!archive.ExtractEntry(i, dir / "out")) reported = true;
      }
      archive.Close();
    } catch (const CZipFileException& error) {
      reported = true;
      EXPECT_EQ(error.GetSystemError(), EIO) << context;
      archive.Close(CZipArchive::CloseAfterError);
    }
    EXPECT_EQ(file.Bytes(), base) << context;
    if (!file.Failed()) {
      EXPECT_FALSE(reported);
      for (const auto& [name, bytes] : kFinished) EXPECT_EQ(ReadFileBytes(dir / ("out/" + name)), bytes);
      break;
    }
    EXPECT_TRUE(reported) << context << " but the extraction reported nothing";
    std::filesystem::remove_all(dir / "out");
  }
}

TEST(FaultInjection, ADeletionThatFailsAtAnyCallLosesNoEntryItKeeps) {
  const std::string base = BaseArchive();
  for (int failAt = 1;; ++failAt) {
    const std::string context = "call " + std::to_string(failAt) + " failed";
    FaultyMemFile file(base, failAt);
    CZipArchive archive;
    bool reported = false;
    try {
      archive.Open(file, CZipArchive::OpenExisting);
      std::vector<std::uint16_t> first{0};  // a.txt: the other two move
      archive.DeleteEntries(first);
      archive.Close();
    } catch (const CZipFileException& error) {
      reported = true;
      EXPECT_EQ(error.GetSystemError(), EIO) << context;
      archive.Close(CZipArchive::CloseAfterError);
    }
    // A deletion stopped while moving leaves no directory: the recovery scan finds the entries.
    std::map<std::string, std::string> entries = Entries(file.Bytes(), true);
    if (!file.Failed()) {
      EXPECT_FALSE(reported);
      EXPECT_EQ(entries.size(), 2u);
      EXPECT_EQ(entries.count("a.txt"), 0u);
      entries["a.txt"] = kFinished.at("a.txt");
      ExpectFinishedEntries(entries, "no failure");
      break;
    }
    EXPECT_TRUE(reported) << context << " but the deletion reported nothing";
    // The deleted entry may still be found; the others must be.
    entries["a.txt"] = kFinished.at("a.txt");
    ExpectFinishedEntries(entries, context);
  }
}

}  // namespace
}  // namespace brevik::test
