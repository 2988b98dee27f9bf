// ObjectMap.cpp -- the classes the library hands out through DllGetClassObject, and their names.
#include "frame/module/ObjectMap.h"

#include <iterator>

#include "scripting/CZIP.h"

namespace {

constexpr ObjectMapEntry kObjectMap[] = {
    {&CLSID_ZIP, "Brevik.ZIP.1", "Brevik.ZIP", "ZIP Class", "Apartment", &LIBID_BREVIKLib, &CZIP::CreateInstance},
};

static_assert(std::size(kObjectMap) == kObjectMapEntries);

}  // namespace

std::span<const ObjectMapEntry> ModuleObjectMap() noexcept { return kObjectMap; }

const ObjectMapEntry* FindObjectMapEntry(REFCLSID clsid) noexcept {
  for (const ObjectMapEntry& entry : kObjectMap) {
    if (IsEqualCLSID(*entry.clsid, clsid)) return &entry;
  }
  return nullptr;
}
