// EchoComponent.cpp -- a test component (libbrevik_echo.so) that hands back what it is given, so
// that a language binding's conversions, errors and object lifetimes can be checked exactly.
//
// Class "Brevik.Echo", members (names without regard to case):
//   Echo(value)     -> the value itself, its VARIANT type unchanged
//   TypeOf(value)   -> the VARIANT type the binding made of the value (VT_I4)
//   Value           -> a stored value (get and put)
//   Fail()          -> raises DISP_E_EXCEPTION with the description "The echo was told to fail"
//                      and the code E_FAIL
//   Make()          -> a new Echo object
//   Live            -> how many Echo objects are alive in this library (VT_I4)
#include <atomic>
#include <cctype>
#include <string>

#include "frame/automation/IClassFactory.h"
#include "frame/automation/IDispatch.h"
#include "frame/automation/TextConversion.h"

#define ECHO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// {6F1D0C2A-5B1E-4E57-9A43-2C71B0E4D901}
constexpr CLSID kEchoClassId = {0x6F1D0C2A, 0x5B1E, 0x4E57, {0x9A, 0x43, 0x2C, 0x71, 0xB0, 0xE4, 0xD9, 0x01}};

std::atomic<long> liveObjects{0};

enum : DISPID { kEcho = 1, kTypeOf, kValue, kFail, kMake, kLive };

struct Member {
  const char* name;
  DISPID id;
};
constexpr Member kMembers[] = {{"echo", kEcho}, {"typeof", kTypeOf}, {"value", kValue},
                               {"fail", kFail}, {"make", kMake},     {"live", kLive}};

std::string Lowercase(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

class EchoObject final : public IDispatch {
public:
  EchoObject() {
    VariantInit(&value_);
    ++liveObjects;
  }
  ~EchoObject() {
    VariantClear(&value_);
    --liveObjects;
  }

  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch)) return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (count == 0 || !names || !ids) return E_INVALIDARG;
    const std::string name = Lowercase(Utf16ToUtf8(names[0]));
    for (const Member& member : kMembers) {
      if (name == member.name) {
        ids[0] = member.id;
        return S_OK;
      }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                 UINT*) override {
    const UINT count = params ? params->cArgs : 0;
    // Methods answer method calls only, as an object with typed members does; a late-bound
    // client that reads a member as a property first learns from this that it is a method.
    const bool method = id == kEcho || id == kTypeOf || id == kFail || id == kMake;
    if (method && !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    switch (id) {
      case kEcho:
        if (count != 1) return DISP_E_BADPARAMCOUNT;
        return result ? VariantCopy(result, &params->rgvarg[0]) : S_OK;
      case kTypeOf:
        if (count != 1) return DISP_E_BADPARAMCOUNT;
        if (result) {
          VariantClear(result);
          result->vt = VT_I4;
          result->lVal = params->rgvarg[0].vt;
        }
        return S_OK;
      case kValue:
        if (flags & DISPATCH_PROPERTYPUT) return count == 1 ? VariantCopy(&value_, &params->rgvarg[0]) : DISP_E_BADPARAMCOUNT;
        return result ? VariantCopy(result, &value_) : S_OK;
      case kFail:
        if (exception) {
          *exception = EXCEPINFO{};
          exception->bstrSource = BstrFromUtf8("Brevik.Echo");
          exception->bstrDescription = BstrFromUtf8("The echo was told to fail");
          exception->scode = E_FAIL;
        }
        return DISP_E_EXCEPTION;
      case kMake:
        if (result) {
          VariantClear(result);
          result->vt = VT_DISPATCH;
          result->pdispVal = new EchoObject();
          result->pdispVal->AddRef();
        }
        return S_OK;
      case kLive:
        if (result) {
          VariantClear(result);
          result->vt = VT_I4;
          result->lVal = static_cast<LONG>(liveObjects.load());
        }
        return S_OK;
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

private:
  std::atomic<ULONG> references_{0};
  VARIANT value_;
};

class EchoFactory final : public IClassFactory {
public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  // The factory is static: it lives as long as the library.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* echo = new EchoObject();
    echo->AddRef();
    const HRESULT hr = echo->QueryInterface(iid, object);
    echo->Release();
    return hr;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

EchoFactory factory;

}  // namespace

ECHO_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!IsEqualGUID(clsid, kEchoClassId)) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(iid, object);
}

ECHO_EXPORT HRESULT DllCanUnloadNow() { return liveObjects.load() == 0 ? S_OK : S_FALSE; }
