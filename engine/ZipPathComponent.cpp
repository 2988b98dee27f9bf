// ZipPathComponent.cpp -- splitting POSIX paths and rebuilding them without doubled separators.
#include "engine/ZipPathComponent.h"

void CZipPathComponent::SplitPath(const std::string& path) {
  prefix_.clear();
  drive_.clear();
  if (!path.empty() && path.front() == '/') drive_.push_back('/');

  const std::size_t lastSeparator = path.rfind('/');
  std::string directory = lastSeparator == std::string::npos ? std::string() : path.substr(0, lastSeparator);
  const std::string fileName = lastSeparator == std::string::npos ? path : path.substr(lastSeparator + 1);

  const std::size_t first = directory.find_first_not_of('/');
  if (first == std::string::npos) {
    folder_.clear();
  } else {
    const std::size_t last = directory.find_last_not_of('/');
    folder_ = directory.substr(first, last - first + 1);
  }

  // A dot that starts the name marks a hidden file and one that ends it is part of the name on
  // Linux ("README0." is not "README0"): neither begins an extension.
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == fileName.size()) {
    fileTitle_ = fileName;
    extension_.clear();
  } else {
    fileTitle_ = fileName.substr(0, dot);
    extension_ = fileName.substr(dot + 1);
  }
}

std::string CZipPathComponent::GetFileName() const {
  std::string name = fileTitle_;
  if (!extension_.empty()) name.append(".").append(extension_);
  return name;
}

std::string CZipPathComponent::GetFolderPath() const {
  std::string folderPath = prefix_;
  folderPath.append(drive_).append(folder_);
  return folderPath;
}

std::string CZipPathComponent::GetFullPath() const {
  const std::string folderPath = GetFolderPath();
  const std::string fileName = GetFileName();
  if (fileName.empty()) return folderPath;
  std::string fullPath = folderPath;
  if (!fullPath.empty() && fullPath.back() != '/') fullPath.push_back('/');
  return fullPath.append(fileName);
}

std::string CZipPathComponent::GetNoDrive() const {
  const std::string fileName = GetFileName();
  std::string noDrive = folder_;
  if (!folder_.empty() && !fileName.empty()) noDrive.push_back('/');
  return noDrive.append(fileName);
}

void CZipPathComponent::SetExtension(const std::string& extension) {
  const std::size_t first = extension.find_first_not_of('.');
  extension_ = first == std::string::npos ? std::string() : extension.substr(first);
}
