// ModuleExports.cpp -- the entry points libbrevik.so exports, with C linkage.
#include "frame/module/ModuleExports.h"

#include <new>

#include "frame/module/CBrevikModule.h"
#include "frame/module/ComponentRegistrar.h"
#include "hosting/ScopedPageRequest.h"

extern "C" {

HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return CBrevikModule::Instance().GetClassObject(clsid, iid, object);
}

HRESULT DllCanUnloadNow() { return CBrevikModule::Instance().CanUnloadNow(); }

HRESULT DllRegisterServer() {
  // No C++ exception may cross the C boundary into the host.
  try {
    return ComponentRegistrar::ToHResult(ComponentRegistrar::Register(RegistryStore(), ComponentRegistrar::LoadedModulePath()));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DllUnregisterServer() {
  try {
    return ComponentRegistrar::ToHResult(ComponentRegistrar::Unregister(RegistryStore()));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

const PageRequest* BrevikExchangePageRequest(const PageRequest* request) { return ScopedPageRequest::Exchange(request); }

HostProgress* BrevikExchangeHostProgress(HostProgress* progress) { return ExchangeHostProgress(progress); }

}  // extern "C"
