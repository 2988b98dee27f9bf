// TargetFolder.h -- the target folder of unzip and extract, made when it is missing.
#pragma once

#include <string>

/// Makes `path` with its missing parents, as `unzip -d` does, remembering what it made. When the
/// operation then fails (a refusal, a missing archive), `RemoveIfUnused` takes away again the
/// folders it made that are still empty, so that a refused call leaves nothing behind.
class MadeTargetFolder {
public:
  /// True when `path` is a folder now (made or already there); false with the system's reason in
  /// `error` otherwise.
  bool Make(const std::string& path, std::string& error);
  /// Removes the folders Make made, deepest first, while they are empty.
  void RemoveIfUnused();

private:
  std::string made_;     ///< the deepest folder made ("" when none was)
  std::string topMade_;  ///< the highest folder made
};
