// CommandPeersTest.cpp -- archives the brevik command writes pass every peer with identical
// contents, and archives the peers write are listed and extracted identically by the command.
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

#include "support/ArchivePeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

using namespace brevik::test;

namespace {

const std::string kBrevik = std::string(BREVIK_BINARY_DIR) + "/tools/brevik";

// Names a reader may trip over (blanks, non-ASCII, a leading dot), an empty file, text that
// deflates, incompressible data bigger than one 64 KiB step, and folders three deep.
const std::vector<ArchiveTreeItem> kTree = {
    {"readme.txt", "A short text file.\n", 0644, 1700000000},
    {"empty.txt", "", 0644, 1700000000},
    {".hidden", "hidden\n", 0600, 1700000000},
    {"with blanks.txt", std::string(10000, 'w'), 0644, 1700000000},
    {"Ünïcode näme.txt", "unicode\n", 0644, 1700000000},
    {"bin/random.bin", GeneratedBytes(200000, 11, false), 0755, 1700000000},
    {"bin/text.log", GeneratedBytes(150000, 12, true), 0644, 1700000000},
    {"deep/er/est/leaf.txt", "leaf\n", 0644, 1700000000},
};

CommandResult RunIn(const std::string& folder, const std::string& command) {
  return RunCommand("cd " + ShellQuote(folder) + " && " + command);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    const std::string::size_type end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// Info-ZIP's listing: unlike Python's zipfile it reads the UTF-8 names that Info-ZIP's zip
// stores without flag bit 11 (with a Unicode path extra field) on a Unix host.
std::vector<std::string> SortedPeerNames(const std::string& archive) {
  std::vector<std::string> names = Lines(RunCommand("unzip -Z1 " + ShellQuote(archive)).output);
  std::sort(names.begin(), names.end());
  return names;
}

// The Name values of `brevik list --json`, one per line through Python's json module.
std::vector<std::string> SortedCommandNames(const std::string& archive) {
  std::vector<std::string> names = Lines(
      RunCommand(ShellQuote(kBrevik) + " list --json " + ShellQuote(archive) +
                 " | python3 -c 'import sys,json\nfor e in json.load(sys.stdin): print(e[\"Name\"])'")
          .output);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CommandPeers, ArchivesTheCommandWritesPassEveryPeer) {
  ScratchDir dir;
  WriteArchiveTree(dir / "tree", kTree);
  for (const std::string& password : std::vector<std::string>{"", "peer pass"}) {
    const std::string zip = dir / (password.empty() ? "plain.zip" : "locked.zip");
    std::string options = "--no-paths";
    if (!password.empty()) {
      WriteFileBytes(dir / "pw", password + "\n");
      options += " --password-file pw";
    }
    const CommandResult zipped = RunIn(dir.path(), ShellQuote(kBrevik) + " zip " + ShellQuote(zip) + " " + options + " tree");
    ASSERT_EQ(zipped.exitStatus, 0) << zipped.output;

    const std::string p = ShellQuote(password);
    const std::vector<std::pair<std::string, std::string>> checks = {
        {"unzip", "unzip -tq " + (password.empty() ? "" : "-P " + p + " ") + ShellQuote(zip)},
        {"7zz", "7zz t " + (password.empty() ? "" : "-p" + p + " ") + ShellQuote(zip)},
        {"bsdtar", "bsdtar -tf " + ShellQuote(zip)},
        {"python3", password.empty() ? "python3 -m zipfile -t " + ShellQuote(zip) : "true"},
    };
    for (const auto& [peer, command] : checks) {
      const CommandResult tested = RunCommand(command);
      EXPECT_EQ(tested.exitStatus, 0) << peer << " " << password << ":\n" << tested.output;
    }

    // Each peer extracts the same tree.
    const std::string tag = password.empty() ? "plain" : "locked";
    const std::vector<std::pair<std::string, std::string>> extractions = {
        {"unzip", "unzip -q " + (password.empty() ? "" : "-P " + p + " ") + ShellQuote(zip) + " -d x-unzip-" + tag},
        {"7zz", "7zz x -y -bd " + (password.empty() ? "" : "-p" + p + " ") + "-ox-7zz-" + tag + " " + ShellQuote(zip)},
        {"bsdtar", "mkdir x-bsdtar-" + tag + " && bsdtar -x " +
                       (password.empty() ? "" : "--passphrase " + p + " ") + "-f " + ShellQuote(zip) +
                       " -C x-bsdtar-" + tag},
        {"python3", "python3 -c 'import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\n"
                    "z.extractall(sys.argv[2],pwd=sys.argv[3].encode() or None)' " +
                        ShellQuote(zip) + " x-python3-" + tag + " " + p},
    };
    for (const auto& [peer, command] : extractions) {
      const CommandResult extracted = RunIn(dir.path(), command);
      ASSERT_EQ(extracted.exitStatus, 0) << peer << ":\n" << extracted.output;
      // Info-ZIP restores times and permission bits as well.
      const bool exact = peer == "unzip";
      EXPECT_EQ(CompareArchiveTrees(dir / "tree", dir / ("x-" + peer + "-" + tag), exact, exact), "")
          << peer << " " << tag;
    }
  }
}

TEST(CommandPeers, ArchivesThePeersWriteAreListedAndExtractedIdentically) {
  ScratchDir dir;
  WriteArchiveTree(dir / "tree", kTree);
  const std::vector<std::pair<std::string, std::string>> writers = {
      {"zip", "cd tree && zip -q -r ../zip.zip ."},
      {"7zz", "cd tree && 7zz a -tzip -bd ../7zz.zip . >/dev/null"},
      {"bsdtar", "cd tree && bsdtar --format zip -cf ../bsdtar.zip * .[!.]*"},
      {"python3", "cd tree && python3 -m zipfile -c ../python3.zip * .[!.]*"},
  };
  for (const auto& [peer, command] : writers) {
    const CommandResult written = RunIn(dir.path(), command);
    ASSERT_EQ(written.exitStatus, 0) << peer << ":\n" << written.output;
    const std::string zip = dir / (peer + ".zip");
    EXPECT_EQ(SortedCommandNames(zip), SortedPeerNames(zip)) << peer;

    const std::string out = dir / ("out-" + peer);
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    const CommandResult unzipped = RunIn(dir.path(), ShellQuote(kBrevik) + " unzip " + ShellQuote(zip) + " -d " + ShellQuote(out));
    EXPECT_EQ(unzipped.exitStatus, 0) << peer << ":\n" << unzipped.output;
    EXPECT_EQ(CompareArchiveTrees(dir / "tree", out, false, false), "") << peer;
  }
}

}  // namespace
