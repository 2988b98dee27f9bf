// MappedPageRequest.h -- a page request whose server variables a host or a test fills in.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "hosting/PageRequest.h"

/// A page request held as a plain name-to-value table, for in-process hosts (a FastCGI loop hands
/// over its request parameters) and for tests. Install it with `ScopedPageRequest`.
class MappedPageRequest : public PageRequest {
public:
  /// Sets (or replaces) the server variable `name`.
  void Set(const std::string& name, const std::string& value) { variables_[name] = value; }

  std::optional<std::string> ServerVariable(const std::string& name) const override {
    auto found = variables_.find(name);
    if (found == variables_.end()) return std::nullopt;
    return found->second;
  }

private:
  std::map<std::string, std::string> variables_;
};
