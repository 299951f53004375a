#include "runtime/run_loop.h"

#include <chrono>

namespace corvane::runtime {

RunLoop::RunLoop() = default;

void RunLoop::post(Job job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void RunLoop::postAfter(double delaySeconds, Job job) {
  {
    std::lock_guard lock(mutex_);
    timers_.push(
        Timer{clock_.uptime() + std::max(0.0, delaySeconds), nextOrder_++, std::move(job)});
  }
  wake_.notify_one();
}

bool RunLoop::isCurrent() const {
  return runningThread_.load() == std::this_thread::get_id();
}

void RunLoop::quit() {
  {
    std::lock_guard lock(mutex_);
    quitRequested_ = true;
  }
  wake_.notify_one();
}

void RunLoop::run() {
  runningThread_ = std::this_thread::get_id();
  std::unique_lock lock(mutex_);
  quitRequested_ = false;
  while (!quitRequested_) {
    const Uptime current = clock_.uptime();
    while (!timers_.empty() && timers_.top().due <= current) {
      jobs_.push_back(std::move(const_cast<Timer&>(timers_.top()).job));
      timers_.pop();
    }
    if (!jobs_.empty()) {
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      lock.lock();
      continue;
    }
    if (timers_.empty()) {
      wake_.wait(lock);
    } else {
      const auto wait = std::chrono::duration<double>(timers_.top().due - current);
      wake_.wait_for(lock, wait);
    }
  }
  runningThread_ = std::thread::id{};
}

}  // namespace corvane::runtime
