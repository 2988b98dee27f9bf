// AbsolutePath.h -- turning a path typed by the user into the full path a page script would pass.
#pragma once

#include <string>

/// `path` made absolute against `currentFolder` (itself absolute), then simplified by its text
/// alone: repeated "/" become one, "." components go, a ".." takes away the component before it
/// (never the root). A trailing "/" on `path` is kept, because it tells a folder. The result never
/// holds "." or ".." components, so the names stored for it cannot either.
std::string AbsolutePath(const std::string& path, const std::string& currentFolder);

/// The process's current folder; "/" when it cannot be read.
std::string CurrentFolder();
