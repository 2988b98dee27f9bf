// PageRequest.h -- the server variables of the page request that made the current call.
#pragma once

#include <optional>
#include <string>

/// One page request as the component sees it: a read-only set of server variables (the CGI
/// meta-variables of RFC 3875, such as "PATH_TRANSLATED"). Implementations must be safe to read
/// from the thread that made the call for as long as they are installed.
class PageRequest {
public:
  virtual ~PageRequest() = default;

  /// The value of the server variable `name` (matched exactly, as CGI names are), or no value
  /// when the request does not carry that variable. Never throws for a missing variable.
  virtual std::optional<std::string> ServerVariable(const std::string& name) const = 0;
};
