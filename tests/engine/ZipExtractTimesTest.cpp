// ZipExtractTimesTest.cpp -- extracted files get their own entry's time, whichever entry came before them.
#include "ZipArchiveTestSupport.h"

#include "engine/ZipMemFile.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace brevik::test {
namespace {

TEST(ZipExtractTimes, EachExtractedFileGetsItsEntrysTimeAcrossRepeatsAndChanges) {
  // Runs of one time, a change of the second only, of the date only, and a return to a time
  // seen before: a kept conversion must follow every change and never answer for another time.
  const std::time_t base = 1262347200;  // 2010-01-01 12:00:00 UTC, even seconds
  const std::time_t times[] = {base, base, base + 2, base + 2, base + 86400, base, base + 86400 + 2, base};
  CZipMemFile memory;
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(memory, CZipArchive::CreateNew));
  for (std::size_t i = 0; i < std::size(times); ++i) {
    WriteTestEntry(archive, "f" + std::to_string(i) + ".txt", "entry " + std::to_string(i), 6, times[i]);
  }
  ScratchDir dir;
  for (int round = 0; round < 2; ++round) {
    // The second round extracts backwards, so each entry follows a different one.
    for (std::size_t step = 0; step < std::size(times); ++step) {
      const std::size_t i = round == 0 ? step : std::size(times) - 1 - step;
      const std::string target = "r" + std::to_string(round) + "-" + std::to_string(i);
      ASSERT_TRUE(archive.ExtractEntry(static_cast<int>(i), dir.path(), false, target.c_str()));
      struct stat info {};
      ASSERT_EQ(::stat((dir / target).c_str(), &info), 0);
      EXPECT_EQ(info.st_mtime, times[i]) << target;
      // Through the other way of applying the time: by path, after reading the entry.
      ASSERT_TRUE(archive.OpenEntryForReading(static_cast<int>(i)));
      char sink[64];
      while (archive.ReadEntryData(sink, sizeof sink) == sizeof sink) {
      }
      EXPECT_EQ(archive.CloseEntryForReading((dir / target).c_str(), false), 1);
      ASSERT_EQ(::stat((dir / target).c_str(), &info), 0);
      EXPECT_EQ(info.st_mtime, times[i]) << target << " by path";
    }
  }
  archive.Close();
}

}  // namespace
}  // namespace brevik::test
