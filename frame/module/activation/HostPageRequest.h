// HostPageRequest.h -- a host's page request installed in every loaded library for one call.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "frame/module/activation/ComponentActivator.h"
#include "hosting/PageRequest.h"

/// While it lives, `request` is the calling thread's page request inside every library that
/// `activator` has loaded: a language binding makes one around each call into an object, so that
/// the component judges the call by the page the binding's runtime is executing. Destruction puts
/// back, library by library, the request each had before. Make and destroy it on one thread; no
/// library may be loaded or freed through `activator` while it lives.
class HostPageRequest {
public:
  HostPageRequest(const ComponentActivator& activator, const PageRequest& request);
  ~HostPageRequest();
  HostPageRequest(const HostPageRequest&) = delete;
  HostPageRequest& operator=(const HostPageRequest&) = delete;

private:
  const ComponentActivator& activator_;
  /// The request each library had before, in the order of `activator.servers()`: in place for the
  /// usual few libraries, so that a call pays no allocation for it.
  std::array<const PageRequest*, 4> previousInPlace_{};
  std::vector<const PageRequest*> previousMore_;
  std::size_t count_ = 0;
};
