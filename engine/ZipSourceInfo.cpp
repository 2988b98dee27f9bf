// ZipSourceInfo.cpp -- attributes, time and size of a file to add, from one stat.
#include "engine/ZipSourceInfo.h"

#include <sys/stat.h>

#include "engine/ZipPlatform.h"

ZipSourceInfo ZipSourceInfoFromStat(const struct stat& status) {
  ZipSourceInfo info;
  info.attributes = PlatformOps::AttributesFromMode(status.st_mode);
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
