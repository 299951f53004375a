#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "runtime/executor.h"
#include "runtime/runtime.h"
#include "runtime/serial_queue.h"

namespace corvane::runtime {

class VirtualSerialQueue;

// The tests' main actor. Time stands still until the test moves it: advance(d) runs every job
// and timer that falls due on the way, in order; runUntilIdle() runs what is due now. Serial
// queues made here run on the same thread, interleaved in posting order, so a whole session is
// deterministic. Construction installs the loop as the runtime; destruction cancels live tasks,
// lets them finish, and restores the previous runtime.
class VirtualRunLoop final : public MainExecutor {
 public:
  // Uptime starts at 1000 s; the wall clock at 2026-01-05T09:00:00Z.
  VirtualRunLoop();
  ~VirtualRunLoop() override;
  VirtualRunLoop(const VirtualRunLoop&) = delete;
  VirtualRunLoop& operator=(const VirtualRunLoop&) = delete;

  void post(Job job) override;
  void postAfter(double delaySeconds, Job job) override;
  bool isCurrent() const override;
  Uptime uptime() const override;
  WallTime now() const override;

  // Moves virtual time forward by `seconds`, running everything that falls due on the way.
  void advance(double seconds);
  // Runs posted jobs, queue jobs and timers due now until nothing is left to run.
  void runUntilIdle();
  // Sets the wall clock without moving uptime (a user changing the date).
  void setWallTime(WallTime time);

  std::shared_ptr<VirtualSerialQueue> makeQueue(const std::string& label);

  std::size_t pendingJobCount() const;
  std::size_t pendingTimerCount() const;
  std::optional<Uptime> nextTimerDue() const;

  struct Core;

 private:
  std::shared_ptr<Core> core_;
  std::optional<ScopedRuntime> installation_;
};

// A serial queue stepped by its VirtualRunLoop. A held queue keeps its jobs until released or
// stepped, so a test can interleave threads exactly as it wants.
class VirtualSerialQueue final : public SerialQueue {
 public:
  VirtualSerialQueue(std::shared_ptr<VirtualRunLoop::Core> core, int id, std::string label);
  ~VirtualSerialQueue() override;

  const std::string& label() const override { return label_; }
  void post(Job job) override;
  void runSync(Job job) override;
  bool isCurrent() const override;

  void hold();
  void release();
  // Runs this queue's oldest job; false when it has none.
  bool step();
  std::size_t pendingCount() const;

 private:
  std::shared_ptr<VirtualRunLoop::Core> core_;
  int id_;
  std::string label_;
};

}  // namespace corvane::runtime
