// ScopedPageRequest.cpp -- the per-thread slot that an in-process host fills with its request.
#include "hosting/ScopedPageRequest.h"

#include <utility>

namespace {

// Each host thread serves one page request at a time, so the slot is per thread; it is null
// while no in-process host has installed a request.
thread_local const PageRequest* installedRequest = nullptr;

}  // namespace

ScopedPageRequest::ScopedPageRequest(const PageRequest& request) : previous_(Exchange(&request)) {}

ScopedPageRequest::~ScopedPageRequest() { installedRequest = previous_; }

const PageRequest* ScopedPageRequest::Current() { return installedRequest; }

const PageRequest* ScopedPageRequest::Exchange(const PageRequest* request) {
  return std::exchange(installedRequest, request);
}
