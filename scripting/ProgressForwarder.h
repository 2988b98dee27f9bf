// ProgressForwarder.h -- the engine's progress callbacks passed on to the host's progress view.
#pragma once

#include "engine/ZipActionCallback.h"
#include "hosting/HostProgress.h"

class CZipArchive;

/// Registered on an operation's archive for adding and extracting when the calling thread has a
/// HostProgress installed; forwards each entry's start and steps, and the host's wish to stop.
class ProgressForwarder final : public CZipActionCallback {
public:
  /// Registers on `archive` when a host progress is installed; does nothing otherwise. The
  /// forwarder must outlive the archive's use of it.
  void AttachTo(CZipArchive& archive);

  /// Whether the host asked the operation to stop (false without a host progress).
  bool StopRequested() const { return host_ != nullptr && host_->StopRequested(); }

  void Begin(const char* entryName, const char* path) override;
  void SetTotal(std::uint32_t total) override;
  void End() override;
  bool Step(std::uint32_t amount) override;

private:
  HostProgress* host_ = nullptr;
};

/// The result text of an operation the host stopped.
inline constexpr const char* kStoppedByHost = "The operation was stopped before it ended";
