// DispParams.h -- the argument block of IDispatch::Invoke and its companion records.
#pragma once

#include "frame/automation/Bstr.h"
#include "frame/automation/ComTypes.h"
#include "frame/automation/HResult.h"
#include "frame/automation/Variant.h"

/// Invoke's `flags`: what the caller means by the name.
inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

/// Reserved DISPIDs.
inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_NEWENUM = -4;

/// Arguments in reverse order: `rgvarg[cArgs - 1]` is the first one the script wrote. Named
/// arguments come first in `rgvarg`; a property put names its value DISPID_PROPERTYPUT.
struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

/// Exception details an Invoke may fill; the BSTR fields belong to the caller afterwards.
struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};
