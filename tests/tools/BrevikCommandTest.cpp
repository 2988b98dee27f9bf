// BrevikCommandTest.cpp -- the brevik command end to end: each subcommand, its output and status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

#include "BrevikRunner.h"
#include "support/ArchivePeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

using namespace brevik::test;

namespace {

const std::string& kBrevik = kBrevikCommand;

CommandResult Brevik(const std::string& folder, const std::string& arguments, std::string* errors = nullptr) {
  return RunBrevik(folder, arguments, errors);
}

std::string PeerNames(const std::string& archive) {
  return RunCommand("python3 -c 'import sys,zipfile\nfor i in zipfile.ZipFile(sys.argv[1]).infolist(): "
                    "print(i.filename, i.flag_bits & 1)' " +
                    ShellQuote(archive))
      .output;
}

class BrevikCommand : public ::testing::Test {
protected:
  void SetUp() override {
    WriteArchiveTree(dir.path(), {{"docs/a.txt", "alpha\n"}, {"docs/sub/b.txt", std::string(3000, 'b')}});
    // Stored full paths are the absolute path without its leading "/".
    stored = dir.path().substr(1);
  }
  ScratchDir dir;
  std::string stored;
};

TEST_F(BrevikCommand, ZipTakesRelativePathsAndItsOptions) {
  std::string errors;
  CommandResult zipped = Brevik(dir.path(), "zip out.zip docs/a.txt ./docs/sub/", &errors);
  EXPECT_EQ(zipped.exitStatus, 0) << errors;
  EXPECT_EQ(zipped.output, "");
  EXPECT_EQ(PeerNames(dir / "out.zip"),
            stored + "/docs/a.txt 0\n" + stored + "/docs/sub/ 0\n" + stored + "/docs/sub/b.txt 0\n");

  // --append keeps the entries; --no-paths drops the folders; --no-recurse stays on top.
  WriteFileBytes(dir / "pw.txt", "open sesame\n");
  zipped = Brevik(dir.path(), "zip out.zip --append --no-paths --no-recurse --password-file pw.txt docs", &errors);
  EXPECT_EQ(zipped.exitStatus, 0) << errors;
  EXPECT_EQ(PeerNames(dir / "out.zip"),
            stored + "/docs/a.txt 0\n" + stored + "/docs/sub/ 0\n" + stored + "/docs/sub/b.txt 0\na.txt 1\n");
  const CommandResult tested = RunCommand("unzip -tq -P 'open sesame' " + ShellQuote(dir / "out.zip"));
  EXPECT_EQ(tested.exitStatus, 0) << tested.output;

  // The object's refusal: status 1, its reason on standard error.
  zipped = Brevik(dir.path(), "zip out.zip docs/missing.txt", &errors);
  EXPECT_EQ(zipped.exitStatus, 1);
  EXPECT_EQ(errors, "brevik: Please specify the valid " + dir / "docs/missing.txt" + " file name to be zipped\n");
}

TEST_F(BrevikCommand, ListPrintsATableOrJson) {
  ASSERT_EQ(Brevik(dir.path(), "zip out.zip --no-paths docs").exitStatus, 0);
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.path()) + " && zip -q -P pw out.zip docs/a.txt").exitStatus, 0);
  std::string errors;
  CommandResult listed = Brevik(dir.path(), "list out.zip", &errors);
  EXPECT_EQ(listed.exitStatus, 0) << errors;
  EXPECT_EQ(listed.output,
            "Type        Size  Encrypted  Name\n"
            "File           6  no         a.txt\n"
            "Dir            0  no         sub/\n"
            "File        3000  no         sub/b.txt\n"
            "File           6  yes        docs/a.txt\n"
            "4 entries\n");
  listed = Brevik(dir.path(), "list --json out.zip", &errors);
  EXPECT_EQ(listed.exitStatus, 0) << errors;
  EXPECT_EQ(listed.output,
            "[\n"
            " {\"Name\": \"a.txt\", \"Type\": \"File\", \"Size\": 6, \"SavedName\": \"\", \"PasswordRequired\": \"No\", \"ErrorReason\": \"\"},\n"
            " {\"Name\": \"sub/\", \"Type\": \"Dir\", \"Size\": 0, \"SavedName\": \"\", \"PasswordRequired\": \"No\", \"ErrorReason\": \"\"},\n"
            " {\"Name\": \"sub/b.txt\", \"Type\": \"File\", \"Size\": 3000, \"SavedName\": \"\", \"PasswordRequired\": \"No\", \"ErrorReason\": \"\"},\n"
            " {\"Name\": \"docs/a.txt\", \"Type\": \"File\", \"Size\": 6, \"SavedName\": \"\", \"PasswordRequired\": \"Yes\", \"ErrorReason\": \"\"}\n"
            "]\n");

  WriteFileBytes(dir / "junk.zip", "not an archive");
  listed = Brevik(dir.path(), "list junk.zip", &errors);
  EXPECT_EQ(listed.exitStatus, 1);
  EXPECT_EQ(errors, "brevik: Cannot open file " + dir / "junk.zip" + ". It does not appear to be a valid zip\n");
  listed = Brevik(dir.path(), "list nothing-here.zip", &errors);
  EXPECT_EQ(listed.exitStatus, 1);
  EXPECT_EQ(errors, "brevik: Please specify the valid ZIP file name\n");
}

