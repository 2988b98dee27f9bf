// CEnumVariant.h -- the enumerator a for-each loop walks over a listing's items.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "frame/automation/ComPtr.h"
#include "frame/automation/IDispatch.h"
#include "frame/automation/IEnumVARIANT.h"
#include "frame/automation/ModuleLockCount.h"

/// The fixed list of objects a collection and its enumerators share: no enumerator copies it,
/// however many a script makes of a listing of many entries.
using SharedDispatchList = std::shared_ptr<const std::vector<ComPtr<IDispatch>>>;

/// An IEnumVARIANT over a fixed list of objects it holds a share of, handed out as
/// VT_DISPATCH. Answers QueryInterface for IUnknown and IEnumVARIANT. Follows the OLE
/// Automation rules: Next may be given a null `fetched` only for one item; Next and Skip give
/// S_FALSE when fewer items than asked remained; Clone copies the position.
class CEnumVariant final : public IEnumVARIANT {
public:
  /// A new enumerator over `items` (null: none) at `position` (at most their count), with one
  /// reference owned by `out`.
  static HRESULT Create(SharedDispatchList items, std::size_t position, ComPtr<IEnumVARIANT>& out) noexcept;

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT Next(ULONG count, VARIANT* items, ULONG* fetched) override;
  HRESULT Skip(ULONG count) override;
  HRESULT Reset() override;
  HRESULT Clone(IEnumVARIANT** copy) override;

private:
  CEnumVariant(SharedDispatchList items, std::size_t position) noexcept
      : items_(std::move(items)), position_(position) {}
  ~CEnumVariant() = default;
  std::size_t ItemCount() const noexcept { return items_ ? items_->size() : 0; }

  ModuleObjectLock moduleLock_;
  ULONG referenceCount_ = 0;
  const SharedDispatchList items_;
  std::size_t position_;  ///< index of the next item Next hands out; at most `ItemCount()`
};
