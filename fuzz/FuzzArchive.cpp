// FuzzArchive.cpp -- reading every entry of an archive for the fuzz targets.
#include "FuzzArchive.h"

#include <cstdio>
#include <cstdlib>

#include <zlib.h>

#include "engine/ZipArchive.h"
#include "engine/ZipException.h"
#include "engine/ZipFileException.h"

namespace brevik::fuzz {

std::vector<EntryOutcome> ReadEveryEntry(CZipArchive& archive) {
  std::vector<EntryOutcome> outcomes;
  std::vector<char> buffer(65536);
  for (int i = 0; i < archive.GetCount(); ++i) {
    EntryOutcome outcome;
    CZipFileHeader header;
    if (archive.GetEntryInfo(header, i) && header.m_uUncomprSize > MaxEntryBytes) {
      outcome.code = -3;
      outcomes.push_back(outcome);
      continue;
    }
    try {
      if (!archive.OpenEntryForReading(i)) {
        outcome.code = -1;
      } else {
        for (;;) {
          const std::uint32_t got = archive.ReadEntryData(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
          if (got == 0) break;
          outcome.bytes += got;
          outcome.crc = static_cast<std::uint32_t>(crc32(outcome.crc, reinterpret_cast<const Bytef*>(buffer.data()), got));
        }
        const int closed = archive.CloseEntryForReading();
        if (closed != 1) outcome.code = closed;
      }
    } catch (const CZipException& error) {
      outcome.code = error.GetCause();
      archive.CloseEntryForReading(nullptr, true);
    } catch (const CZipFileException& error) {
      outcome.code = 1000 + error.GetSystemError();
      archive.CloseEntryForReading(nullptr, true);
    }
    outcomes.push_back(outcome);
  }
  return outcomes;
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "brevik fuzz: %s\n", what.c_str());
  std::abort();
}

}  // namespace brevik::fuzz
