// CBrevikModule.h -- the loaded library's state: its class-object cache, guarded by its lock.
#pragma once

#include <mutex>

#include "frame/automation/IClassFactory.h"
#include "frame/module/ObjectMap.h"

/// One per loaded library. Hands out the class objects of the object map, creating each on its
/// first request under the module's lock (hosts may ask from several threads at once) and
/// keeping it until Term. Its members are trivially destructible, so the state stays valid
/// whatever order the runtime tears the library down in.
class CBrevikModule {
public:
  /// The library's module.
  static CBrevikModule& Instance() noexcept;

  /// Marks the module usable; called when the library starts.
  void Init() noexcept;
  /// Releases every cached class object; later class-object requests get E_UNEXPECTED. Called
  /// when the library ends.
  void Term() noexcept;

  /// DllGetClassObject's work: `object` null is E_POINTER; `*object` is set to null first; a
  /// class not in the object map is CLASS_E_CLASSNOTAVAILABLE; out of memory E_OUTOFMEMORY;
  /// otherwise the cached class object queried for `iid`.
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) noexcept;

  /// S_OK when no object, lock or outside class-object reference is alive, else S_FALSE.
  HRESULT CanUnloadNow() const noexcept;

  constexpr CBrevikModule() noexcept = default;
  CBrevikModule(const CBrevikModule&) = delete;
  CBrevikModule& operator=(const CBrevikModule&) = delete;

private:
  std::mutex lock_;
  bool terminated_ = false;
  /// One reference each, owned by the module from creation until Term.
  IClassFactory* classObjects_[kObjectMapEntries] = {};
};
