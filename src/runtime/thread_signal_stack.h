#pragma once

#include <cstddef>

namespace corvane::runtime {

// An alternate signal stack for the calling thread while this object lives, so a fatal-signal
// handler still runs when the thread's own stack is exhausted or its stack pointer is corrupt.
// Every thread the application starts makes one first thing; a thread that already has an
// alternate stack keeps it and this object does nothing.
class ThreadSignalStack {
 public:
  ThreadSignalStack();
  ~ThreadSignalStack();
  ThreadSignalStack(const ThreadSignalStack&) = delete;
  ThreadSignalStack& operator=(const ThreadSignalStack&) = delete;

  bool installed() const { return memory_ != nullptr; }

 private:
  void* memory_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace corvane::runtime
