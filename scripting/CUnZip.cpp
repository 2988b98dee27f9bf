// CUnZip.cpp -- the listing collection: its fill from the archive, Count, Item and _NewEnum.
#include "scripting/CUnZip.h"

#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <new>
#include <optional>

#include "engine/ZipArchive.h"
#include "engine/ZipException.h"
#include "engine/ZipFileException.h"
#include "engine/ZipParallelExtract.h"
#include "scripting/ArchiveCloser.h"
#include "scripting/CUnZipEntries.h"
#include "scripting/EntryRecord.h"
#include "scripting/ExtractLimits.h"
#include "scripting/MakeUniquePath.h"
#include "scripting/NotExtractedReason.h"
#include "scripting/ProgressForwarder.h"
#include "scripting/TargetFreeSpace.h"
#include "scripting/WorkerThreads.h"

namespace {

constexpr std::uint32_t kBufferBytes = 65536;

// The target folder as the first part of a unique name: its trailing "/" cut (a lone root
// stays), then exactly one "/".
std::string FolderPrefix(const std::string& targetPath) {
  std::string folder = targetPath;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder == "/" ? folder : folder + "/";
}

// "" when the files the limits let through fit on the target's file system, else the refusal.
std::string CheckSpaceForAll(CZipArchive& archive, const ZipRequest& request, const ExtractLimits& limits) {
  ExtractBudget budget(limits);
  CZipFileHeader header;
  for (int index = 0; index < archive.GetCount(); ++index) {
    if (archive.GetEntryInfo(header, index) && !header.IsDirectoryEntry())
      budget.Admit(header.m_uUncomprSize, header.m_uComprSize, header.m_uMethod);
  }
  return CheckTargetFreeSpace(request.targetPath, budget.AdmittedBytes());
}

/// An entry seen and not yet described: its outcome may still be on its way.
struct PendingEntry {
  CZipFileHeader header;
  std::string name;
  std::string candidate;   ///< the unique name chosen under MAKEUNIQUE, below the target
  std::string uniquePath;  ///< the same with the target folder
  bool handedOut = false;  ///< given to the extractor, whose outcome it waits for
  bool extracted = false;
  std::string reason;
};

/// Takes `outcome` into `entry`; true when it ends the whole operation (a wrong password).
bool ReadOutcome(const ZipExtractOutcome& outcome, PendingEntry& entry) {
  if (!outcome.error) {
    entry.extracted = outcome.extracted;
    if (!outcome.extracted) entry.reason = NotExtractedReason::ForRefusal(outcome.refusal);
    return false;
  }
  try {
    std::rethrow_exception(outcome.error);
  } catch (const CZipException& error) {
    if (error.GetCause() == CZipException::errBadPassword) return true;
    entry.reason = NotExtractedReason::ForEngineError(error);
  } catch (const CZipFileException& error) {
    entry.reason = NotExtractedReason::ForFileError(error);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    entry.reason = NotExtractedReason::ForOtherError();
  }
  return false;
}

/// The object that describes `entry`.
ComPtr<IDispatch> MakeItem(bool unzipping, PendingEntry& entry) {
  const CZipFileHeader& header = entry.header;
  EntryRecord record = EntryRecord::Describe(unzipping, std::move(entry.name), header.IsDirectoryEntry(),
                                             header.m_uUncomprSize, entry.candidate, entry.extracted,
                                             header.IsEncrypted());
  if (!entry.extracted) record.notExtractedReason = std::move(entry.reason);
  record.details.compressedBytes = header.m_uComprSize;
  record.details.crc32 = header.m_uCrc32;
  record.details.method = header.m_uMethod;
  record.details.dosDate = header.m_uModDate;
  record.details.dosTime = header.m_uModTime;
  ComPtr<IUnZipEntries> item;
  if (FAILED(CUnZipEntries::Create(record, item))) throw std::bad_alloc();
  return ComPtr<IDispatch>(item.Get());
}

}  // namespace

HRESULT CUnZip::Create(ComPtr<CUnZip>& out) noexcept {
  out.Reset();
  auto* collection = new (std::nothrow) CUnZip();
  if (!collection) return E_OUTOFMEMORY;
  out = ComPtr<CUnZip>(collection);
  return S_OK;
}

std::string CUnZip::Fill(const ZipRequest& request) noexcept {
  try {
    return FillItems(request);
  } catch (const std::bad_alloc&) {
    items_.reset();
    count_ = 0;
    return "Out of memory";
  }
}

