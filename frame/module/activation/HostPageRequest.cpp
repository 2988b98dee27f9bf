// HostPageRequest.cpp -- a host's page request installed in every loaded library for one call.
#include "frame/module/activation/HostPageRequest.h"

HostPageRequest::HostPageRequest(const ComponentActivator& activator, const PageRequest& request)
    : activator_(activator) {
  const auto& servers = activator.servers();
  previous_.reserve(servers.size());
  for (const auto& server : servers) previous_.push_back(server->ExchangePageRequest(&request));
}

HostPageRequest::~HostPageRequest() {
  const auto& servers = activator_.servers();
  for (std::size_t i = previous_.size(); i-- > 0;) {
    if (i < servers.size()) servers[i]->ExchangePageRequest(previous_[i]);
  }
}
