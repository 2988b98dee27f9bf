// IUnZip.h -- the listing collection's dual interface, in the order of its operation table.
#pragma once

#include "frame/automation/IDispatch.h"
#include "frame/automation/Variant.h"

struct InterfaceInfo;

/// The collection that UnZip and List hand back. Collection conventions: a null out-pointer
/// gives E_POINTER; Item outside 1..Count gives E_INVALIDARG.
struct IUnZip : IDispatch {
  /// The type library's description of this interface.
  static const InterfaceInfo& TypeInfo() noexcept;

  virtual HRESULT get_Count(LONG* count) = 0;                ///< DISPID 0x60020000
  virtual HRESULT get_Item(LONG index, VARIANT* item) = 0;   ///< DISPID 0, the default member
  virtual HRESULT get__NewEnum(IUnknown** enumerator) = 0;   ///< DISPID -4, answers IEnumVARIANT

protected:
  ~IUnZip() = default;
};
