// CUnZipEntries.h -- one entry of a listing: its name, type, size, saved name, password need.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "frame/automation/ComPtr.h"
#include "frame/automation/IEntryDetails.h"
#include "frame/automation/ISupportErrorInfo.h"
#include "frame/automation/IUnZipEntries.h"
#include "frame/automation/ModuleLockCount.h"
#include "frame/automation/TableDispatch.h"
#include "scripting/EntryRecord.h"

/// A read-only snapshot of one archive entry, made only by the listing collection. Answers
/// QueryInterface for IUnknown, IDispatch, IUnZipEntries, ISupportErrorInfo and IEntryDetails. Every getter
/// returns S_OK, E_POINTER for a null out-pointer, E_OUTOFMEMORY when the string cannot be made.
class CUnZipEntries final : public DispatchImpl<IUnZipEntries>,
                            public ISupportErrorInfo,
                            public IEntryDetails {
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
  HRESULT get_Size(VARIANT* value) override;
  HRESULT get_SavedName(BSTR* value) override;
  HRESULT get_PasswordRequired(BSTR* value) override;
  HRESULT get_ErrorReason(BSTR* value) override;

  // IEntryDetails
  HRESULT GetDetails(EntryDetails* details) override;

private:
  explicit CUnZipEntries(const EntryRecord& record);
  ~CUnZipEntries() = default;

  std::string_view Name() const { return {text_.get(), nameSize_}; }
  std::string_view SavedName() const;
  std::string_view ReasonText() const;

  // A listing holds one of these per archive entry, so the object is kept small: the texts
  // share one block (the saved name after the name, and only when it is neither empty nor the
  // name itself; then the reason an entry was not extracted, when there is one), and Type and
  // PasswordRequired are flags.
  std::unique_ptr<char[]> text_;
  std::uint32_t nameSize_ = 0;
  std::uint32_t savedNameSize_ = 0;  ///< bytes of the saved name after the name in `text_`
  std::uint32_t reasonSize_ = 0;     ///< bytes of the reason after the saved name
  std::uint64_t size_ = 0;
  ULONG referenceCount_ = 0;
  EntryDetails details_;
  bool isDirectory_ = false;
  bool encrypted_ = false;
  bool savedIsName_ = false;  ///< SavedName is the name (UnZip wrote the entry under it)
  [[no_unique_address]] ModuleObjectLock moduleLock_;
};
