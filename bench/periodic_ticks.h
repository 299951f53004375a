#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace corvane::bench {

// Calls `tick` `perSecond` times a second (none when 0) on a thread of its own until destroyed.
class PeriodicTicks {
 public:
  PeriodicTicks(double perSecond, std::function<void()> tick)
      : thread_([this, perSecond, tick = std::move(tick)] {
          const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
              std::chrono::duration<double>(perSecond > 0 ? 1 / perSecond : 0));
          auto next = std::chrono::steady_clock::now();
          while (perSecond > 0 && !stop_) {
            tick();
            next += period;
            std::this_thread::sleep_until(next);
          }
        }) {}
  ~PeriodicTicks() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace corvane::bench
