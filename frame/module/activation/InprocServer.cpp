// InprocServer.cpp -- a component library loaded into a host with dlopen, and its entry points.
#include "frame/module/activation/InprocServer.h"

#include <dlfcn.h>

#include <cstdio>


namespace {

/// dlsym's result as a function pointer; POSIX guarantees the conversion for dlsym.
template <class Function>
Function FindExport(void* handle, const char* name) {
  void* symbol = dlsym(handle, name);
  Function function = nullptr;
  static_assert(sizeof function == sizeof symbol);
  __builtin_memcpy(&function, &symbol, sizeof function);
  return function;
}

std::string LoaderError() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown loader error";
}

std::string HexCode(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

}  // namespace

InprocServer::InprocServer(LoadedTag, std::string path, void* handle, GetClassObjectFunction getClassObject,
                           CanUnloadNowFunction canUnloadNow,
                           ExchangePageRequestFunction exchangePageRequest) noexcept
    : path_(std::move(path)),
      handle_(handle),
      getClassObject_(getClassObject),
      canUnloadNow_(canUnloadNow),
      exchangePageRequest_(exchangePageRequest) {}

HRESULT InprocServer::Load(const std::string& path, std::unique_ptr<InprocServer>& server, std::string& error) {
  server.reset();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    error = "The library \"" + path + "\" cannot be loaded: " + LoaderError();
    return HRESULT_MOD_NOT_FOUND;
  }
  const auto getClassObject = FindExport<GetClassObjectFunction>(handle, "DllGetClassObject");
  const auto canUnloadNow = FindExport<CanUnloadNowFunction>(handle, "DllCanUnloadNow");
  if (getClassObject == nullptr || canUnloadNow == nullptr) {
    error = "The library \"" + path + "\" does not export " +
            (getClassObject == nullptr ? "DllGetClassObject" : "DllCanUnloadNow");
    dlclose(handle);
    return CO_E_ERRORINDLL;
  }
  // Optional: a library without page requests serves hosts that have none.
  const auto exchangePageRequest = FindExport<ExchangePageRequestFunction>(handle, "BrevikExchangePageRequest");
  server = std::make_unique<InprocServer>(LoadedTag{}, path, handle, getClassObject, canUnloadNow, exchangePageRequest);
  return S_OK;
}

HRESULT InprocServer::RegisterLibrary(const std::string& path, bool unregister, std::string& error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    error = "The library \"" + path + "\" cannot be loaded: " + LoaderError();
    return HRESULT_MOD_NOT_FOUND;
  }
  const char* name = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  const auto entry = FindExport<HRESULT (*)()>(handle, name);
  HRESULT hr = CO_E_ERRORINDLL;
  if (entry == nullptr) {
    error = "The library \"" + path + "\" does not export " + name;
  } else {
    hr = entry();
    if (FAILED(hr)) error = std::string(name) + " of \"" + path + "\" failed with " + HexCode(hr);
  }
  dlclose(handle);
  return hr;
}

InprocServer::~InprocServer() { UnloadIfUnused(); }

const PageRequest* InprocServer::ExchangePageRequest(const PageRequest* request) const {
  if (handle_ == nullptr || exchangePageRequest_ == nullptr) return nullptr;
  return exchangePageRequest_(request);
}

HRESULT InprocServer::GetClassObject(REFCLSID clsid, REFIID iid, void** object) const {
  if (handle_ == nullptr) return E_UNEXPECTED;
  return getClassObject_(clsid, iid, object);
}

HRESULT InprocServer::CanUnloadNow() const { return handle_ == nullptr ? S_OK : canUnloadNow_(); }

bool InprocServer::UnloadIfUnused() {
  if (handle_ == nullptr) return true;
  if (canUnloadNow_() != S_OK) return false;
  dlclose(handle_);
  handle_ = nullptr;
  return true;
}
