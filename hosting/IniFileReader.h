// IniFileReader.h -- whole sections and single values of an INI file, read into growing buffers.
#pragma once

#include <string>

#include "hosting/TextList.h"

/// Reads the policy's INI files through the profile functions. Stateless: build one on the stack
/// for a call. Nothing here fails: a missing file, section or key reads as empty.
class IniFileReader {
public:
  /// Appends the lines of section `section` of `file` to `list`, in file order, each trimmed.
  /// A missing file or section appends nothing. A section of any size is read whole.
  void ReadSection(const std::string& section, const std::string& file, TextList& list) const;

  /// The value of `key` in `section` of `file`, trimmed; "" when the file, the section or the
  /// key is missing. A value of any length is read whole.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& file) const;
};
