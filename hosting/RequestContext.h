// RequestContext.h -- reaching the calling page's request and the parent-step path rule.
#pragma once

#include <string>

#include "hosting/HostingRequest.h"
#include "hosting/PageRequest.h"

/// The text that stands for the system's message when no page request can be reached; like a
/// system message it ends with a line break.
inline constexpr const char* kNoPageRequestText =
    "No page request is available to this component\n";

/// The page request of the current call: the one a `ScopedPageRequest` installed on this thread
/// if any, else the process's CGI request when `GATEWAY_INTERFACE` is set in the environment,
/// else null. The CGI request reads the environment at each look-up. Never throws.
const PageRequest* GetRequestObject();

/// Stores the physical path of the calling page (the script the server runs for the request) in
/// `path` and gives true; a request that names no script gives an empty path and true. Without a
/// page request, or with one that has no page, `path` becomes `kNoPageRequestText` and the result
/// is false.
bool GetPagePhysicalPath(std::string& path);

/// True when `path` holds a step up to a parent folder: "/.." or "\.." anywhere.
bool HasParentStep(const std::string& path);

/// False when `path` holds a step up to a parent folder, "/.." or "\.." anywhere (so a name that
/// begins with two dots is refused as well); `request.errorReason` then becomes exactly
/// "Invalid path specified". True otherwise, leaving `errorReason` as it was.
bool CheckNoParentStep(const std::string& path, HostingRequest& request);
