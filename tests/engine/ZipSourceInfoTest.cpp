// ZipSourceInfoTest.cpp -- one stat gives the attributes, time and size the separate platform calls give.
#include <gtest/gtest.h>

#include "engine/ZipPlatform.h"
#include "engine/ZipSourceInfo.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace brevik::test {
namespace {

TEST(ZipSourceInfo, AgreesWithTheSeparateCallsForFilesFoldersLinksAndReadOnlyFiles) {
  ScratchDir dir;
  WriteFileBytes(dir / "file.txt", std::string(1234, 'x'));
  WriteFileBytes(dir / "locked.txt", "ro");
  ASSERT_EQ(chmod((dir / "locked.txt").c_str(), 0444), 0);
  std::filesystem::create_directory(dir / "folder");
  ASSERT_EQ(symlink((dir / "file.txt").c_str(), (dir / "link").c_str()), 0);
  ASSERT_EQ(RunCommand("touch -m -d @1300000000 " + ShellQuote(dir / "file.txt")).exitStatus, 0);

  for (const char* name : {"file.txt", "locked.txt", "folder", "link"}) {
    const std::string path = dir / name;
    ZipSourceInfo info;
    ASSERT_TRUE(ZipReadSourceInfo(path, info)) << name;
    std::uint32_t attributes = 0;
    ASSERT_TRUE(PlatformOps::ReadAttributes(path, attributes));
    EXPECT_EQ(info.attributes, attributes) << name;
    std::time_t modTime = 0;
    ASSERT_TRUE(PlatformOps::ReadModTime(path, modTime));
    EXPECT_TRUE(info.modTimeKnown);
    EXPECT_EQ(info.modTime, modTime) << name;
    std::uint64_t size = 0;
    const bool sized = PlatformOps::FileSizeByName(path, size);
    EXPECT_EQ(info.isRegularFile, sized) << name;
    if (sized) {
      EXPECT_EQ(info.size, size) << name;
    } else {
      EXPECT_EQ(info.size, 0u) << name;  // a folder's st_size is no data size
    }
  }
  ZipSourceInfo link;
  ASSERT_TRUE(ZipReadSourceInfo(dir / "link", link));
  EXPECT_EQ(link.size, 1234u);  // the link is read as the file it names
  EXPECT_EQ(link.modTime, 1300000000);

  ZipSourceInfo untouched;
  untouched.size = 77;
  EXPECT_FALSE(ZipReadSourceInfo(dir / "missing", untouched));
  EXPECT_EQ(untouched.size, 77u);
}

}  // namespace
}  // namespace brevik::test
