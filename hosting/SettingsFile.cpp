// SettingsFile.cpp -- finding a settings file of the product family in its installation folder.
#include "hosting/SettingsFile.h"

#include <cerrno>

#include "hosting/Helpers.h"
#include "hosting/RegistryReader.h"

bool LocateSettingsFile(const std::string& fileName, std::string& path) {
  std::string folder;
  if (!RegistryReader().ReadStringValue(RegistryRoot::LocalMachine, kProductKeyPath,
                                        "InstallationPath", folder)) {
    path = folder;
    return false;
  }
  // An empty folder would make "/Admin.ini" at the file-system root the policy file.
  if (folder.empty()) {
    path = FormatSystemMessage(ENOENT);
    return false;
  }
  std::string candidate = folder;
  if (candidate.back() != '/') candidate += '/';
  candidate += fileName;
  errno = 0;
  if (FileExists(candidate)) {
    path = candidate;
    return true;
  }
  int error = errno;
  path = FormatSystemMessage(error != 0 ? error : ENOENT);
  return false;
}
