// ZipPathComponent.h -- CZipPathComponent: a POSIX disk path split into root, folder, title and extension.
#pragma once

#include <string>

/// Splits a disk path and puts its pieces back together. "/" is the only separator (a "\" is an
/// ordinary character of a Linux name); a leading "/" is the root and stands where a drive would
/// be. Rebuilding never doubles a separator and never makes a relative path absolute.
/// Example: "/dir/sub/file.tar.gz" has root "/", folder "dir/sub", title "file.tar", extension "gz".
class CZipPathComponent {
public:
  CZipPathComponent() = default;
  /// Splits `path` (see `SplitPath`).
  explicit CZipPathComponent(const std::string& path) { SplitPath(path); }
  virtual ~CZipPathComponent() = default;

  /// Replaces every piece with those of `path`: the root is "/" when the path starts with one;
  /// the folder is what lies between the root and the last "/", without leading or trailing
  /// separators; the extension is what follows the last "." of the file name, unless that dot
  /// is the name's first or last character (".profile" and "README0." have no extension).
  void SplitPath(const std::string& path);

  /// Title, then "." and the extension when there is one.
  std::string GetFileName() const;
  /// Root + folder: "/dir/sub", "dir/sub", "/" or "".
  std::string GetFolderPath() const;
  /// `GetFolderPath` + "/" + `GetFileName` (no separator after an empty folder path or the lone
  /// root); `GetFolderPath` alone when the file name is empty.
  std::string GetFullPath() const;
  /// Folder + "/" + file name (the separator only when both are non-empty); no root.
  std::string GetNoDrive() const;

  /// "/" for an absolute path, else empty (the place of a drive).
  const std::string& GetFileDrive() const noexcept { return drive_; }
  /// The folder without leading and trailing separators.
  const std::string& GetFileDir() const noexcept { return folder_; }
  /// The file name without its extension.
  const std::string& GetFileTitle() const noexcept { return fileTitle_; }
  /// The extension without its dot.
  const std::string& GetFileExt() const noexcept { return extension_; }
  /// Always empty on this platform (there are no UNC or long-path prefixes).
  const std::string& GetPrefix() const noexcept { return prefix_; }

  /// Replaces the title.
  void SetFileTitle(const std::string& title) { fileTitle_ = title; }
  /// Replaces the extension; its leading dots are removed.
  void SetExtension(const std::string& extension);

private:
  std::string folder_;
  std::string fileTitle_;
  std::string extension_;
  std::string drive_;
  std::string prefix_;
};
