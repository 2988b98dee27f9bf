// OperationPaths.h -- the disk paths an archive method is about to touch, in the order checked.
#pragma once

#include <functional>
#include <string>

#include "hosting/HostingRequest.h"

/// Hands `visit` each path the running method touches, stopping at the first for which it gives
/// false: `zipFile` first; then for Zip every queued file and folder in queue order, for UnZip
/// and Extract the target folder; List and Delete touch the archive alone. A rule may replace a
/// path it allows by the form the operation is to use. True when every path was visited and
/// accepted. The one list that every path rule of the call gate walks.
bool ForEachOperationPath(HostingRequest& request, const std::function<bool(std::string&)>& visit);
