// RegistryReader.cpp -- root key names and typed value reads over the registry file.
#include "hosting/RegistryReader.h"

#include <cerrno>
#include <cstdint>

#include "hosting/Helpers.h"
#include "hosting/RegistryStore.h"
#include "hosting/TextCompare.h"

namespace {

struct RootName {
  const char* name;
  RegistryRoot root;
};

constexpr RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
    {"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
    {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
    {"HKEY_USERS", RegistryRoot::Users},
    {"HKEY_PERFORMANCE_DATA", RegistryRoot::PerformanceData},
    {"HKEY_DYN_DATA", RegistryRoot::DynData},
};

/// Opens the key and finds the value as the registry API does: first the key, then the value's
/// type and size, then its data. Gives 0 and the value, or the errno of the failing step.
int QueryValue(RegistryRoot root, const std::string& subKey, const std::string& valueName,
               RegistryValue& value) {
  const char* rootName = nullptr;
  for (const RootName& entry : kRootNames)
    if (entry.root == root) rootName = entry.name;
  // The null handle: the registry API answers it with "invalid handle".
  if (!rootName) return EBADF;
  std::string keyPath = rootName;
  if (!subKey.empty()) keyPath += "\\" + subKey;
  RegistryStore store;
  return store.QueryValue(keyPath, valueName, value).error;
}

bool ReadTypedValue(RegistryRoot root, const std::string& subKey, const std::string& valueName,
                    uint32_t wantedType, RegistryValue& value, std::string& text) {
  if (int error = QueryValue(root, subKey, valueName, value)) {
    text = FormatSystemMessage(error);
    return false;
  }
  // REG_EXPAND_SZ is not REG_SZ: an unexpanded "%VAR%" would be taken as a folder.
  if (value.type != wantedType || value.DataSize() == 0) {
    text = kRegistryTypeMismatchText;
    return false;
  }
  return true;
}

}  // namespace

RegistryRoot RegistryReader::RootKeyFromName(const std::string& name) {
  for (const RootName& entry : kRootNames)
    if (EqualsTextNoCase(name, entry.name)) return entry.root;
  return RegistryRoot::None;
}

bool RegistryReader::ReadStringValue(RegistryRoot root, const std::string& subKey,
                                     const std::string& valueName, std::string& text) const {
  RegistryValue value;
  if (!ReadTypedValue(root, subKey, valueName, kRegSz, value, text)) return false;
  text = value.text.substr(0, value.text.find('\0'));
  return true;
}

bool RegistryReader::ReadNumberValue(RegistryRoot root, const std::string& subKey,
                                     const std::string& valueName, std::string& text) const {
  RegistryValue value;
  if (!ReadTypedValue(root, subKey, valueName, kRegDword, value, text)) return false;
  text = std::to_string(value.number);  // uint32_t: unsigned decimal
  return true;
}
