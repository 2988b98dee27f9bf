// ZipDecodeAheadTest.cpp -- encrypted entries decoded a window at a time read back exactly, in any order.
#include "engine/ZipArchive.h"
#include "engine/ZipDecodeAhead.h"
#include "engine/ZipEndian.h"
#include "engine/ZipMemFile.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace brevik::test {
namespace {

constexpr const char* kPassword = "window pass";

struct WrittenEntry {
  std::string bytes;
  bool encrypted;
};

// Entries of every kind the window meets: stored and deflated, empty, a few bytes, larger than
// the whole window (read the ordinary way, with small ones before and after it), and plain
// entries between encrypted ones.
std::vector<WrittenEntry> WriteMixedArchive(CZipArchive& archive) {
  std::vector<WrittenEntry> entries;
  auto add = [&](std::string bytes, int level, bool encrypted) {
    archive.SetPassword(encrypted ? kPassword : nullptr);
    WriteTestEntry(archive, "e" + std::to_string(entries.size()), bytes, level);
    entries.push_back({std::move(bytes), encrypted});
  };
  for (int i = 0; i < 40; ++i) {
    const std::size_t size = (i * 7919u) % 30000u;
    add(GeneratedBytes(size, static_cast<unsigned>(i), i % 3 != 0), i % 4 == 0 ? 0 : 6, i % 9 != 4);
  }
  add("", 6, true);
  add("x", 0, true);
  add(GeneratedBytes(CZipDecodeAhead::WindowBytes + 100000, 77, false), 0, true);
  for (int i = 0; i < 10; ++i) add(GeneratedBytes(2000u + i, static_cast<unsigned>(100 + i), true), 6, true);
  archive.SetPassword(nullptr);
  return entries;
}

TEST(ZipDecodeAhead, EntriesReadInOrderOutOfOrderOrInPartComeBackAsWritten) {
  CZipMemFile memory;
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(memory, CZipArchive::CreateNew));
  const std::vector<WrittenEntry> entries = WriteMixedArchive(archive);
  archive.Close();

  const int count = static_cast<int>(entries.size());
  std::vector<int> inOrder;
  for (int i = 0; i < count; ++i) inOrder.push_back(i);
  std::vector<int> reversed(inOrder.rbegin(), inOrder.rend());
  std::vector<int> skipping;
  for (int i = 0; i < count; i += 3) skipping.push_back(i);
  for (int i = 1; i < count; i += 5) skipping.push_back(i);

  for (const std::vector<int>* order : {&inOrder, &reversed, &skipping}) {
    ASSERT_TRUE(archive.Open(memory, CZipArchive::OpenReadOnly));
    archive.SetReadAhead(true);
    ASSERT_TRUE(archive.SetPassword(kPassword));
    for (int index : *order) {
      EXPECT_EQ(ReadTestEntry(archive, index, index % 2 ? 65536 : 1000), entries[index].bytes) << "entry " << index;
      EXPECT_EQ(EntryInfo(archive, index).IsEncrypted(), entries[index].encrypted);
    }
    archive.Close();
  }

  // An entry left after its first bytes leaves the window usable for the next ones.
  ASSERT_TRUE(archive.Open(memory, CZipArchive::OpenReadOnly));
  archive.SetReadAhead(true);
  ASSERT_TRUE(archive.SetPassword(kPassword));
  for (int index = 0; index < count; ++index) {
    ASSERT_TRUE(archive.OpenEntryForReading(index));
    char first[10];
    const std::uint32_t got = archive.ReadEntryData(first, sizeof first);
    const std::size_t expected = std::min<std::size_t>(sizeof first, entries[index].bytes.size());
    ASSERT_EQ(got, expected) << "entry " << index;
    EXPECT_EQ(std::string(first, got), entries[index].bytes.substr(0, got)) << "entry " << index;
    EXPECT_EQ(archive.CloseEntryForReading(nullptr, false), got == entries[index].bytes.size() ? 1 : -1);
  }
  EXPECT_EQ(archive.GetZlibBlockCount(), 0u);
  archive.Close();
}

