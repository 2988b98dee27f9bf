// ObjectMap.h -- the classes the library hands out through DllGetClassObject, and their names.
#pragma once

#include <cstddef>
#include <span>

#include "frame/automation/Guid.h"
#include "frame/automation/IUnknown.h"

/// Makes one object: `outer` for aggregation, then the interface wanted and the out pointer.
using ObjectCreator = HRESULT (*)(IUnknown* outer, REFIID iid, void** object) noexcept;

/// One creatable class with what its registration writes.
struct ObjectMapEntry {
  const CLSID* clsid;
  const char* progId;                    ///< "Brevik.ZIP.1"
  const char* versionIndependentProgId;  ///< "Brevik.ZIP"
  const char* description;               ///< "ZIP Class"
  const char* threadingModel;            ///< "Apartment"
  const GUID* libid;                     ///< the type library the class is described in
  ObjectCreator create;
};

/// How many entries the object map holds.
inline constexpr std::size_t kObjectMapEntries = 1;

/// The library's object map: one entry, for the ZIP class. The listing classes are made only
/// by the ZIP object and have no entry.
std::span<const ObjectMapEntry> ModuleObjectMap() noexcept;

/// The entry for `clsid`, or null when the library does not hand out that class.
const ObjectMapEntry* FindObjectMapEntry(REFCLSID clsid) noexcept;
