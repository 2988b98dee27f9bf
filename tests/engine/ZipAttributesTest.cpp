// ZipAttributesTest.cpp -- attribute conversion between host systems and file modes applied on disk.
#include "engine/ZipPlatform.h"

#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/ZipException.h"
#include "support/FoundationUnprivileged.h"
#include "support/ScratchDir.h"

namespace {

using brevik::test::ScratchDir;

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode;
}

/// The umask, changed for one test and restored afterwards.
class UmaskScope {
public:
  explicit UmaskScope(mode_t mask) : old_(::umask(mask)) {}
  ~UmaskScope() { ::umask(old_); }

private:
  mode_t old_;
};

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

TEST(ZipAttributeConversion, SupportedSystemsConvertThroughDosForm) {
  for (int system : {0, 3, 6, 7, 10}) EXPECT_TRUE(PlatformOps::IsSupportedSystem(system)) << system;
  for (int system : {1, 2, 4, 5, 8, 9, 11, 19, -1}) EXPECT_FALSE(PlatformOps::IsSupportedSystem(system)) << system;

  // Equal systems, or any system from 11 on, leave attributes alone.
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x12345678, 0, 10), 0x12345678u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x12345678, 3, 3), 0x12345678u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x12345678, 1, 1), 0x12345678u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x12345678, 11, 3), 0x12345678u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x12345678, 3, 30), 0x12345678u);

  // DOS to Unix: 0444 unless hidden, 0220 unless read-only, a type always.
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x10, 0, 3), 0x41B40010u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x20, 0, 3), 0x81B40000u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x21, 10, 3), 0x81240000u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x23, 6, 3), 0x80000000u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x12, 0, 3), 0x40900010u);

  // Unix to DOS: directory, no owner execute -> archive, no owner write -> read-only, no owner
  // read -> hidden.
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x81A40000, 3, 0), 0x20u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x41ED0000, 3, 0), 0x10u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x81240000, 3, 10), 0x21u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x80000000, 3, 0), 0x23u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x81C00000, 3, 0), 0x00u);

  // The Macintosh keeps read-only and directory only.
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x37, 7, 0), 0x11u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x37, 0, 7), 0x11u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x41ED0000, 3, 7), 0x10u);
  EXPECT_EQ(PlatformOps::ConvertAttributes(0x11, 7, 3), 0x41240010u);
}

TEST(ZipAttributeConversion, SystemsWithoutConverterThrow115) {
  for (auto [from, to] : {std::pair{0, 1}, {1, 0}, {3, 2}, {4, 3}, {5, 10}, {8, 7}, {9, 6}}) {
    try {
      PlatformOps::ConvertAttributes(0x20, from, to);
      FAIL() << from << " -> " << to << " converted";
    } catch (const CZipException& error) {
      EXPECT_EQ(error.GetCause(), 115);
      EXPECT_EQ(error.GetFileName(), "");
      EXPECT_STREQ(error.what(), "Cannot create the file for the specified platform");
    }
  }
}

TEST(ZipAttributeConversion, DirectoryTestAcceptsDosBitOrUnixType) {
  EXPECT_TRUE(PlatformOps::AttrIsDirectory(0x10));
  EXPECT_TRUE(PlatformOps::AttrIsDirectory(0x41ED0000));  // as other Unix tools write folders
  EXPECT_TRUE(PlatformOps::AttrIsDirectory(PlatformOps::DefaultDirAttributes()));
  EXPECT_FALSE(PlatformOps::AttrIsDirectory(PlatformOps::DefaultFileAttributes()));
  EXPECT_FALSE(PlatformOps::AttrIsDirectory(0xA1FF0000));  // a symbolic link
  EXPECT_FALSE(PlatformOps::AttrIsDirectory(0x20));
}

