// ScratchDir.h -- a fresh folder per test, removed with everything in it when the test ends.
#pragma once

#include <string>

namespace brevik::test {

/// A new, empty folder under $TMPDIR (or /tmp), readable by every user so that tests which drop
/// privileges can use it. The destructor removes the folder and all it holds.
class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  /// The folder's absolute path, without a trailing "/".
  const std::string& path() const { return path_; }
  /// path() + "/" + relative.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
  std::string path_;
};

}  // namespace brevik::test