TEST_F(BrevikCommand, UnzipExtractAndDelete) {
  ASSERT_EQ(Brevik(dir.path(), "zip out.zip --no-paths docs").exitStatus, 0);
  ASSERT_EQ(mkdir((dir / "target").c_str(), 0755), 0);
  std::string errors;
  CommandResult unzipped = Brevik(dir.path(), "unzip out.zip -d target", &errors);
  EXPECT_EQ(unzipped.exitStatus, 0) << errors;
  EXPECT_EQ(unzipped.output, "a.txt\nsub/\nsub/b.txt\n");
  EXPECT_EQ(ReadFileBytes(dir / "target/sub/b.txt"), std::string(3000, 'b'));

  unzipped = Brevik(dir.path(), "unzip out.zip -d target/ --make-unique --json", &errors);
  EXPECT_EQ(unzipped.exitStatus, 0) << errors;
  EXPECT_EQ(unzipped.output,
            "[\n"
            " {\"Name\": \"a.txt\", \"Type\": \"File\", \"Size\": 6, \"SavedName\": \"a0.txt\", \"PasswordRequired\": \"No\", \"ErrorReason\": \"\"},\n"
            " {\"Name\": \"sub/\", \"Type\": \"Dir\", \"Size\": 0, \"SavedName\": \"sub/\", \"PasswordRequired\": \"No\", \"ErrorReason\": \"\"},\n"
            " {\"Name\": \"sub/b.txt\", \"Type\": \"File\", \"Size\": 3000, \"SavedName\": \"sub/b0.txt\", \"PasswordRequired\": \"No\", \"ErrorReason\": \"\"}\n"
            "]\n");

  ASSERT_EQ(mkdir((dir / "picked").c_str(), 0755), 0);
  EXPECT_EQ(Brevik(dir.path(), "extract out.zip -d picked ' A.TXT '", &errors).exitStatus, 0) << errors;
  EXPECT_EQ(ReadFileBytes(dir / "picked/a.txt"), "alpha\n");

  EXPECT_EQ(Brevik(dir.path(), "delete out.zip sub/b.txt SUB/", &errors).exitStatus, 0) << errors;
  EXPECT_EQ(PeerNames(dir / "out.zip"), "a.txt 0\n");
  const CommandResult emptied = Brevik(dir.path(), "delete out.zip a.txt", &errors);
  EXPECT_EQ(emptied.exitStatus, 0) << errors;
  const CommandResult nothing = Brevik(dir.path(), "delete out.zip a.txt", &errors);
  EXPECT_EQ(nothing.exitStatus, 1);
  EXPECT_EQ(errors, "brevik: No file or folder exists in given zip file\n");
}

TEST_F(BrevikCommand, PasswordsComeFromTheEnvironmentOrAFile) {
  WriteFileBytes(dir / "pw.txt", "from a file\r\nsecond line ignored\n");
  std::string errors;
  EXPECT_EQ(Brevik(dir.path(), "zip locked.zip --no-paths --password-file pw.txt docs/a.txt", &errors).exitStatus, 0)
      << errors;
  ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
  CommandResult unzipped = Brevik(dir.path(), "unzip locked.zip -d out", &errors);
  EXPECT_EQ(unzipped.exitStatus, 1);
  EXPECT_EQ(errors, "brevik: Cannot open file " + dir / "locked.zip" + ". It does not appear to be a valid password\n");
  const CommandResult viaEnvironment =
      RunCommand("cd " + ShellQuote(dir.path()) + " && BREVIK_PW='from a file' " + ShellQuote(kBrevik) +
                 " unzip locked.zip -d out --password-env BREVIK_PW");
  EXPECT_EQ(viaEnvironment.exitStatus, 0) << viaEnvironment.output;
  EXPECT_EQ(viaEnvironment.output, "a.txt\n");
  EXPECT_EQ(ReadFileBytes(dir / "out/a.txt"), "alpha\n");
}

