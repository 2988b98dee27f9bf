// WorkSize.h -- how many bytes a zip will read, for the progress line's percent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// The sizes of the regular files among `paths` and, for folders, inside them (all levels when
/// `recurse`, else the folder's own files), symbolic links to folders not followed, as the
/// folder walk of zip takes them. Unreadable parts count as nothing.
std::uint64_t FilesSize(const std::vector<std::string>& paths, bool recurse);
