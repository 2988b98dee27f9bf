// RepairCommand.cpp -- `brevik repair`: the engine's recovery scan, printed, and its directory written.
#include "tools/RepairCommand.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <set>

#include "engine/ZipArchive.h"
#include "engine/ZipException.h"
#include "engine/ZipFile.h"
#include "engine/ZipFileException.h"
#include "engine/ZipRecovery.h"
#include "tools/PrintableName.h"

namespace {

// The local header offsets that the archive's own directory names, when it opens; nothing when
// the directory is missing or refused.
std::optional<std::set<std::uint64_t>> DirectoryOffsets(const std::string& archivePath) {
  CZipArchive archive;
  try {
    archive.Open(archivePath, CZipArchive::OpenReadOnly);
  } catch (...) {
    archive.Close(CZipArchive::CloseAfterError);
    return std::nullopt;
  }
  std::set<std::uint64_t> offsets;
  CZipFileHeader info;
  for (int i = 0; i < archive.GetCount(); ++i) {
    if (archive.GetEntryInfo(info, i)) offsets.insert(info.m_uOffset);
  }
  archive.Close(CZipArchive::CloseAfterError);
  return offsets;
}

void ReportRepairFailure(const std::string& text, const std::string& detail) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  std::cerr << "brevik: " << line << (detail.empty() ? "" : " (" + detail + ")") << "\n";
}

}  // namespace

int RunRepairCommand(const std::string& archivePath) {
  try {
    // Other writers wait while the directory is rebuilt, as they do for any change.
    const std::optional<std::set<std::uint64_t>> listed = DirectoryOffsets(archivePath);
    CZipFile file(archivePath, CZipFile::modeReadWrite | CZipFile::shareDenyWrite | CZipFile::modeNoTruncate);
    const ZipRecoveryScan scan = ScanForEntries(file);
    for (const ZipRecoveredEntry& entry : scan.kept) {
      std::printf("kept     %10u  %s\n", static_cast<unsigned>(entry.uncompressedSize), PrintableName(entry.name).c_str());
    }
    for (const ZipDroppedEntry& entry : scan.dropped) {
      std::printf("dropped  offset %llu  %s: %s\n", static_cast<unsigned long long>(entry.offset),
                  entry.name.empty() ? "(no name)" : PrintableName(entry.name).c_str(), entry.reason.c_str());
    }
    std::set<std::uint64_t> found;
    for (const ZipRecoveredEntry& entry : scan.kept) found.insert(entry.offset);
    // A directory that opens and names just what the scan found (an archive without a stub in
    // front, whose offsets are file positions) needs no successor.
    if (listed && *listed == found) {
      file.Close();
      std::printf("the archive's directory names every entry found; nothing was changed\n");
      return 0;
    }
    WriteRecoveredDirectory(file, scan);
    file.Close();
    std::printf("%zu %s kept, %zu dropped\n", scan.kept.size(), scan.kept.size() == 1 ? "entry" : "entries",
                scan.dropped.size());
    return 0;
  } catch (const CZipException& error) {
    ReportRepairFailure(error.GetErrorDescription(), error.GetDetail());
  } catch (const CZipFileException& error) {
    ReportRepairFailure(error.GetErrorDescription(), error.GetFilePath());
  } catch (const std::bad_alloc&) {
    ReportRepairFailure("out of memory", "");
  }
  return 1;
}
