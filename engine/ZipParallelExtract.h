// ZipParallelExtract.h -- CZipParallelExtract: the entries of one extraction inflated and written on worker threads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/ZipWorkerPool.h"

class CZipArchive;

/// What became of one entry given to `CZipParallelExtract::Extract`: what `ExtractEntry` would
/// have answered or thrown for it.
struct ZipExtractOutcome {
  int index = -1;
  bool extracted = false;    ///< `ExtractEntry`'s result
  int refusal = 0;           ///< `GetExtractRefusal` after it, when not extracted
  std::exception_ptr error;  ///< what it threw, if anything
};

/// Extracts entries of one archive as `CZipArchive::ExtractEntry` does, on several threads.
///
/// The calling thread reads each entry's packed bytes (decrypting them and checking an AES
/// code and a data descriptor on the way) and makes the folders above it; a worker inflates
/// them, checks the CRC and writes the file through a temporary in its folder, which the
/// worker's own descriptor of that folder names. Only entries of at most
/// `CZipWholeInflater::MaxEntryBytes`, stored or deflated, go to workers; links, larger entries
/// and other methods are extracted on the calling thread, in their turn, after every entry
/// before them is finished. Folders are made at once on the calling thread. An entry whose path
/// is, or lies in, or holds the path of an entry still being written waits for every entry
/// before it, so that the order of changes on disk under one name is the archive's. An entry that fails on a worker for a reason in its data
/// (a CRC or size that disagrees, damaged deflate data) is extracted again in its turn on the
/// calling thread, which reports it exactly as a single thread does.
///
/// Outcomes, and the archive's extraction callbacks, come in the order entries were given, on
/// the calling thread, from `Next`. The bytes in flight (packed and inflated) stay under
/// `InFlightBytes`. The archive must not be used otherwise while this object lives.
class CZipParallelExtract {
public:
  /// Packed and inflated bytes of the entries given to workers and not yet written. With the
  /// calling thread's own buffers (an entry it reads whole may hold 8 MiB) and the process's
  /// own, an extraction stays under 32 MiB.
  static constexpr std::uint64_t InFlightBytes = std::uint64_t{12} << 20;
  /// Entries given to workers and not yet written (each holds a folder descriptor).
  static constexpr std::size_t InFlightEntries = 64;

  /// `threads` workers; with 1 or less each entry is extracted at once by `ExtractEntry`.
  CZipParallelExtract(CZipArchive& archive, unsigned threads);
  /// Lets the workers finish every entry given to them (none is left half-written), then ends them.
  ~CZipParallelExtract();
  CZipParallelExtract(const CZipParallelExtract&) = delete;
  CZipParallelExtract& operator=(const CZipParallelExtract&) = delete;

  /// Extracts entry `index` as `ExtractEntry(index, targetFolder, fullPath, newName, bufferSize)`;
  /// its outcome comes from `Next`. Waits while the entries in flight hold too much memory.
  void Extract(int index, const std::string& targetFolder, bool fullPath, const char* newName,
               std::uint32_t bufferSize);

  /// The outcome of the oldest entry not yet taken, once it is finished (waiting for it when
  /// `wait`), its callbacks made; nothing when none is waiting or, without `wait`, it is not
  /// finished yet.
  std::optional<ZipExtractOutcome> Next(bool wait);

private:
  struct Job;
  /// Extracts `job` with `ExtractEntry` on the calling thread, into its outcome.
  void ExtractHere(Job& job);
  /// Counts `job` in flight (waiting while too much is), reads its packed bytes and prepares
  /// its folder; false when the entry must be extracted on the calling thread instead (the
  /// archive then has no entry open, and the entry is not counted).
  bool Prepare(Job& job);
  /// Waits for every entry given out, and finishes each in order.
  void Settle();
  /// Makes `job`'s callbacks, or extracts it again here when its worker could not.
  void Finish(Job& job);
  /// True when an entry being written has a path equal to, inside or holding `relative`.
  bool ClashesWithWrites(const std::string& relative);
  /// A worker's turn at `job`: `Write`, then the job counted out of flight and marked written.
  void WriteOnWorker(Job& job);
  /// Inflates, checks and writes `job` (on a worker).
  static void Write(Job& job, class CZipWholeInflater& inflater);

  CZipArchive& archive_;
  std::deque<std::unique_ptr<Job>> jobs_;  ///< in the order given, until taken by `Next`
  std::mutex mutex_;                       ///< guards what follows and each job's `written`
  std::condition_variable jobWritten_;
  std::uint64_t bytesInFlight_ = 0;
  std::size_t entriesInFlight_ = 0;
  /// The workers (none with one thread). Last member: its destructor lets the queued jobs finish
  /// and joins the threads before anything they use goes.
  std::optional<ZipWorkerPool> workers_;
};
