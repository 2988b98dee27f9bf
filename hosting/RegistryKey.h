// RegistryKey.h -- one registry key: its values and its sub keys, names matched without case.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hosting/RegistryValue.h"

/// A key of the in-memory registry. Names of sub keys and values are compared without regard to
/// case (UTF-8 aware) and keep the spelling they were first created with; order of creation is
/// kept, so a file written back lists keys and values as they were read.
class RegistryKey {
public:
  explicit RegistryKey(std::string name) : name_(std::move(name)) {}

  /// The key's own name (one path component), as first spelled.
  const std::string& name() const { return name_; }

  /// The values in creation order.
  const std::vector<RegistryValue>& values() const { return values_; }
  /// The sub keys in creation order.
  const std::vector<std::unique_ptr<RegistryKey>>& subKeys() const { return subKeys_; }

  /// The value called `valueName` ("" for the default value), or null when there is none.
  const RegistryValue* FindValue(const std::string& valueName) const;
  /// Adds or replaces a value; a replaced value keeps its position and first spelling.
  void SetValue(RegistryValue value);
  /// Removes the value called `valueName`; false when there was none.
  bool DeleteValue(const std::string& valueName);

  /// The direct sub key called `keyName`, or null.
  RegistryKey* FindSubKey(const std::string& keyName);
  const RegistryKey* FindSubKey(const std::string& keyName) const;
  /// The direct sub key called `keyName`, created (empty) when missing.
  RegistryKey& OpenOrCreateSubKey(const std::string& keyName);
  /// Removes the direct sub key called `keyName` with everything below it; false when missing.
  bool DeleteSubKey(const std::string& keyName);

private:
  std::string name_;
  std::vector<RegistryValue> values_;
  std::vector<std::unique_ptr<RegistryKey>> subKeys_;
};

/// True when `left` and `right` are equal without regard to case: UTF-8 code points are compared
/// after `towlower_l` under a C.UTF-8 locale; bytes that are not valid UTF-8 compare as they are.
bool RegistryNamesEqual(const std::string& left, const std::string& right);
