// AbsolutePath.cpp -- absolute, simplified paths from what the user typed.
#include "tools/AbsolutePath.h"

#include <climits>
#include <memory>
#include <unistd.h>
#include <vector>

std::string AbsolutePath(const std::string& path, const std::string& currentFolder) {
  const std::string joined = !path.empty() && path[0] == '/' ? path : currentFolder + "/" + path;
  std::vector<std::string> components;
  std::string::size_type start = 0;
  while (start <= joined.size()) {
    std::string::size_type end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string component = joined.substr(start, end - start);
    if (component == "..") {
      if (!components.empty()) components.pop_back();
    } else if (!component.empty() && component != ".") {
      components.push_back(component);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& component : components) result += "/" + component;
  if (result.empty()) return "/";
  const bool namesFolder = path.size() > 1 && (path.back() == '/' || path.ends_with("/.") || path.ends_with("/.."));
  if (namesFolder || path == "." || path == "..") result += "/";
  return result;
}

std::string CurrentFolder() {
  std::unique_ptr<char, decltype(&free)> folder(getcwd(nullptr, 0), &free);
  return folder ? std::string(folder.get()) : std::string("/");
}
