// IEntryOutcome.h -- what became of one listed entry, for in-process clients; not in the type library.
#pragma once

#include "frame/automation/Bstr.h"
#include "frame/automation/IUnknown.h"

/// Answered by a listing entry's QueryInterface, next to IUnZipEntries. Scripts reach entries by
/// name through IDispatch only, so this adds nothing a script sees; a client written in C++ (the
/// `brevik` command) asks for it to say why an entry was not extracted.
struct IEntryOutcome : IUnknown {
  /// Why UnZip did not write the entry, as a phrase ("a symbolic link in the target is in the
  /// way"); empty when it was written or not asked to be. S_OK; E_POINTER for a null `value`;
  /// E_OUTOFMEMORY when the string cannot be made.
  virtual HRESULT get_NotExtractedReason(BSTR* value) = 0;

protected:
  ~IEntryOutcome() = default;
};

extern const IID IID_IEntryOutcome;
