// ResolvedPath.h -- a disk path as the system will reach it: every symbolic link followed.
#pragma once

#include <optional>
#include <string>

/// The absolute path, without symbolic links, "." or "..", that opening `path` would reach now.
/// Components that do not exist yet (an archive about to be made) are kept as written after the
/// longest existing part; a dangling link among them is followed to where it points, since
/// creating through it would create there. No value when the path cannot be resolved: more
/// than 40 links in a row (a loop), or a link that cannot be read. A relative path is resolved
/// against the current folder.
std::optional<std::string> ResolvedPath(const std::string& path);
