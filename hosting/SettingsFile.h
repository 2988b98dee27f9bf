// SettingsFile.h -- finding a settings file of the product family in its installation folder.
#pragma once

#include <string>

/// The registry key that holds the product family's settings.
inline constexpr const char* kProductKeyPath = "SOFTWARE\\Halden Works\\Tessaly";

/// Finds `fileName` in the folder named by the text value "InstallationPath" of
/// HKEY_LOCAL_MACHINE\SOFTWARE\Halden Works\Tessaly. True with the full path (folder + "/" +
/// name, no second "/" when the folder ends in one) in `path` when a file-system entry of that
/// name exists. False otherwise, with the registry reader's failure text, or the system's
/// message for the failed existence test, in `path`. An empty "InstallationPath" names no folder:
/// the file is not found (ENOENT). Never throws for an ordinary failure.
bool LocateSettingsFile(const std::string& fileName, std::string& path);
