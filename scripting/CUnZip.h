// CUnZip.h -- the listing collection that UnZip and List hand back, and the fill behind both.
#pragma once

#include <string>
#include <vector>

#include "frame/automation/ComPtr.h"
#include "frame/automation/ISupportErrorInfo.h"
#include "frame/automation/IUnZip.h"
#include "frame/automation/ModuleLockCount.h"
#include "frame/automation/TableDispatch.h"
#include "scripting/CEnumVariant.h"
#include "scripting/ZipRequest.h"

/// A read-only snapshot of an archive's entries, filled once. Item 1 describes the archive's
/// last entry and Item(Count) its first; the enumerator walks the same order. Answers
/// QueryInterface for IUnknown, IDispatch, IUnZip and ISupportErrorInfo.
class CUnZip final : public DispatchImpl<IUnZip>, public ISupportErrorInfo {
public:
  /// A new, empty collection (count 0), with one reference owned by `out`.
  static HRESULT Create(ComPtr<CUnZip>& out) noexcept;

  /// Describes every entry of `request.zipFile`; for `OpUnZip` also extracts each into
  /// `request.targetPath` (replacing files, or under a unique name when `overwrite` is 0).
  /// Results: "" (an entry that failed to extract is listed with an empty SavedName);
  /// "Cannot open file <zipFile>. It does not appear to be a valid zip" when the archive cannot
  /// be opened; "Cannot open file <zipFile>. It does not appear to be a valid password" when an
  /// encrypted entry's password is missing or wrong (files extracted before it stay). The
  /// archive is closed on every path. Never throws.
  std::string Fill(const ZipRequest& request) noexcept;

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // ISupportErrorInfo: S_OK for IID_IUnZip, S_FALSE otherwise.
  HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;

  HRESULT get_Count(LONG* count) override;
  HRESULT get_Item(LONG index, VARIANT* item) override;
  HRESULT get__NewEnum(IUnknown** enumerator) override;

private:
  CUnZip() = default;
  ~CUnZip() = default;

  std::string FillItems(const ZipRequest& request);

  ModuleObjectLock moduleLock_;
  ULONG referenceCount_ = 0;
  SharedDispatchList items_;  ///< one IUnZipEntries per entry, last entry first; null when empty
  LONG count_ = 0;
};
