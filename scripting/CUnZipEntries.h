// CUnZipEntries.h -- one entry of a listing: its name, type, size, saved name, password need.
#pragma once

#include "frame/automation/ComPtr.h"
#include "frame/automation/ISupportErrorInfo.h"
#include "frame/automation/IUnZipEntries.h"
#include "frame/automation/ModuleLockCount.h"
#include "frame/automation/TableDispatch.h"
#include "scripting/EntryRecord.h"

/// A read-only snapshot of one archive entry, made only by the listing collection. Answers
/// QueryInterface for IUnknown, IDispatch, IUnZipEntries and ISupportErrorInfo. Every getter
/// returns S_OK, E_POINTER for a null out-pointer, E_OUTOFMEMORY when the string cannot be made.
class CUnZipEntries final : public DispatchImpl<IUnZipEntries>, public ISupportErrorInfo {
public:
  /// A new entry object holding `record`'s values, with one reference owned by `out`.
  /// E_OUTOFMEMORY when it cannot be made.
  static HRESULT Create(const EntryRecord& record, ComPtr<IUnZipEntries>& out) noexcept;

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // ISupportErrorInfo: S_OK for IID_IUnZipEntries, S_FALSE otherwise.
  HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;

  HRESULT get_Name(BSTR* value) override;
  HRESULT get_Type(BSTR* value) override;
  HRESULT get_Size(LONG* value) override;
  HRESULT get_SavedName(BSTR* value) override;
  HRESULT get_PasswordRequired(BSTR* value) override;

private:
  explicit CUnZipEntries(const EntryRecord& record) : record_(record) {}
  ~CUnZipEntries() = default;

  ModuleObjectLock moduleLock_;
  ULONG referenceCount_ = 0;
  const EntryRecord record_;
};
