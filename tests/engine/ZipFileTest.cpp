// ZipFileTest.cpp -- disk files: open modes, errors with their paths, and sharing between processes.
#include "engine/ZipFile.h"

#include <chrono>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/ZipFileException.h"
#include "support/FoundationUnprivileged.h"
#include "support/ScratchDir.h"
#include "support/Shell.h"

namespace {

using brevik::test::ReadFileBytes;
using brevik::test::ScratchDir;
using brevik::test::WriteFileBytes;
using Clock = std::chrono::steady_clock;

constexpr unsigned kCreateArchive = 0x1022;    // read-write, create and truncate, deny writers
constexpr unsigned kChangeArchive = 0x2022;    // read-write, existing, deny writers
constexpr unsigned kReadArchive = 0x2020;      // read-only, existing, deny writers
constexpr unsigned kReadSource = 0x40;         // read-only, deny nobody
constexpr unsigned kWriteTarget = 0x1021;      // write-only, create and truncate, deny writers

std::string ReadWhole(CZipFile& file) {
  file.SeekToBegin();
  std::string bytes(file.GetLength(), '\0');
  bytes.resize(file.Read(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
  return bytes;
}

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

/// A child process that holds `path` opened with `flags` for `holdMs` milliseconds. With
/// `halfThenRest`, it writes the first half of `content`, tells the parent, waits, then writes the
/// rest; otherwise it tells the parent as soon as it holds the file. The constructor returns once
/// the child holds the file.
class HoldingChild {
public:
  HoldingChild(const std::string& path, unsigned flags, int holdMs, const std::string& content = "") {
    int ready[2];
    if (::pipe(ready) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      int status = 0;
      try {
        CZipFile file(path, flags);
        file.Write(content.data(), static_cast<std::uint32_t>(content.size() / 2));
        (void)!::write(ready[1], "r", 1);
        ::usleep(static_cast<useconds_t>(holdMs) * 1000);
        const std::size_t half = content.size() / 2;
        file.Write(content.data() + half, static_cast<std::uint32_t>(content.size() - half));
        file.Close();
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
    ::close(ready[1]);
    char byte = 0;
    const bool told = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    if (!told) throw std::runtime_error("the child never held the file");
  }
  /// The child's exit status (waits for it).
  int Wait() {
    int status = -1;
    if (pid_ > 0) ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  ~HoldingChild() { Wait(); }

private:
  pid_t pid_ = -1;
};

TEST(ZipFile, OpenModesCreateKeepAndTruncateAsTheirFlagsSay) {
  ScratchDir scratch;
  const std::string path = scratch / "a.zip";

  CZipFile file;
  EXPECT_TRUE(file.IsClosed());
  EXPECT_EQ(file.GetFilePath(), "");
  ASSERT_TRUE(file.Open(path, kCreateArchive, true));
  EXPECT_FALSE(file.IsClosed());
  EXPECT_EQ(file.GetFilePath(), path);
  file.Write("hello world", 11);
  EXPECT_EQ(file.GetPosition(), 11u);
  EXPECT_EQ(file.Seek(-5, CZipAbstractFile::end), 6u);
  char word[8] = {};
  EXPECT_EQ(file.Read(word, 8), 5u);
  EXPECT_EQ(std::string(word, 5), "world");
  EXPECT_EQ(file.Read(word, 8), 0u);
  file.SetLength(5);
  EXPECT_EQ(file.GetLength(), 5u);
  file.Flush();
  file.Close();
  file.Close();  // a second close does nothing
  EXPECT_TRUE(file.IsClosed());
  EXPECT_EQ(ReadFileBytes(path), "hello");

  // Opening an existing archive keeps its bytes; creating one again empties it.
  ASSERT_TRUE(file.Open(path, kChangeArchive, true));
  EXPECT_EQ(ReadWhole(file), "hello");
  file.Close();
  ASSERT_TRUE(file.Open(path, kReadArchive, true));
  EXPECT_THROW(file.Write("x", 1), CZipFileException);  // read-only
  file.Close();
  ASSERT_TRUE(file.Open(path, CZipFile::modeCreate | CZipFile::modeNoTruncate | kChangeArchive, true));
  EXPECT_EQ(file.GetLength(), 5u);
  file.Close();
  ASSERT_TRUE(file.Open(path, kWriteTarget, true));
  EXPECT_EQ(file.GetLength(), 0u);
  file.Close();

  // A relative name is reported as an absolute path.
  std::string before(4096, '\0');
  ASSERT_NE(::getcwd(before.data(), before.size()), nullptr);
  ASSERT_EQ(::chdir(scratch.path().c_str()), 0);
  const bool opened = file.Open("a.zip", kReadSource, false);
  ASSERT_EQ(::chdir(before.c_str()), 0);
  ASSERT_TRUE(opened);
  EXPECT_EQ(file.GetFilePath(), path);
}

TEST(ZipFile, FailedOpensThrowOrReportWithErrnoAndPath) {
  ScratchDir scratch;
  const std::string missing = scratch / "missing.zip";
  CZipFile file;
  errno = 0;
  EXPECT_FALSE(file.Open(missing, kChangeArchive, false));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(file.IsClosed());
  try {
    file.Open(missing, kReadArchive, true);
    FAIL() << "opened a missing file";
  } catch (const CZipFileException& error) {
    EXPECT_EQ(error.GetSystemError(), ENOENT);
    EXPECT_EQ(error.GetFilePath(), missing);
    EXPECT_EQ(error.GetErrorDescription(), "No such file or directory (" + missing + ")");
  }
  // A folder is no archive, whatever the mode.
  try {
    file.Open(scratch.path(), kReadArchive, true);
    FAIL() << "opened a folder";
  } catch (const CZipFileException& error) {
    EXPECT_EQ(error.GetErrorDescription(), "Is a directory (" + scratch.path() + ")");
  }
  EXPECT_THROW(CZipFile(scratch / "no/such/folder/a.zip", kCreateArchive), CZipFileException);
  // A FIFO would wait for a writer that never comes: it is refused at once.
  const std::string fifo = scratch / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  try {
    file.Open(fifo, kReadSource, true);
    FAIL() << "opened a FIFO";
  } catch (const CZipFileException& error) {
    EXPECT_EQ(error.GetErrorDescription(), "Invalid argument (" + fifo + ")");
  }
  EXPECT_FALSE(file.Open(fifo, kCreateArchive, false));
  // Operations on a closed file are errors, not crashes.
  EXPECT_THROW(file.GetLength(), CZipFileException);
  EXPECT_THROW(file.Write("x", 1), CZipFileException);
}

TEST(ZipFile, SecondWriterWaitsForTheFirstAndSeesItsWholeFile) {
  ScratchDir scratch;
  const std::string path = scratch / "shared.zip";
  const std::string content(64 * 1024, 'w');
  HoldingChild writer(path, kCreateArchive, 400, content);

  const auto start = Clock::now();
  CZipFile second;
  second.SetLockWait(std::chrono::milliseconds(5000));
  ASSERT_TRUE(second.Open(path, kChangeArchive, true));
  EXPECT_GE(ElapsedMs(start), 300);
  EXPECT_EQ(ReadWhole(second), content);
  second.Close();
  EXPECT_EQ(writer.Wait(), 0);
}

TEST(ZipFile, ATruncatingOpenThatWaitedCutsWhatTheHolderWroteMeanwhile) {
  ScratchDir scratch;
  const std::string path = scratch / "target.bin";
  // The holder starts with an empty file and writes its one byte only after we have looked.
  HoldingChild writer(path, kWriteTarget, 300, "x");
  CZipFile second;
  ASSERT_TRUE(second.Open(path, kWriteTarget, true));
  EXPECT_FALSE(second.CreatedFile());
  EXPECT_EQ(second.GetLength(), 0u);
  second.Close();
  EXPECT_EQ(writer.Wait(), 0);
}

TEST(ZipFile, NewFilesTakeTheirPermissionsFromTheOpenAndKnowTheyWereMade) {
  ScratchDir scratch;
  const std::string path = scratch / "new.txt";
  const mode_t oldMask = ::umask(027);
  CZipFile file;
  file.SetNewFilePermissions(07777);  // only the permission bits are kept
  const bool opened = file.Open(path, kWriteTarget, false);
  struct stat info {};
  const int statResult = ::stat(path.c_str(), &info);
  ::umask(oldMask);
  ASSERT_TRUE(opened);
  ASSERT_EQ(statResult, 0);
  EXPECT_EQ(info.st_mode & 07777, 0750u);
  EXPECT_TRUE(file.CreatedFile());
  file.Close();

  // A file made without any permission is still written through the descriptor that made it.
  const std::string locked = scratch / "locked.txt";
  file.SetNewFilePermissions(0);
  ASSERT_TRUE(file.Open(locked, kWriteTarget, true));
  file.Write("abc", 3);
  file.Close();
  ASSERT_EQ(::chmod(locked.c_str(), 0600), 0);
  EXPECT_EQ(ReadFileBytes(locked), "abc");

  // An existing file is opened as it is: not made, its mode untouched, its bytes cut.
  ASSERT_TRUE(file.Open(path, CZipFile::modeCreate | CZipFile::modeNoTruncate | kChangeArchive, true));
  EXPECT_FALSE(file.CreatedFile());
  file.Write("kept", 4);
  file.Close();
  ASSERT_TRUE(file.Open(path, kWriteTarget, true));
  EXPECT_FALSE(file.CreatedFile());
  EXPECT_EQ(file.GetLength(), 0u);
  file.Close();
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0750u);

  // A dangling link is followed as before: the open makes the file it names.
  const std::string link = scratch / "link";
  ASSERT_EQ(::symlink((scratch / "named.txt").c_str(), link.c_str()), 0);
  ASSERT_TRUE(file.Open(link, kWriteTarget, true));
  EXPECT_FALSE(file.CreatedFile());
  file.Write("via link", 8);
  file.Close();
  EXPECT_EQ(ReadFileBytes(scratch / "named.txt"), "via link");
}

TEST(ZipFile, ReaderNeverSeesAHalfWrittenArchive) {
  ScratchDir scratch;
  const std::string path = scratch / "shared.zip";
  const std::string content = "first half|second half";
  HoldingChild writer(path, kCreateArchive, 300, content);

  CZipFile reader;
  ASSERT_TRUE(reader.Open(path, kReadArchive, true));
  EXPECT_EQ(ReadWhole(reader), content);
  reader.Close();

  // Readers share: two at once, and a source reader that denies nobody, all open at once.
  CZipFile one(path, kReadArchive);
  CZipFile two;
  two.SetLockWait(std::chrono::milliseconds(0));
  EXPECT_TRUE(two.Open(path, kReadArchive, false));
  CZipFile source(path, kReadSource);
  EXPECT_EQ(ReadWhole(source), content);
  EXPECT_EQ(writer.Wait(), 0);
}

TEST(ZipFile, ConflictingOpenFailsAfterItsBoundAndCutsNothing) {
  ScratchDir scratch;
  const std::string path = scratch / "held.zip";
  WriteFileBytes(path, "precious bytes");
  HoldingChild reader(path, kReadArchive, 1500);

  CZipFile writer;
  writer.SetLockWait(std::chrono::milliseconds(200));
  const auto start = Clock::now();
  try {
    writer.Open(path, kCreateArchive, true);
    FAIL() << "got a file another process reads";
  } catch (const CZipFileException& error) {
    EXPECT_EQ(error.GetSystemError(), EBUSY);
    EXPECT_EQ(error.GetErrorDescription(), "Device or resource busy (" + path + ")");
  }
  const long waited = ElapsedMs(start);
  EXPECT_GE(waited, 180);
  EXPECT_LT(waited, 1400);
  EXPECT_TRUE(writer.IsClosed());
  // The truncating open waited for its lock before cutting: the reader's file is whole.
  EXPECT_EQ(ReadFileBytes(path), "precious bytes");
  errno = 0;
  EXPECT_FALSE(writer.Open(path, kChangeArchive, false));
  EXPECT_EQ(errno, EBUSY);

  // A source read that denies nobody needs no lock and is never kept waiting.
  CZipFile source;
  source.SetLockWait(std::chrono::milliseconds(0));
  EXPECT_TRUE(source.Open(path, kReadSource, false));
  EXPECT_EQ(reader.Wait(), 0);

  // Once the holder has gone, the same open succeeds.
  EXPECT_TRUE(writer.Open(path, kCreateArchive, false));
  EXPECT_EQ(writer.GetLength(), 0u);
}

std::uint64_t KernelPosition(const CZipFile& file) {
  return static_cast<std::uint64_t>(::lseek(file.GetHandle(), 0, SEEK_CUR));
}

std::uint64_t KernelLength(const CZipFile& file) {
  struct stat info {};
  ::fstat(file.GetHandle(), &info);
  return static_cast<std::uint64_t>(info.st_size);
}

TEST(ZipFile, KeptPositionAndLengthFollowEveryMoveAsTheKernelSeesIt) {
  ScratchDir scratch;
  const std::string path = scratch / "kept.zip";
  WriteFileBytes(path, "0123456789");
  CZipFile file(path, kChangeArchive);
  const auto agree = [&](std::uint64_t position, std::uint64_t length) {
    EXPECT_EQ(file.GetPosition(), position);
    EXPECT_EQ(KernelPosition(file), position);
    EXPECT_EQ(file.GetLength(), length);
    EXPECT_EQ(KernelLength(file), length);
  };
  agree(0, 10);
  file.Write("abcde", 5);
  agree(5, 10);
  EXPECT_EQ(file.SeekToEnd(), 10u);
  file.Write("xyz", 3);
  agree(13, 13);
  EXPECT_EQ(file.Seek(-4, CZipAbstractFile::current), 9u);
  char two[2];
  EXPECT_EQ(file.Read(two, 2), 2u);
  EXPECT_EQ(std::string(two, 2), "9x");
  agree(11, 13);
  // Cutting leaves the offset past the new end, where ftruncate leaves it.
  file.SetLength(6);
  agree(11, 6);
  EXPECT_EQ(file.Seek(0, CZipAbstractFile::end), 6u);
  EXPECT_EQ(file.Seek(6, CZipAbstractFile::begin), 6u);
  agree(6, 6);
  // A read at the end moves nothing; a move before the start fails and moves nothing either.
  EXPECT_EQ(file.Read(two, 2), 0u);
  try {
    file.Seek(-1, CZipAbstractFile::begin);
    FAIL() << "moved before the start";
  } catch (const CZipFileException& error) {
    EXPECT_EQ(error.GetSystemError(), EINVAL);
  }
  agree(6, 6);
  file.Close();
  EXPECT_EQ(ReadFileBytes(path), "abcde5");

  // Reopened, the length is asked again: nothing kept outlives a close.
  WriteFileBytes(path, "0123456789abcdef");
  ASSERT_TRUE(file.Open(path, kChangeArchive, false));
  agree(0, 16);
}

TEST(ZipFile, LengthOfASourceOthersMayWriteIsAskedEachTime) {
  ScratchDir scratch;
  const std::string path = scratch / "growing.txt";
  WriteFileBytes(path, "abc");
  // A source is read without a lock (anyone may be writing it): its length is asked each time.
  CZipFile source(path, kReadSource);
  EXPECT_EQ(source.GetLength(), 3u);
  const int other = ::open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::write(other, "defg", 4), 4);
  ::close(other);
  EXPECT_EQ(source.GetLength(), 7u);
  std::string bytes(7, '\0');
  EXPECT_EQ(source.Read(bytes.data(), 7), 7u);
  EXPECT_EQ(bytes, "abcdefg");
  EXPECT_EQ(source.GetPosition(), 7u);
}

TEST(ZipFileAsUser, UnreadableArchiveIsPermissionDenied) {
  if (brevik::test::RunningAsRoot()) GTEST_SKIP() << "needs an unprivileged user";
  ScratchDir scratch;
  const std::string path = scratch / "private.zip";
  WriteFileBytes(path, "secret");
  ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
  try {
    CZipFile file(path, kReadArchive);
    FAIL() << "read a file without read permission";
  } catch (const CZipFileException& error) {
    EXPECT_EQ(error.GetErrorDescription(), "Permission denied (" + path + ")");
  }
  ASSERT_EQ(::chmod(path.c_str(), 0400), 0);
  CZipFile file;
  EXPECT_FALSE(file.Open(path, kChangeArchive, false));
  EXPECT_EQ(errno, EACCES);
  EXPECT_TRUE(file.Open(path, kReadArchive, false));
}

}  // namespace
