#pragma once

#include <functional>
#include <memory>
#include <string>

#include "runtime/executor.h"
#include "runtime/serial_queue.h"

namespace corvane::runtime {

using SerialQueueFactory = std::function<std::shared_ptr<SerialQueue>(const std::string& label)>;

// The process's main actor and the way it makes serial queues. One is installed at a time: the
// app installs its Qt loop with thread queues, each test its VirtualRunLoop with stepped queues.
// Installing returns the previous services so a scope can put them back.
struct RuntimeServices {
  MainExecutor* main = nullptr;
  SerialQueueFactory makeQueue;
};

RuntimeServices installRuntime(RuntimeServices services);
bool hasRuntime();

// The installed main actor; aborts with a message when none is installed.
MainExecutor& mainExecutor();
// A new serial queue with the given label from the installed factory.
std::shared_ptr<SerialQueue> makeSerialQueue(const std::string& label);
// The installed main actor's clocks.
Uptime uptime();
WallTime now();

// Posts `job` to the main actor, or runs it at once when already there.
void runOnMain(Job job);

// Installs services for the lifetime of the scope, then restores the previous ones.
class ScopedRuntime {
 public:
  explicit ScopedRuntime(RuntimeServices services)
      : previous_(installRuntime(std::move(services))) {}
  ~ScopedRuntime() { installRuntime(std::move(previous_)); }
  ScopedRuntime(const ScopedRuntime&) = delete;
  ScopedRuntime& operator=(const ScopedRuntime&) = delete;

 private:
  RuntimeServices previous_;
};

// The factory the application uses: a ThreadSerialQueue per label.
SerialQueueFactory threadQueueFactory();

}  // namespace corvane::runtime
