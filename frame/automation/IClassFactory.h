// IClassFactory.h -- the class object's interface: creates instances of one class.
#pragma once

#include "frame/automation/IUnknown.h"

/// Vtable order after IUnknown: CreateInstance, LockServer.
struct IClassFactory : IUnknown {
  /// Creates one object, aggregated inside `outer` when it is not null, and queries it for `iid`.
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
  /// TRUE keeps the module loaded (one more count), FALSE drops that count again.
  virtual HRESULT LockServer(BOOL lock) = 0;

protected:
  ~IClassFactory() = default;
};
