// ZipWorkerPool.h -- a fixed set of threads that run queued jobs in the order they were queued.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

/// Threads that take jobs from one queue, oldest first. A job's completion (or its exception) is
/// delivered through the future `Run` returns. The destructor lets the queued jobs finish and
/// joins every thread, so a job's captured data outlives the pool only if the job owns it.
class ZipWorkerPool {
public:
  /// Starts `threads` threads (at least one).
  explicit ZipWorkerPool(unsigned threads);
  ~ZipWorkerPool();
  ZipWorkerPool(const ZipWorkerPool&) = delete;
  ZipWorkerPool& operator=(const ZipWorkerPool&) = delete;

  /// Queues `job`; the future becomes ready when it has run, carrying what it threw.
  std::future<void> Run(std::function<void()> job);
  unsigned ThreadCount() const { return static_cast<unsigned>(threads_.size()); }

private:
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<void()>> jobs_;  ///< guarded by `mutex_`
  bool stopping_ = false;                        ///< guarded by `mutex_`
  std::vector<std::thread> threads_;
};
