// DispatchObject.cpp -- late-bound member calls through GetIDsOfNames and Invoke.
#include "tools/DispatchObject.h"

#include <cstdio>

#include "frame/automation/TextConversion.h"

namespace {

std::string DescribeCode(HRESULT code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

// US English, as the type library's locale is.
constexpr LCID kLocale = 1033;

}  // namespace

DispatchError::DispatchError(const std::string& member, HRESULT code)
    : std::runtime_error("the component refused '" + member + "' with " + DescribeCode(code)), code_(code) {}

DispatchObject::~DispatchObject() {
  if (object_) object_->Release();
}

DispatchObject DispatchObject::FromVariant(const VariantValue& value) {
  const VARIANT* v = value.get();
  if (v->vt == VT_DISPATCH && v->pdispVal) {
    v->pdispVal->AddRef();
    return DispatchObject(v->pdispVal);
  }
  if (v->vt == VT_UNKNOWN && v->punkVal) {
    void* dispatch = nullptr;
    if (SUCCEEDED(v->punkVal->QueryInterface(IID_IDispatch, &dispatch)))
      return DispatchObject(static_cast<IDispatch*>(dispatch));
  }
  return DispatchObject(nullptr);
}

DISPID DispatchObject::Lookup(const std::string& name) {
  if (!object_) throw DispatchError(name, E_POINTER);
  std::u16string wide = Utf8ToUtf16(name);
  LPOLESTR names[1] = {wide.data()};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, kLocale, &id);
  if (FAILED(hr)) throw DispatchError(name, hr);
  return id;
}

VariantValue DispatchObject::Invoke(DISPID id, const std::string& name, WORD flags,
                                    const std::vector<const VariantValue*>& arguments) {
  if (!object_) throw DispatchError(name, E_POINTER);
  // Invoke takes the arguments last to first and may not change them; copies keep ours intact.
  std::vector<VARIANT> reversed(arguments.size());
  for (VARIANT& slot : reversed) VariantInit(&slot);
  struct ClearAll {
    std::vector<VARIANT>& values;
    ~ClearAll() {
      for (VARIANT& v : values) VariantClear(&v);
    }
  } clearAll{reversed};
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const HRESULT copied = VariantCopy(&reversed[arguments.size() - 1 - i], arguments[i]->get());
    if (FAILED(copied)) throw DispatchError(name, copied);
  }
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  VariantValue result;
  UINT argError = 0;
  const HRESULT hr = object_->Invoke(id, IID_NULL, kLocale, flags, &params,
                                     flags == DISPATCH_PROPERTYPUT ? nullptr : result.get(), nullptr, &argError);
  if (FAILED(hr)) throw DispatchError(name, hr);
  return result;
}

void DispatchObject::Put(const std::string& name, const VariantValue& value) {
  Invoke(Lookup(name), name, DISPATCH_PROPERTYPUT, {&value});
}

VariantValue DispatchObject::Get(const std::string& name, const std::vector<const VariantValue*>& arguments) {
  return Invoke(Lookup(name), name, DISPATCH_PROPERTYGET, arguments);
}

VariantValue DispatchObject::GetById(DISPID id, const std::string& name) {
  return Invoke(id, name, DISPATCH_PROPERTYGET, {});
}

VariantValue DispatchObject::Call(const std::string& name, const std::vector<const VariantValue*>& arguments) {
  return Invoke(Lookup(name), name, DISPATCH_METHOD, arguments);
}
