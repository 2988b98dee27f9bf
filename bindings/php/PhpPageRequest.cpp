// PhpPageRequest.cpp -- the page request of the PHP script being executed, as the component asks it.
#include "bindings/php/PhpPageRequest.h"

#include "bindings/php/PhpApi.h"

std::optional<std::string> PhpPageRequest::PagePhysicalPath() const {
  const char* script = SG(request_info).path_translated;
  // The command line names standard input "Standard input code": not a file, so not a page.
  if (script == nullptr || script[0] != '/') return std::nullopt;
  return std::string(script);
}

bool PhpPageRequest::MayUsePath(const std::string& path, std::string& refusal) const {
  const char* allowed = PG(open_basedir);
  if (allowed == nullptr || *allowed == '\0') return true;
  // PHP's own rule, without its warning: the component reports through ErrorReason instead.
  if (php_check_open_basedir_ex(path.c_str(), 0) == 0) return true;
  refusal = "open_basedir restriction in effect. File(" + path + ") is not within the allowed path(s): (" +
            allowed + ")";
  return false;
}
