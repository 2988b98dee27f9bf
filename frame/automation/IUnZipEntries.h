// IUnZipEntries.h -- one listing entry's dual interface, in the order of its operation table.
#pragma once

#include "frame/automation/Bstr.h"
#include "frame/automation/IDispatch.h"

struct InterfaceInfo;

/// Read-only description of one archive entry. Every member returns S_OK.
struct IUnZipEntries : IDispatch {
  /// The type library's description of this interface.
  static const InterfaceInfo& TypeInfo() noexcept;

  virtual HRESULT get_Name(BSTR* value) = 0;              ///< DISPID 1
  virtual HRESULT get_Type(BSTR* value) = 0;              ///< DISPID 2
  /// The uncompressed size: VT_I4 below 2 GiB (what scripts always saw there), the exact
  /// value as VT_I8 from 2 GiB on.
  virtual HRESULT get_Size(VARIANT* value) = 0;           ///< DISPID 3
  virtual HRESULT get_SavedName(BSTR* value) = 0;         ///< DISPID 4
  virtual HRESULT get_PasswordRequired(BSTR* value) = 0;  ///< DISPID 5
  /// Why UnZip did not extract the entry, in words a user understands; empty when it was
  /// extracted, and for List's entries.
  virtual HRESULT get_ErrorReason(BSTR* value) = 0;       ///< DISPID 6

protected:
  ~IUnZipEntries() = default;
};