TEST(ZipFileModes, ReadAttributesGivesModeDirectoryAndReadOnlyBits) {
  ScratchDir scratch;
  const std::string file = scratch / "f";
  Touch(file);
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  std::uint32_t attributes = 0;
  ASSERT_TRUE(PlatformOps::ReadAttributes(file, attributes));
  EXPECT_EQ(attributes, 0x81A00000u);

  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  ASSERT_TRUE(PlatformOps::ReadAttributes(file, attributes));
  EXPECT_EQ(attributes, 0x81240001u);

  const std::string folder = scratch / "d";
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
  ASSERT_TRUE(PlatformOps::ReadAttributes(folder, attributes));
  EXPECT_EQ(attributes, 0x41ED0010u);

  EXPECT_FALSE(PlatformOps::ReadAttributes(scratch / "missing", attributes));
}

TEST(ZipFileModes, WriteAttributesAppliesPermissionsLessUmaskAndNoSpecialBits) {
  ScratchDir scratch;
  UmaskScope umask(027);
  const std::string file = scratch / "f";
  Touch(file);

  // A real file's mode survives the round trip (within the umask).
  ASSERT_EQ(::chmod(file.c_str(), 0750), 0);
  std::uint32_t attributes = 0;
  ASSERT_TRUE(PlatformOps::ReadAttributes(file, attributes));
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  ASSERT_TRUE(PlatformOps::WriteAttributes(file, attributes));
  EXPECT_EQ(ModeOf(file) & 07777, 0750u);

  // Set-user, set-group and sticky are never applied; the umask removes what it masks.
  ASSERT_TRUE(PlatformOps::WriteAttributes(file, 0x8FFF0000));
  EXPECT_EQ(ModeOf(file) & 07777, 0750u);
  ASSERT_TRUE(PlatformOps::WriteAttributes(file, (S_IFREG | S_ISUID | 0644u) << 16));
  EXPECT_EQ(ModeOf(file) & 07777, 0640u);

  // A link or device type, or no type at all, gives a plain file's default permissions.
  ASSERT_TRUE(PlatformOps::WriteAttributes(file, 0xA1C00000));
  EXPECT_EQ(ModeOf(file) & 07777, 0640u);
  ASSERT_TRUE(PlatformOps::WriteAttributes(file, 0x00000021));
  EXPECT_EQ(ModeOf(file) & 07777, 0640u);

  EXPECT_FALSE(PlatformOps::WriteAttributes(scratch / "missing", 0x81A40000));

  // A link in the place of the name is left alone, and so is what it names.
  ASSERT_EQ(::symlink(file.c_str(), (scratch / "link").c_str()), 0);
  EXPECT_FALSE(PlatformOps::WriteAttributes(scratch / "link", (S_IFREG | 0600u) << 16));
  EXPECT_EQ(ModeOf(file) & 07777, 0640u);
}

TEST(ZipFileModes, OpenFilesGetModeAndTimeThroughTheirDescriptor) {
  ScratchDir scratch;
  const std::string file = scratch / "f";
  Touch(file);
  const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  {
    UmaskScope umask(027);
    // The same rules as by name: no special bits, the umask taken off, other types as plain files.
    EXPECT_TRUE(PlatformOps::WriteFileAttributes(fd, (S_IFREG | S_ISUID | S_ISVTX | 0775u) << 16));
    EXPECT_EQ(ModeOf(file) & 07777, 0750u);
    EXPECT_TRUE(PlatformOps::WriteFileAttributes(fd, 0xA1FF0000));
    EXPECT_EQ(ModeOf(file) & 07777, 0640u);
  }
  {
    UmaskScope umask(002);  // read again at each call, never kept
    EXPECT_TRUE(PlatformOps::WriteFileAttributes(fd, (S_IFREG | 0777u) << 16));
    EXPECT_EQ(ModeOf(file) & 07777, 0775u);
  }
  EXPECT_TRUE(PlatformOps::WriteModTime(fd, 1300000000));
  std::time_t modTime = 0;
  ASSERT_TRUE(PlatformOps::ReadModTime(file, modTime));
  EXPECT_EQ(modTime, 1300000000);
  ::close(fd);
  EXPECT_FALSE(PlatformOps::WriteModTime(-1, 1300000000));
  EXPECT_FALSE(PlatformOps::WriteFileAttributes(-1, 0x81A40000));

  EXPECT_EQ(PlatformOps::FilePermissionsFor((S_IFREG | S_ISGID | 0751u) << 16), 0751u);
  EXPECT_EQ(PlatformOps::FilePermissionsFor(PlatformOps::ConvertAttributes(0x21, 0, 3)), 0444u);
  EXPECT_EQ(PlatformOps::FilePermissionsFor(0x00000020), 0666u);
}

