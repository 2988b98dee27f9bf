// CUnZipEntries.cpp -- the listing entry object and its reference counting.
#include "scripting/CUnZipEntries.h"

#include <new>

namespace {

HRESULT CopyOut(const std::string& text, BSTR* value) noexcept {
  if (!value) return E_POINTER;
  *value = BstrFromUtf8(text);
  return *value ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

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

HRESULT CUnZipEntries::get_Name(BSTR* value) { return CopyOut(record_.name, value); }
HRESULT CUnZipEntries::get_Type(BSTR* value) { return CopyOut(record_.type, value); }
HRESULT CUnZipEntries::get_SavedName(BSTR* value) { return CopyOut(record_.savedName, value); }
HRESULT CUnZipEntries::get_PasswordRequired(BSTR* value) { return CopyOut(record_.passwordRequired, value); }

HRESULT CUnZipEntries::get_Size(LONG* value) {
  if (!value) return E_POINTER;
  *value = record_.size;
  return S_OK;
}
