// EntryEditPeers.cpp -- peer-made source archives and peer checks for the delete, replace and copy tests.
#include "support/EntryEditPeers.h"

#include "support/Shell.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace brevik::test {

void MakeInfoZipArchive(const std::string& folder, const std::string& archive, const std::vector<EntryEditFile>& files,
                        const std::string& zipOptions, bool streamed) {
  std::string names;
  for (const auto& [name, bytes] : files) {
    const std::filesystem::path path = std::filesystem::path(folder) / name;
    std::filesystem::create_directories(path.parent_path());
    WriteFileBytes(path.string(), bytes);
    names += " " + ShellQuote(name);
  }
  std::filesystem::remove(archive);
  // Without -X zip writes its time and id extra fields, longer in the local header than in the
  // central one: the case readers that trust the central lengths get wrong.
  const std::string zip = "cd " + ShellQuote(folder) + " && zip -q " + zipOptions;
  const std::string command = streamed ? zip + " -" + names + " | cat > " + ShellQuote(archive)
                                       : zip + " " + ShellQuote(archive) + names;
  CommandResult result = RunCommand(command);
  ASSERT_EQ(result.exitStatus, 0) << command << "\n" << result.output;
}

std::string PeerTestFailures(const std::string& archive) {
  std::string failures;
  CommandResult unzip = RunCommand("unzip -tqq " + ShellQuote(archive));
  if (unzip.exitStatus != 0) failures += "unzip -t: " + unzip.output;
  CommandResult sevenZip = RunCommand("7zz t -bd " + ShellQuote(archive));
  if (sevenZip.exitStatus != 0) failures += "7zz t: " + sevenZip.output;
  return failures;
}

std::string PeerTestSplitFailures(const std::string& archive) {
  // Only 7-Zip reads split volumes as they are; Info-ZIP unzip cannot, and joining them with
  // "zip -s 0" mangles deflated entries that cross a volume, Info-ZIP's own ones included.
  CommandResult sevenZip = RunCommand("7zz t -bd " + ShellQuote(archive));
  return sevenZip.exitStatus == 0 ? std::string() : "7zz t: " + sevenZip.output;
}

std::string PeerExtract(const std::string& archive, const std::string& name) {
  return RunCommand("unzip -p " + ShellQuote(archive) + " " + ShellQuote(name) + " 2>/dev/null").output;
}

std::vector<std::string> PeerEntryNames(const std::string& archive) {
  CommandResult result = RunCommand("python3 -c 'import sys, zipfile\nfor n in zipfile.ZipFile(sys.argv[1]).namelist(): "
                                    "print(n)' " + ShellQuote(archive) + " 2>&1");
  std::vector<std::string> names;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) names.push_back(line);
  return names;
}

std::vector<EntryEditLayout> PeerEntryLayout(const std::string& archive) {
  static const char* const script =
      "import sys, zipfile\n"
      "z = zipfile.ZipFile(sys.argv[1])\n"
      "items = sorted(z.infolist(), key=lambda i: i.header_offset)\n"
      "ends = [i.header_offset for i in items[1:]] + [z.start_dir]\n"
      "for i, end in zip(items, ends):\n"
      "    name = i.orig_filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')\n"
      "    print(i.filename, i.header_offset, end - i.header_offset, 46 + len(name) + len(i.extra) + len(i.comment))\n";
  CommandResult result = RunCommand("python3 -c " + ShellQuote(script) + " " + ShellQuote(archive) + " 2>&1");
  std::vector<EntryEditLayout> layout;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    EntryEditLayout entry;
    if (fields >> entry.name >> entry.offset >> entry.span >> entry.centralSize) layout.push_back(entry);
  }
  EXPECT_FALSE(layout.empty() && !result.output.empty()) << result.output;
  return layout;
}

}  // namespace brevik::test
