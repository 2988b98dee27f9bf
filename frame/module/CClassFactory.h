// CClassFactory.h -- the class object that creates instances of one object-map entry.
#pragma once

#include <atomic>

#include "frame/automation/IClassFactory.h"
#include "frame/module/ObjectMap.h"

/// IClassFactory for one class. The module caches one instance per entry and keeps it until the
/// library ends; that cached reference is the first one. Every further reference (one a host
/// holds between DllGetClassObject and Release) holds one module lock, so the library is not
/// unloaded under a host that still holds its class object. The count is atomic because hosts
/// may use the class object from several threads.
class CClassFactory final : public IClassFactory {
public:
  /// A class object for `entry`, with one reference (the cache's). Null when out of memory.
  static CClassFactory* Create(const ObjectMapEntry& entry) noexcept;

  /// IUnknown and IClassFactory; anything else is E_NOINTERFACE.
  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  /// `object` null: E_POINTER. `*object` is set to null first. `outer` with any `iid` other than
  /// IID_IUnknown: CLASS_E_NOAGGREGATION. Otherwise the entry's creator's result; out of memory
  /// is E_OUTOFMEMORY. The new object holds its own module lock for its lifetime.
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  /// TRUE adds one to the module's lock count, FALSE takes one away; always S_OK.
  HRESULT LockServer(BOOL lock) override;

private:
  explicit CClassFactory(const ObjectMapEntry& entry) noexcept : entry_(entry) {}
  ~CClassFactory() = default;

  const ObjectMapEntry& entry_;
  std::atomic<ULONG> referenceCount_{1};
};
