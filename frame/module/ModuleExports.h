// ModuleExports.h -- the entry points libbrevik.so exports, with C linkage.
#pragma once

#include "frame/automation/Guid.h"
#include "frame/automation/HResult.h"
#include "hosting/HostProgress.h"
#include "hosting/PageRequest.h"

#define BREVIK_EXPORT __attribute__((visibility("default")))

extern "C" {

/// The class object of `clsid` queried for `iid` into `*object`: CLASS_E_CLASSNOTAVAILABLE for
/// any class but ZIP (the listing classes included), E_POINTER for a null `object`. The class
/// object is made on the first request and the same one is handed out until the library ends.
BREVIK_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object);

/// S_OK when no object of the component, no LockServer lock and no class-object reference of a
/// host is alive, so that the library may be unloaded; S_FALSE otherwise.
BREVIK_EXPORT HRESULT DllCanUnloadNow();

/// Registers the ZIP class and the type library in the registry file ($BREVIK_REGISTRY, else
/// /etc/brevik/registry.reg) with this library's full path; S_OK or the failure's HRESULT (see
/// ComponentRegistrar::ToHResult).
BREVIK_EXPORT HRESULT DllRegisterServer();

/// Removes what DllRegisterServer wrote, keeping the "CLSID" key itself; S_OK or the failure's
/// HRESULT.
BREVIK_EXPORT HRESULT DllUnregisterServer();

/// Installs `request` (null removes it) as the page request of the calling thread, for every call
/// into the component that this thread makes until it is exchanged again, and gives back the one
/// installed before. A host in another module (a language binding) calls it on the way into each
/// object call and again with the previous request on the way out; the request stays the host's
/// and must outlive its installation. The slot is per thread and the same one that a host linking
/// the component statically fills with ScopedPageRequest.
BREVIK_EXPORT const PageRequest* BrevikExchangePageRequest(const PageRequest* request);

/// Installs `progress` (null removes it) as the calling thread's view of the Zip, UnZip and
/// Extract operations it runs, and gives back the one installed before: the host sees each
/// entry begin and its bytes go by, and stops the operation by answering false (Ctrl-C in the
/// brevik command). The view stays the host's and must outlive its installation.
BREVIK_EXPORT HostProgress* BrevikExchangeHostProgress(HostProgress* progress);

}  // extern "C"

