#include "runtime/worker_threads.h"

#include <algorithm>

namespace corvane::runtime {

WorkerThreads::WorkerThreads(int threadCount) {
  for (int i = 1; i < std::max(threadCount, 1); ++i)
    threads_.emplace_back([this] { workerLoop(); });
}

WorkerThreads::~WorkerThreads() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& thread : threads_) thread.join();
}

int WorkerThreads::defaultThreadCount() {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(cores, 1, 4);
}

void WorkerThreads::forEach(int count, const std::function<void(int)>& body) {
  if (count <= 0) return;
  if (threads_.empty() || count == 1) {
    for (int i = 0; i < count; ++i) body(i);
    return;
  }
  std::lock_guard call(callMutex_);
  {
    std::lock_guard lock(mutex_);
    body_ = &body;
    count_ = count;
    next_ = 0;
    finished_ = 0;
    ++jobGeneration_;
  }
  wake_.notify_all();
  runShare();
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return finished_ == count_; });
  body_ = nullptr;
  count_ = 0;
  next_ = 0;
}

void WorkerThreads::runShare() {
  std::unique_lock lock(mutex_);
  while (next_ < count_) {
    const int item = next_++;
    const auto* body = body_;
    lock.unlock();
    (*body)(item);
    lock.lock();
    if (++finished_ == count_) done_.notify_one();
  }
}

void WorkerThreads::workerLoop() {
  std::uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || jobGeneration_ != seen; });
      if (stopping_) return;
      seen = jobGeneration_;
    }
    runShare();
  }
}

}  // namespace corvane::runtime
