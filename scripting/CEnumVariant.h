// CEnumVariant.h -- the enumerator a for-each loop walks over a listing's items.
#pragma once

#include <cstddef>
#include <vector>

#include "frame/automation/ComPtr.h"
#include "frame/automation/IDispatch.h"
#include "frame/automation/IEnumVARIANT.h"
#include "frame/automation/ModuleLockCount.h"

/// An IEnumVARIANT over its own references to a fixed list of objects, handed out as
/// VT_DISPATCH. Answers QueryInterface for IUnknown and IEnumVARIANT. Follows the OLE
/// Automation rules: Next may be given a null `fetched` only for one item; Next and Skip give
/// S_FALSE when fewer items than asked remained; Clone copies the position.
class CEnumVariant final : public IEnumVARIANT {
public:
  /// A new enumerator at the first of `items`, with one reference owned by `out`.
  static HRESULT Create(std::vector<ComPtr<IDispatch>> items, std::size_t position, ComPtr<IEnumVARIANT>& out) noexcept;

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT Next(ULONG count, VARIANT* items, ULONG* fetched) override;
  HRESULT Skip(ULONG count) override;
  HRESULT Reset() override;
  HRESULT Clone(IEnumVARIANT** copy) override;

private:
  CEnumVariant(std::vector<ComPtr<IDispatch>> items, std::size_t position) noexcept
      : items_(std::move(items)), position_(position) {}
  ~CEnumVariant() = default;

  ModuleObjectLock moduleLock_;
  ULONG referenceCount_ = 0;
  const std::vector<ComPtr<IDispatch>> items_;
  std::size_t position_;  ///< index of the next item Next hands out; at most items_.size()
};
