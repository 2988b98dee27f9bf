// FoundationUnprivileged.h -- re-running chosen tests of the current test program as user nobody.
#pragma once

#include <string>

#include "support/Shell.h"

namespace brevik::test {

/// True when the process runs with root's effective user id (permission checks do not apply).
bool RunningAsRoot();

/// True inside a copy started by `RunTestsAsNobody`.
bool RunningAsNobodyChild();

/// Copies the running test program into `scratchFolder` (so that nobody can reach it wherever the
/// build lies) and runs the tests matching `gtestFilter` in it as user nobody (group nogroup, no
/// supplementary groups) through setpriv. Only meaningful as root.
CommandResult RunTestsAsNobody(const std::string& scratchFolder, const std::string& gtestFilter);

}  // namespace brevik::test
