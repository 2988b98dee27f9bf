// PathInFolder.h -- the containment rule that ties a path to a Security Box folder.
#pragma once

#include <string>

/// True when `path` lies in `folder` or is that folder: `path` begins with exactly the bytes of
/// `folder` (disk paths are case-sensitive here, so "/srv/Site" is not "/srv/site"), and the
/// folder is followed in `path` by "/" or by the path's end, unless the folder itself ends in
/// "/". Without that boundary "/srv/sites/a" would hold "/srv/sites/ab", another site's folder.
/// An empty folder holds nothing. The test is on text only: it resolves no "..", links or
/// relative paths (callers refuse parent steps first).
bool PathIsInFolder(const std::string& path, const std::string& folder);
