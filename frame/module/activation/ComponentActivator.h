// ComponentActivator.h -- creates objects by programmatic identifier, as CoCreateInstance does.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "frame/automation/ComPtr.h"
#include "frame/automation/IDispatch.h"
#include "frame/module/activation/InprocServer.h"
#include "hosting/RegistryStore.h"

/// What a host links to create "Brevik.ZIP" without linking the component: the programmatic
/// identifier's CLSID value under HKEY_CLASSES_ROOT, that class's InprocServer32 library, dlopen,
/// DllGetClassObject, IClassFactory::CreateInstance, and the object's IDispatch. Libraries stay
/// loaded (one per path) until FreeUnusedLibraries finds them unused or the activator ends. One
/// activator belongs to one thread at a time.
class ComponentActivator {
public:
  /// Reads the registry at RegistryStore::DefaultPath().
  ComponentActivator();
  /// Reads the registry in `store`.
  explicit ComponentActivator(RegistryStore store);
  /// Unloads each library that answers DllCanUnloadNow with S_OK; the others stay loaded.
  ~ComponentActivator();
  ComponentActivator(const ComponentActivator&) = delete;
  ComponentActivator& operator=(const ComponentActivator&) = delete;

  /// The class identifier registered for `progId` (matched without regard to case). On failure
  /// `error` says why: CO_E_CLASSSTRING for a name that is not registered or whose CLSID value
  /// is not a class identifier, REGDB_E_READREGDB when the registry cannot be read.
  HRESULT ClassIdFromProgId(const std::string& progId, CLSID& clsid, std::string& error) const;

  /// A new object of the class registered for `progId`, as its IDispatch. Besides the failures
  /// of ClassIdFromProgId: REGDB_E_CLASSNOTREG when the class names no library,
  /// HRESULT_MOD_NOT_FOUND or CO_E_ERRORINDLL when the library cannot be loaded or lacks an
  /// export, and the failure of DllGetClassObject or CreateInstance. `error` is set on failure.
  HRESULT CreateObject(const std::string& progId, ComPtr<IDispatch>& object, std::string& error);

  /// Unloads every library whose DllCanUnloadNow answers S_OK; returns how many stay loaded.
  std::size_t FreeUnusedLibraries();

  /// The libraries loaded and not yet freed, in the order they were loaded.
  const std::vector<std::unique_ptr<InprocServer>>& servers() const { return servers_; }

  /// The libraries loaded and not yet freed.
  std::size_t LoadedLibraryCount() const { return servers_.size(); }

private:
  /// The loaded server for `path` into `server`, loading it on first use; InprocServer::Load's
  /// failure otherwise.
  HRESULT ServerFor(const std::string& path, InprocServer*& server, std::string& error);

  RegistryStore store_;
  std::vector<std::unique_ptr<InprocServer>> servers_;
};
