// SettingsGetter.h -- the settings look-ups that the Security Box policy makes.
#pragma once

#include <string>

/// The one entry to the settings readers for the policy. Stateless; never throws for an
/// ordinary failure.
class SettingsGetter {
public:
  /// Selectors of `GetRegistryValue`.
  enum ValueKind : int { kTextValue = 0, kNumberValue = 1 };

  /// The trimmed value of `key` in `section` of INI file `file`, "" when missing.
  std::string GetIniString(const std::string& section, const std::string& key,
                           const std::string& file) const;

  /// The first line of `section` in `file` (in file order, as trimmed by the section read) whose
  /// folder, the text after its first "=" trimmed, holds `path` by `PathIsInFolder`; "" when
  /// none does. Lines without "=" and lines whose folder is empty are skipped: an empty folder
  /// would hold every page.
  std::string FindEntryByPathPrefix(const std::string& section, const std::string& path,
                                    const std::string& file) const;

  /// Reads value `valueName` of the key at `fullKeyPath` ("HKEY_LOCAL_MACHINE\SOFTWARE\...";
  /// the root name before the first "\" is matched without regard to case) as a number
  /// (`kNumberValue`, unsigned decimal text) or a text (`kTextValue`). True with the value in
  /// `text`, or false with the registry reader's failure text. A path without "\" names no key.
  bool GetRegistryValue(const std::string& fullKeyPath, int kind, const std::string& valueName,
                        std::string& text) const;
};
