// TargetFreeSpace.cpp -- the declared size of an extraction against the target's free space.
#include "scripting/TargetFreeSpace.h"

#include <sys/statvfs.h>

std::string CheckTargetFreeSpace(const std::string& targetPath, std::uint64_t neededBytes) {
  if (neededBytes == 0) return std::string();
  struct statvfs info {};
  if (::statvfs(targetPath.c_str(), &info) != 0) return std::string();
  const std::uint64_t freeBytes = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
  if (neededBytes <= freeBytes) return std::string();
  return "Not enough free space in " + targetPath + ": the entries need " + std::to_string(neededBytes) +
         " bytes and " + std::to_string(freeBytes) + " are free";
}
