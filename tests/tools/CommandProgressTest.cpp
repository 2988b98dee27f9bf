// CommandProgressTest.cpp -- the progress line on a terminal, and Ctrl-C stopping zip and unzip cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "BrevikRunner.h"
#include "support/ScratchDir.h"

using namespace brevik::test;

namespace {

constexpr int kFiles = 12;

/// `kFiles` files of 12 MB that do not compress, so that the work takes a while on any machine.
void WriteSources(const ScratchDir& dir) {
  std::filesystem::create_directories(dir / "src");
  for (int i = 0; i < kFiles; ++i) {
    const CommandResult made =
        RunCommand("head -c 12000000 /dev/urandom > " + ShellQuote(dir / ("src/f" + std::to_string(i) + ".bin")));
    ASSERT_EQ(made.exitStatus, 0) << made.output;
  }
}

/// Runs `brevik ARGUMENTS` in `folder` and, once `ready` (a shell test) holds, stops the process,
/// sends it SIGINT and lets it go on, so the signal lands in the middle of the work whatever the
/// machine's speed. The command's exit status and standard error.
CommandResult InterruptWhen(const std::string& folder, const std::string& arguments, const std::string& ready) {
  return RunCommand("cd " + ShellQuote(folder) + " && { " + ShellQuote(kBrevikCommand) + " " + arguments +
                    " 2>stderr.txt & pid=$!; until " + ready + " || ! kill -0 $pid 2>/dev/null; do sleep 0.005; done; "
                    "kill -STOP $pid; kill -INT $pid; kill -CONT $pid; wait $pid; echo \"status $?\"; cat stderr.txt; }");
}

}  // namespace

TEST(CommandProgress, ALineOnATerminalAndNothingElsewhere) {
  ScratchDir dir;
  WriteSources(dir);
  std::string errors;
  ASSERT_EQ(RunBrevik(dir.path(), "zip big.zip --no-paths src", &errors).exitStatus, 0) << errors;
  // `script` gives the command a pseudo-terminal; the delay is set to nothing so that the line
  // shows however fast the machine is.
  const CommandResult shown = RunCommand("cd " + ShellQuote(dir.path()) + " && BREVIK_PROGRESS_DELAY=0 script -qfec " +
                                         ShellQuote(ShellQuote(kBrevikCommand) + " unzip big.zip -d out --quiet") +
                                         " /dev/null");
  EXPECT_EQ(shown.exitStatus, 0) << shown.output;
  EXPECT_NE(shown.output.find("%  f"), std::string::npos) << shown.output;     // percent, then the entry
  EXPECT_NE(shown.output.find("B/s"), std::string::npos) << shown.output;      // the rate
  EXPECT_NE(shown.output.find("\r\033[K"), std::string::npos) << shown.output;  // the line taken away at the end
  EXPECT_EQ(shown.output.find(".bin\r\n"), std::string::npos) << "--quiet printed entries";

  const CommandResult plain = RunCommand("cd " + ShellQuote(dir.path()) + " && BREVIK_PROGRESS_DELAY=0 " +
                                         ShellQuote(kBrevikCommand) + " unzip big.zip -d again 2>&1 >/dev/null");
  EXPECT_EQ(plain.output, "");  // standard error is no terminal: no progress
}

TEST(CommandProgress, CtrlCKeepsTheFinishedEntriesAndRemovesAHalfWrittenFile) {
  ScratchDir dir;
  WriteSources(dir);

  // zip: stopped once the archive holds more than one file's data.
  CommandResult stopped = InterruptWhen(dir.path(), "zip cut.zip --no-paths src",
                                        "[ $(stat -c %s cut.zip 2>/dev/null || echo 0) -gt 13000000 ]");
  EXPECT_NE(stopped.output.find("status 130\nbrevik: interrupted: the archive keeps the entries finished before\n"),
            std::string::npos)
      << stopped.output;
  const CommandResult tested = RunCommand("unzip -tq " + ShellQuote(dir / "cut.zip"));
  EXPECT_EQ(tested.exitStatus, 0) << tested.output;
  const CommandResult kept = RunCommand("python3 -c 'import sys,zipfile; n=len(zipfile.ZipFile(sys.argv[1]).namelist()); "
                                        "print(0 < n < " + std::to_string(kFiles) + ")' " + ShellQuote(dir / "cut.zip"));
  EXPECT_EQ(kept.output, "True\n");

  // unzip: stopped once the first file is out; every file left is whole.
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.path()) + " && zip -q -0 -j stored.zip src/*").exitStatus, 0);
  stopped = InterruptWhen(dir.path(), "unzip stored.zip -d out",
                          "[ -n \"$(find out -name '*.bin' -size 11719k 2>/dev/null)\" ]");
  EXPECT_NE(stopped.output.find("status 130\nbrevik: interrupted: the entries written before are kept\n"),
            std::string::npos)
      << stopped.output;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "out")) {
    ++files;
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(RunCommand("cmp " + ShellQuote(entry.path().string()) + " " + ShellQuote(dir / ("src/" + name))).exitStatus, 0)
        << name << " is not whole";
  }
  EXPECT_GT(files, 0);
  EXPECT_LT(files, kFiles);
}
