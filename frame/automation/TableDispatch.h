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

  /// Checks, in this order: `iid` is IID_NULL (DISP_E_UNKNOWNINTERFACE); the member exists
  /// (DISP_E_MEMBERNOTFOUND); `flags` allow its kind (DISP_E_MEMBERNOTFOUND; a get may also be
  /// called as a method, as JScript calls `list.Item(1)`); the argument count is the member's
  /// (DISP_E_BADPARAMCOUNT); a put names its value DISPID_PROPERTYPUT
  /// (DISP_E_PARAMNOTOPTIONAL); other named arguments are argument positions as GetIDsOfNames
  /// gives them (DISP_E_PARAMNOTFOUND otherwise); no argument is a missing optional one
  /// (DISP_E_PARAMNOTOPTIONAL). Then converts each argument with VariantChangeType
  /// (DISP_E_TYPEMISMATCH, or E_OUTOFMEMORY, with `argError` set to the argument's index in
  /// `rgvarg`), calls the member and hands back its HRESULT. `result`, when given, is
  /// initialised to VT_EMPTY first (its old contents are the caller's) and receives the
  /// member's result; without it the result is released. Never throws.
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
