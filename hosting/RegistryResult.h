// RegistryResult.h -- the outcome of a registry call: an errno value and the details behind it.
#pragma once

#include <string>
#include <utility>

/// Every registry call reports through this record and never throws for an ordinary failure.
/// `error` is 0 on success, otherwise an errno value chosen to mean what the Windows registry's
/// error code would mean, so that a caller can word the failure with the system's message for it
/// (`strerrordesc_np(error)`):
///   ENOENT  the key or value does not exist (the registry's "file not found")
///   EACCES  the registry file may not be read or replaced (the registry's "access denied")
///   EBADMSG the registry file is damaged (the registry's "database is corrupt")
///   EINVAL  a key path or value name that the registry cannot hold (an unknown root key, an
///           empty path component, a zero byte in a text)
///   other   the file system's own errno from opening, locking, writing or renaming
struct RegistryResult {
  int error = 0;
  /// Empty on success. Otherwise what failed and where, for logs and tool output, e.g.
  /// "/etc/brevik/registry.reg line 7: a value line before any [key] line".
  std::string detail;

  bool ok() const { return error == 0; }

  /// A failure with its errno value and detail text.
  static RegistryResult Failure(int error, std::string detail) {
    return RegistryResult{error, std::move(detail)};
  }
};
