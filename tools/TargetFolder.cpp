// TargetFolder.cpp -- the target folder of unzip and extract, made when it is missing.
#include "tools/TargetFolder.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ParentOf(const std::string& path) {
  const std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool MadeTargetFolder::Make(const std::string& path, std::string& error) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (IsFolder(folder)) return true;
  // Make the missing part from the top down, as mkdir -p does.
  std::string existing = folder;
  while (!existing.empty() && existing != "/" && !IsFolder(existing)) existing = ParentOf(existing);
  std::string::size_type next = existing == "/" ? 1 : existing.size() + 1;
  while (next <= folder.size()) {
    std::string::size_type end = folder.find('/', next);
    if (end == std::string::npos) end = folder.size();
    const std::string step = folder.substr(0, end);
    if (mkdir(step.c_str(), 0777) != 0 && errno != EEXIST) {
      error = "cannot make the target folder " + step + ": " + std::strerror(errno);
      return false;
    }
    if (topMade_.empty()) topMade_ = step;
    made_ = step;
    next = end + 1;
  }
  return true;
}

void MadeTargetFolder::RemoveIfUnused() {
  if (made_.empty()) return;
  for (std::string folder = made_; rmdir(folder.c_str()) == 0 && folder != topMade_; folder = ParentOf(folder)) {
  }
  made_.clear();
  topMade_.clear();
}
