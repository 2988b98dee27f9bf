// ArchiveFailureTest.cpp -- a full disk and an unprivileged user: clean errors, nothing leaked, archives intact.
#include "engine/ZipArchive.h"
#include "engine/ZipException.h"
#include "engine/ZipFileException.h"
#include "support/ArchivePeers.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

#include <dirent.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace brevik::test {
namespace {

namespace fs = std::filesystem;

int DescriptorCount() {
  int count = 0;
  if (DIR* folder = opendir("/proc/self/fd")) {
    while (readdir(folder) != nullptr) ++count;
    closedir(folder);
  }
  return count;
}

TEST(ArchiveFailure, AFullDiskWhileAddingIsAFileErrorAndTheFinishedEntriesSurvive) {
  ScratchDir dir;
  WriteFileBytes(dir / "small.txt", "small");
  WriteFileBytes(dir / "big.bin", GeneratedBytes(2 * 1024 * 1024, 41, false));
  int status = RunWithFileSizeLimit(512 * 1024, [&] {
    int descriptors = DescriptorCount();
    CZipArchive archive;
    archive.Open(dir / "full.zip", CZipArchive::CreateNew);
    if (!archive.AddFile(dir / "small.txt", -1, false)) return 10;
    int result = 11;
    try {
      archive.AddFile(dir / "big.bin", 6, false);
    } catch (const CZipFileException& error) {
      result = error.GetSystemError() == EFBIG ? 0 : 12;
    }
    // Keeping the directory needs room that the full disk may not have; the after-error close
    // that follows a failure always releases everything.
    try {
      archive.Close(CZipArchive::CloseAfterErrorKeepDirectory);
    } catch (const CZipFileException&) {
      archive.Close(CZipArchive::CloseAfterError);
    }
    if (!archive.IsClosed()) return 13;
    if (archive.GetZlibBlockCount() != 0) return 14;
    if (DescriptorCount() != descriptors) return 15;
    return result;
  });
  EXPECT_EQ(status, 0);
}

TEST(ArchiveFailure, AnUnreadableSourceIsSkippedAndAReadOnlyTargetIsAFileError) {
  ScratchDir dir;
  WriteFileBytes(dir / "private.txt", "private");
  chmod((dir / "private.txt").c_str(), 0600);
  WriteFileBytes(dir / "public.txt", "public");
  chmod((dir / "public.txt").c_str(), 0644);
  fs::create_directory(dir / "work");
  fs::permissions(dir / "work", fs::perms::all);
  fs::create_directory(dir / "locked");
  fs::permissions(dir / "locked", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read |
                                      fs::perms::group_exec | fs::perms::others_exec);

  int status = RunAsUnprivileged([&] {
    CZipArchive archive;
    archive.Open(dir / "work/u.zip", CZipArchive::CreateNew);
    if (archive.AddFile(dir / "private.txt", -1, false)) return 10;  // cannot be read: false
    if (!archive.AddFile(dir / "public.txt", -1, false)) return 11;
    archive.Close();
    archive.Open(dir / "work/u.zip", CZipArchive::OpenReadOnly);
    if (archive.GetCount() != 1) return 12;
    int result = 13;
    try {
      archive.ExtractEntry(0, dir / "locked");
    } catch (const CZipFileException& error) {
      result = error.GetSystemError() == EACCES ? 0 : 14;
    }
    archive.Close(CZipArchive::CloseAfterError);
    if (!archive.IsClosed()) return 15;
    if (archive.GetZlibBlockCount() != 0) return 16;
    return result;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(dir / "work/u.zip")).exitStatus, 0);
  EXPECT_FALSE(fs::exists(dir / "locked/public.txt"));
}

}  // namespace
}  // namespace brevik::test