TEST(ZipFileModes, DirectoriesStayEnterableAndWritableByTheirOwner) {
  ScratchDir scratch;
  UmaskScope umask(022);
  const std::string folder = scratch / "d";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);

  // From DOS attributes (mode 0664): execute where read is, owner rwx.
  ASSERT_TRUE(PlatformOps::WriteAttributes(folder, PlatformOps::ConvertAttributes(0x10, 0, 3)));
  EXPECT_EQ(ModeOf(folder) & 07777, 0755u);
  // A read-only DOS folder (0444) is still the owner's to fill.
  ASSERT_TRUE(PlatformOps::WriteAttributes(folder, PlatformOps::ConvertAttributes(0x11, 0, 3)));
  EXPECT_EQ(ModeOf(folder) & 07777, 0755u);
  // A Unix folder entry with no permissions at all, and one with the sticky and set-group bits.
  ASSERT_TRUE(PlatformOps::WriteAttributes(folder, 0x40000000));
  EXPECT_EQ(ModeOf(folder) & 07777, 0700u);
  ASSERT_TRUE(PlatformOps::WriteAttributes(folder, 0x43FF0000));
  EXPECT_EQ(ModeOf(folder) & 07777, 0755u);
  // A folder on disk given file attributes is still a folder: default permissions, enterable.
  ASSERT_TRUE(PlatformOps::WriteAttributes(folder, 0x81000000));
  EXPECT_EQ(ModeOf(folder) & 07777, 0755u);
}

TEST(ZipFileModes, FolderEntriesAreMadeWithTheirModesUnderTheCurrentUmask) {
  ScratchDir scratch;
  {
    UmaskScope umask(022);
    // Made here: mkdir takes off the umask, then execute where read and owner rwx are added.
    ASSERT_TRUE(PlatformOps::MakeFolder(scratch / "unix/", (S_IFDIR | 0750u) << 16));
    EXPECT_EQ(ModeOf(scratch / "unix") & 07777, 0750u);
    ASSERT_TRUE(PlatformOps::MakeFolder(scratch / "readable", (S_IFDIR | S_ISGID | 0666u) << 16));
    EXPECT_EQ(ModeOf(scratch / "readable") & 07777, 0755u);
    ASSERT_TRUE(PlatformOps::MakeFolder(scratch / "closed", S_IFDIR << 16));
    EXPECT_EQ(ModeOf(scratch / "closed") & 07777, 0700u);
    ASSERT_TRUE(PlatformOps::MakeFolder(scratch / "dos", PlatformOps::ConvertAttributes(0x11, 0, 3)));
    EXPECT_EQ(ModeOf(scratch / "dos") & 07777, 0755u);
    // Missing folders above it are made as MakePath makes them.
    ASSERT_TRUE(PlatformOps::MakeFolder(scratch / "a/b/c//", (S_IFDIR | 0700u) << 16));
    EXPECT_EQ(ModeOf(scratch / "a/b") & 07777, 0755u);
    EXPECT_EQ(ModeOf(scratch / "a/b/c") & 07777, 0700u);
  }
  {
    // An existing folder gets the entry's mode less the umask of now.
    UmaskScope umask(027);
    ASSERT_TRUE(PlatformOps::MakeFolder(scratch / "unix", (S_IFDIR | 0777u) << 16));
    EXPECT_EQ(ModeOf(scratch / "unix") & 07777, 0750u);
    ASSERT_TRUE(PlatformOps::MakeFolder(scratch / "fresh", (S_IFDIR | 0777u) << 16));
    EXPECT_EQ(ModeOf(scratch / "fresh") & 07777, 0750u);
  }
  // A set-group bit that a new folder inherits from its parent is not kept.
  ASSERT_EQ(::chmod((scratch / "a").c_str(), 02755), 0);
  ASSERT_TRUE(PlatformOps::MakeFolder(scratch / "a/inherits", (S_IFDIR | 0755u) << 16));
  EXPECT_EQ(ModeOf(scratch / "a/inherits") & 07777, 0755u);
  // A file in the way is no folder.
  Touch(scratch / "file");
  EXPECT_FALSE(PlatformOps::MakeFolder(scratch / "file", (S_IFDIR | 0755u) << 16));
  EXPECT_FALSE(PlatformOps::MakeFolder(scratch / "file/below", (S_IFDIR | 0755u) << 16));
  EXPECT_EQ(ModeOf(scratch / "file") & S_IFMT, static_cast<mode_t>(S_IFREG));
}

