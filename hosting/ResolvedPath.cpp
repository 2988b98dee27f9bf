// ResolvedPath.cpp -- a disk path as the system will reach it: every symbolic link followed.
#include "hosting/ResolvedPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace {

// As many links in a row as the kernel follows before it answers ELOOP.
constexpr int kMaxLinkHops = 40;

std::optional<std::string> RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

std::string Joined(const std::string& folder, const std::string& rest) {
  if (rest.empty()) return folder;
  return folder.back() == '/' ? folder + rest : folder + "/" + rest;
}

}  // namespace

std::optional<std::string> ResolvedPath(const std::string& path) {
  std::string pending = path.empty() ? "." : path;
  for (int hops = 0; hops <= kMaxLinkHops; ++hops) {
    // Peel components off the end until what is left exists; `rest` is what was peeled.
    std::string head = pending;
    std::string rest;
    bool followedLink = false;
    for (;;) {
      if (std::optional<std::string> real = RealPath(head)) return Joined(*real, rest);
      struct stat info {};
      if (lstat(head.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        // A dangling link: what would be created through it is its target.
        char target[PATH_MAX];
        const ssize_t length = readlink(head.c_str(), target, sizeof target);
        if (length < 0 || static_cast<size_t>(length) >= sizeof target) return std::nullopt;
        std::string linked(target, static_cast<size_t>(length));
        if (linked.empty() || linked[0] != '/') {
          const size_t slash = head.find_last_of('/');
          linked = Joined(slash == std::string::npos ? "." : (slash == 0 ? "/" : head.substr(0, slash)), linked);
        }
        pending = Joined(linked, rest);
        followedLink = true;
        break;
      }
      while (head.size() > 1 && head.back() == '/') head.pop_back();
      const size_t slash = head.find_last_of('/');
      if (slash == std::string::npos) {
        rest = rest.empty() ? head : head + "/" + rest;
        head = ".";
        continue;
      }
      if (slash == 0 && head.size() == 1) return std::nullopt;  // not even "/" resolves
      const std::string last = head.substr(slash + 1);
      rest = rest.empty() ? last : last + "/" + rest;
      head = slash == 0 ? "/" : head.substr(0, slash);
    }
    if (!followedLink) break;
  }
  return std::nullopt;
}
