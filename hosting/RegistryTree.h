// RegistryTree.h -- the whole registry in memory, read from and written as REGEDIT4 text.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hosting/RegistryKey.h"
#include "hosting/RegistryResult.h"

/// The registry's root keys and everything below them. A key path is the root key's name
/// followed by sub key names, separated by "\" ("HKEY_LOCAL_MACHINE\SOFTWARE\Halden Works");
/// every component is matched without regard to case. The seven root keys of the Windows
/// registry (HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
/// HKEY_USERS, HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA) always exist; no other root can.
class RegistryTree {
public:
  RegistryTree();

  /// Parses REGEDIT4 text. Accepts LF and CRLF line ends, blank lines, ";" comment lines, a
  /// first line of "REGEDIT4" (or the later "Windows Registry Editor Version 5.00"), [key] lines,
  /// "name"="text" and @="text" values with \\ and \" escapes (and \n, \r for line breaks), dword
  /// values of up to eight hex digits, and hex / hex(n) values over continued lines. An empty
  /// text is an empty registry. Anything else gives EBADMSG with "<source> line N: <what>" and
  /// leaves `tree` empty.
  static RegistryResult Parse(std::string_view text, const std::string& source, RegistryTree& tree);

  /// The REGEDIT4 text of the whole registry; Parse(Format()) gives back an equal registry.
  /// Every key that holds values or has no sub keys gets its own [key] line, so empty keys
  /// survive a round trip.
  std::string Format() const;

  /// The key at `keyPath`, or null when it (or its root) does not exist.
  const RegistryKey* FindKey(const std::string& keyPath) const;
  RegistryKey* FindKey(const std::string& keyPath);

  /// The key at `keyPath`, created with every missing key above it. EINVAL (and null) for an
  /// unknown root key or an empty path component.
  RegistryKey* CreateKey(const std::string& keyPath, RegistryResult& result);

  /// Deletes the key at `keyPath` with all its sub keys. ENOENT when it does not exist; EINVAL
  /// for a root key itself, which can never be deleted.
  RegistryResult DeleteKey(const std::string& keyPath);

  /// The root keys, in the order listed above.
  const std::vector<std::unique_ptr<RegistryKey>>& roots() const { return roots_; }

private:
  std::vector<std::unique_ptr<RegistryKey>> roots_;
};

/// Splits a key path at "\" into its components; false for an empty path or component.
bool SplitRegistryPath(const std::string& keyPath, std::vector<std::string>& components);
