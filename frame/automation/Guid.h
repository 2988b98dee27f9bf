// Guid.h -- GUID, its comparisons and the identifiers of the component and its interfaces.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// A 128-bit identifier with the Windows field layout (Data1 to Data4, 16 bytes, no padding).
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

/// Field-by-field equality; GUIDs have no order that matters to the component.
bool IsEqualGUID(REFGUID a, REFGUID b) noexcept;
inline bool IsEqualIID(REFIID a, REFIID b) noexcept { return IsEqualGUID(a, b); }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) noexcept { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) noexcept { return IsEqualGUID(a, b); }

/// All zero: the `riid` that IDispatch::Invoke and GetIDsOfNames require.
extern const IID IID_NULL;

// Interfaces of the object model, with their Windows values.
extern const IID IID_IUnknown;
extern const IID IID_IDispatch;
extern const IID IID_IClassFactory;
extern const IID IID_ISupportErrorInfo;
extern const IID IID_IEnumVARIANT;

// The component's own identifiers. They never change from build to build: scripts and the
// registration refer to them.
extern const GUID LIBID_BREVIKLib;
extern const CLSID CLSID_ZIP;
extern const CLSID CLSID_UnZip;         ///< the listing collection's class; never registered
extern const CLSID CLSID_UnZipEntries;  ///< the listing entry's class; never registered
extern const IID IID_IZIP;
extern const IID IID_IUnZip;
extern const IID IID_IUnZipEntries;

/// The registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
std::string GuidToBracedText(REFGUID guid);

/// Reads the registry form (braces required, hexadecimal digits in either case). False, with
/// `guid` untouched, for any other text.
bool GuidFromBracedText(std::string_view text, GUID& guid) noexcept;
