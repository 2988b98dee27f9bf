// ZipArchiveNames.cpp -- CZipArchive: stored names from disk paths and disk paths for extracted entries.
#include "engine/ZipArchive.h"

#include <string_view>

#include "engine/ZipPathComponent.h"

namespace {

/// Cuts every trailing "/" except a lone root.
void CutTrailingSeparators(std::string& path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
}

/// True when `part`, split at "/" and at "\", holds a ".." component. Both separators count:
/// a name written on a DOS-family host uses "\", and a reader of ours must never let either
/// climb out of the target folder.
bool HasParentComponent(std::string_view part) {
  std::size_t start = 0;
  while (start <= part.size()) {
    std::size_t end = part.find_first_of("/\\", start);
    if (end == std::string::npos) end = part.size();
    if (part.compare(start, end - start, "..") == 0 && end - start == 2) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

bool CZipArchive::StripPathPrefix(const std::string& beginning, std::string& path, NameCompareFunction compare) {
  std::string prefix = beginning;
  CutTrailingSeparators(prefix);
  if (prefix.empty() || prefix.size() > path.size()) return false;
  if (compare(std::string_view(path).substr(0, prefix.size()), prefix) != 0) return false;
  if (path.size() == prefix.size()) {
    path.clear();
    return true;
  }
  // The prefix must end at a component boundary: "/data" is no prefix of "/database".
  if (prefix.back() != '/' && path[prefix.size()] != '/') return false;
  std::size_t rest = path.find_first_not_of('/', prefix.size());
  path = rest == std::string::npos ? std::string() : path.substr(rest);
  return true;
}

std::string CZipArchive::NameInArchiveFor(const CZipPathComponent& components) const {
  if (!rootPath_.empty()) {
    std::string path = components.GetFullPath();
    if (StripPathPrefix(rootPath_, path, nameCompare_)) return path;
  }
  return components.GetFileName();
}

std::string CZipArchive::ExtractedPathFor(const std::string& storedName, const std::string& targetFolder,
                                          bool fullPath, const char* newName) const {
  std::string name = newName != nullptr ? std::string(newName) : storedName;
  if (name.empty()) return targetFolder;
  std::string folder = targetFolder;
  if (!folder.empty()) {
    CutTrailingSeparators(folder);
    if (folder.back() != '/') folder += '/';
  }
  while (!name.empty() && name.back() == '/') name.pop_back();
  if (fullPath && !removeDrive_) return folder + name;
  const CZipPathComponent components(name);
  return folder + (fullPath ? components.GetNoDrive() : NameInArchiveFor(components));
}

bool CZipArchive::IsInsideFolder(const std::string& extractedPath, const std::string& targetFolder) {
  // Views, not copies: this runs once for every extracted entry.
  std::string_view rest = extractedPath;
  if (!targetFolder.empty()) {
    std::string_view folder = targetFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
    if (rest.substr(0, folder.size()) != folder) return false;
    if (rest.size() == folder.size()) return true;
    if (folder.back() != '/' && rest[folder.size()] != '/') return false;
    rest.remove_prefix(folder.size());
  } else if (!rest.empty() && rest.front() == '/') {
    return false;
  }
  return !HasParentComponent(rest);
}

std::string CZipArchive::CleanStoredName(const std::string& diskPath) {
  std::string name;
  std::size_t start = 0;
  while (start < diskPath.size()) {
    std::size_t end = diskPath.find('/', start);
    if (end == std::string::npos) end = diskPath.size();
    std::string component = diskPath.substr(start, end - start);
    if (!component.empty() && component != "." && component != "..") {
      if (!name.empty()) name += '/';
      name += component;
    }
    start = end + 1;
  }
  return name;
}
