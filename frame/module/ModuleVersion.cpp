// ModuleVersion.cpp -- the library's version block as text.
#include "frame/module/ModuleVersion.h"

namespace {

std::string Dotted(const uint16_t (&parts)[4]) {
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]) + "." +
         std::to_string(parts[3]);
}

}  // namespace

std::string FormatModuleVersion() {
  const ModuleVersion& v = kModuleVersion;
  return std::string("ProductName: ") + v.productName + "\n" + "ProductVersion: " + v.productVersionText + "\n" +
         "FileDescription: " + v.fileDescription + "\n" + "FileVersion: " + v.fileVersionText + "\n" +
         "InternalName: " + v.internalName + "\n" + "OriginalFilename: " + v.originalFilename + "\n" +
         "Comments: " + v.comments + "\n" + "File version number: " + Dotted(v.fileVersion) + "\n" +
         "Product version number: " + Dotted(v.productVersion) + "\n";
}
