// HostPageRequest.cpp -- a host's page request installed in every loaded library for one call.
#include "frame/module/activation/HostPageRequest.h"

HostPageRequest::HostPageRequest(const ComponentActivator& activator, const PageRequest& request)
    : activator_(activator) {
  const auto& servers = activator.servers();
  count_ = servers.size();
  if (count_ > previousInPlace_.size()) previousMore_.resize(count_ - previousInPlace_.size());
  for (std::size_t i = 0; i < count_; ++i) {
    const PageRequest* previous = servers[i]->ExchangePageRequest(&request);
    if (i < previousInPlace_.size()) previousInPlace_[i] = previous;
    else previousMore_[i - previousInPlace_.size()] = previous;
  }
}

HostPageRequest::~HostPageRequest() {
  const auto& servers = activator_.servers();
  for (std::size_t i = count_; i-- > 0;) {
    const PageRequest* previous =
        i < previousInPlace_.size() ? previousInPlace_[i] : previousMore_[i - previousInPlace_.size()];
    servers[i]->ExchangePageRequest(previous);
  }
}
