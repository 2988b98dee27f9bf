// ZipWorkerPool.cpp -- a fixed set of threads that run queued jobs in the order they were queued.
#include "engine/ZipWorkerPool.h"

ZipWorkerPool::ZipWorkerPool(unsigned threads) {
  if (threads == 0) threads = 1;
  threads_.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

ZipWorkerPool::~ZipWorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

std::future<void> ZipWorkerPool::Run(std::function<void()> job) {
  std::packaged_task<void()> task(std::move(job));
  std::future<void> done = task.get_future();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(task));
  }
  wake_.notify_one();
  return done;
}

void ZipWorkerPool::Work() {
  for (;;) {
    std::packaged_task<void()> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      // Queued jobs still run when stopping: their futures may be waited for.
      if (jobs_.empty()) return;
      task = std::move(jobs_.front());
      jobs_.pop_front();
    }
    task();
  }
}
