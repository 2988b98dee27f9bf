// CommandPathsTest.cpp -- the command's paths mean what the system means by them.
#include <gtest/gtest.h>

#include <filesystem>

#include "BrevikRunner.h"
#include "support/ScratchDir.h"

using namespace brevik::test;

TEST(CommandPaths, AParentStepAfterALinkStepsUpFromTheLinksTarget) {
  ScratchDir dir;
  std::filesystem::create_directories(dir / "deep/inner");
  std::filesystem::create_directories(dir / "deep/out");
  std::filesystem::create_directories(dir / "docs");
  std::filesystem::create_directories(dir / "deep/docs");
  std::filesystem::create_directories(dir / "out");
  std::filesystem::create_directory_symlink(dir / "deep/inner", dir / "link");
  WriteFileBytes(dir / "deep/docs/a.txt", "beside the link's target\n");
  WriteFileBytes(dir / "docs/a.txt", "beside the link itself\n");

  // As `cat link/../docs/a.txt` reads it: the file beside the link's target.
  std::string errors;
  CommandResult run = RunBrevik(dir.path(), "zip o.zip --no-paths link/../docs/a.txt", &errors);
  ASSERT_EQ(run.exitStatus, 0) << errors;
  run = RunBrevik(dir.path(), "unzip o.zip -d link/../out", &errors);
  ASSERT_EQ(run.exitStatus, 0) << errors;
  EXPECT_EQ(ReadFileBytes(dir / "deep/out/a.txt"), "beside the link's target\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "out/a.txt"));

  // With paths kept, the stored name is the file's real path, without "..".
  run = RunBrevik(dir.path(), "zip full.zip link/../docs/a.txt", &errors);
  ASSERT_EQ(run.exitStatus, 0) << errors;
  const CommandResult names =
      RunCommand("python3 -c 'import sys,zipfile; print(zipfile.ZipFile(sys.argv[1]).namelist())' " + ShellQuote(dir / "full.zip"));
  EXPECT_EQ(names.output, "['" + (dir / "deep/docs/a.txt").substr(1) + "']\n");
}

TEST(CommandPaths, AMissingTargetIsMadeWithItsParentsAndTakenAwayWhenTheCallFails) {
  ScratchDir dir;
  WriteFileBytes(dir / "a.txt", "alpha\n");
  std::string errors;
  ASSERT_EQ(RunBrevik(dir.path(), "zip a.zip --no-paths a.txt", &errors).exitStatus, 0) << errors;

  CommandResult run = RunBrevik(dir.path(), "unzip a.zip -d new/deeper/out", &errors);
  EXPECT_EQ(run.exitStatus, 0) << errors;
  EXPECT_EQ(ReadFileBytes(dir / "new/deeper/out/a.txt"), "alpha\n");
  run = RunBrevik(dir.path(), "extract a.zip -d other a.txt", &errors);
  EXPECT_EQ(run.exitStatus, 0) << errors;
  EXPECT_EQ(ReadFileBytes(dir / "other/a.txt"), "alpha\n");

  // A call that fails leaves no folder it made behind, and names the real fault.
  run = RunBrevik(dir.path(), "unzip missing.zip -d never/made", &errors);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(errors, "brevik: Please specify the valid ZIP file name\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "never"));
  // A folder that was there already stays, even when empty.
  std::filesystem::create_directories(dir / "kept");
  EXPECT_EQ(RunBrevik(dir.path(), "unzip missing.zip -d kept/sub", &errors).exitStatus, 1);
  EXPECT_TRUE(std::filesystem::exists(dir / "kept"));
  EXPECT_FALSE(std::filesystem::exists(dir / "kept/sub"));
  // A target that cannot be made is the command's own failure.
  WriteFileBytes(dir / "file", "x");
  EXPECT_EQ(RunBrevik(dir.path(), "unzip a.zip -d file/sub", &errors).exitStatus, 1);
  EXPECT_EQ(errors, "brevik: cannot make the target folder " + dir / "file/sub" + ": Not a directory\n");
}