// These run as an ordinary user: as root every permission check passes and the faults they look
// for stay hidden. As root, the launcher below runs them again as user nobody.
TEST(ZipFileModesAsUser, FolderMadeFromDosAttributesCanBeFilled) {
  if (brevik::test::RunningAsRoot()) GTEST_SKIP() << "needs an unprivileged user";
  ScratchDir scratch;
  const std::string folder = scratch / "made";
  ASSERT_TRUE(PlatformOps::MakePath(folder));
  ASSERT_TRUE(PlatformOps::WriteAttributes(folder, PlatformOps::ConvertAttributes(0x11, 0, 3)));
  const std::string inner = folder + "/inner.txt";
  Touch(inner);
  EXPECT_EQ(PlatformOps::PathKind(inner), 1) << "the folder could not be entered and written";
  EXPECT_TRUE(PlatformOps::MakePath(folder + "/sub/deeper"));
}

TEST(ZipFileModesAsUser, ReadOnlyAttributesReallyProtectTheFile) {
  if (brevik::test::RunningAsRoot()) GTEST_SKIP() << "needs an unprivileged user";
  ScratchDir scratch;
  const std::string file = scratch / "ro.txt";
  Touch(file);
  ASSERT_TRUE(PlatformOps::WriteAttributes(file, PlatformOps::ConvertAttributes(0x21, 0, 3)));
  EXPECT_EQ(ModeOf(file) & 0222, 0u);
  EXPECT_LT(::open(file.c_str(), O_WRONLY | O_CLOEXEC), 0);
  EXPECT_EQ(errno, EACCES);
  std::uint32_t attributes = 0;
  ASSERT_TRUE(PlatformOps::ReadAttributes(file, attributes));
  EXPECT_EQ(PlatformOps::ConvertAttributes(attributes, 3, 0), 0x21u);
}

TEST(ZipFileModesAsUser, RemovalInAProtectedFolderFailsWith113) {
  if (brevik::test::RunningAsRoot()) GTEST_SKIP() << "needs an unprivileged user";
  ScratchDir scratch;
  const std::string folder = scratch / "locked";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::string file = folder + "/f";
  Touch(file);
  ASSERT_EQ(::chmod(folder.c_str(), 0500), 0);
  EXPECT_FALSE(PlatformOps::DeleteFileByName(file, false));
  try {
    PlatformOps::DeleteFileByName(file, true);
    FAIL() << "removed a file from a read-only folder";
  } catch (const CZipException& error) {
    EXPECT_EQ(error.GetFileName(), file);
    EXPECT_STREQ(error.what(), "Error while removing a file (Permission denied\n)");
  }
  EXPECT_FALSE(PlatformOps::MakePath(folder + "/new/sub"));
  EXPECT_FALSE(PlatformOps::IsExistingDir(folder + "/new"));
  ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
}

TEST(ZipFileModes, UnprivilegedCasesPassAsNobody) {
  if (!brevik::test::RunningAsRoot() || brevik::test::RunningAsNobodyChild()) {
    GTEST_SKIP() << "already unprivileged: the cases ran directly";
  }
  ScratchDir scratch;
  const auto result = brevik::test::RunTestsAsNobody(scratch.path(), "*AsUser.*");
  EXPECT_EQ(result.exitStatus, 0) << result.output;
  EXPECT_EQ(result.output.find("SKIPPED"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("[  PASSED  ]"), std::string::npos) << result.output;
}

}  // namespace
