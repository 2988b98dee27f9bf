// ZipAddAhead.h -- worker threads that open, read and deflate announced sources ahead of the archive.
#pragma once

#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <string>

#include "engine/ZipPreparedSource.h"
#include "engine/ZipWorkerPool.h"

/// Sources announced in the order they will be added; with them the pool that also deflates a
/// long source's chunks. The memory held by sources read ahead is bounded: a worker that would
/// pass the bound leaves the source unread, and the archive reads it on its turn.
class ZipAddAhead {
public:
  /// Bytes that sources read ahead may hold together (the worst case of their deflated form
  /// while they are deflated, then the deflated data until it is written): with each worker's
  /// source being read and the chunks of a long source in flight this keeps a whole add within
  /// 32 MiB.
  static constexpr std::uint64_t MemoryBound = 16u << 20;

  /// `threads` workers (at least 2; one thread means no workers at all).
  explicit ZipAddAhead(unsigned threads);
  ~ZipAddAhead();
  ZipAddAhead(const ZipAddAhead&) = delete;
  ZipAddAhead& operator=(const ZipAddAhead&) = delete;

  /// Announces the disk file `path`, to be added next after those announced before, deflated at
  /// `level` (0: only opened and read).
  void Announce(const std::string& path, int level);
  /// How many more sources may be announced before the oldest is taken.
  unsigned Room() const;
  /// The prepared source announced as `path`, once its worker is done, or null when `path` was
  /// not announced. Sources announced before it and never taken are dropped.
  std::unique_ptr<ZipPreparedSource> Take(const std::string& path);
  /// Gives back the memory a taken source held (call when its data is written or dropped).
  void Release(ZipPreparedSource& prepared);
  /// Drops every announced source (their workers finish first).
  void Clear();

  ZipWorkerPool& Pool() { return pool_; }

private:
  struct Pending {
    std::unique_ptr<ZipPreparedSource> source;
    std::future<void> done;
  };
  void Prepare(ZipPreparedSource& prepared);
  bool Reserve(std::uint64_t bytes);
  void GiveBack(std::uint64_t bytes);

  /// Sources announced and not yet taken, at most: 32 per worker, so that a worker done with a
  /// small file finds the next one queued (sleeping and waking for each costs more than deflating
  /// a small header file); at most 64, as each holds an open descriptor, and a web server's
  /// process shares its descriptor limit between the calls of all its requests.
  unsigned limit_;
  std::deque<Pending> pending_;    ///< oldest first; used by the calling thread only
  std::mutex memoryMutex_;
  std::uint64_t memoryHeld_ = 0;   ///< guarded by `memoryMutex_`
  ZipWorkerPool pool_;             ///< last: its threads end before the members they use
};
