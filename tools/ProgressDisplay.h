// ProgressDisplay.h -- one refreshed line of progress on a terminal while long work runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "hosting/HostProgress.h"

/// The command's view of Zip, UnZip and Extract: when standard error is a terminal and the work
/// has run longer than `delay`, one line (bytes done in percent, the current entry, rate, time
/// left) redrawn at most four times a second; nothing otherwise. It stops the operation once
/// Ctrl-C came (InterruptionWatch), and remembers the file being written then, so that the
/// command can take the half-written file away.
class ProgressDisplay final : public HostProgress {
public:
  /// `totalBytes` is the whole work's size (0 when unknown: no percent, no time left).
  ProgressDisplay(std::uint64_t totalBytes, bool terminal, std::chrono::milliseconds delay);
  ~ProgressDisplay() override;
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  void EntryBegins(const std::string& entryName, const std::string& path) override;
  bool Advance(std::uint64_t bytes) override;
  bool StopRequested() const override;

  /// The disk path of the entry that was being written or read when the work was stopped in
  /// its middle; "" when it stopped between entries or did not stop.
  const std::string& CutPath() const { return cutPath_; }
  /// Takes the line away (it is drawn over by what the command prints next).
  void Finish();

  /// The delay before the line shows: the seconds in BREVIK_PROGRESS_DELAY when set (a test or
  /// an impatient user may want it at once), else one second.
  static std::chrono::milliseconds DelayFromEnvironment();

private:
  using Clock = std::chrono::steady_clock;
  void Draw(Clock::time_point now);

  std::uint64_t totalBytes_;
  std::uint64_t doneBytes_ = 0;
  bool terminal_;
  std::chrono::milliseconds delay_;
  Clock::time_point start_;
  Clock::time_point lastDraw_{};
  bool drawn_ = false;
  std::string entryName_;
  std::string entryPath_;
  std::string cutPath_;
};
