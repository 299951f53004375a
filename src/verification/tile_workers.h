#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace corvane::verification {

// A small fixed set of threads that share one job at a time with the calling thread: the tile
// kernel's rows are spread over them. The threads live as long as the object and sleep between
// jobs. One job runs at a time; callers from several threads take turns.
class TileWorkers {
 public:
  // `threadCount` threads take part in each job, the caller included (at least 1).
  explicit TileWorkers(int threadCount);
  ~TileWorkers();
  TileWorkers(const TileWorkers&) = delete;
  TileWorkers& operator=(const TileWorkers&) = delete;

  int threadCount() const { return static_cast<int>(threads_.size()) + 1; }

  // Runs body(i) once for every i in [0, count), each on one of the threads, and returns when
  // all have run.
  void forEach(int count, const std::function<void(int)>& body);

  // Four, or fewer on a machine with fewer cores.
  static int defaultThreadCount();

 private:
  void workerLoop();
  void runShare();

  std::mutex callMutex_;  // one job at a time
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void(int)>* body_ = nullptr;
  int count_ = 0;
  std::atomic<int> next_{0};
  int busyWorkers_ = 0;
  std::uint64_t jobGeneration_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace corvane::verification
