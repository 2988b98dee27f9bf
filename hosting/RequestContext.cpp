// RequestContext.cpp -- the page request of the current call and the parent-step path rule.
#include "hosting/RequestContext.h"

#include <cstdlib>
#include <optional>
#include <utility>

#include "hosting/ScopedPageRequest.h"

namespace {

/// The request of a CGI or FastCGI process (RFC 3875): its meta-variables are the environment.
/// The page is SCRIPT_FILENAME, the script the server runs. PATH_TRANSLATED is never asked: it is
/// the visitor's PATH_INFO mapped onto the document root (unset on an ordinary request, another
/// site's folder on a request with extra path), so any site could borrow any box with it.
class CgiPageRequest : public PageRequest {
public:
  std::optional<std::string> PagePhysicalPath() const override {
    const char* script = std::getenv("SCRIPT_FILENAME");
    return std::string(script ? script : "");
  }
};

}  // namespace

const PageRequest* GetRequestObject() {
  if (const PageRequest* installed = ScopedPageRequest::Current()) return installed;
  // A CGI server sets GATEWAY_INTERFACE for every script it starts; without it this process is
  // not serving a page.
  if (!std::getenv("GATEWAY_INTERFACE")) return nullptr;
  static const CgiPageRequest cgiRequest;  // stateless: reads the environment at each look-up
  return &cgiRequest;
}

bool GetPagePhysicalPath(std::string& path) {
  const PageRequest* request = GetRequestObject();
  if (!request) {
    path = kNoPageRequestText;
    return false;
  }
  std::optional<std::string> page = request->PagePhysicalPath();
  if (!page) {
    path = kNoPageRequestText;
    return false;
  }
  path = std::move(*page);
  return true;
}

bool HasParentStep(const std::string& path) {
  // Both separators count: "/" is the only one on this platform, but a path written for a Windows
  // host ("\..") must not slip through either. UTF-8 never uses these ASCII bytes inside a
  // multibyte character, so a byte search walks characters whole.
  return path.find("/..") != std::string::npos || path.find("\\..") != std::string::npos;
}

bool CheckNoParentStep(const std::string& path, HostingRequest& request) {
  if (HasParentStep(path)) {
    request.errorReason = "Invalid path specified";
    return false;
  }
  return true;
}
