// BrevikCommandUsageTest.cpp -- the brevik command's usage errors, help and version.
#include <gtest/gtest.h>

#include "support/Shell.h"

using namespace brevik::test;

namespace {

const std::string kBrevik = std::string(BREVIK_BINARY_DIR) + "/tools/brevik";

CommandResult Brevik(const std::string& arguments) { return RunCommand(ShellQuote(kBrevik) + " " + arguments); }

TEST(BrevikCommandUsage, WrongCommandLinesExitWithTwoAndSayWhy) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "no command given"},
      {"frobnicate x.zip", "unknown command 'frobnicate'"},
      {"--append", "unknown option '--append' (give a command first)"},
      {"zip a.zip", "'zip' needs at least one PATH to add"},
      {"zip", "'zip' needs an ARCHIVE"},
      {"zip a.zip --apend x", "'zip' does not take the option '--apend'"},
      {"zip a.zip --password secret x", "'zip' does not take the option '--password'"},
      {"unzip a.zip", "'unzip' needs a target folder: -d TARGET"},
      {"unzip a.zip -d", "the option '-d' needs a value"},
      {"unzip a.zip -d out extra", "'unzip' takes only an ARCHIVE, not 'extra'"},
      {"list a.zip --make-unique", "'list' does not take the option '--make-unique'"},
      {"extract a.zip -d out", "'extract' needs at least one entry NAME"},
      {"delete a.zip", "'delete' needs at least one entry NAME"},
      {"delete a.zip --password-env X n", "'delete' does not take the option '--password-env'"},
      {"zip a.zip --password-env A --ask-password x",
       "only one of --password-file, --password-env and --ask-password may be given"},
      {"register now", "'register' takes no operands"},
      {"repair", "'repair' needs an ARCHIVE"},
      {"repair a.zip b.zip", "'repair' takes only an ARCHIVE, not 'b.zip'"},
      {"repair a.zip --json", "'repair' does not take the option '--json'"},
      {"zip a.zip --encryption aes512 x", "the option '--encryption' takes aes256, aes192, aes128 or zipcrypto, not 'aes512'"},
      {"zip a.zip --encryption", "the option '--encryption' needs a value"},
      {"unzip a.zip -d out --encryption aes256", "'unzip' does not take the option '--encryption'"},
  };
  for (const auto& [arguments, reason] : cases) {
    const CommandResult result = Brevik(arguments);
    EXPECT_EQ(result.exitStatus, 2) << arguments;
    EXPECT_EQ(result.output, "brevik: " + reason + "\nRun 'brevik --help' for usage.\n") << arguments;
  }
  // A password source that cannot be read is a usage error too, found before any work.
  const CommandResult missing = Brevik("zip /nonexistent/a.zip --password-env BREVIK_TEST_UNSET_VARIABLE /etc/hostname");
  EXPECT_EQ(missing.exitStatus, 2);
  EXPECT_EQ(missing.output, "brevik: the environment variable 'BREVIK_TEST_UNSET_VARIABLE' is not set\n");
}

TEST(BrevikCommandUsage, HelpAndVersion) {
  const CommandResult help = Brevik("--help");
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_EQ(help.output.rfind("Usage: brevik COMMAND ...\n", 0), 0u) << help.output;
  EXPECT_NE(help.output.find("  brevik extract ARCHIVE -d TARGET [PASSWORD] NAME...\n"), std::string::npos);
  EXPECT_NE(help.output.find("  brevik repair ARCHIVE\n"), std::string::npos);
  for (const char* sub : {"zip", "unzip", "list", "extract", "delete", "repair"}) {
    const CommandResult one = Brevik(std::string(sub) + " --help");
    EXPECT_EQ(one.exitStatus, 0) << sub;
    EXPECT_EQ(one.output.rfind("Usage: brevik " + std::string(sub) + " ", 0), 0u) << one.output;
  }
  const CommandResult version = Brevik("--version");
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.output.rfind("brevik 1.3\nProductName: Brevik Module\n", 0), 0u) << version.output;
  EXPECT_NE(version.output.find("FileVersion: 1.2 (1.0.0.0)\n"), std::string::npos) << version.output;
}

}  // namespace
