// DispatchObject.cpp -- late-bound member calls through GetIDsOfNames and Invoke.
#include "client/DispatchObject.h"

#include "client/Enumerator.h"
#include "frame/automation/IEnumVARIANT.h"
#include "frame/automation/TextConversion.h"

namespace {

// US English, as the type library's locale is.
constexpr LCID kLocale = 1033;

/// Owns the texts an object may leave in an EXCEPINFO.
struct ExceptionRecord {
  EXCEPINFO info{};
  ~ExceptionRecord() {
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  }
};

}  // namespace

DispatchObject::DispatchObject(IDispatch* object) noexcept
    : object_(ComPtr<IDispatch>::Adopt(object)), owner_(std::this_thread::get_id()) {}

DispatchObject DispatchObject::FromVariant(const VARIANT& value) {
  if (value.vt == VT_DISPATCH && value.pdispVal) {
    value.pdispVal->AddRef();
    return DispatchObject(value.pdispVal);
  }
  if (value.vt == VT_UNKNOWN && value.punkVal) {
    void* dispatch = nullptr;
    if (SUCCEEDED(value.punkVal->QueryInterface(IID_IDispatch, &dispatch)))
      return DispatchObject(static_cast<IDispatch*>(dispatch));
  }
  return DispatchObject(nullptr);
}

void DispatchObject::CheckCallable(const std::string& name) const {
  if (!OnOwnerThread()) throw DispatchError(name, RPC_E_WRONG_THREAD);
  if (!object_) throw DispatchError(name, E_POINTER);
}

DISPID DispatchObject::Lookup(const std::string& name) {
  CheckCallable(name);
  if (auto found = ids_.find(name); found != ids_.end()) return found->second;
  std::u16string wide = Utf8ToUtf16(name);
  LPOLESTR names[1] = {wide.data()};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, kLocale, &id);
  if (FAILED(hr)) throw DispatchError(name, hr);
  ids_.emplace(name, id);
  return id;
}

VariantValue DispatchObject::Invoke(DISPID id, const std::string& name, WORD flags, const VARIANT* arguments,
                                    std::size_t count) {
  CheckCallable(name);
  // Invoke takes the arguments last to first. The copies are bitwise and own nothing: the callee
  // only reads its arguments, and the caller's originals release what they hold.
  VARIANT inlineSlots[4];
  std::vector<VARIANT> heapSlots;
  VARIANT* reversed = inlineSlots;
  if (count > 4) {
    heapSlots.resize(count);
    reversed = heapSlots.data();
  }
  for (std::size_t i = 0; i < count; ++i) reversed[count - 1 - i] = arguments[i];
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{count ? reversed : nullptr, nullptr, static_cast<UINT>(count), 0};
  const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
  if (put) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  VariantValue result;
  ExceptionRecord exception;
  UINT argError = 0;
  const HRESULT hr =
      object_->Invoke(id, IID_NULL, kLocale, flags, &params, put ? nullptr : result.get(), &exception.info, &argError);
  if (FAILED(hr)) {
    if (hr == DISP_E_EXCEPTION) {
      const HRESULT raised = exception.info.scode ? exception.info.scode : hr;
      throw DispatchError::Raised(name, raised, Utf8FromBstr(exception.info.bstrDescription),
                                  Utf8FromBstr(exception.info.bstrSource));
    }
    // argError counts from the last argument, as rgvarg does.
    const unsigned position = (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) && argError < count
                                  ? static_cast<unsigned>(count - 1 - argError)
                                  : 0;
    throw DispatchError(name, hr, std::string(), position);
  }
  return result;
}

namespace {

/// The VARIANTs behind `values`, in order, as Invoke reads them (bitwise; the values keep
/// ownership).
std::vector<VARIANT> ArgumentsOf(const std::vector<const VariantValue*>& values) {
  std::vector<VARIANT> arguments;
  arguments.reserve(values.size());
  for (const VariantValue* value : values) arguments.push_back(*value->get());
  return arguments;
}

}  // namespace

void DispatchObject::Put(const std::string& name, const VARIANT& value) {
  Invoke(Lookup(name), name, DISPATCH_PROPERTYPUT, &value, 1);
}

VariantValue DispatchObject::Get(const std::string& name, const std::vector<const VariantValue*>& arguments) {
  const std::vector<VARIANT> values = ArgumentsOf(arguments);
  return Invoke(Lookup(name), name, DISPATCH_PROPERTYGET, values.data(), values.size());
}

VariantValue DispatchObject::GetById(DISPID id, const std::string& name) {
  return Invoke(id, name, DISPATCH_PROPERTYGET, nullptr, 0);
}

VariantValue DispatchObject::Call(const std::string& name, const std::vector<const VariantValue*>& arguments) {
  const std::vector<VARIANT> values = ArgumentsOf(arguments);
  return Invoke(Lookup(name), name, DISPATCH_METHOD, values.data(), values.size());
}

Enumerator DispatchObject::Enumerate() {
  // DISPID_NEWENUM is fixed by the automation contract; no name look-up is needed.
  VariantValue enumValue = Invoke(DISPID_NEWENUM, "_NewEnum", DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr, 0);
  const VARIANT* v = enumValue.get();
  if ((v->vt != VT_UNKNOWN && v->vt != VT_DISPATCH) || !v->punkVal) throw DispatchError("_NewEnum", E_NOINTERFACE);
  ComPtr<IEnumVARIANT> enumerator;
  const HRESULT hr = v->punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(enumerator.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) throw DispatchError("_NewEnum", hr);
  return Enumerator(std::move(enumerator));
}
