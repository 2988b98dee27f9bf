// HostProgress.h -- a host's view of a long operation's progress, and its way to stop it.
#pragma once

#include <cstdint>
#include <string>

/// What a host (the brevik command on a terminal) sees of Zip, UnZip and Extract while they work,
/// and how it asks them to stop (Ctrl-C). Installed for the calling thread; called on it, from
/// inside the operation. Implementations must not throw.
class HostProgress {
public:
  virtual ~HostProgress() = default;

  /// An entry starts: its name in the archive and the disk path it is read from (Zip) or
  /// written to (UnZip, Extract).
  virtual void EntryBegins(const std::string& entryName, const std::string& path) = 0;
  /// `bytes` more of the entry's data were read or written; false asks the operation to stop.
  /// Adding then drops the entry, so the archive keeps the entries finished before it.
  virtual bool Advance(std::uint64_t bytes) = 0;
  /// Whether the host asked the operation to stop; asked before each entry.
  virtual bool StopRequested() const = 0;
};

/// The progress installed on this thread, or null.
HostProgress* CurrentHostProgress();

/// Installs `progress` (null removes it) for the operations this thread runs and gives back the
/// one installed before. The host keeps ownership and exchanges the previous one back after.
HostProgress* ExchangeHostProgress(HostProgress* progress);
