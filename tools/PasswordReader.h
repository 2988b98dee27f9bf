// PasswordReader.h -- fetching the archive password from a file, the environment or the terminal.
#pragma once

#include <string>

#include "tools/CommandLine.h"

/// Reads the password named by `source` and `argument` (the FILE or VAR of the option).
/// File: its first line, without the line end ("\n" or "\r\n"). Environment: the variable's value.
/// Terminal: one line read from /dev/tty with echo off, after the prompt "Password: " on the
/// terminal; echo is restored on every path. Returns false with `error` set when the source
/// cannot be read (a missing file or variable, no terminal); the password is then empty.
bool ReadPassword(PasswordSource source, const std::string& argument, std::string& password, std::string& error);
