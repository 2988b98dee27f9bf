// IDispatch.h -- late binding by name: the interface page scripts call through.
#pragma once

#include "frame/automation/DispParams.h"
#include "frame/automation/IUnknown.h"

/// Type information objects are not provided by this component; the pointer type is named so
/// the vtable matches.
struct ITypeInfo;

/// Vtable order after IUnknown: GetTypeInfoCount, GetTypeInfo, GetIDsOfNames, Invoke.
struct IDispatch : IUnknown {
  /// Sets `*count` to the number of type information objects offered (0 or 1).
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  /// The type information object `index`; see the implementing class for what is offered.
  virtual HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
  /// Maps `names[0]` (a member) and `names[1..]` (its argument names) to DISPIDs.
  /// DISP_E_UNKNOWNNAME when any is unknown; unknown slots get DISPID_UNKNOWN.
  virtual HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT nameCount, LCID locale,
                                DISPID* dispids) = 0;
  /// Calls member `member` as `flags` says, with `params`; a result goes to `result` when the
  /// caller gave one. `argError` receives the index (in `rgvarg`) of an argument that failed.
  virtual HRESULT Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* exception, UINT* argError) = 0;

protected:
  ~IDispatch() = default;
};
