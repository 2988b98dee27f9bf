// TargetFreeSpace.h -- whether the entries an extraction will write fit on the target's file system.
#pragma once

#include <cstdint>
#include <string>

/// "" when `neededBytes` (the declared sizes of the entries to be written) fit in the space an
/// unprivileged user may still use on the file system of `targetPath` (statvfs: f_bavail times
/// f_frsize); otherwise "Not enough free space in TARGET: the entries need N bytes and M are
/// free". When the file system cannot be asked, nothing is refused here: a full disk is still a
/// write error of the entry that meets it.
std::string CheckTargetFreeSpace(const std::string& targetPath, std::uint64_t neededBytes);
