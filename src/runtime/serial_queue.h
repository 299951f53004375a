#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "runtime/executor.h"

namespace corvane::runtime {

// A named serial queue: jobs run one at a time in posting order, off the main actor.
class SerialQueue : public Executor {
 public:
  virtual const std::string& label() const = 0;
  // Runs `job` after everything already queued and returns when it has run. Called from the
  // queue itself it runs the job at once.
  virtual void runSync(Job job) = 0;
};

// The application's queue: one thread of its own.
class ThreadSerialQueue final : public SerialQueue {
 public:
  explicit ThreadSerialQueue(std::string label);
  // Runs what is queued, then joins the thread.
  ~ThreadSerialQueue() override;

  ThreadSerialQueue(const ThreadSerialQueue&) = delete;
  ThreadSerialQueue& operator=(const ThreadSerialQueue&) = delete;

  const std::string& label() const override { return label_; }
  void post(Job job) override;
  void runSync(Job job) override;
  bool isCurrent() const override;

 private:
  void runLoop();

  std::string label_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace corvane::runtime
