// IUnknown.h -- the root interface: interface negotiation and reference counting.
#pragma once

#include "frame/automation/ComTypes.h"
#include "frame/automation/Guid.h"
#include "frame/automation/HResult.h"

/// Vtable order: QueryInterface, AddRef, Release. Every interface of the component derives
/// from it with single inheritance, so a pointer to any of them is also an IUnknown pointer.
struct IUnknown {
  /// Sets `*object` to a counted reference for `iid`, or to null with E_NOINTERFACE.
  /// E_POINTER when `object` is null.
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  /// Adds one reference; returns the new count (for diagnostics only).
  virtual ULONG AddRef() = 0;
  /// Drops one reference; the object is destroyed when the count reaches zero.
  virtual ULONG Release() = 0;

protected:
  // Objects are destroyed through Release only.
  ~IUnknown() = default;
};
