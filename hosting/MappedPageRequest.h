// MappedPageRequest.h -- a page request whose server variables a host or a test fills in.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "hosting/PageRequest.h"

/// A page request held as a plain table of CGI meta-variables, for in-process hosts (a FastCGI
/// loop hands over its request parameters) and for tests. The page is "SCRIPT_FILENAME", the
/// script the server runs; a table without it names no page (an empty path). Install it with
/// `ScopedPageRequest`.
class MappedPageRequest : public PageRequest {
public:
  /// Sets (or replaces) the server variable `name`.
  void Set(const std::string& name, const std::string& value) { variables_[name] = value; }

  std::optional<std::string> PagePhysicalPath() const override {
    auto found = variables_.find("SCRIPT_FILENAME");
    return found == variables_.end() ? std::string() : found->second;
  }

private:
  std::map<std::string, std::string> variables_;
};
