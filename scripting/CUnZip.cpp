// CUnZip.cpp -- the listing collection: its fill from the archive, Count, Item and _NewEnum.
#include "scripting/CUnZip.h"

#include <algorithm>
#include <memory>
#include <new>

#include "engine/ZipArchive.h"
#include "engine/ZipException.h"
#include "engine/ZipFileException.h"
#include "scripting/ArchiveCloser.h"
#include "scripting/CUnZipEntries.h"
#include "scripting/EntryRecord.h"
#include "scripting/ExtractLimits.h"
#include "scripting/MakeUniquePath.h"
#include "scripting/NotExtractedReason.h"
#include "scripting/ProgressForwarder.h"
#include "scripting/TargetFreeSpace.h"

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
  // Each entry's object is made as soon as the entry is seen: no list of records beside the
  // objects, which for an archive of many entries was as large as the objects themselves.
  auto items = std::make_shared<std::vector<ComPtr<IDispatch>>>();
  items->reserve(static_cast<std::size_t>(entryCount));
  for (int index = 0; index < entryCount; ++index) {
    // The host asked to stop (Ctrl-C): no further entry is begun.
    if (progress.StopRequested()) return kStoppedByHost;
    CZipFileHeader header;
    std::string name;
    bool encrypted = false;
    bool isDirectory = false;
    std::string candidate;
    bool extracted = false;
    std::string reason;
    try {
      archive.GetEntryInfo(header, index);
      name = header.GetFileName();
      encrypted = header.IsEncrypted();
      isDirectory = header.IsDirectoryEntry();
      // A folder entry writes no data: the limits judge files only.
      if (unzipping && !isDirectory) reason = budget.Admit(header.m_uUncomprSize, header.m_uComprSize, header.m_uMethod);
      if (unzipping && reason.empty()) {
        const char* newName = nullptr;
        if (request.overwrite == 0) {
          const std::string unique = uniquePaths.Make(prefix + name);
          candidate = unique.substr(prefix.size());
          newName = candidate.c_str();
        }
        if (!request.password.empty()) archive.SetPassword(request.password.c_str());
        extracted = archive.ExtractEntry(index, request.targetPath, true, newName, kBufferBytes);
        if (!extracted) reason = NotExtractedReason::ForRefusal(archive.GetExtractRefusal());
      }
    } catch (const CZipException& error) {
      if (error.GetCause() == CZipException::errBadPassword)
        return "Cannot open file " + zipFile + ". It does not appear to be a valid password";
      reason = NotExtractedReason::ForEngineError(error);
      // A damaged entry is skipped; it must not stay open, or every later entry is refused.
      closer.AbandonEntryRead();
    } catch (const CZipFileException& error) {
      reason = NotExtractedReason::ForFileError(error);
      closer.AbandonEntryRead();
    } catch (const std::bad_alloc&) {
      throw;
    } catch (...) {
      reason = NotExtractedReason::ForOtherError();
      closer.AbandonEntryRead();
    }
    EntryRecord record = EntryRecord::Describe(unzipping, std::move(name), isDirectory, header.m_uUncomprSize,
                                               candidate, extracted, encrypted);
    if (!extracted) record.notExtractedReason = std::move(reason);
    record.details.compressedBytes = header.m_uComprSize;
    record.details.crc32 = header.m_uCrc32;
    record.details.method = header.m_uMethod;
    record.details.dosDate = header.m_uModDate;
    record.details.dosTime = header.m_uModTime;
    ComPtr<IUnZipEntries> entry;
    if (FAILED(CUnZipEntries::Create(record, entry))) throw std::bad_alloc();
    items->push_back(ComPtr<IDispatch>(entry.Get()));
  }
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
