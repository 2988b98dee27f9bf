// Interruption.h -- Ctrl-C (SIGINT) and SIGTERM asking the running operation to stop cleanly.
#pragma once

/// While it lives, SIGINT and SIGTERM set a flag instead of ending the process, so that the
/// operation stops at its next step and leaves the archive readable and no half-written file; a
/// second signal ends the process at once, as the user expects of a second Ctrl-C.
class InterruptionWatch {
public:
  InterruptionWatch();
  ~InterruptionWatch();
  InterruptionWatch(const InterruptionWatch&) = delete;
  InterruptionWatch& operator=(const InterruptionWatch&) = delete;

  /// Whether a signal came since the watch began.
  static bool Interrupted();
  /// The signal that came (SIGINT or SIGTERM), or 0.
  static int Signal();
};
