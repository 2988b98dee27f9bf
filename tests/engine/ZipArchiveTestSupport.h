// ZipArchiveTestSupport.h -- helpers for the archive object's tests: entries, callbacks, expected errors.
#pragma once

#include "engine/ZipArchive.h"
#include "engine/ZipException.h"
#include "engine/ZipFileHeader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <dirent.h>
#include <string>
#include <vector>

namespace brevik::test {

/// A callback that records what it was told and answers false at the step numbered `stopAtStep`
/// (1-based; 0 never stops).
class RecordingCallback : public CZipActionCallback {
public:
  explicit RecordingCallback(int stopAtStep = 0) : stopAtStep_(stopAtStep) {}
  void Begin(const char* entryName, const char* path) override {
    events.push_back(std::string("Begin ") + (entryName ? entryName : "(null)") + " " + (path ? path : "(null)"));
  }
  void SetTotal(std::uint32_t total) override { events.push_back("SetTotal " + std::to_string(total)); }
  void End() override { events.push_back("End"); }
  bool Step(std::uint32_t amount) override {
    events.push_back("Step " + std::to_string(amount));
    return ++steps_ != stopAtStep_;
  }
  std::vector<std::string> events;

private:
  int stopAtStep_;
  int steps_ = 0;
};

/// Writes one entry through the low-level calls: a header named `name` with `modTime` and the
/// default file attributes, `bytes` as its data, compressed at `level`.
inline void WriteTestEntry(CZipArchive& archive, const std::string& name, const std::string& bytes, int level = -1,
                           std::time_t modTime = 1200000000) {
  CZipFileHeader header;
  header.SetEntryName(name);
  header.SetEntrySystem(3);
  header.SetEntryAttributes(0x81A40000u);
  header.SetEntryTime(modTime);
  ASSERT_TRUE(archive.OpenEntryForWriting(header, level));
  ASSERT_TRUE(archive.WriteEntryData(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
  ASSERT_TRUE(archive.CloseEntryForWriting(false));
}

/// Reads entry `index` completely through the low-level calls, in pieces of `pieceSize`.
inline std::string ReadTestEntry(CZipArchive& archive, int index, std::uint32_t pieceSize = 4096) {
  std::string bytes;
  EXPECT_TRUE(archive.OpenEntryForReading(index));
  std::vector<char> piece(pieceSize);
  for (;;) {
    std::uint32_t got = archive.ReadEntryData(piece.data(), pieceSize);
    bytes.append(piece.data(), got);
    if (got < pieceSize) break;
  }
  EXPECT_EQ(archive.CloseEntryForReading(nullptr, false), 1);
  return bytes;
}

/// The header of entry `index`.
inline CZipFileHeader EntryInfo(const CZipArchive& archive, int index) {
  CZipFileHeader header;
  EXPECT_TRUE(archive.GetEntryInfo(header, index));
  return header;
}

/// Runs `action` and returns the code of the `CZipException` it throws (0 when it throws none),
/// with its message in `message`.
template <class Action>
int ZipErrorOf(Action&& action, std::string* message = nullptr) {
  try {
    action();
  } catch (const CZipException& error) {
    if (message != nullptr) *message = error.what();
    return error.GetCause();
  }
  return 0;
}

/// Number of file descriptors the process has open.
inline int OpenDescriptorCount() {
  int count = 0;
  if (DIR* folder = opendir("/proc/self/fd")) {
    while (readdir(folder) != nullptr) ++count;
    closedir(folder);
  }
  return count;
}

}  // namespace brevik::test
