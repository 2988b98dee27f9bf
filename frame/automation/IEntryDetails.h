// IEntryDetails.h -- an entry's central-header facts for verbose listings; not in the type library.
#pragma once

#include "frame/automation/ComTypes.h"
#include "frame/automation/IUnknown.h"

/// The facts `unzip -v` shows of an entry, from its central header (APPNOTE 4.4).
struct EntryDetails {
  ULONGLONG compressedBytes = 0;  ///< compressed size, with a 12-byte encryption header when encrypted
  ULONG crc32 = 0;            ///< CRC-32 of the uncompressed data
  USHORT method = 0;          ///< compression method: 0 stored, 8 deflated, others as the note numbers them
  USHORT dosDate = 0;         ///< last modification date, MS-DOS format
  USHORT dosTime = 0;         ///< last modification time, MS-DOS format (2-second steps)
};

/// Answered by a listing entry's QueryInterface, next to IUnZipEntries. Scripts reach entries by
/// name through IDispatch only, so this adds nothing a script sees; a client written in C++ (the
/// `brevik list -v` listing) asks for it.
struct IEntryDetails : IUnknown {
  /// Fills `details`; S_OK, or E_POINTER for a null `details`.
  virtual HRESULT GetDetails(EntryDetails* details) = 0;

protected:
  ~IEntryDetails() = default;
};

extern const IID IID_IEntryDetails;