std::string CUnZip::FillItems(const ZipRequest& request) {
  items_.reset();
  count_ = 0;
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
  const bool unzipping = request.operation == OpUnZip;
  if (unzipping) progress.AttachTo(archive);
  // Every entry is extracted in its order: encrypted ones may be decoded several at a time.
  archive.SetReadAhead(unzipping);
  const std::string prefix = FolderPrefix(request.targetPath);
  const ExtractLimits limits = unzipping ? ExtractLimits::Current() : ExtractLimits();
  if (unzipping) {
    const std::string noSpace = CheckSpaceForAll(archive, request, limits);
    if (!noSpace.empty()) return noSpace;
  }
  ExtractBudget budget(limits);
  UniquePathMaker uniquePaths;
  // Each entry's object is made as soon as the entry's outcome is known: no list of records
  // beside the objects, which for an archive of many entries was as large as the objects.
  auto items = std::make_shared<std::vector<ComPtr<IDispatch>>>();
  items->reserve(static_cast<std::size_t>(entryCount));
  // Entries are written on several threads; their outcomes come back in the archive's order.
  // Destroyed before the archive: it waits for the entries still being written.
  CZipParallelExtract extractor(archive, unzipping ? WorkerThreadCount() : 1);
  std::deque<PendingEntry> waiting;
  // Takes the outcomes that are in (all, when `wait`) and makes their entries' objects; the
  // text that ends the whole operation when one says so.
  const auto takeOutcomes = [&](bool wait) -> std::string {
    while (!waiting.empty()) {
      PendingEntry& front = waiting.front();
      if (front.handedOut) {
        std::optional<ZipExtractOutcome> outcome = extractor.Next(wait);
        if (!outcome) break;
        if (ReadOutcome(*outcome, front)) return "Cannot open file " + zipFile + ". It does not appear to be a valid password";
      }
      items->push_back(MakeItem(unzipping, front));
      waiting.pop_front();
    }
    return std::string();
  };
  const auto isWaitingFor = [&](const std::string& path) {
    return std::any_of(waiting.begin(), waiting.end(), [&](const PendingEntry& entry) { return entry.uniquePath == path; });
  };

  for (int index = 0; index < entryCount; ++index) {
    // The host asked to stop (Ctrl-C): no further entry is begun.
    if (progress.StopRequested()) return kStoppedByHost;
    PendingEntry entry;
    CZipFileHeader& header = entry.header;
    try {
      archive.GetEntryInfo(header, index);
      entry.name = header.GetFileName();
      // A folder entry writes no data: the limits judge files only.
      if (unzipping && !header.IsDirectoryEntry())
        entry.reason = budget.Admit(header.m_uUncomprSize, header.m_uComprSize, header.m_uMethod);
      if (unzipping && entry.reason.empty()) {
        const char* newName = nullptr;
        if (request.overwrite == 0) {
          std::string unique = uniquePaths.Make(prefix + entry.name);
          // A name an entry still being written will take is not free: once that entry is
          // written, the name is decided as on one thread.
          if (isWaitingFor(unique)) {
            const std::string stop = takeOutcomes(true);
            if (!stop.empty()) return stop;
            struct stat taken {};
            if (::lstat(unique.c_str(), &taken) == 0) unique = uniquePaths.Make(prefix + entry.name);
          }
          entry.uniquePath = unique;
          entry.candidate = unique.substr(prefix.size());
          newName = entry.candidate.c_str();
        }
        if (!request.password.empty()) archive.SetPassword(request.password.c_str());
        extractor.Extract(index, request.targetPath, true, newName, kBufferBytes);
        entry.handedOut = true;
      }
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const CZipException& error) {
      entry.reason = NotExtractedReason::ForEngineError(error);
    } catch (const CZipFileException& error) {
      entry.reason = NotExtractedReason::ForFileError(error);
    } catch (...) {
      entry.reason = NotExtractedReason::ForOtherError();
    }
    waiting.push_back(std::move(entry));
    const std::string stop = takeOutcomes(false);
    if (!stop.empty()) return stop;
  }
  const std::string stop = takeOutcomes(true);
  if (!stop.empty()) return stop;
  try {
    archive.Close(CZipArchive::CloseNormal);
  } catch (...) {
    // Nothing was written to a read-only archive; the closer releases it.
  }

  // The collection runs from the last entry back.
  std::reverse(items->begin(), items->end());
  items_ = std::move(items);
  count_ = entryCount;
  return std::string();
}

HRESULT CUnZip::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IUnZip)
    *object = static_cast<IUnZip*>(this);
  else if (iid == IID_ISupportErrorInfo)
    *object = static_cast<ISupportErrorInfo*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG CUnZip::AddRef() { return ++referenceCount_; }

ULONG CUnZip::Release() {
  const ULONG left = --referenceCount_;
  if (left == 0) delete this;
  return left;
}

HRESULT CUnZip::InterfaceSupportsErrorInfo(REFIID iid) { return iid == IID_IUnZip ? S_OK : S_FALSE; }

HRESULT CUnZip::get_Count(LONG* count) {
  if (!count) return E_POINTER;
  *count = count_;
  return S_OK;
}

HRESULT CUnZip::get_Item(LONG index, VARIANT* item) {
  if (!item) return E_POINTER;
  // Set before the range check, so that a caller who ignores the failure holds a clean value.
  VariantInit(item);
  item->vt = VT_UNKNOWN;
  item->punkVal = nullptr;
  if (index < 1 || index > count_ || !items_ || static_cast<std::size_t>(index) > items_->size()) return E_INVALIDARG;
  IDispatch* entry = (*items_)[static_cast<std::size_t>(index) - 1].Get();
  if (entry) entry->AddRef();
  item->vt = VT_DISPATCH;
  item->pdispVal = entry;
  return S_OK;
}

HRESULT CUnZip::get__NewEnum(IUnknown** enumerator) {
  if (!enumerator) return E_POINTER;
  *enumerator = nullptr;
  ComPtr<IEnumVARIANT> created;
  const HRESULT hr = CEnumVariant::Create(items_, 0, created);
  if (FAILED(hr)) return hr;
  return created->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(enumerator));
}
