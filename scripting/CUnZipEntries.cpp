// CUnZipEntries.cpp -- the listing entry object and its reference counting.
#include "scripting/CUnZipEntries.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>

namespace {

HRESULT CopyOut(std::string_view text, BSTR* value) noexcept {
  if (!value) return E_POINTER;
  *value = BstrFromUtf8(text);
  return *value ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

CUnZipEntries::CUnZipEntries(const EntryRecord& record)
    : size_(record.size), details_(record.details), isDirectory_(record.isDirectory),
      encrypted_(record.encrypted) {
  // Names come from 16-bit length fields (at most three UTF-8 bytes a byte once converted) and
  // from paths built on them: far below 4 GiB.
  const std::string& name = record.name;
  const std::string& saved = record.savedName;
  const std::string& reason = record.notExtractedReason;
  savedIsName_ = !saved.empty() && saved == name;
  const std::size_t savedSize = savedIsName_ ? 0 : saved.size();
  nameSize_ = static_cast<std::uint32_t>(name.size());
  savedNameSize_ = static_cast<std::uint32_t>(savedSize);
  reasonSize_ = static_cast<std::uint32_t>(reason.size());
  if (name.size() + savedSize + reason.size() != 0) {
    text_ = std::make_unique_for_overwrite<char[]>(name.size() + savedSize + reason.size());
    std::copy(name.begin(), name.end(), text_.get());
    std::copy(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(savedSize), text_.get() + name.size());
    std::copy(reason.begin(), reason.end(), text_.get() + name.size() + savedSize);
  }
}

std::string_view CUnZipEntries::ReasonText() const {
  return {text_.get() + nameSize_ + savedNameSize_, reasonSize_};
}

std::string_view CUnZipEntries::SavedName() const {
  if (savedIsName_) return Name();
  return {text_.get() + nameSize_, savedNameSize_};
}

HRESULT CUnZipEntries::Create(const EntryRecord& record, ComPtr<IUnZipEntries>& out) noexcept {
  out.Reset();
  try {
    out = ComPtr<IUnZipEntries>(new CUnZipEntries(record));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CUnZipEntries::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IUnZipEntries)
    *object = static_cast<IUnZipEntries*>(this);
  else if (iid == IID_ISupportErrorInfo)
    *object = static_cast<ISupportErrorInfo*>(this);
  else if (iid == IID_IEntryDetails)
    *object = static_cast<IEntryDetails*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG CUnZipEntries::AddRef() { return ++referenceCount_; }

ULONG CUnZipEntries::Release() {
  const ULONG left = --referenceCount_;
  if (left == 0) delete this;
  return left;
}

HRESULT CUnZipEntries::InterfaceSupportsErrorInfo(REFIID iid) {
  return iid == IID_IUnZipEntries ? S_OK : S_FALSE;
}

HRESULT CUnZipEntries::get_Name(BSTR* value) { return CopyOut(Name(), value); }
HRESULT CUnZipEntries::get_Type(BSTR* value) { return CopyOut(isDirectory_ ? "Dir" : "File", value); }
HRESULT CUnZipEntries::get_SavedName(BSTR* value) { return CopyOut(SavedName(), value); }
HRESULT CUnZipEntries::get_PasswordRequired(BSTR* value) { return CopyOut(encrypted_ ? "Yes" : "No", value); }
HRESULT CUnZipEntries::get_ErrorReason(BSTR* value) { return CopyOut(ReasonText(), value); }

HRESULT CUnZipEntries::get_Size(VARIANT* value) {
  if (!value) return E_POINTER;
  // Below 2 GiB the 32-bit integer scripts have always been given; above, the exact size as a
  // 64-bit one (the 32-bit value would read negative or wrap).
  if (size_ <= static_cast<std::uint64_t>(INT32_MAX)) {
    value->vt = VT_I4;
    value->lVal = static_cast<LONG>(size_);
  } else {
    value->vt = VT_I8;
    value->llVal = static_cast<LONGLONG>(size_);
  }
  return S_OK;
}

HRESULT CUnZipEntries::GetDetails(EntryDetails* details) {
  if (!details) return E_POINTER;
  *details = details_;
  return S_OK;
}