// File positions of an entry's packed data (encryption header included): where it starts and
// where it ends, from its local header in the memory file.
std::pair<std::uint64_t, std::uint64_t> PackedSpan(const CZipMemFile& memory, const CZipFileHeader& entry) {
  const unsigned char* local = memory.GetData() + entry.m_uOffset;
  const std::uint64_t start = entry.m_uOffset + 30 + ReadLE<std::uint16_t>(local + 26) + ReadLE<std::uint16_t>(local + 28);
  return {start, start + entry.m_uComprSize};
}

TEST(ZipDecodeAhead, ADataDescriptorAtTheEdgeOfTheWindowIsCheckedWhereverItLies) {
  const std::string first = GeneratedBytes(1000, 1, false);
  auto write = [&](CZipMemFile& memory, const std::string& second) {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(memory, CZipArchive::CreateNew));
    ASSERT_TRUE(archive.SetPassword(kPassword));
    WriteTestEntry(archive, "a", first, 0);
    WriteTestEntry(archive, "b", second, 0);
    WriteTestEntry(archive, "c", "after", 6);
    archive.Close();
  };
  auto spans = [](CZipMemFile& memory) {
    CZipArchive archive;
    archive.Open(memory, CZipArchive::OpenReadOnly);
    auto result = std::make_pair(PackedSpan(memory, EntryInfo(archive, 0)), PackedSpan(memory, EntryInfo(archive, 1)));
    archive.Close();
    return result;
  };
  const std::size_t probeSize = 500000;
  CZipMemFile probe;
  write(probe, GeneratedBytes(probeSize, 2, false));
  const auto [firstSpan, secondSpan] = spans(probe);
  // The window read for entry a ends here; entry b's data (stored, so its size is the file's)
  // is made to end `gap` bytes before it, leaving its descriptor inside, cut by or after the edge.
  const std::uint64_t windowEnd = firstSpan.first + CZipDecodeAhead::WindowBytes;
  for (const int gap : {-1, 0, 1, 15, 16, 23, 24, 25, 40}) {
    const std::size_t secondSize = probeSize + (windowEnd - secondSpan.second) - static_cast<std::size_t>(gap);
    const std::string second = GeneratedBytes(secondSize, 2, false);
    CZipMemFile memory;
    write(memory, second);
    ASSERT_EQ(static_cast<std::int64_t>(windowEnd - spans(memory).second.second), gap);

    CZipArchive archive;
    ASSERT_TRUE(archive.Open(memory, CZipArchive::OpenReadOnly));
    archive.SetReadAhead(true);
    ASSERT_TRUE(archive.SetPassword(kPassword));
    EXPECT_EQ(ReadTestEntry(archive, 0), first) << "gap " << gap;
    EXPECT_EQ(ReadTestEntry(archive, 1, 65536), second) << "gap " << gap;
    EXPECT_EQ(ReadTestEntry(archive, 2), "after") << "gap " << gap;
    archive.Close();
  }
}

