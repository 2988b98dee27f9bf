// ZipPlatform.cpp -- folders, existence tests, removing and renaming files, and file sizes on the host.
#include "engine/ZipPlatform.h"

#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/ZipException.h"
#include "engine/ZipPathComponent.h"

namespace {

/// `path` without its trailing run of "/", except that a lone root stays "/".
std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

namespace PlatformOps {

bool ChangeDir(const std::string& path) { return ::chdir(path.c_str()) == 0; }

bool CurrentDir(std::string& path) {
  std::vector<char> buffer(256);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
      path = buffer.data();
      return true;
    }
    if (errno != ERANGE || buffer.size() > (1u << 20)) return false;
    buffer.resize(buffer.size() * 2);
  }
}

int PathKind(const std::string& name) {
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) return 0;
  return S_ISDIR(info.st_mode) ? -1 : 1;
}

bool IsExistingDir(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeDir(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool MakePath(const std::string& path) {
  const std::string target = WithoutTrailingSeparators(path);
  const std::string parent = CZipPathComponent(target).GetFolderPath();
  if (parent == target || PathKind(target) == -1) return true;
  if (!MakePath(parent)) return false;
  if (MakeDir(target)) return true;
  // Another process (or thread) may have made it between the test and the mkdir.
  return errno == EEXIST && IsExistingDir(target);
}

bool DeleteFileByName(const std::string& name, bool throwOnError) {
  if (::unlink(name.c_str()) == 0) return true;
  if (throwOnError) ThrowZipError(errRemoveFailed, name);
  return false;
}

bool MoveFileByName(const std::string& oldName, const std::string& newName, bool throwOnError) {
  if (::rename(oldName.c_str(), newName.c_str()) == 0) return true;
  if (throwOnError) ThrowZipError(errRenameFailed, oldName);
  return false;
}

bool IsRemovableDrive(const std::string& path) noexcept {
  (void)path;
  return false;
}

bool FileSizeByName(const std::string& name, std::uint64_t& size) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  const bool known = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  ::close(fd);
  if (known) size = static_cast<std::uint64_t>(info.st_size);
  return known;
}

}  // namespace PlatformOps
