// RegistryStore.cpp -- the registry file: locked reads, atomic locked updates, single-value calls.
#include "hosting/RegistryStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr const char* kDefaultRegistryPath = "/etc/brevik/registry.reg";

/// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() { Reset(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  /// Closes now and reports the close's own failure (a write error can surface only here).
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

private:
  int fd_;
};

/// Removes a temporary file unless it was renamed into place.
class TemporaryFile {
public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  void Keep() { path_.clear(); }

private:
  std::string path_;
};

std::string SystemText(int error) {
  const char* text = strerrordesc_np(error);
  return text != nullptr ? text : "error " + std::to_string(error);
}

RegistryResult SystemFailure(int error, const std::string& path, const std::string& action) {
  return RegistryResult::Failure(error, path + ": cannot " + action + ": " + SystemText(error));
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

/// Creates `folder` and the folders above it that are missing (mode 0755 before the umask).
int MakeFolders(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
  if (errno != ENOENT) return errno;
  const std::string parent = FolderOf(folder);
  if (parent != folder) {
    if (const int error = MakeFolders(parent); error != 0) return error;
  }
  if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return errno;
  return 0;
}

int LockFile(int fd, int operation) {
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

/// Reads everything from the current position of `fd` to its end.
int ReadAll(int fd, std::string& bytes) {
  bytes.clear();
  char buffer[65536];
  while (true) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (count == 0) return 0;
    bytes.append(buffer, static_cast<std::size_t>(count));
  }
}

int WriteAll(int fd, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    written += static_cast<std::size_t>(count);
  }
  return 0;
}

/// Writes `text` to a temporary file beside `path` with the mode (and, for root, the owner) of
/// the file it replaces, flushes it to disk and renames it over `path`; the folder is flushed
/// too so the rename itself survives a crash. On failure `path` is untouched.
RegistryResult ReplaceFile(const std::string& path, const struct stat& current, const std::string& text) {
  const std::string folder = FolderOf(path);
  const auto slash = path.rfind('/');
  std::string pattern = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "." +
                        path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  FileDescriptor temp(::mkostemp(name.data(), O_CLOEXEC));
  if (!temp.valid()) return SystemFailure(errno, path, "create a temporary file in " + folder);
  TemporaryFile cleanup(name.data());
  if (::fchmod(temp.get(), current.st_mode & 07777) != 0) return SystemFailure(errno, name.data(), "set the mode of");
  if (::geteuid() == 0) {
    // Root keeps the file's owner so that the web server account can go on reading it.
    if (::fchown(temp.get(), current.st_uid, current.st_gid) != 0) return SystemFailure(errno, name.data(), "set the owner of");
  }
  if (const int error = WriteAll(temp.get(), text); error != 0) return SystemFailure(error, name.data(), "write");
  if (::fsync(temp.get()) != 0) return SystemFailure(errno, name.data(), "flush");
  if (temp.Close() != 0) return SystemFailure(errno, name.data(), "close");
  if (::rename(name.data(), path.c_str()) != 0) return SystemFailure(errno, path, "replace");
  cleanup.Keep();
  FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folderFd.valid()) ::fsync(folderFd.get());
  return {};
}

/// Whether `fd` is still the file at `path`: a writer may have renamed a new file into place
/// while this process waited for the lock on the old one.
bool StillCurrent(int fd, const std::string& path, struct stat& info) {
  struct stat atPath {};
  if (::fstat(fd, &info) != 0 || ::stat(path.c_str(), &atPath) != 0) return false;
  return info.st_dev == atPath.st_dev && info.st_ino == atPath.st_ino;
}

bool HoldsZeroByte(const std::string& text) { return text.find('\0') != std::string::npos; }

RegistryResult NoKey(const std::string& keyPath) {
  return RegistryResult::Failure(ENOENT, "the key \"" + keyPath + "\" does not exist");
}

RegistryResult NoValue(const std::string& keyPath, const std::string& valueName) {
  if (valueName.empty()) return RegistryResult::Failure(ENOENT, "the key \"" + keyPath + "\" has no default value");
  return RegistryResult::Failure(ENOENT, "the key \"" + keyPath + "\" has no value \"" + valueName + "\"");
}

}  // namespace

RegistryStore::RegistryStore() : path_(DefaultPath()) {}

RegistryStore::RegistryStore(std::string filePath) : path_(std::move(filePath)) {}

std::string RegistryStore::DefaultPath() {
  const char* fromEnvironment = std::getenv("BREVIK_REGISTRY");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fromEnvironment;
  return kDefaultRegistryPath;
}

RegistryResult RegistryStore::Read(RegistryTree& tree) const {
  tree = RegistryTree();
  FileDescriptor fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == ENOENT) return {};
    return SystemFailure(errno, path_, "open");
  }
  if (const int error = LockFile(fd.get(), LOCK_SH); error != 0) return SystemFailure(error, path_, "lock");
  std::string text;
  if (const int error = ReadAll(fd.get(), text); error != 0) return SystemFailure(error, path_, "read");
  return RegistryTree::Parse(text, path_, tree);
}

