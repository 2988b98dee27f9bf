// ZipOperationsFailureTest.cpp -- Zip when the disk fills or a file cannot be read: the entries
// finished before stay readable and the failure is reported.
#include "scripting/CZipNow.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/ArchivePeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipOperationsTestHelpers.h"

using namespace brevik::test;

namespace {

TEST(ZipOperationsFailure, FullDiskKeepsTheFinishedEntries) {
  ScratchDir dir;
  const std::string zip = dir / "kept.zip";
  WritePeerArchive(zip, {{"old-1.txt", "first old entry"}, {"old-2.txt", std::string(3000, 'o')}});
  WriteFileBytes(dir / "small.txt", "small and finished");
  WriteFileBytes(dir / "big.bin", GeneratedBytes(400000, 3, false));
  struct stat before {};
  ASSERT_EQ(stat(zip.c_str(), &before), 0);

  // Room for the small file, not for the incompressible big one.
  ZipRequest request = RequestFor(OpZip, zip);
  request.createNew = 0;
  request.usePath = 0;
  request.files = {dir / "small.txt", dir / "big.bin"};
  const unsigned long long limit = static_cast<unsigned long long>(before.st_size) + 100000;
  EXPECT_EQ(ZipInChild(request, dir / "result.txt", WithFileSizeLimit, limit), "File too large (" + zip + ")");
  EXPECT_EQ(PeerEntryNames(zip), (std::vector<std::string>{"old-1.txt", "old-2.txt", "small.txt"}));
  EXPECT_TRUE(SameBytes(PeerEntryBytes(zip, "old-2.txt"), std::string(3000, 'o')));
  EXPECT_EQ(PeerEntryBytes(zip, "small.txt"), "small and finished");
  const CommandResult tested = RunCommand("unzip -tq " + ShellQuote(zip));
  EXPECT_EQ(tested.exitStatus, 0) << tested.output;

  // A new archive that fills the disk keeps what was finished as well.
  request.createNew = 1;
  request.zipFile = dir / "new.zip";
  EXPECT_EQ(ZipInChild(request, dir / "result-new.txt", WithFileSizeLimit, 100000), "File too large (" + dir / "new.zip" + ")");
  EXPECT_EQ(PeerEntryNames(dir / "new.zip"), std::vector<std::string>{"small.txt"});
}

TEST(ZipOperationsFailure, UnreadableFileIsReportedAndTheOthersAreAdded) {
  ScratchDir dir;
  WriteArchiveTree(dir / "tree", {{"open.txt", "anyone may read this"}, {"secret.txt", "owner only", 0600},
                                  {"later.txt", "read after the secret"}});
  const std::string zip = dir / "shared.zip";
  WritePeerArchive(zip, {{"old.txt", "kept"}});
  ASSERT_EQ(chmod(zip.c_str(), 0666), 0);

  ZipRequest request = RequestFor(OpZip, zip);
  request.createNew = 0;
  request.usePath = 0;
  request.files = {dir / "tree/open.txt", dir / "tree/secret.txt", dir / "tree/later.txt"};
  EXPECT_EQ(ZipInChild(request, dir / "result.txt", AsNobody, 0),
            "Cannot add " + dir / "tree/secret.txt" + " to " + zip);
  EXPECT_EQ(PeerEntryNames(zip), (std::vector<std::string>{"old.txt", "open.txt", "later.txt"}));

  // The same file met during a folder walk.
  request.files.clear();
  request.folders = {dir / "tree"};
  request.createNew = 1;
  EXPECT_EQ(ZipInChild(request, dir / "result-walk.txt", AsNobody, 0),
            "Cannot add " + dir / "tree/secret.txt" + " to " + zip);
  EXPECT_EQ(PeerEntryNames(zip).size(), 2u);
}

}  // namespace
