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

/// The largest entry read or extracted: about what deflate makes of the 64 KiB inputs the fuzz
/// tests use. bzip2, LZMA and Zstandard data can expand a thousand times more, and a small input
/// would have gigabytes decoded (the product holds them to its ratio limit, above the engine).
inline constexpr std::uint32_t MaxEntryBytes = 64u << 20;

/// Reads every entry of the open `archive` in order (the way an extraction of the whole archive
/// does), each to its end and closed with its checks. A failure ends that entry only: it is closed
/// as after an error and the next one is read. An entry declaring more than `MaxEntryBytes` is
/// passed over (code -3).
std::vector<EntryOutcome> ReadEveryEntry(CZipArchive& archive);

/// Stops the process with a message on standard error, as a crash the fuzzer reports.
[[noreturn]] void Fail(const std::string& what);

}  // namespace brevik::fuzz
