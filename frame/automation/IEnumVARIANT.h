// IEnumVARIANT.h -- the enumerator that a script's for-each loop walks.
#pragma once

#include "frame/automation/IUnknown.h"
#include "frame/automation/Variant.h"

/// Vtable order after IUnknown: Next, Skip, Reset, Clone.
struct IEnumVARIANT : IUnknown {
  /// Copies up to `count` next items into `items` (each initialised by the callee); sets
  /// `*fetched` (when given) to how many. S_OK when all `count` were copied, else S_FALSE.
  virtual HRESULT Next(ULONG count, VARIANT* items, ULONG* fetched) = 0;
  /// Skips `count` items; S_FALSE when fewer remained.
  virtual HRESULT Skip(ULONG count) = 0;
  /// Goes back to the first item.
  virtual HRESULT Reset() = 0;
  /// A new enumerator at the same position over the same items.
  virtual HRESULT Clone(IEnumVARIANT** copy) = 0;

protected:
  ~IEnumVARIANT() = default;
};
