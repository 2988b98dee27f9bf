// ModuleVersion.h -- the library's version block: numeric versions and its version strings.
#pragma once

#include <cstdint>
#include <string>

/// The version resource of the library, as the Windows build of the component carried it. The
/// numeric versions are major.minor.build.revision; the strings are shown as they stand.
struct ModuleVersion {
  uint16_t fileVersion[4];
  uint16_t productVersion[4];
  const char* fileDescription;
  const char* internalName;
  const char* originalFilename;
  const char* productName;
  const char* fileVersionText;
  const char* productVersionText;
  const char* comments;
};

/// The one version block of this library.
inline constexpr ModuleVersion kModuleVersion = {
    {1, 0, 0, 0},
    {1, 0, 0, 0},
    "Brevik Module",
    "Brevik",
    "Brevik.DLL",
    "Brevik Module",
    "1.2",
    "1.3",
    "Tessaly Security Box",
};

/// The version block as text, one "Name: value" line each (FileVersion, ProductVersion, the
/// numeric versions as a.b.c.d, and the other strings), for a `--version` output.
std::string FormatModuleVersion();
