// CDelete.cpp -- deleting the queued entries by name.
#include "scripting/CDelete.h"

#include <cstdint>
#include <vector>

#include "engine/ZipArchive.h"
#include "scripting/ArchiveCloser.h"
#include "scripting/EngineErrorText.h"
#include "scripting/EntryNameMatch.h"

std::string CDelete::Delete(const ZipRequest& request) {
  const std::string& zipFile = request.zipFile;
  CZipArchive archive;
  ArchiveCloser closer(archive);
  try {
    archive.Open(zipFile, CZipArchive::OpenExisting, 0);
  } catch (...) {
    return "Cannot open file " + zipFile + ". It does not appear to be a valid zip";
  }
  const int entryCount = archive.GetCount();
  if (entryCount == 0) {
    closer.CloseAfterError();  // nothing changed; release it
    return "No file or folder exists in given zip file";
  }

  // Each index once: the engine takes a list as long as the entry count to mean "every entry",
  // so a repeated index could delete entries nobody named.
  std::vector<std::uint16_t> indexes;
  for (int index = 0; index < entryCount; ++index) {
    CZipFileHeader header;
    if (!archive.GetEntryInfo(header, index)) continue;
    const std::string name = header.GetFileName();
    for (const std::string& queued : request.files) {
      if (EntryNameMatches(queued, name)) {
        indexes.push_back(static_cast<std::uint16_t>(index));
        break;
      }
    }
  }
  try {
    if (!indexes.empty()) archive.DeleteEntries(indexes);
    archive.Close(CZipArchive::CloseNormal);
  } catch (...) {
    return EngineErrorText(std::current_exception());  // the closer releases the archive
  }
  return std::string();
}