RegistryResult RegistryStore::Update(const std::function<RegistryResult(RegistryTree&)>& edit) const {
  // A registry file that is a symbolic link is replaced where the link points, so that the
  // link survives the rename.
  std::string target = path_;
  struct stat linkInfo {};
  if (::lstat(path_.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
    const std::unique_ptr<char, decltype(&::free)> resolved(::realpath(path_.c_str(), nullptr), &::free);
    if (!resolved) return SystemFailure(errno, path_, "follow the link");
    target = resolved.get();
  }
  return UpdateFile(target, edit);
}

RegistryResult RegistryStore::UpdateFile(const std::string& filePath,
                                         const std::function<RegistryResult(RegistryTree&)>& edit) const {
  if (const int error = MakeFolders(FolderOf(filePath)); error != 0) {
    return SystemFailure(error, FolderOf(filePath), "create the folder");
  }
  while (true) {
    bool created = false;
    FileDescriptor fd(::open(filePath.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.valid() && errno == ENOENT) {
      fd.Reset(::open(filePath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
      if (!fd.valid() && errno == EEXIST) continue;  // another writer created it first
      created = fd.valid();
    }
    if (!fd.valid()) return SystemFailure(errno, filePath, "open");
    if (const int error = LockFile(fd.get(), LOCK_EX); error != 0) return SystemFailure(error, filePath, "lock");
    struct stat current {};
    if (!StillCurrent(fd.get(), filePath, current)) continue;

    std::string text;
    if (const int error = ReadAll(fd.get(), text); error != 0) return SystemFailure(error, filePath, "read");
    RegistryTree tree;
    RegistryResult result = RegistryTree::Parse(text, filePath, tree);
    if (result.ok()) result = edit(tree);
    if (result.ok()) return ReplaceFile(filePath, current, tree.Format());
    // An empty file this writer made only to lock goes again, so a failed first change leaves
    // no trace; the lock is still held, so nobody else has written to it.
    if (created) ::unlink(filePath.c_str());
    return result;
  }
}

RegistryResult RegistryStore::KeyExists(const std::string& keyPath) const {
  RegistryTree tree;
  if (RegistryResult result = Read(tree); !result.ok()) return result;
  return tree.FindKey(keyPath) != nullptr ? RegistryResult{} : NoKey(keyPath);
}

RegistryResult RegistryStore::QueryValue(const std::string& keyPath, const std::string& valueName,
                                         RegistryValue& value) const {
  RegistryTree tree;
  if (RegistryResult result = Read(tree); !result.ok()) return result;
  const RegistryKey* key = tree.FindKey(keyPath);
  if (key == nullptr) return NoKey(keyPath);
  const RegistryValue* found = key->FindValue(valueName);
  if (found == nullptr) return NoValue(keyPath, valueName);
  value = *found;
  return {};
}

RegistryResult RegistryStore::CreateKey(const std::string& keyPath) const {
  return Update([&](RegistryTree& tree) {
    RegistryResult result;
    tree.CreateKey(keyPath, result);
    return result;
  });
}

RegistryResult RegistryStore::SetStringValue(const std::string& keyPath, const std::string& valueName,
                                             const std::string& text) const {
  if (HoldsZeroByte(text)) {
    return RegistryResult::Failure(EINVAL, "a registry text or value name cannot hold a zero byte");
  }
  RegistryValue value;
  value.name = valueName;
  value.type = kRegSz;
  value.text = text;
  return SetValue(keyPath, std::move(value));
}

RegistryResult RegistryStore::SetDwordValue(const std::string& keyPath, const std::string& valueName,
                                            uint32_t number) const {
  RegistryValue value;
  value.name = valueName;
  value.type = kRegDword;
  value.number = number;
  return SetValue(keyPath, std::move(value));
}

RegistryResult RegistryStore::SetValue(const std::string& keyPath, RegistryValue value) const {
  if (HoldsZeroByte(value.name)) {
    return RegistryResult::Failure(EINVAL, "a registry text or value name cannot hold a zero byte");
  }
  return Update([&](RegistryTree& tree) {
    RegistryResult result;
    if (RegistryKey* key = tree.CreateKey(keyPath, result)) key->SetValue(std::move(value));
    return result;
  });
}

RegistryResult RegistryStore::DeleteValue(const std::string& keyPath, const std::string& valueName) const {
  return Update([&](RegistryTree& tree) {
    RegistryKey* key = tree.FindKey(keyPath);
    if (key == nullptr) return NoKey(keyPath);
    return key->DeleteValue(valueName) ? RegistryResult{} : NoValue(keyPath, valueName);
  });
}

RegistryResult RegistryStore::DeleteKey(const std::string& keyPath) const {
  return Update([&](RegistryTree& tree) { return tree.DeleteKey(keyPath); });
}
