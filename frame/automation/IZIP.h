// IZIP.h -- the ZIP object's dual interface, in the order of its operation table.
#pragma once

#include "frame/automation/Bstr.h"
#include "frame/automation/IDispatch.h"
#include "frame/automation/Variant.h"

struct InterfaceInfo;

/// Vtable order after IDispatch is the member order below; DISPIDs are in the type library
/// table. Every member returns S_OK; the outcome of the work is read through IsError and
/// ErrorReason. In-strings are copied before the call returns; out-strings belong to the caller.
struct IZIP : IDispatch {
  /// The type library's description of this interface (names, DISPIDs, kinds, arguments).
  static const InterfaceInfo& TypeInfo() noexcept;

  virtual HRESULT put_CreateNew(LONG value) = 0;         ///< DISPID 1
  virtual HRESULT put_ZipFile(BSTR value) = 0;           ///< DISPID 6
  virtual HRESULT Zip() = 0;                             ///< DISPID 7, named "ZIP" in the table
  virtual HRESULT get_IsError(SHORT* value) = 0;         ///< DISPID 8
  virtual HRESULT get_ErrorReason(BSTR* value) = 0;      ///< DISPID 9
  virtual HRESULT put_UsePath(LONG value) = 0;           ///< DISPID 12
  virtual HRESULT AddFolder(BSTR folder) = 0;            ///< DISPID 13
  virtual HRESULT UnZip(VARIANT* collection) = 0;        ///< DISPID 14, [out, retval]
  virtual HRESULT put_TargetPath(BSTR value) = 0;        ///< DISPID 15
  virtual HRESULT List(VARIANT* collection) = 0;         ///< DISPID 16, [out, retval]
  virtual HRESULT Extract() = 0;                         ///< DISPID 17
  virtual HRESULT Delete() = 0;                          ///< DISPID 20
  virtual HRESULT Add(BSTR file) = 0;                    ///< DISPID 21
  virtual HRESULT put_SubFolders(LONG value) = 0;        ///< DISPID 22
  virtual HRESULT put_NameConflict(BSTR value) = 0;      ///< DISPID 23
  virtual HRESULT put_Password(BSTR value) = 0;          ///< DISPID 24
  virtual HRESULT put_Encryption(BSTR value) = 0;        ///< DISPID 25

protected:
  ~IZIP() = default;
};
