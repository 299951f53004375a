#include "runtime/serial_queue.h"

#include <future>

#include "runtime/thread_signal_stack.h"

namespace corvane::runtime {

ThreadSerialQueue::ThreadSerialQueue(std::string label) : label_(std::move(label)) {
  thread_ = std::thread([this] {
    ThreadSignalStack signalStack;
    runLoop();
  });
}

ThreadSerialQueue::~ThreadSerialQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void ThreadSerialQueue::post(Job job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void ThreadSerialQueue::runSync(Job job) {
  if (isCurrent()) {
    job();
    return;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  post([&] {
    job();
    done.set_value();
  });
  finished.wait();
}

bool ThreadSerialQueue::isCurrent() const {
  return std::this_thread::get_id() == thread_.get_id();
}

void ThreadSerialQueue::runLoop() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

}  // namespace corvane::runtime
