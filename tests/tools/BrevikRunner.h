// BrevikRunner.h -- running the built brevik command in a folder, for the command's tests.
#pragma once

#include <cstdio>
#include <string>

#include "support/Shell.h"

namespace brevik::test {

inline const std::string kBrevikCommand = std::string(BREVIK_BINARY_DIR) + "/tools/brevik";

/// Runs `brevik ARGUMENTS` in `folder`; standard error goes to `errors` when given, else is mixed
/// into the output.
inline CommandResult RunBrevik(const std::string& folder, const std::string& arguments, std::string* errors = nullptr) {
  const std::string errorFile = folder + "/.brevik-stderr";
  CommandResult result = RunCommand("cd " + ShellQuote(folder) + " && " + ShellQuote(kBrevikCommand) + " " + arguments +
                                    (errors ? " 2>" + ShellQuote(errorFile) : ""));
  if (errors) {
    *errors = ReadFileBytes(errorFile);
    std::remove(errorFile.c_str());
  }
  return result;
}

}  // namespace brevik::test
