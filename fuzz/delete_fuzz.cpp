// delete_fuzz.cpp -- libFuzzer target: entries deleted and the archive read again; the kept entries read as before.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzArchive.h"
#include "engine/ZipArchive.h"
#include "engine/ZipException.h"
#include "engine/ZipFileException.h"
#include "engine/ZipMemFile.h"

using brevik::fuzz::EntryOutcome;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  // The first byte picks the entries to delete (bit k: every entry whose index is k modulo 8).
  const std::uint8_t pick = data[0];
  CZipMemFile memory;
  memory.Write(data + 1, static_cast<std::uint32_t>(size - 1));
  const std::uint64_t lengthBefore = memory.GetLength();
  std::vector<EntryOutcome> before;
  std::vector<std::uint16_t> indexes;
  std::vector<bool> deleted;
  {
    CZipArchive archive;
    try {
      archive.Open(memory, CZipArchive::OpenExisting);
      archive.SetPassword("pw");
      before = brevik::fuzz::ReadEveryEntry(archive);
      for (int i = 0; i < archive.GetCount(); ++i) {
        deleted.push_back(((pick >> (i % 8)) & 1) != 0);
        if (deleted.back()) indexes.push_back(static_cast<std::uint16_t>(i));
      }
      archive.DeleteEntries(indexes);
      archive.Close();
    } catch (const CZipException&) {
      archive.Close(CZipArchive::CloseAfterError);
      return 0;
    } catch (const CZipFileException&) {
      archive.Close(CZipArchive::CloseAfterError);
      return 0;
    }
  }
  // A deletion takes bytes away and writes a directory no longer than the one it read.
  if (memory.GetLength() > lengthBefore + 22) brevik::fuzz::Fail("the deletion grew the archive");

  std::vector<EntryOutcome> kept;
  for (std::size_t i = 0; i < before.size(); ++i)
    if (!deleted[i]) kept.push_back(before[i]);
  CZipArchive again;
  try {
    again.Open(memory, CZipArchive::OpenReadOnly);
  } catch (const CZipException& error) {
    brevik::fuzz::Fail("the archive a deletion wrote does not open: code " + std::to_string(error.GetCause()) + " (" +
                       error.GetDetail() + ")");
  }
  again.SetPassword("pw");
  const std::vector<EntryOutcome> after = brevik::fuzz::ReadEveryEntry(again);
  again.Close(CZipArchive::CloseAfterError);
  if (after.size() != kept.size())
    brevik::fuzz::Fail(std::to_string(after.size()) + " entries after the deletion, " + std::to_string(kept.size()) +
                       " expected");
  for (std::size_t i = 0; i < kept.size(); ++i) {
    // An entry that read before reads the same after: its bytes only moved.
    if (kept[i].code == 0 && !(after[i] == kept[i]))
      brevik::fuzz::Fail("kept entry " + std::to_string(i) + " reads differently after the deletion: code " +
                         std::to_string(after[i].code));
  }
  return 0;
}
