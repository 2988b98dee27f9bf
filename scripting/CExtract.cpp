// CExtract.cpp -- extracting the queued entries by name.
#include "scripting/CExtract.h"

#include <deque>
#include <new>
#include <optional>

#include "engine/ZipArchive.h"
#include "engine/ZipException.h"
#include "engine/ZipParallelExtract.h"
#include "scripting/ArchiveCloser.h"
#include "scripting/EntryNameMatch.h"
#include "scripting/ExtractLimits.h"
#include "scripting/ProgressForwarder.h"
#include "scripting/TargetFreeSpace.h"
#include "scripting/WorkerThreads.h"

namespace {
constexpr std::uint32_t kBufferBytes = 65536;
}  // namespace

std::string CExtract::Extract(const ZipRequest& request) {
  const std::string& zipFile = request.zipFile;
  ProgressForwarder progress;  // outlives the archive that calls it
  CZipArchive archive;
  ArchiveCloser closer(archive);
  try {
    archive.Open(zipFile, CZipArchive::OpenReadOnly, 0);
  } catch (...) {
    return "Cannot open file " + zipFile + ". It does not appear to be a valid zip";
  }
  const int entryCount = archive.GetCount();
  if (entryCount == 0) {
    closer.CloseAfterError();  // nothing was written; release it
    return "No file or folder exists in given zip file";
  }

  // The files the queue names and the limits let through must fit on the target's file system.
  const ExtractLimits limits = ExtractLimits::Current();
  {
    ExtractBudget planned(limits);
    CZipFileHeader header;
    for (int index = 0; index < entryCount; ++index) {
      if (!archive.GetEntryInfo(header, index) || header.IsDirectoryEntry()) continue;
      const std::string name = header.GetFileName();
      for (const std::string& queued : request.files) {
        if (EntryNameMatches(queued, name)) planned.Admit(header.m_uUncomprSize, header.m_uComprSize, header.m_uMethod);
      }
    }
    const std::string noSpace = CheckTargetFreeSpace(request.targetPath, planned.AdmittedBytes());
    if (!noSpace.empty()) {
      closer.CloseAfterError();
      return noSpace;
    }
  }

  ExtractBudget budget(limits);
  progress.AttachTo(archive);
  // Entries are written on several threads; their outcomes come back in the order given.
  // Destroyed before the archive: it waits for the entries still being written.
  CZipParallelExtract extractor(archive, WorkerThreadCount());
  std::deque<bool> waitingEncrypted;  ///< per entry given to the extractor: whether it is encrypted
  // Takes the outcomes that are in (all, when `wait`); the text that ends the operation when one
  // says so. A damaged entry or an unwritable target is passed over.
  const auto takeOutcomes = [&](bool wait) -> std::string {
    while (std::optional<ZipExtractOutcome> outcome = extractor.Next(wait)) {
      const bool encrypted = waitingEncrypted.front();
      waitingEncrypted.pop_front();
      if (!outcome->error) {
        if (!outcome->extracted && encrypted) return "Password required to extract given zip file";
        continue;
      }
      try {
        std::rethrow_exception(outcome->error);
      } catch (const CZipException& error) {
        if (error.GetCause() == CZipException::errBadPassword)
          return "Cannot open file " + zipFile + ". It does not appear to be a valid password";
      } catch (const std::bad_alloc&) {
        throw;
      } catch (...) {
      }
    }
    return std::string();
  };
  for (int index = 0; index < entryCount; ++index) {
    // The host asked to stop (Ctrl-C): no further entry is begun.
    if (progress.StopRequested()) return kStoppedByHost;
    CZipFileHeader header;
    if (!archive.GetEntryInfo(header, index)) continue;
    const std::string name = header.GetFileName();
    const bool encrypted = header.IsEncrypted();
    for (const std::string& queued : request.files) {
      if (!EntryNameMatches(queued, name)) continue;
      // An entry over a limit is passed over, as an entry that cannot be written is.
      if (!header.IsDirectoryEntry() && !budget.Admit(header.m_uUncomprSize, header.m_uComprSize, header.m_uMethod).empty()) continue;
      if (!request.password.empty()) archive.SetPassword(request.password.c_str());
      extractor.Extract(index, request.targetPath, true, nullptr, kBufferBytes);
      waitingEncrypted.push_back(encrypted);
      const std::string stop = takeOutcomes(false);
      if (!stop.empty()) return stop;
    }
  }
  const std::string stop = takeOutcomes(true);
  if (!stop.empty()) return stop;
  try {
    archive.Close(CZipArchive::CloseNormal);
  } catch (...) {
  }
  return std::string();
}
