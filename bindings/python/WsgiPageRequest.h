// WsgiPageRequest.h -- brevik.page_request(environ): a WSGI request as the component's page request.
#pragma once

#include <optional>
#include <string>

#include "bindings/python/ModuleState.h"
#include "hosting/PageRequest.h"

/// The page of one WSGI request: environ["SCRIPT_FILENAME"], the application's script file (what
/// mod_wsgi sets), read when the block is entered. PATH_TRANSLATED and PATH_INFO come from the
/// URL and are never read. An environ without SCRIPT_FILENAME names no page (an empty path). Asked
/// from inside a call with the GIL released, so it holds plain text, no Python object.
class WsgiPageRequest final : public PageRequest {
public:
  explicit WsgiPageRequest(std::string scriptFilename) : scriptFilename_(std::move(scriptFilename)) {}
  std::optional<std::string> PagePhysicalPath() const override { return scriptFilename_; }

private:
  std::string scriptFilename_;
};

/// The WSGI request of the innermost `with brevik.page_request(environ):` block on this thread,
/// or null outside every block (the process's CGI environment applies then).
const WsgiPageRequest* CurrentWsgiRequest();

/// The type definition (PyType_Spec) of brevik.page_request.
extern PyType_Spec pageRequestSpec;
