// ArchivePeers.cpp -- source trees, tree comparison and limited child processes for archive tests.
#include "support/ArchivePeers.h"

#include "support/Shell.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brevik::test {

namespace {

namespace fs = std::filesystem;

void SetTimes(const std::string& path, long long seconds) {
  if (seconds == 0) return;
  timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw std::runtime_error("cannot set time of " + path);
}

std::vector<std::string> RelativeNames(const std::string& root) {
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    names.push_back(fs::relative(item.path(), root).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

int WaitForChild(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

void WriteArchiveTree(const std::string& root, const std::vector<ArchiveTreeItem>& items) {
  std::vector<const ArchiveTreeItem*> folders;
  for (const auto& item : items) {
    std::string path = root + "/" + item.relativePath;
    bool isFolder = !item.relativePath.empty() && item.relativePath.back() == '/';
    if (isFolder) {
      fs::create_directories(path);
      folders.push_back(&item);
      continue;
    }
    fs::create_directories(fs::path(path).parent_path());
    WriteFileBytes(path, item.bytes);
    if (chmod(path.c_str(), item.mode) != 0) throw std::runtime_error("cannot chmod " + path);
    SetTimes(path, item.modTimeSeconds);
  }
  // Deepest folders first, so that fixing a parent's time is not undone by its children.
  std::sort(folders.begin(), folders.end(),
            [](auto* a, auto* b) { return a->relativePath.size() > b->relativePath.size(); });
  for (auto* folder : folders) {
    std::string path = root + "/" + folder->relativePath;
    path.pop_back();
    if (chmod(path.c_str(), folder->mode) != 0) throw std::runtime_error("cannot chmod " + path);
    SetTimes(path, folder->modTimeSeconds);
  }
}

std::string CompareArchiveTrees(const std::string& expectedRoot, const std::string& actualRoot,
                                bool compareTimes, bool compareModes) {
  auto expected = RelativeNames(expectedRoot);
  auto actual = RelativeNames(actualRoot);
  if (expected != actual) {
    std::string text = "names differ; expected:";
    for (const auto& name : expected) text += " [" + name + "]";
    text += " actual:";
    for (const auto& name : actual) text += " [" + name + "]";
    return text;
  }
  for (const auto& name : expected) {
    std::string expectedPath = expectedRoot + "/" + name;
    std::string actualPath = actualRoot + "/" + name;
    struct stat expectedInfo {}, actualInfo {};
    if (lstat(expectedPath.c_str(), &expectedInfo) != 0 || lstat(actualPath.c_str(), &actualInfo) != 0) {
      return "cannot stat " + name;
    }
    if ((expectedInfo.st_mode & S_IFMT) != (actualInfo.st_mode & S_IFMT)) return "kind differs: " + name;
    bool isFolder = S_ISDIR(expectedInfo.st_mode);
    if (!isFolder && ReadFileBytes(expectedPath) != ReadFileBytes(actualPath)) return "contents differ: " + name;
    if (compareModes && (expectedInfo.st_mode & 07777) != (actualInfo.st_mode & 07777)) {
      return "mode differs: " + name + " expected " + std::to_string(expectedInfo.st_mode & 07777) +
             " actual " + std::to_string(actualInfo.st_mode & 07777);
    }
    // DOS times have a 2-second resolution; folders written by some peers take the time of extraction.
    if (compareTimes && !isFolder) {
      long long difference = static_cast<long long>(expectedInfo.st_mtime) - actualInfo.st_mtime;
      if (difference < -2 || difference > 2) {
        return "time differs: " + name + " expected " + std::to_string(expectedInfo.st_mtime) + " actual " +
               std::to_string(actualInfo.st_mtime);
      }
    }
  }
  return {};
}

bool ArchivePeerAvailable(const std::string& tool) {
  return RunCommand("command -v " + ShellQuote(tool) + " >/dev/null").exitStatus == 0;
}

int RunWithFileSizeLimit(unsigned long long fileSizeLimitBytes, const std::function<int()>& body) {
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{static_cast<rlim_t>(fileSizeLimitBytes), static_cast<rlim_t>(fileSizeLimitBytes)};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    _exit(body());
  }
  return WaitForChild(child);
}

int RunAsUnprivileged(const std::function<int()>& body) {
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    const gid_t nobodyGroup = 65534;
    const uid_t nobodyUser = 65534;
    if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(nobodyGroup) != 0 || setuid(nobodyUser) != 0)) {
      _exit(127);
    }
    _exit(body());
  }
  return WaitForChild(child);
}

}  // namespace brevik::test
