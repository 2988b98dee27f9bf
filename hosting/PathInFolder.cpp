// PathInFolder.cpp -- the containment rule that ties a path to a Security Box folder.
#include "hosting/PathInFolder.h"

bool PathIsInFolder(const std::string& path, const std::string& folder) {
  if (folder.empty()) return false;
  if (path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
  return path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/';
}
