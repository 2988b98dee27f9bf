// ZipTempFile.cpp -- free space on a file system and the choice and making of temporary files.
#include "engine/ZipPlatform.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "engine/ZipPathComponent.h"

namespace PlatformOps {

std::uint64_t DriveFreeSpace(const std::string& path) {
  // A folder that is yet to be made lives on the file system of its nearest existing parent.
  std::string probe = path;
  if (probe.empty()) probe.push_back('.');
  for (;;) {
    struct statvfs info {};
    if (::statvfs(probe.c_str(), &info) == 0) {
      return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
    }
    while (probe.size() > 1 && probe.back() == '/') probe.pop_back();
    const std::string parent = CZipPathComponent(probe).GetFolderPath();
    if (parent.empty() && probe != ".") {
      probe.assign(1, '.');
      continue;
    }
    if (parent.empty() || parent == probe) return 0;
    probe = parent;
  }
}

std::string SystemTempDir() {
  const char* dir = std::getenv("TMPDIR");
  std::string folder;
  folder.assign(dir != nullptr && *dir != '\0' ? dir : "/tmp");
  return folder;
}

std::string TempFileName(const std::string& directory, std::uint64_t bytesNeeded) {
  return TempFileName(directory, bytesNeeded, [](const std::string& path) { return DriveFreeSpace(path); });
}

std::string TempFileName(const std::string& directory, std::uint64_t bytesNeeded,
                         const std::function<std::uint64_t(const std::string&)>& freeSpace) {
  // Sizes and free space are both 64-bit: a 32-bit product wraps on today's disks and would send
  // temporary files to a folder that has no room for them.
  std::string chosen;
  if (!directory.empty() && freeSpace(directory) >= bytesNeeded) {
    chosen = directory;
  } else if (const std::string temp = SystemTempDir(); freeSpace(temp) >= bytesNeeded) {
    chosen = temp;
  } else if (std::string current; CurrentDir(current) && freeSpace(current) >= bytesNeeded) {
    chosen = current;
  } else {
    return {};
  }
  std::string pattern = chosen;
  if (pattern.back() != '/') pattern += '/';
  pattern += "ZARXXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return {};
  ::close(fd);
  return name.data();
}

}  // namespace PlatformOps
