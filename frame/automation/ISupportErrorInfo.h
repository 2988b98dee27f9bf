// ISupportErrorInfo.h -- tells a caller on which interfaces rich error information may be asked.
#pragma once

#include "frame/automation/IUnknown.h"

/// Vtable order after IUnknown: InterfaceSupportsErrorInfo.
struct ISupportErrorInfo : IUnknown {
  /// S_OK for the object's own automation interface, S_FALSE for any other.
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID iid) = 0;

protected:
  ~ISupportErrorInfo() = default;
};
