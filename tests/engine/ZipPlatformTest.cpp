// ZipPlatformTest.cpp -- folders, existence tests, removal and renaming, sizes, times and temporary files.
#include "engine/ZipPlatform.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/ZipException.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

namespace {

using brevik::test::ScratchDir;

void Touch(const std::string& path, const std::string& bytes = "x") { brevik::test::WriteFileBytes(path, bytes); }

ino_t InodeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_ino;
}

/// The folder of a name made by TempFileName, after checking that it names a new, empty file
/// "ZAR" plus six characters; "" when it does not.
std::string FolderOfTempFile(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) return "";
  const std::string base = name.substr(slash + 1);
  EXPECT_EQ(base.size(), 9u) << name;
  EXPECT_EQ(base.substr(0, 3), "ZAR") << name;
  std::uint64_t size = 1;
  EXPECT_TRUE(PlatformOps::FileSizeByName(name, size)) << name;
  EXPECT_EQ(size, 0u) << name;
  return name.substr(0, slash);
}

/// TMPDIR set for one test and restored afterwards.
class TmpDirScope {
public:
  explicit TmpDirScope(const std::string& value) {
    if (const char* old = std::getenv("TMPDIR")) old_ = old, hadOld_ = true;
    ::setenv("TMPDIR", value.c_str(), 1);
  }
  ~TmpDirScope() {
    if (hadOld_) {
      ::setenv("TMPDIR", old_.c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

private:
  std::string old_;
  bool hadOld_ = false;
};

TEST(ZipPlatformFolders, MakePathCreatesOnlyWhatIsMissing) {
  ScratchDir scratch;
  const std::string existing = scratch / "a";
  ASSERT_EQ(::mkdir(existing.c_str(), 0755), 0);
  const ino_t existingInode = InodeOf(existing);

  EXPECT_TRUE(PlatformOps::MakePath(scratch / "a/b/c/"));
  EXPECT_TRUE(PlatformOps::IsExistingDir(scratch / "a/b/c"));
  EXPECT_EQ(InodeOf(existing), existingInode);

  // All parents there: only the last folder is made; an existing folder is left as it is.
  EXPECT_TRUE(PlatformOps::MakePath(scratch / "a/b/d"));
  EXPECT_TRUE(PlatformOps::IsExistingDir(scratch / "a/b/d"));
  const ino_t madeInode = InodeOf(scratch / "a/b/d");
  EXPECT_TRUE(PlatformOps::MakePath(scratch / "a/b/d"));
  EXPECT_EQ(InodeOf(scratch / "a/b/d"), madeInode);

  // The root and the empty path need nothing.
  EXPECT_TRUE(PlatformOps::MakePath("/"));
  EXPECT_TRUE(PlatformOps::MakePath("//"));
  EXPECT_TRUE(PlatformOps::MakePath(""));

  // A file in the way cannot become a folder.
  Touch(scratch / "file");
  EXPECT_FALSE(PlatformOps::MakePath(scratch / "file"));
  EXPECT_FALSE(PlatformOps::MakePath(scratch / "file/sub"));
  EXPECT_FALSE(PlatformOps::MakeDir(scratch / "a"));
}

TEST(ZipPlatformFolders, MakePathOnRelativePathsStaysRelative) {
  ScratchDir scratch;
  std::string before;
  ASSERT_TRUE(PlatformOps::CurrentDir(before));
  ASSERT_EQ(::chdir(scratch.path().c_str()), 0);
  const bool made = PlatformOps::MakePath("rel/inner");
  std::string during;
  const bool known = PlatformOps::CurrentDir(during);
  ASSERT_EQ(::chdir(before.c_str()), 0);
  EXPECT_TRUE(made);
  EXPECT_TRUE(known);
  EXPECT_EQ(during, scratch.path());
  EXPECT_TRUE(PlatformOps::IsExistingDir(scratch / "rel/inner"));
}

TEST(ZipPlatformFolders, ExistenceTestsUseExactlyTheName) {
  ScratchDir scratch;
  Touch(scratch / "f*");
  ASSERT_EQ(::mkdir((scratch / "d").c_str(), 0755), 0);
  EXPECT_EQ(PlatformOps::PathKind(scratch / "f*"), 1);
  EXPECT_EQ(PlatformOps::PathKind(scratch / "f?"), 0);  // no wildcards
  EXPECT_EQ(PlatformOps::PathKind(scratch / "d"), -1);
  EXPECT_EQ(PlatformOps::PathKind(scratch / "none"), 0);
  EXPECT_TRUE(PlatformOps::IsExistingDir(scratch / "d"));
  EXPECT_FALSE(PlatformOps::IsExistingDir(scratch / "f*"));
  EXPECT_FALSE(PlatformOps::IsExistingDir(scratch / "none"));

  // A folder the process cannot enter is still a folder, and testing it changes no directory.
  std::string before;
  ASSERT_TRUE(PlatformOps::CurrentDir(before));
  ASSERT_EQ(::chmod((scratch / "d").c_str(), 0), 0);
  EXPECT_TRUE(PlatformOps::IsExistingDir(scratch / "d"));
  std::string after;
  ASSERT_TRUE(PlatformOps::CurrentDir(after));
  EXPECT_EQ(before, after);
  ::chmod((scratch / "d").c_str(), 0755);
}

TEST(ZipPlatformFiles, RemoveAndRenameReportOrThrowAsAsked) {
  ScratchDir scratch;
  const std::string file = scratch / "old";
  Touch(file);
  EXPECT_TRUE(PlatformOps::MoveFileByName(file, scratch / "new", true));
  EXPECT_EQ(PlatformOps::PathKind(file), 0);
  EXPECT_EQ(brevik::test::ReadFileBytes(scratch / "new"), "x");

  EXPECT_FALSE(PlatformOps::MoveFileByName(file, scratch / "other", false));
  try {
    PlatformOps::MoveFileByName(file, scratch / "other", true);
    FAIL() << "renamed a missing file";
  } catch (const CZipException& error) {
    EXPECT_EQ(error.GetCause(), 114);
    EXPECT_EQ(error.GetFileName(), file);
    EXPECT_STREQ(error.what(), "Error while renaming a file (No such file or directory\n)");
  }

  EXPECT_TRUE(PlatformOps::DeleteFileByName(scratch / "new", true));
  EXPECT_EQ(PlatformOps::PathKind(scratch / "new"), 0);
  EXPECT_FALSE(PlatformOps::DeleteFileByName(scratch / "new", false));
  try {
    PlatformOps::DeleteFileByName(scratch / "new", true);
    FAIL() << "removed a missing file";
  } catch (const CZipException& error) {
    EXPECT_EQ(error.GetCause(), 113);
    EXPECT_EQ(error.GetFileName(), scratch / "new");
    EXPECT_STREQ(error.what(), "Error while removing a file (No such file or directory\n)");
  }
  // Folders are not files: removing one fails.
  ASSERT_EQ(::mkdir((scratch / "d").c_str(), 0755), 0);
  EXPECT_FALSE(PlatformOps::DeleteFileByName(scratch / "d", false));
  EXPECT_TRUE(PlatformOps::IsExistingDir(scratch / "d"));
}

TEST(ZipPlatformFiles, SizesAreSixtyFourBit) {
  ScratchDir scratch;
  const std::string sparse = scratch / "sparse";
  Touch(sparse, "");
  ASSERT_EQ(::truncate(sparse.c_str(), 5LL * 1024 * 1024 * 1024 + 7), 0);  // 5 GiB + 7, no blocks used
  std::uint64_t size = 0;
  ASSERT_TRUE(PlatformOps::FileSizeByName(sparse, size));
  EXPECT_EQ(size, 5ULL * 1024 * 1024 * 1024 + 7);

  Touch(scratch / "small", "12345");
  ASSERT_TRUE(PlatformOps::FileSizeByName(scratch / "small", size));
  EXPECT_EQ(size, 5u);
  EXPECT_FALSE(PlatformOps::FileSizeByName(scratch / "missing", size));
  EXPECT_FALSE(PlatformOps::FileSizeByName(scratch.path(), size));
}

TEST(ZipPlatformFiles, ModificationTimesReadAndWritten) {
  ScratchDir scratch;
  const std::string file = scratch / "t";
  Touch(file);
  ASSERT_TRUE(PlatformOps::WriteModTime(file, 1000000000));
  std::time_t modTime = 0;
  ASSERT_TRUE(PlatformOps::ReadModTime(file, modTime));
  EXPECT_EQ(modTime, 1000000000);

  const std::time_t before = std::time(nullptr);
  ASSERT_TRUE(PlatformOps::WriteModTime(file, -1));
  ASSERT_TRUE(PlatformOps::ReadModTime(file, modTime));
  EXPECT_GE(modTime, before);
  EXPECT_LE(modTime, std::time(nullptr));

  EXPECT_FALSE(PlatformOps::ReadModTime(scratch / "missing", modTime));
  EXPECT_FALSE(PlatformOps::WriteModTime(scratch / "missing", 5));
}

TEST(ZipPlatformSpace, FreeSpaceIsAskedOfTheNearestExistingFolder) {
  ScratchDir scratch;
  const std::uint64_t here = PlatformOps::DriveFreeSpace(scratch.path());
  EXPECT_GT(here, 0u);
  // A folder yet to be made lies on its parent's file system.
  const std::uint64_t planned = PlatformOps::DriveFreeSpace(scratch / "not/yet/made");
  EXPECT_GT(planned, 0u);
  EXPECT_LT(planned > here ? planned - here : here - planned, 64u * 1024 * 1024);
  EXPECT_FALSE(PlatformOps::IsRemovableDrive(scratch.path()));
}

TEST(ZipPlatformSpace, TempFileNameFallsBackToAFolderWithRoom) {
  ScratchDir given;
  ScratchDir temp;
  TmpDirScope tmpdir(temp.path());
  ASSERT_EQ(PlatformOps::SystemTempDir(), temp.path());
  const std::uint64_t needed = 6ULL * 1024 * 1024 * 1024;  // more than 32 bits can count
  std::uint64_t givenSpace = needed;
  std::uint64_t tempSpace = needed;
  std::uint64_t currentSpace = needed;
  std::string current;
  ASSERT_TRUE(PlatformOps::CurrentDir(current));
  const auto freeSpace = [&](const std::string& path) -> std::uint64_t {
    if (path == given.path()) return givenSpace;
    if (path == temp.path()) return tempSpace;
    if (path == current) return currentSpace;
    ADD_FAILURE() << "free space asked for " << path;
    return 0;
  };

  std::string name = PlatformOps::TempFileName(given.path(), needed, freeSpace);
  EXPECT_EQ(FolderOfTempFile(name), given.path());
  // 3 GiB free is too little for 6 GiB, though both cut to 32 bits would say otherwise.
  givenSpace = 3ULL * 1024 * 1024 * 1024;
  name = PlatformOps::TempFileName(given.path(), needed, freeSpace);
  EXPECT_EQ(FolderOfTempFile(name), temp.path());
  // 4 GiB + 10 bytes free is room for 1 GiB, though its low 32 bits are only 10.
  givenSpace = 4ULL * 1024 * 1024 * 1024 + 10;
  name = PlatformOps::TempFileName(given.path(), 1ULL << 30, freeSpace);
  EXPECT_EQ(FolderOfTempFile(name), given.path());
  givenSpace = needed - 1;
  name = PlatformOps::TempFileName(given.path(), needed, freeSpace);
  EXPECT_EQ(FolderOfTempFile(name), temp.path());
  name = PlatformOps::TempFileName("", needed, freeSpace);
  EXPECT_EQ(FolderOfTempFile(name), temp.path());

  tempSpace = 0;
  name = PlatformOps::TempFileName(given.path(), needed, freeSpace);
  EXPECT_EQ(FolderOfTempFile(name), current);
  std::filesystem::remove(name);

  currentSpace = 1;
  EXPECT_EQ(PlatformOps::TempFileName(given.path(), needed, freeSpace), "");
  // Two names asked for at once are different files.
  tempSpace = needed;
  const std::string first = PlatformOps::TempFileName("", 1, freeSpace);
  const std::string second = PlatformOps::TempFileName("", 1, freeSpace);
  EXPECT_EQ(FolderOfTempFile(first), temp.path());
  EXPECT_EQ(FolderOfTempFile(second), temp.path());
  EXPECT_NE(first, second);
}

}  // namespace
