#pragma once

#include <functional>

#include "runtime/clock.h"

namespace corvane::runtime {

using Job = std::function<void()>;

// Something that runs jobs one at a time, in the order they were posted.
class Executor {
 public:
  virtual ~Executor() = default;
  // Queues a job; callable from any thread.
  virtual void post(Job job) = 0;
  // True when the calling code is running inside one of this executor's jobs.
  virtual bool isCurrent() const = 0;
};

// The main actor: the one executor on which the controller, the managers, the views and every
// engine's published state live. It also owns time: its timers and its clocks go together, so a
// virtual loop can move both at once.
class MainExecutor : public Executor, public Clock {
 public:
  // Runs `job` on this executor once `delaySeconds` of uptime have passed (0 = next turn).
  virtual void postAfter(double delaySeconds, Job job) = 0;
};

}  // namespace corvane::runtime
