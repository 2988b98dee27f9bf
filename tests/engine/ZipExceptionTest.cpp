// ZipExceptionTest.cpp -- the engine's error texts, errno capture and the file exception's message.
#include "engine/ZipException.h"
#include "engine/ZipFileException.h"

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

TEST(ZipErrorMessages, EveryFixedCodeHasItsExactText) {
  const std::vector<std::pair<int, const char*>> table = {
      {1, "Not super-user"},
      {2, "No such file or directory"},
      {4, "Interrupted system call"},
      {5, "I/O error"},
      {6, "No such device or address"},
      {9, "Bad file number"},
      {12, "Not enough space"},
      {13, "Permission denied"},
      {14, "Bad address"},
      {17, "File exists"},
      {18, "Cross-device link"},
      {19, "No such device"},
      {20, "Not a directory"},
      {21, "Is a directory"},
      {22, "Invalid argument"},
      {23, "File table overflow"},
      {24, "Too many open files"},
      {27, "File too large"},
      {28, "No space left on device"},
      {29, "Illegal seek"},
      {30, "Read-only file system"},
      {101, "Damaged or not a zip file"},
      {102, "Crc mismatched"},
      {103, "No disk-spanning callback object set"},
      {104, "Disk change aborted"},
      {105, "Action aborted"},
      {106, "Action aborted safely"},
      {107, "The device selected for the disk spanning archive is non removable"},
      {108, "Limit of the maximum volumes reached"},
      {109, "The filename of the file being added to the archive is too long"},
      {110, "Incorrect password set for the file being decrypted"},
      {111, "During testing found the directory with the size greater than 0"},
      {112, "Internal error"},
      {115, "Cannot create the file for the specified platform"},
      {116, "The central directory was not found in the archive (or you were trying to open not the last disk "
            "of a multi-disk archive)"},
      {500, "Zlib Library error (end of stream)"},
      {503, "Zlib library error (stream error)"},
      {504, "Zlib library error (data error)"},
      {505, "Not enough memory"},
      {506, "Zlib library error (buffer error)"},
      {507, "Zlib library error (version error)"},
  };
  for (const auto& [code, text] : table) {
    // A fixed text never depends on the system error, whatever it is.
    EXPECT_EQ(DescribeError(code, false, EACCES), text) << code;
    EXPECT_EQ(DescribeError(code, true, 0), text) << code;
    EXPECT_EQ(CZipException(code).GetErrorDescription(), text) << code;
  }
}

TEST(ZipErrorMessages, CodesWithoutTextDescribeTheSystemErrorOrAreUnknown) {
  for (int code : {0, 3, 100, 117, 501, 499, 508}) {
    EXPECT_EQ(DescribeError(code, true, EACCES), "Unknown error") << code;
    EXPECT_EQ(DescribeError(code, false, 0), "Unknown error") << code;
    EXPECT_EQ(DescribeError(code, false, EAGAIN), "Resource temporarily unavailable\n") << code;
  }
  EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory\n");
  EXPECT_EQ(SystemErrorText(0), "Unknown error");
  EXPECT_EQ(SystemErrorText(4242), "The system cannot find error message for error number 4242");
}

TEST(ZipErrorMessages, RemoveAndRenameFailuresComposeTheSystemText) {
  EXPECT_EQ(DescribeError(113, false, EACCES), "Error while removing a file (Permission denied\n)");
  EXPECT_EQ(DescribeError(114, false, EXDEV), "Error while renaming a file (Invalid cross-device link\n)");
  EXPECT_EQ(DescribeError(113, true, 0), "Error while removing a file (Unknown error)");
  EXPECT_EQ(DescribeError(114, false, 4242),
            "Error while renaming a file (The system cannot find error message for error number 4242)");
}

TEST(ZipErrorMessages, ZlibErrnoIsDescribedByTheErrnoItCarries) {
  // Listed errno values use the table's own text, not the system's.
  EXPECT_EQ(DescribeError(502, false, ENOENT), "No such file or directory");
  EXPECT_EQ(DescribeError(502, true, ENOMEM), "Not enough space");
  // An unlisted errno gets the system's text even when no look-up was asked for.
  EXPECT_EQ(DescribeError(502, true, EAGAIN), "Resource temporarily unavailable\n");
  EXPECT_EQ(DescribeError(502, false, 0), "Unknown error");
  EXPECT_EQ(DescribeError(502, false, 502), "The system cannot find error message for error number 502");
}

