// FuzzArchive.h -- what the fuzz targets share: an archive opened on the input's bytes and every entry read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CZipArchive;

namespace brevik::fuzz {

/// What reading one entry gave: the failure's code (0 for none), and the data's length and CRC-32.
struct EntryOutcome {
  int code = 0;
  std::uint64_t bytes = 0;
  std::uint32_t crc = 0;
  bool operator==(const EntryOutcome&) const = default;
};

/// Reads every entry of the open `archive` in order (the way an extraction of the whole archive
/// does), each to its end and closed with its checks. A failure ends that entry only: it is closed
/// as after an error and the next one is read.
std::vector<EntryOutcome> ReadEveryEntry(CZipArchive& archive);

/// Stops the process with a message on standard error, as a crash the fuzzer reports.
[[noreturn]] void Fail(const std::string& what);

}  // namespace brevik::fuzz
