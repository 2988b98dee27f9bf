// TableDispatch.h -- the one IDispatch implementation, driven by the type library's tables.
#pragma once

#include "frame/automation/IDispatch.h"
#include "frame/automation/TypeLibrary.h"

/// GetIDsOfNames and Invoke for any interface described by an InterfaceInfo.
class TableDispatch {
public:
  TableDispatch() = delete;

  /// Names are matched without regard to case; `names[1..]` are matched against the member's
  /// argument names and get their 0-based positions. DISP_E_UNKNOWNNAME when any name is
  /// unknown (its slot holds DISPID_UNKNOWN); E_POINTER for null arrays with a count;
  /// DISP_E_UNKNOWNINTERFACE when `iid` is not IID_NULL.
  static HRESULT GetIDsOfNames(const InterfaceInfo& info, REFIID iid, LPOLESTR* names,
                               UINT nameCount, DISPID* dispids) noexcept;

  /// Finds the member by DISPID (DISP_E_MEMBERNOTFOUND), checks that `flags` allow its kind
  /// (DISP_E_MEMBERNOTFOUND), that a put carries exactly its value as the named argument
  /// DISPID_PROPERTYPUT and nothing else is named (DISP_E_PARAMNOTOPTIONAL, DISP_E_NONAMEDARGS),
  /// that the argument count is the member's (DISP_E_BADPARAMCOUNT), that no argument is
  /// missing (DISP_E_PARAMNOTOPTIONAL), converts each argument with VariantChangeType
  /// (DISP_E_TYPEMISMATCH, with `argError` set to the argument's index in `rgvarg`), then calls
  /// the member and hands back its HRESULT. The result goes to `result` when given (cleared
  /// first), else is discarded. Never throws.
  static HRESULT Invoke(const InterfaceInfo& info, IDispatch* self, DISPID member, REFIID iid,
                        WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                        UINT* argError) noexcept;
};

/// Implements the four IDispatch members of `Interface` (which has a static TypeInfo()) from its
/// table. No type information object is offered: GetTypeInfoCount answers 0.
template <class Interface>
class DispatchImpl : public Interface {
public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT nameCount, LCID,
                        DISPID* dispids) override {
    return TableDispatch::GetIDsOfNames(Interface::TypeInfo(), iid, names, nameCount, dispids);
  }
  HRESULT Invoke(DISPID member, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
    return TableDispatch::Invoke(Interface::TypeInfo(), static_cast<IDispatch*>(this), member,
                                 iid, flags, params, result, exception, argError);
  }

protected:
  ~DispatchImpl() = default;
};
