// MakeUniquePath.cpp -- the first free variant of a file path, remembered per name within one extraction.
#include "scripting/MakeUniquePath.h"

#include <sys/stat.h>

namespace {

// lstat rather than stat: a dangling symbolic link still occupies the name, and writing through
// it would create a file somewhere else.
bool NameIsTaken(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::string UniquePathMaker::Make(const std::string& path) {
  if (path.empty() || path.back() == '/' || !NameIsTaken(path)) return path;

  const std::string::size_type slash = path.rfind('/');
  const std::string folderWithSlash = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);

  const std::string::size_type dot = fileName.find('.');
  const std::string base = dot == std::string::npos ? fileName : fileName.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string() : fileName.substr(dot + 1);

  // A path never holds a NUL byte, so it separates the two parts of the key unambiguously.
  unsigned long long& next = nextNumber_[folderWithSlash + base + '\0' + extension];
  // No upper bound: every name that is tried exists, and a folder holds finitely many.
  for (unsigned long long k = next;; ++k) {
    std::string candidate = folderWithSlash + base + std::to_string(k) + "." + extension;
    if (!NameIsTaken(candidate)) {
      next = k + 1;
      return candidate;
    }
  }
}

std::string MakeUniquePath(const std::string& path) { return UniquePathMaker().Make(path); }
