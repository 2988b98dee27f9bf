// RegistryReader.h -- reading one text or number value from the registry by root, key and name.
#pragma once

#include <string>

/// The registry's root keys, standing for the handles of the predefined keys; `None` is the
/// null handle of a name that is not a root key.
enum class RegistryRoot {
  None,
  ClassesRoot,
  CurrentConfig,
  CurrentUser,
  LocalMachine,
  Users,
  PerformanceData,
  DynData,
};

/// The failure text for a value that is empty or of another type than the one asked for.
inline constexpr const char* kRegistryTypeMismatchText =
    "The type you specified mismatch with registry value type";

/// Reads values from the registry file (`RegistryStore` at its default path, looked up afresh at
/// each call). Stateless; never throws for an ordinary failure. Each read gives true with the
/// value in `text`, or false with the failure in `text`: the system's message for the error
/// (`FormatSystemMessage`; a missing key or value is ENOENT, a null root EBADF, an unreadable or
/// damaged registry file its own errno), or `kRegistryTypeMismatchText`.
class RegistryReader {
public:
  /// The root for "HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER",
  /// "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_PERFORMANCE_DATA" or "HKEY_DYN_DATA", compared
  /// without regard to case; `None` for any other name.
  static RegistryRoot RootKeyFromName(const std::string& name);

  /// Reads the text value (type REG_SZ) `valueName` of key `subKey` under `root`; the text is
  /// read whole, up to its first zero byte. An empty `subKey` is the root key itself.
  bool ReadStringValue(RegistryRoot root, const std::string& subKey, const std::string& valueName,
                       std::string& text) const;

  /// Reads the number value (type REG_DWORD) `valueName` of key `subKey` under `root` and gives
  /// it as unsigned decimal text.
  bool ReadNumberValue(RegistryRoot root, const std::string& subKey, const std::string& valueName,
                       std::string& text) const;
};
