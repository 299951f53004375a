#pragma once

#include <deque>
#include <string>

#include "runtime/serial_queue.h"

namespace corvane::operations::testing {

// A serial queue that runs posted jobs only when the test says so; runSync runs at once.
class ManualQueue final : public runtime::SerialQueue {
 public:
  explicit ManualQueue(std::string label = "test") : label_(std::move(label)) {}
  const std::string& label() const override { return label_; }
  void post(runtime::Job job) override { jobs_.push_back(std::move(job)); }
  void runSync(runtime::Job job) override { job(); }
  bool isCurrent() const override { return false; }

  std::size_t pending() const { return jobs_.size(); }
  void runAll() {
    while (!jobs_.empty()) {
      auto job = std::move(jobs_.front());
      jobs_.pop_front();
      job();
    }
  }

 private:
  std::string label_;
  std::deque<runtime::Job> jobs_;
};

}  // namespace corvane::operations::testing
