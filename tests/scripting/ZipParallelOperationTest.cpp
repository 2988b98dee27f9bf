// ZipParallelOperationTest.cpp -- the Zip operation with workers: the archive does not depend on the threads, failures stay per file.
#include "scripting/CZipNow.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/ArchivePeers.h"
#include "support/HostingPolicyInstall.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipOperationsTestHelpers.h"

using namespace brevik::test;

namespace {

// Thirty files in three folders, text and noise, small and one of several chunks.
std::vector<ArchiveTreeItem> Tree() {
  std::vector<ArchiveTreeItem> items;
  for (int i = 0; i < 30; ++i) {
    const std::string folder = i % 3 == 0 ? "" : i % 3 == 1 ? "one/" : "one/two/";
    const std::size_t size = i == 17 ? 3u << 20 : static_cast<std::size_t>(1000 + 4099 * i);
    items.push_back({folder + "f" + std::to_string(10 + i) + (i % 4 ? ".txt" : ".bin"),
                     GeneratedBytes(size, 40u + static_cast<unsigned>(i), i % 4 != 0), 0644, 1300000000});
  }
  return items;
}

TEST(ZipParallelOperation, TheArchiveIsTheSameWithOneAndWithEveryThread) {
  HostingPolicyInstall machine;
  ScratchDir dir;
  WriteArchiveTree(dir / "tree", Tree());
  std::string first;
  for (const char* threads : {"1", "2", "8"}) {
    HostingScopedEnv cap("BREVIK_THREADS", std::string(threads));
    const std::string zip = dir / (std::string("t") + threads + ".zip");
    ZipRequest request = RequestFor(OpZip, zip);
    request.usePath = 0;
    request.folders = {dir / "tree"};
    EXPECT_EQ(CZipNow().Zip(request), "");
    const std::string bytes = ReadFileBytes(zip);
    if (first.empty())
      first = bytes;
    else
      EXPECT_TRUE(bytes == first) << threads << " threads wrote other bytes";
  }
  EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(dir / "t2.zip")).exitStatus, 0);
  EXPECT_EQ(PeerEntryNames(dir / "t2.zip").size(), 32u);  // the files and the two folders
}

TEST(ZipParallelOperation, AnUnreadableFileInTheMiddleIsReportedAndEveryOtherAdded) {
  HostingPolicyInstall machine;
  ScratchDir dir;
  std::vector<ArchiveTreeItem> items = Tree();
  items[12].mode = 0;  // "f22.bin" at the top: only root could read it
  WriteArchiveTree(dir / "tree", items);
  const std::string zip = dir / "walk.zip";
  ZipRequest request = RequestFor(OpZip, zip);
  request.usePath = 0;
  request.folders = {dir / "tree"};
  HostingScopedEnv cap("BREVIK_THREADS", std::string("2"));
  EXPECT_EQ(ZipInChild(request, dir / "result.txt", AsNobody, 0), "Cannot add " + dir / "tree/f22.bin" + " to " + zip);
  const std::vector<std::string> names = PeerEntryNames(zip);
  EXPECT_EQ(names.size(), 31u);
  // Every other file, whole, as Info-ZIP extracts it.
  items.erase(items.begin() + 12);
  WriteArchiveTree(dir / "expected", items);
  ASSERT_EQ(RunCommand("unzip -q " + ShellQuote(zip) + " -d " + ShellQuote(dir / "out")).exitStatus, 0);
  EXPECT_EQ(CompareArchiveTrees(dir / "expected", dir / "out", false, false), "");
}

}  // namespace
