#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace corvane::bench {

// Calls `tick` 60 times a second on a thread of its own until destroyed.
class SixtyHertz {
 public:
  explicit SixtyHertz(std::function<void()> tick)
      : thread_([this, tick = std::move(tick)] {
          auto next = std::chrono::steady_clock::now();
          while (!stop_) {
            tick();
            next += std::chrono::microseconds(16667);
            std::this_thread::sleep_until(next);
          }
        }) {}
  ~SixtyHertz() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace corvane::bench