TEST(ZipErrorMessages, ZlibResultsMapOntoTheShiftedBand) {
  EXPECT_EQ(ZlibToZipError(Z_STREAM_END), 500);
  EXPECT_EQ(ZlibToZipError(Z_NEED_DICT), 501);
  EXPECT_EQ(ZlibToZipError(Z_ERRNO), 502);
  EXPECT_EQ(ZlibToZipError(Z_STREAM_ERROR), 503);
  EXPECT_EQ(ZlibToZipError(Z_DATA_ERROR), 504);
  EXPECT_EQ(ZlibToZipError(Z_MEM_ERROR), 505);
  EXPECT_EQ(ZlibToZipError(Z_BUF_ERROR), 506);
  EXPECT_EQ(ZlibToZipError(Z_VERSION_ERROR), 507);
  EXPECT_EQ(ZlibToZipError(Z_OK), 100);
  EXPECT_EQ(ZlibToZipError(-7), 100);
}

TEST(ZipException, CapturesErrnoWhenMadeNotWhenAsked) {
  errno = EACCES;
  const CZipException removal(errRemoveFailed, "/data/a.zip");
  errno = 0;
  EXPECT_EQ(removal.GetSystemError(), EACCES);
  EXPECT_EQ(removal.GetErrorDescription(), "Error while removing a file (Permission denied\n)");
  EXPECT_STREQ(removal.what(), "Error while removing a file (Permission denied\n)");
  EXPECT_EQ(removal.GetFileName(), "/data/a.zip");
  EXPECT_EQ(removal.GetCause(), 113);

  errno = 0;
  const CZipException generic;
  EXPECT_EQ(generic.GetCause(), errGeneric);
  EXPECT_EQ(generic.GetFileName(), "");
  errno = ENOENT;
  EXPECT_EQ(generic.GetErrorDescription(), "Unknown error");
}

TEST(ZipException, ThrowZipErrorThrowsByValueWithCodeAndName) {
  try {
    ThrowZipError(CZipException::errBadArchive, "/x/y.zip");
    FAIL() << "no exception";
  } catch (const CZipException& error) {
    EXPECT_EQ(error.GetCause(), 101);
    EXPECT_EQ(error.GetFileName(), "/x/y.zip");
    EXPECT_STREQ(error.what(), "Damaged or not a zip file");
  }
  try {
    ThrowZipError(errZlibMemory);
    FAIL() << "no exception";
  } catch (const std::exception& error) {
    EXPECT_STREQ(error.what(), "Not enough memory");
  }
}

TEST(ZipException, CopyErrorMessageTruncatesAndRefusesUselessBuffers) {
  const CZipException error(errCrcMismatch);
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_FALSE(error.CopyErrorMessage(nullptr, 8));
  EXPECT_FALSE(error.CopyErrorMessage(buffer, 0));
  EXPECT_EQ(buffer[0], 'x');

  EXPECT_TRUE(error.CopyErrorMessage(buffer, 1));
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'x');

  EXPECT_TRUE(error.CopyErrorMessage(buffer, 4));
  EXPECT_STREQ(buffer, "Crc");

  char whole[64];
  EXPECT_TRUE(error.CopyErrorMessage(whole, sizeof whole));
  EXPECT_STREQ(whole, "Crc mismatched");

  const CZipFileException fileError(ENOENT, "/no/such");
  EXPECT_TRUE(fileError.CopyErrorMessage(whole, sizeof whole));
  EXPECT_STREQ(whole, "No such file or directory (/no/such)");
}

TEST(ZipFileException, MessageIsSystemTextThenPath) {
  errno = EACCES;
  const CZipFileException captured("/srv/a.zip");
  errno = 0;
  EXPECT_EQ(captured.GetSystemError(), EACCES);
  EXPECT_EQ(captured.GetFilePath(), "/srv/a.zip");
  EXPECT_EQ(captured.GetErrorDescription(), "Permission denied (/srv/a.zip)");
  EXPECT_STREQ(CZipFileException(EBUSY, "/srv/b.zip").what(), "Device or resource busy (/srv/b.zip)");
  EXPECT_STREQ(CZipFileException(4242, "m").what(),
               "The system cannot find error message for error number 4242 (m)");
}

}  // namespace
