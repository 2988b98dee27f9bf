// Shell.h -- running peer tools and shell commands from tests, and whole-file helpers.
#pragma once

#include <string>

namespace brevik::test {

/// What a finished command left behind.
struct CommandResult {
  int exitStatus = -1;  ///< the exit status, or 128 + signal number when a signal ended it
  std::string output;   ///< standard output and standard error, interleaved
};

/// Runs `command` through /bin/sh -c and collects its output. Never throws for a failing command.
CommandResult RunCommand(const std::string& command);

/// Quotes `text` for /bin/sh (single quotes, with embedded quotes escaped).
std::string ShellQuote(const std::string& text);

/// Whole contents of a file; throws std::runtime_error when it cannot be read.
std::string ReadFileBytes(const std::string& path);

/// Creates or replaces a file with exactly `bytes`; throws std::runtime_error on failure.
void WriteFileBytes(const std::string& path, const std::string& bytes);

/// Deterministic bytes from a seeded generator: `compressible` gives text-like data that deflates
/// well, otherwise the bytes are incompressible.
std::string GeneratedBytes(std::size_t size, unsigned seed, bool compressible);

}  // namespace brevik::test
