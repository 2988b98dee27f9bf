// MakeUniquePathTest.cpp -- unique naming of extracted files: suffix placement and collisions.
#include "scripting/MakeUniquePath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/ScratchDir.h"
#include "support/Shell.h"

using brevik::test::ScratchDir;
using brevik::test::WriteFileBytes;

TEST(MakeUniquePath, FreeNameIsKept) {
  ScratchDir dir;
  EXPECT_EQ(MakeUniquePath(dir / "report.txt"), dir / "report.txt");
  EXPECT_EQ(MakeUniquePath(dir / "sub/"), dir / "sub/");
}

TEST(MakeUniquePath, SuffixGoesBeforeTheFirstDot) {
  ScratchDir dir;
  for (const char* name : {"report.txt", "data.tar.gz", "README", ".profile"}) WriteFileBytes(dir / name, "x");
  EXPECT_EQ(MakeUniquePath(dir / "report.txt"), dir / "report0.txt");
  EXPECT_EQ(MakeUniquePath(dir / "data.tar.gz"), dir / "data0.tar.gz");
  EXPECT_EQ(MakeUniquePath(dir / "README"), dir / "README0.");
  EXPECT_EQ(MakeUniquePath(dir / ".profile"), dir / "0.profile");
}

TEST(MakeUniquePath, TakenCandidatesAreSkippedAndFoldersCount) {
  ScratchDir dir;
  WriteFileBytes(dir / "a.txt", "x");
  WriteFileBytes(dir / "a0.txt", "x");
  ASSERT_EQ(mkdir((dir / "a1.txt").c_str(), 0755), 0);
  ASSERT_EQ(symlink("/nonexistent/target", (dir / "a2.txt").c_str()), 0);
  EXPECT_EQ(MakeUniquePath(dir / "a.txt"), dir / "a3.txt");
}

TEST(MakeUniquePath, OnlyTheFileNameChangesNotItsFolders) {
  ScratchDir dir;
  ASSERT_EQ(mkdir((dir / "v1.2").c_str(), 0755), 0);
  WriteFileBytes(dir / "v1.2/notes", "x");
  EXPECT_EQ(MakeUniquePath(dir / "v1.2/notes"), dir / "v1.2/notes0.");
}

TEST(MakeUniquePath, AMakerGoesOnFromTheNumberItLastGaveForThatNameAndNoOther) {
  ScratchDir dir;
  WriteFileBytes(dir / "a.txt", "x");
  WriteFileBytes(dir / "b.txt", "x");
  UniquePathMaker maker;
  for (const char* expected : {"a0.txt", "a1.txt", "a2.txt"}) {
    const std::string made = maker.Make(dir / "a.txt");
    EXPECT_EQ(made, dir / expected);
    WriteFileBytes(made, "x");
  }
  EXPECT_EQ(maker.Make(dir / "b.txt"), dir / "b0.txt");  // another name starts from 0
  // The numbers below the last one are not searched again: a name freed meanwhile stays free.
  ASSERT_EQ(unlink((dir / "a0.txt").c_str()), 0);
  EXPECT_EQ(maker.Make(dir / "a.txt"), dir / "a3.txt");
  EXPECT_EQ(MakeUniquePath(dir / "a.txt"), dir / "a0.txt");
  // A name taken after it was handed out is still skipped.
  WriteFileBytes(dir / "a3.txt", "x");
  WriteFileBytes(dir / "a4.txt", "x");
  EXPECT_EQ(maker.Make(dir / "a.txt"), dir / "a5.txt");
}
