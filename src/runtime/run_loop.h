#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

#include "runtime/executor.h"

namespace corvane::runtime {

// A real main run loop on the thread that calls run(): posted jobs and timers on the system
// clocks. The Qt application drives its own loop instead; this one serves headless programs and
// tests of the real threads.
class RunLoop final : public MainExecutor {
 public:
  RunLoop();

  void post(Job job) override;
  void postAfter(double delaySeconds, Job job) override;
  bool isCurrent() const override;
  Uptime uptime() const override { return clock_.uptime(); }
  WallTime now() const override { return clock_.now(); }

  // Runs jobs until quit() is called (from any thread or from a job).
  void run();
  void quit();

 private:
  struct Timer {
    Uptime due;
    unsigned long long order;
    Job job;
    bool operator>(const Timer& other) const {
      return due != other.due ? due > other.due : order > other.order;
    }
  };

  SystemClock clock_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  std::priority_queue<Timer, std::vector<Timer>, std::greater<>> timers_;
  unsigned long long nextOrder_ = 0;
  bool quitRequested_ = false;
  std::atomic<std::thread::id> runningThread_{};
};

}  // namespace corvane::runtime
