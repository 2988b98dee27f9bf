// CommandDocumentationTest.cpp -- the manual page and the bash completion know every command and option.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "BrevikRunner.h"
#include "support/ScratchDir.h"

using namespace brevik::test;

namespace {

const std::string kSource = BREVIK_SOURCE_DIR;

/// The commands and options `brevik --help` and each `brevik COMMAND --help` name.
std::set<std::string> HelpWords(const std::string& folder) {
  std::set<std::string> words;
  const std::string overview = RunBrevik(folder, "--help").output;
  const std::regex command("brevik ([a-z]+)");
  for (std::sregex_iterator it(overview.begin(), overview.end(), command), end; it != end; ++it) words.insert((*it)[1]);
  const std::set<std::string> commands = words;
  const std::regex option("(--?[a-z][a-z-]*)");
  for (const std::string& name : commands) {
    const std::string help = RunBrevik(folder, name + " --help").output;
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it) words.insert((*it)[1]);
  }
  return words;
}

}  // namespace

TEST(CommandDocumentation, TheManualAndTheCompletionNameWhatTheHelpNames) {
  ScratchDir dir;
  const std::set<std::string> words = HelpWords(dir.path());
  ASSERT_TRUE(words.count("zip") && words.count("--append") && words.count("-d")) << "help not read";
  const std::string manual = ReadFileBytes(kSource + "/doc/brevik.1");
  const std::string completion = ReadFileBytes(kSource + "/doc/brevik.bash-completion");
  for (const std::string& word : words) {
    // roff writes a "-" of an option as "\-".
    std::string roff;
    for (char c : word) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(manual.find(roff), std::string::npos) << word << " is not in the manual";
    EXPECT_NE(completion.find(word), std::string::npos) << word << " is not completed";
  }
  const CommandResult formatted = RunCommand("man --warnings -l " + ShellQuote(kSource + "/doc/brevik.1") + " 2>&1 >/dev/null");
  EXPECT_EQ(formatted.output, "");
}

TEST(CommandDocumentation, CompletionOffersEachCommandsOptions) {
  const auto complete = [](const std::string& words, int current) {
    return RunCommand("bash -c 'source " + kSource + "/doc/brevik.bash-completion; COMP_WORDS=(" + words +
                      "); COMP_CWORD=" + std::to_string(current) + "; _brevik; echo \"${COMPREPLY[*]}\"'")
        .output;
  };
  EXPECT_EQ(complete("brevik re", 1), "repair register\n");
  EXPECT_EQ(complete("brevik list -", 2), "--help -v --verbose --json\n");
  EXPECT_EQ(complete("brevik unzip a.zip --m", 3), "--make-unique\n");
}
