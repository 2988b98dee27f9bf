// ScopedPageRequest.h -- installs a page request for the current thread while it lives.
#pragma once

#include "hosting/PageRequest.h"

/// While an instance lives, `GetRequestObject` on this thread answers with `request` instead of
/// the process's CGI environment. Instances nest: destroying one brings back the request that was
/// installed before it. The request is borrowed and must outlive the installer. Destroy installers
/// in the reverse order of their creation, on the thread that created them.
class ScopedPageRequest {
public:
  explicit ScopedPageRequest(const PageRequest& request);
  ~ScopedPageRequest();
  ScopedPageRequest(const ScopedPageRequest&) = delete;
  ScopedPageRequest& operator=(const ScopedPageRequest&) = delete;

  /// The request installed on this thread, or null when none is.
  static const PageRequest* Current();

  /// Installs `request` (null removes it) on this thread and gives back the one installed before,
  /// for a host in another module that cannot keep an instance across its call: it exchanges on
  /// the way in and puts the previous request back on the way out.
  static const PageRequest* Exchange(const PageRequest* request);

private:
  const PageRequest* previous_;
};
