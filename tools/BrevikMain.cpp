// BrevikMain.cpp -- the brevik command's entry point: parse, then help, version or the work.
#include <iostream>
#include <string>
#include <vector>

#include "tools/BrevikCommand.h"
#include "tools/CommandLine.h"
#include "tools/VersionText.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  CommandLine command;
  std::string error;
  if (!ParseCommandLine(arguments, command, error)) {
    std::cerr << "brevik: " << error << "\nRun 'brevik --help' for usage.\n";
    return kExitUsage;
  }
  if (command.help) {
    std::cout << UsageText(command.subcommand);
    return kExitDone;
  }
  if (command.version) {
    std::cout << VersionText();
    return kExitDone;
  }
  return RunBrevikCommand(command);
}