TEST_F(BrevikCommand, AskPasswordReadsTheTerminalWithoutEcho) {
  // script(1) gives the command a terminal; the typed line arrives through it.
  const CommandResult asked = RunCommand("cd " + ShellQuote(dir.path()) + " && (sleep 1; printf 'typed secret\\n') | " +
                                         "script -qec " + ShellQuote(ShellQuote(kBrevik) + " zip asked.zip --no-paths " +
                                                                     "--ask-password docs/a.txt") +
                                         " /dev/null");
  EXPECT_EQ(asked.exitStatus, 0) << asked.output;
  EXPECT_EQ(asked.output, "Password: \r\n");  // the prompt and our own line end, not the password
  const CommandResult tested = RunCommand("unzip -tq -P 'typed secret' " + ShellQuote(dir / "asked.zip"));
  EXPECT_EQ(tested.exitStatus, 0) << tested.output;

  const CommandResult noTerminal = RunCommand("cd " + ShellQuote(dir.path()) + " && setsid -w " + ShellQuote(kBrevik) +
                                              " zip asked.zip --ask-password docs/a.txt </dev/null");
  EXPECT_EQ(noTerminal.exitStatus, 2);
  EXPECT_EQ(noTerminal.output, "brevik: --ask-password needs a terminal\n");
}

TEST_F(BrevikCommand, UnzipNamesSkippedEntriesAndFails) {
  const CommandResult made = RunCommand(
      "python3 -c 'import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1],\"w\")\n"
      "z.writestr(\"../escape.txt\",\"outside\")\nz.writestr(\"fine.txt\",\"inside\")\nz.close()' " +
      ShellQuote(dir / "evil.zip"));
  ASSERT_EQ(made.exitStatus, 0) << made.output;
  ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
  std::string errors;
  const CommandResult unzipped = Brevik(dir.path(), "unzip evil.zip -d out", &errors);
  EXPECT_EQ(unzipped.exitStatus, 1);
  EXPECT_EQ(unzipped.output, "fine.txt\n");
  EXPECT_EQ(errors, "brevik: not extracted: ../escape.txt: its name leads outside the target folder\n");
  struct stat info {};
  EXPECT_NE(stat((dir / "escape.txt").c_str(), &info), 0);
}

TEST_F(BrevikCommand, NamesPrintWithControlCharactersEscapedAndRefusalsWithTheirReasons) {
  // A name that would recolour the terminal and break the line, a link entry that leads out, a
  // folder entry whose place holds a file.
  const CommandResult made = RunCommand(
      "python3 -c 'import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1],\"w\")\n"
      "z.writestr(\"\\x1b[31mred\\n\\x9b.txt\",\"x\")\n"
      "i=zipfile.ZipInfo(\"up\")\ni.create_system=3\ni.external_attr=0o120777<<16\nz.writestr(i,\"../x\")\n"
      "z.writestr(\"taken/\",\"\")\nz.close()' " +
      ShellQuote(dir / "esc.zip"));
  ASSERT_EQ(made.exitStatus, 0) << made.output;
  std::string errors;
  const CommandResult listed = Brevik(dir.path(), "list esc.zip", &errors);
  EXPECT_EQ(listed.exitStatus, 0) << errors;
  EXPECT_EQ(listed.output, "Type        Size  Encrypted  Name\n"
                           "File           1  no         \\033[31mred\\n\\302\\233.txt\n"
                           "File           4  no         up\n"
                           "Dir            0  no         taken/\n"
                           "3 entries\n");
  ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
  WriteFileBytes(dir / "out/taken", "a file");
  const CommandResult unzipped = Brevik(dir.path(), "unzip esc.zip -d out", &errors);
  EXPECT_EQ(unzipped.exitStatus, 1);
  EXPECT_EQ(unzipped.output, "\\033[31mred\\n\\302\\233.txt\n");
  EXPECT_EQ(errors,
            "brevik: not extracted: up: it is a symbolic link that would lead outside the target folder\n"
            "brevik: not extracted: taken/: something other than a folder is in its place\n");
}

TEST_F(BrevikCommand, RegisterAndUnregisterWriteTheRegistryFile) {
  const std::string registry = dir / "registry.reg";
  const std::string prefix = "BREVIK_REGISTRY=" + ShellQuote(registry) + " " + ShellQuote(kBrevik);
  CommandResult result = RunCommand(prefix + " register");
  EXPECT_EQ(result.exitStatus, 0) << result.output;
  const std::string written = ReadFileBytes(registry);
  EXPECT_NE(written.find("[HKEY_CLASSES_ROOT\\Brevik.ZIP]"), std::string::npos) << written;
  EXPECT_NE(written.find("libbrevik.so"), std::string::npos) << written;
  result = RunCommand(prefix + " unregister");
  EXPECT_EQ(result.exitStatus, 0) << result.output;
  EXPECT_EQ(ReadFileBytes(registry).find("Brevik.ZIP]"), std::string::npos);
}

}  // namespace
