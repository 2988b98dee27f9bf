// VersionText.h -- what `brevik --version` prints: the library's version block.
#pragma once

#include <string>

#include "frame/module/ModuleVersion.h"

/// The command's name with the product version, then the library's version block, one
/// "Name: value" line each.
inline std::string VersionText() {
  const ModuleVersion& v = kModuleVersion;
  auto dotted = [](const uint16_t (&parts)[4]) {
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]) + "." +
           std::to_string(parts[3]);
  };
  return std::string("brevik ") + v.productVersionText + "\n" + "ProductName: " + v.productName + "\n" +
         "FileDescription: " + v.fileDescription + "\n" + "FileVersion: " + v.fileVersionText + " (" +
         dotted(v.fileVersion) + ")\n" + "ProductVersion: " + v.productVersionText + " (" +
         dotted(v.productVersion) + ")\n" + "OriginalFilename: " + v.originalFilename + "\n" +
         "Comments: " + v.comments + "\n";
}
