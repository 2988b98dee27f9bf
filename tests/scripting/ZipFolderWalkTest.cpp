// ZipFolderWalkTest.cpp -- Zip of a folder tree: files that the walk lists but cannot reach are reported, not passed over.
#include "scripting/CZipNow.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/ArchivePeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipOperationsTestHelpers.h"

using namespace brevik::test;

namespace {

TEST(ZipFolderWalk, AFileListedInAFolderThatCannotBeEnteredIsReportedAndTheRestAdded) {
  ScratchDir dir;
  WriteArchiveTree(dir / "tree", {{"open.txt", "anyone may read this"}, {"shut/inside.txt", "behind a folder"}});
  // Readable but not searchable: its names can be listed, no file in it can be opened or stat'ed.
  ASSERT_EQ(chmod((dir / "tree/shut").c_str(), 0644), 0);
  const std::string zip = dir / "walk.zip";
  ZipRequest request = RequestFor(OpZip, zip);
  request.usePath = 0;
  request.folders = {dir / "tree"};
  const std::string result = ZipInChild(request, dir / "result.txt", AsNobody, 0);
  ASSERT_EQ(chmod((dir / "tree/shut").c_str(), 0755), 0);
  EXPECT_EQ(result, "Cannot add " + dir / "tree/shut/inside.txt" + " to " + zip);
  EXPECT_EQ(PeerEntryNames(zip), (std::vector<std::string>{"open.txt", "shut/"}));
}

}  // namespace
