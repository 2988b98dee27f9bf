// ActivationHostTest.cpp -- a host that creates "Brevik.ZIP" through the registry and dlopen.
//
// This program links the automation layer and the activation helper only: the component is
// reached solely through libbrevik.so, found through a scratch registry file.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "frame/automation/ComPtr.h"
#include "frame/automation/DispParams.h"
#include "frame/automation/IDispatch.h"
#include "frame/automation/ScopedVariant.h"
#include "frame/automation/UniqueBstr.h"
#include "frame/module/activation/ComponentActivator.h"
#include "frame/module/activation/InprocServer.h"
#include "hosting/RegistryStore.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

using brevik::test::RunCommand;
using brevik::test::ScratchDir;
using brevik::test::ShellQuote;
using brevik::test::WriteFileBytes;

namespace {

const std::string kLibraryPath = BREVIK_LIBRARY_PATH;

/// Points BREVIK_REGISTRY at the scratch registry for one test; the library reads it when it
/// registers itself.
class RegistryEnvironment {
public:
  explicit RegistryEnvironment(const std::string& path) {
    const char* saved = std::getenv("BREVIK_REGISTRY");
    hadValue_ = saved != nullptr;
    if (hadValue_) saved_ = saved;
    setenv("BREVIK_REGISTRY", path.c_str(), 1);
  }
  ~RegistryEnvironment() {
    if (hadValue_) {
      setenv("BREVIK_REGISTRY", saved_.c_str(), 1);
    } else {
      unsetenv("BREVIK_REGISTRY");
    }
  }

private:
  bool hadValue_ = false;
  std::string saved_;
};

bool LibraryIsLoaded() {
  void* handle = dlopen(kLibraryPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

/// Late-bound calls by member name, the way a script engine makes them.
class Script {
public:
  explicit Script(IDispatch* object) : object_(object) {}

  HRESULT IdOf(const std::string& name, DISPID& dispid) const {
    UniqueBstr text = UniqueBstr::FromUtf8(name);
    LPOLESTR names[] = {text.Get()};
    return object_->GetIDsOfNames(IID_NULL, names, 1, 1033, &dispid);
  }

  HRESULT Put(const std::string& name, const std::string& text) const {
    DISPID dispid = DISPID_UNKNOWN;
    if (const HRESULT hr = IdOf(name, dispid); FAILED(hr)) return hr;
    ScopedVariant value;
    value->vt = VT_BSTR;
    value->bstrVal = BstrFromUtf8(text);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{value.get(), &named, 1, 1};
    return object_->Invoke(dispid, IID_NULL, 1033, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
  }

  /// A method or property get with the script's arguments in their written order.
  HRESULT Call(const std::string& name, WORD flags, VARIANT* result, std::vector<std::string> arguments = {}) const {
    DISPID dispid = DISPID_UNKNOWN;
    if (const HRESULT hr = IdOf(name, dispid); FAILED(hr)) return hr;
    std::vector<VARIANT> values(arguments.size());
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      VARIANT& value = values[arguments.size() - 1 - i];  // Invoke takes them last first
      VariantInit(&value);
      value.vt = VT_BSTR;
      value.bstrVal = BstrFromUtf8(arguments[i]);
    }
    DISPPARAMS params{values.data(), nullptr, static_cast<UINT>(values.size()), 0};
    const HRESULT hr = object_->Invoke(dispid, IID_NULL, 1033, flags, &params, result, nullptr, nullptr);
    for (VARIANT& value : values) VariantClear(&value);
    return hr;
  }

  /// IsError and ErrorReason as one text: "0" or "1: <reason>".
  std::string Outcome() const {
    ScopedVariant isError;
    ScopedVariant reason;
    if (FAILED(Call("IsError", DISPATCH_PROPERTYGET, isError.get()))) return "IsError failed";
    if (FAILED(Call("ErrorReason", DISPATCH_PROPERTYGET, reason.get()))) return "ErrorReason failed";
    if (isError->vt != VT_I2 || reason->vt != VT_BSTR) return "unexpected result types";
    return isError->iVal == 0 ? "0" : std::to_string(isError->iVal) + ": " + Utf8FromBstr(reason->bstrVal);
  }

private:
  IDispatch* object_;
};

}  // namespace

TEST(ActivationHost, RegistersActivatesDrivesByNameAndUnloads) {
  ScratchDir scratch;
  const std::string registry = scratch / "registry.reg";
  const RegistryEnvironment environment(registry);
  std::string error;
  ASSERT_EQ(S_OK, InprocServer::RegisterLibrary(kLibraryPath, false, error)) << error;
  ASSERT_FALSE(LibraryIsLoaded());  // the registration tool's load is over

  ComponentActivator activator{RegistryStore(registry)};
  CLSID clsid{};
  ASSERT_EQ(S_OK, activator.ClassIdFromProgId("Brevik.ZIP", clsid, error)) << error;
  EXPECT_TRUE(IsEqualCLSID(CLSID_ZIP, clsid));
  ComPtr<IDispatch> zip;
  ASSERT_EQ(S_OK, activator.CreateObject("Brevik.ZIP", zip, error)) << error;
  ComPtr<IDispatch> versioned;
  ASSERT_EQ(S_OK, activator.CreateObject("brevik.zip.1", versioned, error)) << error;
  EXPECT_EQ(1u, activator.LoadedLibraryCount());  // one library serves both
  EXPECT_TRUE(LibraryIsLoaded());

  // Driven by name, as a page script does: zip a file, then list the archive.
  const Script script(zip.Get());
  DISPID dispid = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, script.IdOf("NoSuchMember", dispid));
  ScopedVariant ignored;
  ASSERT_EQ(S_OK, script.Call("list", DISPATCH_METHOD, ignored.get()));
  EXPECT_EQ("1: Please specify the valid ZIP file name", script.Outcome());
  WriteFileBytes(scratch / "page.txt", "hello from the host\n");
  ASSERT_EQ(S_OK, script.Put("ZipFile", scratch / "site.zip"));
  ASSERT_EQ(S_OK, script.Call("Add", DISPATCH_METHOD, nullptr, {scratch / "page.txt"}));
  ASSERT_EQ(S_OK, script.Put("UsePath", "0"));
  ASSERT_EQ(S_OK, script.Call("Zip", DISPATCH_METHOD, nullptr));
  EXPECT_EQ("0", script.Outcome());
  const auto listed = RunCommand("unzip -Z1 " + ShellQuote(scratch / "site.zip"));
  EXPECT_EQ(0, listed.exitStatus) << listed.output;
  EXPECT_EQ("page.txt\n", listed.output);
  ScopedVariant collection;
  ASSERT_EQ(S_OK, script.Call("List", DISPATCH_METHOD, collection.get()));
  EXPECT_EQ("0", script.Outcome());
  ASSERT_EQ(VT_DISPATCH, collection->vt);
  ScopedVariant count;
  ASSERT_EQ(S_OK, Script(collection->pdispVal).Call("Count", DISPATCH_PROPERTYGET, count.get()));
  ASSERT_EQ(VT_I4, count->vt);
  EXPECT_EQ(1, count->lVal);

  // Unloaded only once nothing of the component is alive.
  EXPECT_EQ(1u, activator.FreeUnusedLibraries());
  zip.Reset();
  EXPECT_EQ(1u, activator.FreeUnusedLibraries());  // the listing and the second object remain
  VariantClear(collection.get());
  versioned.Reset();
  EXPECT_EQ(0u, activator.FreeUnusedLibraries());
  EXPECT_FALSE(LibraryIsLoaded());

  // Loaded again on the next request; then unregistered, the name is gone.
  ASSERT_EQ(S_OK, activator.CreateObject("Brevik.ZIP", zip, error)) << error;
  zip.Reset();
  EXPECT_EQ(0u, activator.FreeUnusedLibraries());
  ASSERT_EQ(S_OK, InprocServer::RegisterLibrary(kLibraryPath, true, error)) << error;
  EXPECT_EQ(CO_E_CLASSSTRING, activator.CreateObject("Brevik.ZIP", zip, error));
  EXPECT_EQ("The programmatic identifier \"Brevik.ZIP\" is not registered in " + registry, error);
  EXPECT_FALSE(zip);
  EXPECT_FALSE(LibraryIsLoaded());
}

TEST(ActivationHost, EachBrokenLinkOfTheChainHasItsOwnError) {
  ScratchDir scratch;
  const RegistryStore store(scratch / "registry.reg");
  ComponentActivator activator{store};
  const std::string clsid = GuidToBracedText(CLSID_ZIP);
  const std::string server = "HKEY_CLASSES_ROOT\\CLSID\\" + clsid + "\\InprocServer32";
  ComPtr<IDispatch> object;
  std::string error;

  ASSERT_TRUE(store.SetStringValue("HKEY_CLASSES_ROOT\\Broken.Name\\CLSID", "", "not-a-guid").ok());
  EXPECT_EQ(CO_E_CLASSSTRING, activator.CreateObject("Broken.Name", object, error));
  EXPECT_EQ("The programmatic identifier \"Broken.Name\" names \"not-a-guid\", which is not a class identifier", error);

  ASSERT_TRUE(store.SetStringValue("HKEY_CLASSES_ROOT\\Brevik.ZIP\\CLSID", "", clsid).ok());
  EXPECT_EQ(REGDB_E_CLASSNOTREG, activator.CreateObject("Brevik.ZIP", object, error));
  EXPECT_EQ("The class " + clsid + " of \"Brevik.ZIP\" has no InprocServer32 library registered", error);

  const std::string missing = scratch / "missing/libbrevik.so";
  ASSERT_TRUE(store.SetStringValue(server, "", missing).ok());
  EXPECT_EQ(HRESULT_MOD_NOT_FOUND, activator.CreateObject("Brevik.ZIP", object, error));
  EXPECT_EQ("The library \"" + missing + "\" cannot be loaded: " + missing +
                ": cannot open shared object file: No such file or directory",
            error);

  // A library that loads but is no component.
  ASSERT_TRUE(store.SetStringValue(server, "", "libc.so.6").ok());
  EXPECT_EQ(CO_E_ERRORINDLL, activator.CreateObject("Brevik.ZIP", object, error));
  EXPECT_EQ("The library \"libc.so.6\" does not export DllGetClassObject", error);

  // The real library, asked for a class it does not serve.
  ASSERT_TRUE(store.SetStringValue("HKEY_CLASSES_ROOT\\Brevik.UnZip\\CLSID", "", GuidToBracedText(CLSID_UnZip)).ok());
  ASSERT_TRUE(store.SetStringValue("HKEY_CLASSES_ROOT\\CLSID\\" + GuidToBracedText(CLSID_UnZip) + "\\InprocServer32", "",
                                   kLibraryPath).ok());
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, activator.CreateObject("Brevik.UnZip", object, error));
  EXPECT_EQ("The library \"" + kLibraryPath + "\" gave no class object for " + GuidToBracedText(CLSID_UnZip) +
                ": 0x80040111",
            error);
  EXPECT_EQ(0u, activator.FreeUnusedLibraries());

  WriteFileBytes(store.path(), "REGEDIT4\n[HKEY_CLASSES_ROOT\\Brevik.ZIP]\n@=\n");
  EXPECT_EQ(REGDB_E_READREGDB, activator.CreateObject("Brevik.ZIP", object, error));
  EXPECT_EQ("The registry cannot be read: " + store.path() +
                " line 3: expected a quoted text, dword: or hex: after \"=\"",
            error);

  EXPECT_EQ(HRESULT_MOD_NOT_FOUND, InprocServer::RegisterLibrary(missing, false, error));
  EXPECT_EQ(CO_E_ERRORINDLL, InprocServer::RegisterLibrary("libc.so.6", false, error));
  EXPECT_EQ("The library \"libc.so.6\" does not export DllRegisterServer", error);
}
