// ZipTempEntryGuard.h -- ZipTempEntryGuard: the temporary an extracted entry is written to, removed unless kept.
#pragma once

#include <string>

#include "engine/ZipTargetFolder.h"

/// A temporary beside an entry being written, removed on every way out but `Keep`.
class ZipTempEntryGuard {
public:
  explicit ZipTempEntryGuard(int parentFd) : parentFd_(parentFd) {}
  ~ZipTempEntryGuard() { CZipTargetFolder::Discard(parentFd_, name); }
  ZipTempEntryGuard(const ZipTempEntryGuard&) = delete;
  ZipTempEntryGuard& operator=(const ZipTempEntryGuard&) = delete;
  void Keep() { name.clear(); }
  std::string name;

private:
  int parentFd_;
};
