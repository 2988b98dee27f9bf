// DeleteOperationTest.cpp -- Delete: name matching, each entry once, archives it cannot use.
#include "scripting/CDelete.h"

#include <gtest/gtest.h>

#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipOperationsTestHelpers.h"

using namespace brevik::test;

namespace {

TEST(DeleteOperation, MatchingEntriesGoAndTheRestStayIntact) {
  ScratchDir dir;
  const std::string zip = dir / "five.zip";
  WritePeerArchive(zip, {{"a.txt", std::string(3000, 'a')}, {"b.txt", "bee"}, {"c/", ""}, {"c/d.txt", "dee"},
                         {"e.txt", GeneratedBytes(20000, 5, false)}});
  ZipRequest request = RequestFor(OpDelete, zip);
  request.files = {"nothing-like-it"};
  EXPECT_EQ(CDelete().Delete(request), "");
  EXPECT_EQ(PeerEntryNames(zip).size(), 5u);

  request.files = {" B.TXT ", "c/D.txt"};
  EXPECT_EQ(CDelete().Delete(request), "");
  EXPECT_EQ(PeerEntryNames(zip), (std::vector<std::string>{"a.txt", "c/", "e.txt"}));
  EXPECT_TRUE(SameBytes(PeerEntryBytes(zip, "a.txt"), std::string(3000, 'a')));
  EXPECT_TRUE(SameBytes(PeerEntryBytes(zip, "e.txt"), GeneratedBytes(20000, 5, false)));
  const CommandResult tested = RunCommand("unzip -tq " + ShellQuote(zip));
  EXPECT_EQ(tested.exitStatus, 0) << tested.output;
}

TEST(DeleteOperation, TwoNamesForOneEntryDeleteOnlyThatEntry) {
  // Two entries and two queued names for the first: an index list holding it twice would be
  // as long as the archive and read as "delete everything".
  ScratchDir dir;
  const std::string zip = dir / "two.zip";
  WritePeerArchive(zip, {{"a.txt", "a"}, {"keep.txt", "keep me"}});
  ZipRequest request = RequestFor(OpDelete, zip);
  request.files = {"a.txt", "A.TXT"};
  EXPECT_EQ(CDelete().Delete(request), "");
  EXPECT_EQ(PeerEntryNames(zip), std::vector<std::string>{"keep.txt"});
  EXPECT_EQ(PeerEntryBytes(zip, "keep.txt"), "keep me");

  // Deleting the last entry leaves an empty archive, on which Delete then reports nothing to do.
  request.files = {"keep.txt"};
  EXPECT_EQ(CDelete().Delete(request), "");
  EXPECT_EQ(PeerEntryNames(zip), std::vector<std::string>{});
  EXPECT_EQ(CDelete().Delete(request), "No file or folder exists in given zip file");
}

TEST(DeleteOperation, UnusableArchiveIsLeftAsItWas) {
  ScratchDir dir;
  const std::string junk = "no archive here, just words";
  WriteFileBytes(dir / "text.zip", junk);
  ZipRequest request = RequestFor(OpDelete, dir / "text.zip");
  request.files = {"a.txt"};
  EXPECT_EQ(CDelete().Delete(request), "Cannot open file " + dir / "text.zip" + ". It does not appear to be a valid zip");
  EXPECT_EQ(ReadFileBytes(dir / "text.zip"), junk);
}

}  // namespace