TEST(ZipDecodeAhead, AWrongPasswordFailsEachEntryAndTheRightOneSetAfterwardsReadsThemAll) {
  ScratchDir dir;
  std::vector<WrittenEntry> entries;
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(dir / "w.zip", CZipArchive::CreateNew));
    entries = WriteMixedArchive(archive);
    archive.Close();
  }
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "w.zip", CZipArchive::OpenReadOnly));
  archive.SetReadAhead(true);
  ASSERT_TRUE(archive.SetPassword("wrong pass"));
  int refused = 0;
  int encrypted = 0;
  for (int index = 0; index < static_cast<int>(entries.size()); ++index) {
    if (!entries[index].encrypted) continue;
    ++encrypted;
    // The one-byte check lets a wrong password through about once in 256 entries; the data
    // then fails instead.
    const int code = ZipErrorOf([&] {
      std::vector<char> piece(65536);
      if (!archive.OpenEntryForReading(index)) return;
      while (archive.ReadEntryData(piece.data(), 65536) == 65536) {
      }
      archive.CloseEntryForReading(nullptr, false);
    });
    if (code != 110) archive.CloseEntryForReading(nullptr, true);
    if (code == 110) ++refused;
    // Data decoded with a wrong key fails its CRC (102), its inflate (504), or ends before its
    // declared size (134); rarely it even passes as data.
    else EXPECT_TRUE(code == 102 || code == 504 || code == 134 || code == 0) << "entry " << index << " code " << code;
  }
  EXPECT_GE(refused, encrypted - 4);

  // The window again holds the first entries, decoded with the wrong password; the right one
  // must not be served from it.
  ZipErrorOf([&] { archive.OpenEntryForReading(0); });
  archive.CloseEntryForReading(nullptr, true);
  ASSERT_TRUE(archive.SetPassword(kPassword));
  for (int index = 0; index < static_cast<int>(entries.size()); ++index)
    EXPECT_EQ(ReadTestEntry(archive, index), entries[index].bytes) << "entry " << index;
  archive.Close();
}

// Central headers whose flags disagree with the local ones: the window and the entry open decide
// with one rule (the local header's flags), so read-ahead gives what the plain read gives.
TEST(ZipDecodeAhead, FlagsThatDifferBetweenTheHeadersAreDecidedOnceAsTheEntryOpenDecidesThem) {
  CZipMemFile written;
  std::vector<std::string> data;
  {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(written, CZipArchive::CreateNew));
    ASSERT_TRUE(archive.SetPassword(kPassword));
    for (int i = 0; i < 4; ++i) {
      data.push_back(GeneratedBytes(3000u + i, static_cast<unsigned>(200 + i), true));
      // Entry times whose check byte (time >> 8, with a data descriptor) differs from the CRC's.
      WriteTestEntry(archive, "f" + std::to_string(i), data.back(), 6, 1200000000 + 7200 * i);
    }
    archive.Close();
  }
  std::string bytes(reinterpret_cast<const char*>(written.GetData()), written.GetLength());
  const std::size_t endRecord = bytes.size() - 22;
  std::size_t central = ReadLE<std::uint32_t>(bytes.data() + endRecord + 16);
  for (int i = 0; i < 4; ++i) {
    const char* record = bytes.data() + central;
    const std::uint16_t flags = ReadLE<std::uint16_t>(record + 8);
    ASSERT_EQ(flags & 0x9u, 0x9u);  // encrypted, with a data descriptor
    // Entry 1: the central header drops the data descriptor (so its check byte would be the
    // CRC's); entry 2: it drops the encryption as well.
    const std::uint16_t patched = i == 1 ? flags & ~0x8u : i == 2 ? flags & ~0x9u : flags;
    bytes[central + 8] = static_cast<char>(patched & 0xFF);
    central += 46 + ReadLE<std::uint16_t>(record + 28) + ReadLE<std::uint16_t>(record + 30) +
               ReadLE<std::uint16_t>(record + 32);
  }
  CZipMemFile memory;
  memory.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  for (bool readAhead : {false, true}) {
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(memory, CZipArchive::OpenReadOnly));
    archive.SetReadAhead(readAhead);
    ASSERT_TRUE(archive.SetPassword(kPassword));
    for (int index = 0; index < 4; ++index) {
      std::string read;
      EXPECT_EQ(ZipErrorOf([&] { read = ReadTestEntry(archive, index); }), 0) << index << " ahead " << readAhead;
      EXPECT_EQ(read, data[index]) << index << " ahead " << readAhead;
    }
    archive.Close(CZipArchive::CloseAfterError);
  }
}

}  // namespace
}  // namespace brevik::test
