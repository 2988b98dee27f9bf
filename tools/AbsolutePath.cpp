// AbsolutePath.cpp -- absolute paths from what the user typed, as the system means them.
#include "tools/AbsolutePath.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

std::string Joined(const std::vector<std::string>& components) {
  std::string result;
  for (const std::string& component : components) result += "/" + component;
  return result.empty() ? "/" : result;
}

/// The components of `path` (absolute) as the system reaches it, when it exists; else none.
bool ResolvedComponents(const std::string& path, std::vector<std::string>& components) {
  std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
  if (!real) return false;
  components.clear();
  const std::string text(real.get());
  std::string::size_type start = 1;
  while (start < text.size()) {
    std::string::size_type end = text.find('/', start);
    if (end == std::string::npos) end = text.size();
    components.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

}  // namespace

std::string AbsolutePath(const std::string& path, const std::string& currentFolder) {
  const std::string joined = !path.empty() && path[0] == '/' ? path : currentFolder + "/" + path;
  std::vector<std::string> components;
  std::string::size_type start = 0;
  while (start <= joined.size()) {
    std::string::size_type end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string component = joined.substr(start, end - start);
    if (component == "..") {
      // Step up from where the system is after the components so far: a link among them is
      // followed first. What does not exist yet has no link to follow and steps up as written.
      ResolvedComponents(Joined(components), components);
      if (!components.empty()) components.pop_back();
    } else if (!component.empty() && component != ".") {
      components.push_back(component);
    }
    start = end + 1;
  }
  std::string result = Joined(components);
  if (result == "/") return result;
  const bool namesFolder = path.size() > 1 && (path.back() == '/' || path.ends_with("/.") || path.ends_with("/.."));
  if (namesFolder || path == "." || path == "..") result += "/";
  return result;
}

std::string CurrentFolder() {
  std::unique_ptr<char, decltype(&free)> folder(getcwd(nullptr, 0), &free);
  return folder ? std::string(folder.get()) : std::string("/");
}
