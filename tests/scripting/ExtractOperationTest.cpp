// ExtractOperationTest.cpp -- Extract: name matching, passwords and archives it cannot use.
#include "scripting/CExtract.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/ScratchDir.h"
#include "support/Shell.h"
#include "ZipOperationsTestHelpers.h"

using namespace brevik::test;

namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

TEST(ExtractOperation, QueuedNamesMatchWithoutCaseOrBlanks) {
  ScratchDir dir;
  const std::string zip = dir / "a.zip";
  WritePeerArchive(zip, {{"Docs/Report.TXT", "report"}, {"other.txt", "other"}, {"Ünïcode.txt", "u"}});
  ZipRequest request = RequestFor(OpExtract, zip, dir.path());
  request.files = {"  docs/report.txt\t", "ünÏCODE.TXT", "no-such-entry", "other"};
  EXPECT_EQ(CExtract().Extract(request), "");
  EXPECT_EQ(ReadFileBytes(dir / "Docs/Report.TXT"), "report");
  EXPECT_EQ(ReadFileBytes(dir / "Ünïcode.txt"), "u");
  EXPECT_FALSE(Exists(dir / "other.txt"));  // "other" is not "other.txt": no wildcards

  // Existing files are replaced; an empty queue extracts nothing and succeeds.
  WriteFileBytes(dir / "Docs/Report.TXT", "changed on disk");
  EXPECT_EQ(CExtract().Extract(request), "");
  EXPECT_EQ(ReadFileBytes(dir / "Docs/Report.TXT"), "report");
  request.files.clear();
  EXPECT_EQ(CExtract().Extract(request), "");
}

TEST(ExtractOperation, EncryptedEntryWithoutOrWithAWrongPassword) {
  ScratchDir dir;
  for (const char* name : {"s1.txt", "s2.txt", "s3.txt"}) WriteFileBytes(dir / name, std::string("secret ") + name);
  const CommandResult made =
      RunCommand("cd " + ShellQuote(dir.path()) + " && zip -q -P right locked.zip s1.txt s2.txt s3.txt");
  ASSERT_EQ(made.exitStatus, 0) << made.output;
  const std::string zip = dir / "locked.zip";
  ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
  ZipRequest request = RequestFor(OpExtract, zip, dir / "out");
  request.files = {"s1.txt", "s2.txt", "s3.txt"};
  const std::string failure = "Cannot open file " + zip + ". It does not appear to be a valid password";
  EXPECT_EQ(CExtract().Extract(request), failure);
  request.password = "wrong";
  EXPECT_EQ(CExtract().Extract(request), failure);
  request.password = "right";
  EXPECT_EQ(CExtract().Extract(request), "");
  EXPECT_EQ(ReadFileBytes(dir / "out/s2.txt"), "secret s2.txt");
}

TEST(ExtractOperation, ADamagedEntryDoesNotStopTheOnesAfterIt) {
  ScratchDir dir;
  const std::string zip = dir / "damaged.zip";
  const CommandResult made = RunCommand(
      "python3 -c 'import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1],\"w\")\n"
      "z.writestr(\"bad.txt\",\"DAMAGE-ME-HERE\")\nz.writestr(\"good.txt\",\"good\")\nz.close()' " +
      ShellQuote(zip));
  ASSERT_EQ(made.exitStatus, 0) << made.output;
  std::string bytes = ReadFileBytes(zip);
  bytes[bytes.find("DAMAGE-ME-HERE")] = 'd';  // stored data whose CRC no longer matches
  WriteFileBytes(zip, bytes);
  ZipRequest request = RequestFor(OpExtract, zip, dir.path());
  request.files = {"bad.txt", "good.txt"};
  EXPECT_EQ(CExtract().Extract(request), "");
  EXPECT_EQ(ReadFileBytes(dir / "good.txt"), "good");
}

TEST(ExtractOperation, EmptyAndUnusableArchives) {
  ScratchDir dir;
  WritePeerArchive(dir / "empty.zip", {});
  ZipRequest request = RequestFor(OpExtract, dir / "empty.zip", dir.path());
  request.files = {"a.txt"};
  EXPECT_EQ(CExtract().Extract(request), "No file or folder exists in given zip file");

  WriteFileBytes(dir / "text.zip", "plain text pretending to be an archive");
  request.zipFile = dir / "text.zip";
  EXPECT_EQ(CExtract().Extract(request), "Cannot open file " + dir / "text.zip" + ". It does not appear to be a valid zip");
}

}  // namespace
