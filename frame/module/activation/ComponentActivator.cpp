// ComponentActivator.cpp -- creates objects by programmatic identifier, as CoCreateInstance does.
#include "frame/module/activation/ComponentActivator.h"

#include <cerrno>
#include <cstdio>

#include "frame/automation/IClassFactory.h"

namespace {

constexpr const char* kClassesRoot = "HKEY_CLASSES_ROOT\\";

std::string HexCode(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

/// The default text value of `keyPath`: ENOENT when the key or its default value is missing or
/// is not text.
RegistryResult ReadDefaultText(const RegistryStore& store, const std::string& keyPath, std::string& text) {
  RegistryValue value;
  RegistryResult result = store.QueryValue(keyPath, "", value);
  if (result.ok() && value.type != kRegSz) {
    return RegistryResult::Failure(ENOENT, "the default value of \"" + keyPath + "\" is not text");
  }
  if (result.ok()) text = value.text;
  return result;
}

}  // namespace

ComponentActivator::ComponentActivator() : store_() {}

ComponentActivator::ComponentActivator(RegistryStore store) : store_(std::move(store)) {}

ComponentActivator::~ComponentActivator() { FreeUnusedLibraries(); }

HRESULT ComponentActivator::ClassIdFromProgId(const std::string& progId, CLSID& clsid, std::string& error) const {
  std::string clsidText;
  const RegistryResult result = ReadDefaultText(store_, kClassesRoot + progId + "\\CLSID", clsidText);
  if (result.error == ENOENT || result.error == EINVAL) {
    error = "The programmatic identifier \"" + progId + "\" is not registered in " + store_.path();
    return CO_E_CLASSSTRING;
  }
  if (!result.ok()) {
    error = "The registry cannot be read: " + result.detail;
    return REGDB_E_READREGDB;
  }
  if (!GuidFromBracedText(clsidText, clsid)) {
    error = "The programmatic identifier \"" + progId + "\" names \"" + clsidText + "\", which is not a class identifier";
    return CO_E_CLASSSTRING;
  }
  return S_OK;
}

HRESULT ComponentActivator::CreateObject(const std::string& progId, ComPtr<IDispatch>& object, std::string& error) {
  object.Reset();
  CLSID clsid{};
  if (const HRESULT hr = ClassIdFromProgId(progId, clsid, error); FAILED(hr)) return hr;

  const std::string clsidText = GuidToBracedText(clsid);
  std::string libraryPath;
  const RegistryResult result =
      ReadDefaultText(store_, kClassesRoot + std::string("CLSID\\") + clsidText + "\\InprocServer32", libraryPath);
  if (!result.ok() && result.error != ENOENT) {
    error = "The registry cannot be read: " + result.detail;
    return REGDB_E_READREGDB;
  }
  if (!result.ok() || libraryPath.empty()) {
    error = "The class " + clsidText + " of \"" + progId + "\" has no InprocServer32 library registered";
    return REGDB_E_CLASSNOTREG;
  }

  InprocServer* server = nullptr;
  if (const HRESULT hr = ServerFor(libraryPath, server, error); FAILED(hr)) return hr;

  ComPtr<IClassFactory> factory;
  HRESULT hr = server->GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) {
    error = "The library \"" + libraryPath + "\" gave no class object for " + clsidText + ": " + HexCode(hr);
    return hr;
  }
  hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(object.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) {
    error = "The class object of " + clsidText + " could not create an object: " + HexCode(hr);
    object.Reset();
  }
  return hr;
}

std::size_t ComponentActivator::FreeUnusedLibraries() {
  std::erase_if(servers_, [](const std::unique_ptr<InprocServer>& server) { return server->UnloadIfUnused(); });
  return servers_.size();
}

HRESULT ComponentActivator::ServerFor(const std::string& path, InprocServer*& server, std::string& error) {
  for (const auto& loaded : servers_) {
    if (loaded->path() == path) {
      server = loaded.get();
      return S_OK;
    }
  }
  std::unique_ptr<InprocServer> loaded;
  if (const HRESULT hr = InprocServer::Load(path, loaded, error); FAILED(hr)) return hr;
  servers_.push_back(std::move(loaded));
  server = servers_.back().get();
  return S_OK;
}
