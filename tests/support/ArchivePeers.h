// ArchivePeers.h -- source trees, tree comparison and limited child processes for archive tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace brevik::test {

/// One file (or, with a trailing "/", one folder) of a source tree, relative to the tree's root.
struct ArchiveTreeItem {
  std::string relativePath;
  std::string bytes;
  unsigned mode = 0644;          ///< permission bits given to the item
  long long modTimeSeconds = 0;  ///< when not 0, the item's modification time (seconds since 1970)
};

/// Creates every item under `root` (parents first), with its bytes, mode and time. Folder times
/// are set after their contents so that writing the contents does not change them.
void WriteArchiveTree(const std::string& root, const std::vector<ArchiveTreeItem>& items);

/// Compares two trees: the same names, the same kinds, byte-for-byte contents, and, when asked,
/// the same modification times (to the 2-second resolution of DOS times) and permission bits.
/// Returns an empty text when they agree, else a description of the first difference.
std::string CompareArchiveTrees(const std::string& expectedRoot, const std::string& actualRoot,
                                bool compareTimes, bool compareModes);

/// True when `tool` is found on PATH.
bool ArchivePeerAvailable(const std::string& tool);

/// Runs `body` in a forked child whose files may not grow past `fileSizeLimitBytes`
/// (RLIMIT_FSIZE) and which ignores SIGXFSZ, so that writes past the limit fail with EFBIG.
/// Returns the child's exit status (the value `body` returned), or 128 + signal number.
int RunWithFileSizeLimit(unsigned long long fileSizeLimitBytes, const std::function<int()>& body);

/// Runs `body` in a forked child that has dropped to user and group `nobody` (65534).
/// Returns the child's exit status, or 128 + signal number; 127 when the drop failed.
int RunAsUnprivileged(const std::function<int()>& body);

}  // namespace brevik::test
