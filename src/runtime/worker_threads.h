#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace corvane::runtime {

// A small fixed set of threads that share one job at a time with the calling thread: rows of an
// image (tiles compared, pixels scaled) are spread over them. The threads live as long as the
// object and sleep between jobs. One job runs at a time; callers from several threads take turns.
class WorkerThreads {
 public:
  // `threadCount` threads take part in each job, the caller included (at least 1).
  explicit WorkerThreads(int threadCount);
  ~WorkerThreads();
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;

  int threadCount() const { return static_cast<int>(threads_.size()) + 1; }

  // Runs body(i) once for every i in [0, count), each on one of the threads, and returns when
  // all have run. The caller takes what no worker took yet, so a worker slow to wake (a busy
  // machine) delays nothing: it finds the job done.
  void forEach(int count, const std::function<void(int)>& body);

  // Four, or fewer on a machine with fewer cores.
  static int defaultThreadCount();

 private:
  void workerLoop();
  // Runs the job's untaken items until none is left.
  void runShare();

  std::mutex callMutex_;  // one job at a time
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  // The job: items [0, count_), the next one not taken, and how many have run. Taken and counted
  // under the lock, so that no worker touches the body once the job has returned.
  const std::function<void(int)>* body_ = nullptr;
  int count_ = 0;
  int next_ = 0;
  int finished_ = 0;
  std::uint64_t jobGeneration_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace corvane::runtime
