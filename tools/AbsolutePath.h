// AbsolutePath.h -- turning a path typed by the user into the full path a page script would pass.
#pragma once

#include <string>

/// `path` made absolute against `currentFolder` (itself absolute, without links, as getcwd gives
/// it), meaning what the system means by it: a ".." steps up from where the path has got to on
/// disk, after any symbolic link before it (`link/../out` is the folder beside the link's target,
/// not `./out`), so the part before each ".." is resolved as the system resolves it. Repeated "/"
/// and "." components go, since they never change the meaning; nothing else is rewritten. A part
/// that does not exist yet is taken as written. A trailing "/" on `path` is kept, because it
/// tells a folder. The result holds no "." or ".." component.
std::string AbsolutePath(const std::string& path, const std::string& currentFolder);

/// The process's current folder; "/" when it cannot be read.
std::string CurrentFolder();
