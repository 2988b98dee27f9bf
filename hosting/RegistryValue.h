// RegistryValue.h -- one named value of a registry key, with the Windows registry's type numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

/// Value types, numbered as the Windows registry numbers them (REGEDIT4 writes other types as
/// hex(n) and plain binary as hex).
enum : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
};

/// A value as the store keeps it. Only the member that matches `type` is meaningful.
struct RegistryValue {
  std::string name;        ///< "" is the key's default value (written "@" in the file)
  uint32_t type = kRegSz;  ///< kRegSz, kRegDword, or the type of a hex value
  std::string text;        ///< kRegSz: the text, any length, without a terminating zero
  uint32_t number = 0;     ///< kRegDword: the number
  std::string bytes;       ///< any other type: the raw data bytes

  /// The data size the Windows registry reports for this value: the text plus its terminating
  /// zero for kRegSz, 4 for kRegDword, the byte count otherwise.
  std::size_t DataSize() const {
    if (type == kRegSz) return text.size() + 1;
    if (type == kRegDword) return 4;
    return bytes.size();
  }
};
