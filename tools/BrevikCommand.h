// BrevikCommand.h -- running one parsed brevik command against the component.
#pragma once

#include "tools/CommandLine.h"

/// Exit statuses of the command.
enum BrevikExitStatus : int {
  kExitDone = 0,        ///< IsError was 0 and every entry was handled
  kExitFailed = 1,      ///< IsError was 1 (its ErrorReason is on standard error), or entries were skipped
  kExitUsage = 2,       ///< the command line was wrong
};

/// Creates a ZIP object through the library's class object, drives it by member name and prints
/// the outcome; `command` must have come from a successful `ParseCommandLine` without --help or
/// --version. Never throws: a refusal by the component is reported on standard error as status 1.
int RunBrevikCommand(const CommandLine& command);
