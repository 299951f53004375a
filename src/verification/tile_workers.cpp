#include "verification/tile_workers.h"

#include <algorithm>

namespace corvane::verification {

TileWorkers::TileWorkers(int threadCount) {
  for (int i = 1; i < std::max(threadCount, 1); ++i)
    threads_.emplace_back([this] { workerLoop(); });
}

TileWorkers::~TileWorkers() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& thread : threads_) thread.join();
}

int TileWorkers::defaultThreadCount() {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(cores, 1, 4);
}

void TileWorkers::forEach(int count, const std::function<void(int)>& body) {
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
    next_.store(0, std::memory_order_relaxed);
    busyWorkers_ = static_cast<int>(threads_.size());
    ++jobGeneration_;
  }
  wake_.notify_all();
  runShare();
  // Every worker checks in once per job, so `body` outlives every use of it.
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return busyWorkers_ == 0; });
  body_ = nullptr;
}

void TileWorkers::runShare() {
  for (int i = next_.fetch_add(1, std::memory_order_relaxed); i < count_;
       i = next_.fetch_add(1, std::memory_order_relaxed))
    (*body_)(i);
}

void TileWorkers::workerLoop() {
  std::uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || jobGeneration_ != seen; });
      if (stopping_) return;
      seen = jobGeneration_;
    }
    runShare();
    {
      std::lock_guard lock(mutex_);
      --busyWorkers_;
    }
    done_.notify_one();
  }
}

}  // namespace corvane::verification
