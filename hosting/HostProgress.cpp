// HostProgress.cpp -- the per-thread slot of a host's progress view.
#include "hosting/HostProgress.h"

#include <utility>

namespace {

// Like the page request, per thread: a host thread runs one operation at a time.
thread_local HostProgress* installedProgress = nullptr;

}  // namespace

HostProgress* CurrentHostProgress() { return installedProgress; }

HostProgress* ExchangeHostProgress(HostProgress* progress) { return std::exchange(installedProgress, progress); }
