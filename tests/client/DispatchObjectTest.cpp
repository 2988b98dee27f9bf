// DispatchObjectTest.cpp -- the late-bound client: cached names, argument order, errors, threads.
#include "client/DispatchObject.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "client/Enumerator.h"
#include "client/ResultText.h"
#include "frame/automation/TextConversion.h"

namespace {

/// A scripted object: "Join" gives its arguments as text in the order it receives them in
/// rgvarg, "Boom" raises an exception with a description, every other name is unknown. Counts
/// its name look-ups and lives on the test's stack.
class ScriptedObject final : public IDispatch {
public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    *object = (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) ? this : nullptr;
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
    ++lookups;
    const std::string name = Utf16ToUtf8(names[0]);
    *ids = name == "Join" ? 1 : name == "Boom" ? 2 : DISPID_UNKNOWN;
    return *ids == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                 UINT* argError) override {
    lastFlags = flags;
    if (id == 2) {
      exception->bstrDescription = BstrFromUtf8("it went boom");
      exception->scode = E_FAIL;
      return DISP_E_EXCEPTION;
    }
    std::string joined;
    for (UINT i = 0; i < params->cArgs; ++i) {
      if (params->rgvarg[i].vt != VT_BSTR) {
        *argError = i;
        return DISP_E_TYPEMISMATCH;
      }
      joined += Utf8FromBstr(params->rgvarg[i].bstrVal);
    }
    if (params->cNamedArgs == 1) joined += params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT ? "(put)" : "(?)";
    if (result) {
      result->vt = VT_BSTR;
      result->bstrVal = BstrFromUtf8(joined);
    }
    return S_OK;
  }

  ULONG references = 1;
  int lookups = 0;
  WORD lastFlags = 0;
};

}  // namespace

TEST(DispatchObject, NamesAreLookedUpOnceAndArgumentsGoLastToFirst) {
  ScriptedObject scripted;
  {
    scripted.AddRef();
    DispatchObject object(&scripted);
    const VariantValue a = VariantValue::Text("a"), b = VariantValue::Text("b");
    EXPECT_EQ("ba", object.Call("Join", {&a, &b}).AsText());
    EXPECT_EQ(DISPATCH_METHOD, scripted.lastFlags);
    EXPECT_EQ("b", object.Get("Join", {&b}).AsText());
    object.Put("Join", a);
    EXPECT_EQ(DISPATCH_PROPERTYPUT, scripted.lastFlags);
    EXPECT_EQ(1, scripted.lookups);
    // The caller's values are untouched by the call: they still hold their texts.
    EXPECT_EQ("a", a.AsText());
  }
  EXPECT_EQ(1u, scripted.references);  // the holder released what it adopted
}

TEST(DispatchObject, FailuresCarryTheCodeTheDescriptionAndTheArgument) {
  ScriptedObject scripted;
  scripted.AddRef();
  DispatchObject object(&scripted);
  try {
    object.Call("Nope");
    FAIL() << "no error";
  } catch (const DispatchError& error) {
    EXPECT_EQ(DISP_E_UNKNOWNNAME, error.code());
    EXPECT_EQ("Unknown name.", error.description());
    EXPECT_STREQ("the component refused 'Nope' with 0x80020006", error.what());
  }
  try {
    object.Call("Boom");
    FAIL() << "no error";
  } catch (const DispatchError& error) {
    EXPECT_EQ(E_FAIL, error.code());
    EXPECT_EQ("it went boom", error.description());
  }
  const VariantValue text = VariantValue::Text("x"), number = VariantValue::Long(3);
  try {
    object.Call("Join", {&number, &text});
    FAIL() << "no error";
  } catch (const DispatchError& error) {
    EXPECT_EQ(DISP_E_TYPEMISMATCH, error.code());
    EXPECT_EQ(0u, error.argumentIndex());  // the first argument as the caller wrote it
  }
  EXPECT_EQ("Unknown error 0x80001234", DescribeResult(static_cast<HRESULT>(0x80001234u)));
}

TEST(DispatchObject, AnObjectBelongsToTheThreadThatMadeIt) {
  ScriptedObject scripted;
  scripted.AddRef();
  DispatchObject object(&scripted);
  HRESULT otherThread = S_OK;
  std::thread([&] {
    try {
      object.Call("Join");
    } catch (const DispatchError& error) {
      otherThread = error.code();
    }
  }).join();
  EXPECT_EQ(RPC_E_WRONG_THREAD, otherThread);
  EXPECT_EQ(0, scripted.lookups);  // refused before it reached the object
  EXPECT_EQ("", object.Call("Join").AsText());
}

TEST(DispatchObject, IntegersTakeThirtyTwoBitsWhenTheyFit) {
  EXPECT_EQ(VT_I4, VariantValue::Integer(-2147483648LL).type());
  EXPECT_EQ(VT_I8, VariantValue::Integer(2147483648LL).type());
  EXPECT_EQ(2147483648LL, VariantValue::Integer(2147483648LL).get()->llVal);
}
