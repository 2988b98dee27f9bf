// ScriptDispatch.h -- calling an object the way a page script does: by name, through IDispatch.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/automation/ComPtr.h"
#include "frame/automation/IDispatch.h"
#include "frame/automation/ScopedVariant.h"
#include "frame/automation/TextConversion.h"
#include "frame/automation/UniqueBstr.h"

namespace brevik::test {

/// A VARIANT argument owning its contents.
inline ScopedVariant TextArg(const std::u16string& text) {
  ScopedVariant value;
  value->vt = VT_BSTR;
  value->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return value;
}
inline ScopedVariant TextArg(const std::string& utf8) { return TextArg(Utf8ToUtf16(utf8)); }
inline ScopedVariant TextArg(const char* utf8) { return TextArg(std::string(utf8)); }
/// VT_BSTR holding a null pointer: the script's null string.
inline ScopedVariant NullStringArg() {
  ScopedVariant value;
  value->vt = VT_BSTR;
  value->bstrVal = nullptr;
  return value;
}
inline ScopedVariant LongArg(LONG number) {
  ScopedVariant value;
  value->vt = VT_I4;
  value->lVal = number;
  return value;
}
inline ScopedVariant TypedArg(VARTYPE type) {
  ScopedVariant value;
  value->vt = type;
  return value;
}

/// Late-bound calls on one object, as a script engine makes them.
class ScriptObject {
public:
  explicit ScriptObject(IDispatch* object) : object_(object) {}

  IDispatch* get() const { return object_.Get(); }

  /// GetIDsOfNames for one name; DISPID_UNKNOWN when the name is unknown.
  DISPID IdOf(const std::u16string& name, HRESULT* hr = nullptr) const {
    std::u16string copy = name;
    LPOLESTR names[] = {copy.data()};
    DISPID id = 0;
    const HRESULT result = object_->GetIDsOfNames(IID_NULL, names, 1, 1033, &id);
    if (hr) *hr = result;
    return SUCCEEDED(result) ? id : DISPID_UNKNOWN;
  }

  /// Invokes `name` with `arguments` in the order the script writes them. A put passes its
  /// value as the named argument DISPID_PROPERTYPUT, as script engines do.
  HRESULT Invoke(const std::u16string& name, WORD flags, std::vector<ScopedVariant*> arguments,
                 VARIANT* result = nullptr, UINT* argError = nullptr) const {
    HRESULT hr = S_OK;
    const DISPID id = IdOf(name, &hr);
    if (FAILED(hr)) return hr;
    return InvokeId(id, flags, std::move(arguments), result, argError);
  }

  HRESULT InvokeId(DISPID id, WORD flags, std::vector<ScopedVariant*> arguments,
                   VARIANT* result = nullptr, UINT* argError = nullptr) const {
    std::vector<VARIANT> reversed;
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) reversed.push_back(*(*it)->get());
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
      params.rgdispidNamedArgs = &putId;
      params.cNamedArgs = 1;
    }
    return object_->Invoke(id, IID_NULL, 1033, flags, &params, result, nullptr, argError);
  }

  /// obj.name = value
  HRESULT Put(const std::u16string& name, ScopedVariant value) const {
    return Invoke(name, DISPATCH_PROPERTYPUT, {&value});
  }
  HRESULT Put(const std::u16string& name, const char* utf8) const { return Put(name, TextArg(utf8)); }
  HRESULT Put(const std::u16string& name, LONG number) const { return Put(name, LongArg(number)); }

  /// obj.name(arguments...) as a statement: VBScript asks for a method or a get at once.
  HRESULT Call(const std::u16string& name, std::vector<ScopedVariant*> arguments = {},
               VARIANT* result = nullptr) const {
    return Invoke(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(arguments), result);
  }
  HRESULT Call(const std::u16string& name, const char* utf8) const {
    ScopedVariant value = TextArg(utf8);
    return Call(name, {&value});
  }

  /// The value of a get, as a VARIANT.
  ScopedVariant Get(const std::u16string& name) const {
    ScopedVariant value;
    EXPECT_EQ(Invoke(name, DISPATCH_PROPERTYGET, {}, value.get()), S_OK) << "get " << Utf16ToUtf8(name);
    return value;
  }
  /// A BSTR get's text in UTF-8 ("<not a string>" when it is none).
  std::string GetText(const std::u16string& name) const {
    ScopedVariant value = Get(name);
    if (value->vt != VT_BSTR) return "<not a string>";
    return Utf8FromBstr(value->bstrVal);
  }
  /// A short get's value (-99 when it is none).
  SHORT GetShort(const std::u16string& name) const {
    ScopedVariant value = Get(name);
    return value->vt == VT_I2 ? value->iVal : SHORT{-99};
  }

private:
  ComPtr<IDispatch> object_;
};

}  // namespace brevik::test
