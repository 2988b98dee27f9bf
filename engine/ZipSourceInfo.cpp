// ZipSourceInfo.cpp -- attributes, time and size of a file to add, from one stat.
#include "engine/ZipSourceInfo.h"

#include <sys/stat.h>

namespace {

// The DOS bits that other Unix ZIP tools put beside the mode in the high word.
constexpr std::uint32_t kDosReadOnly = 0x01;
constexpr std::uint32_t kDosDirectory = 0x10;

}  // namespace

ZipSourceInfo ZipSourceInfoFromStat(const struct stat& status) {
  ZipSourceInfo info;
  info.attributes = static_cast<std::uint32_t>(status.st_mode & 0xFFFF) << 16;
  if (S_ISDIR(status.st_mode)) info.attributes |= kDosDirectory;
  if ((status.st_mode & S_IWUSR) == 0) info.attributes |= kDosReadOnly;
  info.modTimeKnown = status.st_mtime != static_cast<std::time_t>(-1);
  info.modTime = info.modTimeKnown ? status.st_mtime : 0;
  info.isRegularFile = S_ISREG(status.st_mode);
  info.size = info.isRegularFile ? static_cast<std::uint64_t>(status.st_size) : 0;
  return info;
}

bool ZipReadSourceInfo(const std::string& path, ZipSourceInfo& info) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return false;
  info = ZipSourceInfoFromStat(status);
  return true;
}
