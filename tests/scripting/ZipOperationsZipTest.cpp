// ZipOperationsZipTest.cpp -- the Zip operation: open modes, stored names, folder walks, passwords.
#include "scripting/CZipNow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

#include "support/ArchivePeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipOperationsTestHelpers.h"

using namespace brevik::test;

namespace {

// docs/ holds two direct files (one hidden) and a two-level subfolder tree.
class ZipOperationsZip : public ::testing::Test {
protected:
  void SetUp() override {
    WriteArchiveTree(dir / "src", {{"docs/a.txt", "alpha\n"},
                                   {"docs/.hidden", "hidden file\n"},
                                   {"docs/sub/b.txt", std::string(5000, 'b')},
                                   {"docs/sub/deeper/c.bin", GeneratedBytes(70000, 7, false)},
                                   {"docs/sub/deeper/empty.txt", ""}});
    docs = dir / "src/docs";
    zip = dir / "out.zip";
    // Stored full paths drop the leading "/".
    docsStored = docs.substr(1);
  }

  std::string Run(ZipRequest request) { return CZipNow().Zip(request); }

  static std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
  }

  ScratchDir dir;
  std::string docs;
  std::string docsStored;
  std::string zip;
};

TEST_F(ZipOperationsZip, CreateNewReplacesAppendsOrCreates) {
  WritePeerArchive(zip, {{"old.txt", "old"}});
  ZipRequest request = RequestFor(OpZip, zip);
  request.usePath = 0;
  request.files = {docs + "/a.txt"};

  // CreateNew 1 (the default) replaces the archive.
  EXPECT_EQ(Run(request), "");
  EXPECT_EQ(PeerEntryNames(zip), std::vector<std::string>{"a.txt"});

  // CreateNew 0 keeps what is there and adds after it.
  request.createNew = 0;
  request.files = {docs + "/sub/b.txt"};
  EXPECT_EQ(Run(request), "");
  EXPECT_EQ(PeerEntryNames(zip), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(PeerEntryBytes(zip, "a.txt"), "alpha\n");
  EXPECT_TRUE(SameBytes(PeerEntryBytes(zip, "b.txt"), std::string(5000, 'b')));

  // CreateNew 0 without an archive creates one.
  const std::string fresh = dir / "fresh.zip";
  request.zipFile = fresh;
  EXPECT_EQ(Run(request), "");
  EXPECT_EQ(PeerEntryNames(fresh), std::vector<std::string>{"b.txt"});

  // Nothing queued: an archive without entries that the peers accept.
  const std::string empty = dir / "empty.zip";
  EXPECT_EQ(Run(RequestFor(OpZip, empty)), "");
  EXPECT_EQ(PeerEntryNames(empty), std::vector<std::string>{});
}

TEST_F(ZipOperationsZip, StoredNamesFollowUsePathAndSubFolders) {
  ZipRequest request = RequestFor(OpZip, zip);
  request.files = {docs + "/a.txt"};
  EXPECT_EQ(Run(request), "");
  EXPECT_EQ(PeerEntryNames(zip), std::vector<std::string>{docsStored + "/a.txt"});

  // Without paths a folder's contents are named relative to it, and the folder itself gets no
  // entry (it would be named "/").
  request.files.clear();
  request.usePath = 0;
  request.folders = {docs};
  EXPECT_EQ(Run(request), "");
  const std::vector<std::string> relative = PeerEntryNames(zip);
  EXPECT_EQ(Sorted(relative), (std::vector<std::string>{".hidden", "a.txt", "sub/", "sub/b.txt", "sub/deeper/",
                                                        "sub/deeper/c.bin", "sub/deeper/empty.txt"}));
  // Depth first: a folder's own files come before its subfolder's entry, which comes before
  // the subfolder's contents.
  auto at = [&](const std::string& name) { return std::find(relative.begin(), relative.end(), name) - relative.begin(); };
  EXPECT_LT(at("a.txt"), at("sub/"));
  EXPECT_LT(at(".hidden"), at("sub/"));
  EXPECT_LT(at("sub/"), at("sub/b.txt"));
  EXPECT_LT(at("sub/b.txt"), at("sub/deeper/"));
  EXPECT_LT(at("sub/deeper/"), at("sub/deeper/c.bin"));

  // A trailing separator on the queued folder changes nothing.
  request.folders = {docs + "//"};
  EXPECT_EQ(Run(request), "");
  EXPECT_EQ(PeerEntryNames(zip), relative);

  // SubFolders 0: the folder's direct files only.
  request.subFolders = 0;
  EXPECT_EQ(Run(request), "");
  EXPECT_EQ(Sorted(PeerEntryNames(zip)), (std::vector<std::string>{".hidden", "a.txt"}));

  // With paths the folder's own entry comes first.
  request.usePath = 1;
  EXPECT_EQ(Run(request), "");
  const std::vector<std::string> full = PeerEntryNames(zip);
  ASSERT_EQ(full.size(), 3u);
  EXPECT_EQ(full[0], docsStored + "/");
  EXPECT_EQ(Sorted({full[1], full[2]}), (std::vector<std::string>{docsStored + "/.hidden", docsStored + "/a.txt"}));

  request.subFolders = 1;
  EXPECT_EQ(Run(request), "");
  EXPECT_EQ(PeerEntryNames(zip).size(), 8u);
  EXPECT_TRUE(SameBytes(PeerEntryBytes(zip, docsStored + "/sub/deeper/c.bin"), GeneratedBytes(70000, 7, false)));
}

TEST_F(ZipOperationsZip, PasswordReachesEveryFileAtEveryDepth) {
  ZipRequest request = RequestFor(OpZip, zip);
  request.usePath = 0;
  request.password = "s3cret";
  request.files = {docs + "/a.txt"};
  request.folders = {docs + "/sub"};
  EXPECT_EQ(Run(request), "");
  EXPECT_EQ(PeerEntryBytes(zip, "a.txt", "s3cret"), "alpha\n");
  EXPECT_TRUE(SameBytes(PeerEntryBytes(zip, "b.txt", "s3cret"), std::string(5000, 'b')));
  EXPECT_TRUE(SameBytes(PeerEntryBytes(zip, "deeper/c.bin", "s3cret"), GeneratedBytes(70000, 7, false)));
  // Without the password the peers refuse every file that holds data.
  for (const char* name : {"a.txt", "b.txt", "deeper/c.bin"})
    EXPECT_EQ(PeerEntryBytes(zip, name).rfind("ERROR: ", 0), 0u) << name;
  const CommandResult tested = RunCommand("unzip -t -P s3cret " + ShellQuote(zip));
  EXPECT_EQ(tested.exitStatus, 0) << tested.output;
}

TEST_F(ZipOperationsZip, SpecialFilesLinksAndTheArchiveItselfAreNotAdded) {
  const std::string odd = dir / "src/odd";
  ASSERT_EQ(mkdir(odd.c_str(), 0755), 0);
  WriteFileBytes(odd + "/real.txt", "real");
  ASSERT_EQ(mkfifo((odd + "/pipe").c_str(), 0644), 0);
  ASSERT_EQ(symlink(".", (odd + "/loop").c_str()), 0);        // a folder link back to itself
  ASSERT_EQ(symlink("ping", (odd + "/pong").c_str()), 0);     // two links naming each other
  ASSERT_EQ(symlink("pong", (odd + "/ping").c_str()), 0);
  ASSERT_EQ(symlink("real.txt", (odd + "/alias.txt").c_str()), 0);  // a link to a file

  ZipRequest request = RequestFor(OpZip, odd + "/self.zip");
  request.usePath = 0;
  request.folders = {odd};
  EXPECT_EQ(Run(request), "");
  EXPECT_EQ(Sorted(PeerEntryNames(odd + "/self.zip")), (std::vector<std::string>{"alias.txt", "real.txt"}));
  EXPECT_EQ(PeerEntryBytes(odd + "/self.zip", "alias.txt"), "real");
  // Made again, with a second name for the archive in the folder: that is the archive too.
  ASSERT_EQ(link((odd + "/self.zip").c_str(), (odd + "/hard.zip").c_str()), 0);
  EXPECT_EQ(Run(request), "");
  EXPECT_EQ(Sorted(PeerEntryNames(odd + "/self.zip")), (std::vector<std::string>{"alias.txt", "real.txt"}));
  ASSERT_EQ(unlink((odd + "/hard.zip").c_str()), 0);

  // Queued directly, a FIFO would block the read forever: it is refused, the rest still added.
  request.folders.clear();
  request.zipFile = zip;
  request.files = {odd + "/pipe", odd + "/real.txt", odd + "/loop/missing.txt"};
  EXPECT_EQ(Run(request), "Cannot add " + odd + "/pipe to " + zip);
  EXPECT_EQ(PeerEntryNames(zip), std::vector<std::string>{"real.txt"});
}

TEST_F(ZipOperationsZip, ItemsThatCannotBeAddedAreReportedAndTheRestIsKept) {
  // A file that vanished after the frame checked it, between two good ones.
  ZipRequest request = RequestFor(OpZip, zip);
  request.usePath = 0;
  request.files = {docs + "/a.txt", docs + "/gone.txt", docs + "/sub/b.txt", docs + "/also-gone.txt"};
  EXPECT_EQ(Run(request), "Cannot add " + docs + "/gone.txt to " + zip);
  EXPECT_EQ(PeerEntryNames(zip), (std::vector<std::string>{"a.txt", "b.txt"}));
  const CommandResult tested = RunCommand("unzip -tq " + ShellQuote(zip));
  EXPECT_EQ(tested.exitStatus, 0) << tested.output;
}

TEST_F(ZipOperationsZip, AnArchiveWithTheMostEntriesTakesNoMore) {
  // 65535 entries is as many as the end record's 16-bit count can hold.
  const CommandResult made = RunCommand(
      "python3 -c 'import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1],\"w\")\n"
      "for i in range(65535): z.writestr(\"e%05d\" % i, b\"\")\nz.close()' " +
      ShellQuote(zip));
  ASSERT_EQ(made.exitStatus, 0) << made.output;
  ZipRequest request = RequestFor(OpZip, zip);
  request.createNew = 0;
  request.usePath = 0;
  request.files = {docs + "/a.txt"};
  EXPECT_EQ(Run(request), "Cannot add " + docs + "/a.txt to " + zip);
  const std::vector<std::string> names = PeerEntryNames(zip);
  ASSERT_EQ(names.size(), 65535u);
  EXPECT_EQ(names.back(), "e65534");
}

TEST_F(ZipOperationsZip, AnArchiveThatCannotBeOpenedIsLeftAlone) {
  const std::string junk = "this is not a zip archive, only text that is long enough to look for a record in";
  WriteFileBytes(zip, junk);
  ZipRequest request = RequestFor(OpZip, zip);
  request.createNew = 0;
  request.files = {docs + "/a.txt"};
  EXPECT_EQ(Run(request), "Cannot open file " + zip + ". It does not appear to be a valid zip");
  EXPECT_EQ(ReadFileBytes(zip), junk);

  // A folder that does not exist cannot be created into.
  request = RequestFor(OpZip, dir / "no/such/folder/x.zip");
  EXPECT_EQ(Run(request), "Cannot open file " + dir / "no/such/folder/x.zip" + ". It does not appear to be a valid zip");
}

}  // namespace
