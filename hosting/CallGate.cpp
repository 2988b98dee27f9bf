// CallGate.cpp -- the one gate an archive method passes before it opens anything.
#include "hosting/CallGate.h"

#include "hosting/OperationPaths.h"
#include "hosting/RequestContext.h"
#include "hosting/SecurityBox.h"

namespace {

/// Each path of the method put to the installed request; a host without confinement (or no
/// request at all: a command-line run) lets every path through.
bool CheckHostPaths(HostingRequest& request) {
  const PageRequest* page = GetRequestObject();
  if (!page) return true;
  return ForEachOperationPath(request, [&](std::string& path) {
    std::string refusal;
    if (page->MayUsePath(path, refusal)) return true;
    request.errorReason = std::move(refusal);
    return false;
  });
}

}  // namespace

bool CheckCallGate(HostingRequest& request) { return CheckSecurityBox(request) && CheckHostPaths(request); }
