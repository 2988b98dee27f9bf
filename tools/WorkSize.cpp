// WorkSize.cpp -- how many bytes a zip will read, for the progress line's percent.
#include "tools/WorkSize.h"

#include <ftw.h>
#include <sys/stat.h>

namespace {

// nftw calls back without a context argument; the walk is single-threaded and short-lived.
std::uint64_t walkTotal = 0;
bool walkRecurse = true;

int CountEntry(const char* path, const struct stat* info, int kind, struct FTW* position) {
  if (kind == FTW_D && position->level > 0 && !walkRecurse) return FTW_SKIP_SUBTREE;
  if (kind == FTW_F && S_ISREG(info->st_mode)) {
    walkTotal += static_cast<std::uint64_t>(info->st_size);
  } else if (kind == FTW_SL) {
    // A link to a file is read as that file; links to folders are not followed.
    struct stat target {};
    if (stat(path, &target) == 0 && S_ISREG(target.st_mode)) walkTotal += static_cast<std::uint64_t>(target.st_size);
  }
  return FTW_CONTINUE;
}

}  // namespace

std::uint64_t FilesSize(const std::vector<std::string>& paths, bool recurse) {
  std::uint64_t total = 0;
  for (const std::string& path : paths) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) continue;
    if (S_ISREG(info.st_mode)) {
      total += static_cast<std::uint64_t>(info.st_size);
      continue;
    }
    if (!S_ISDIR(info.st_mode)) continue;
    walkTotal = 0;
    walkRecurse = recurse;
    nftw(path.c_str(), CountEntry, 32, FTW_PHYS | FTW_ACTIONRETVAL);
    total += walkTotal;
  }
  return total;
}
