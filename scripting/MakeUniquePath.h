// MakeUniquePath.h -- the first free variant of a file path, for extraction without overwriting.
#pragma once

#include <string>

/// Returns `path` unchanged when nothing of that exact name exists (no file, folder, or symbolic
/// link, dangling or not). Otherwise the file name (the part after the last "/") is split at its
/// first "." into base and extension, and the result is the first of folder + "/" + base + k +
/// "." + extension, k = 0, 1, 2, ..., that names nothing: report.txt -> report0.txt,
/// data.tar.gz -> data0.tar.gz, README -> README0., .profile -> 0.profile. Only the file name
/// changes. A path ending in "/" names a folder that an entry merges into and is returned
/// unchanged. Never throws except std::bad_alloc.
std::string MakeUniquePath(const std::string& path);
