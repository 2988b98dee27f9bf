// PageRequest.h -- the page request that made the current call, as the component asks it.
#pragma once

#include <optional>
#include <string>

/// One page request as the component sees it: which page made the call, and whether the host lets
/// the call use a path. A host (a CGI process, a language binding, a test) implements it and
/// installs it for the calling thread (ScopedPageRequest); implementations must be safe to call on
/// that thread for as long as they are installed, and never throw.
class PageRequest {
public:
  virtual ~PageRequest() = default;

  /// The physical path of the page: the script file the web server (or the language runtime) is
  /// executing for this request, never a path derived from the URL. An empty text for a request
  /// that names no script; no value when the request has no page at all (code run without a
  /// script file), which the Security Box treats as an unreachable request.
  virtual std::optional<std::string> PagePhysicalPath() const = 0;

  /// Whether the call may touch `path` (an archive, a target folder, a file or folder to add),
  /// asked before anything is opened. The host's own confinement answers here (PHP's
  /// open_basedir, for one); false with the host's refusal text in `refusal`. The default lets
  /// every path through.
  virtual bool MayUsePath(const std::string& path, std::string& refusal) const {
    (void)path;
    (void)refusal;
    return true;
  }
};
