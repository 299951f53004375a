#include "runtime/thread_signal_stack.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace corvane::runtime {
namespace {

constexpr std::size_t kMinimumBytes = 64 * 1024;

std::size_t stackBytes() {
  const long minimum = sysconf(_SC_MINSIGSTKSZ);
  return std::max<std::size_t>(kMinimumBytes,
                               minimum > 0 ? 4 * static_cast<std::size_t>(minimum) : kMinimumBytes);
}

}  // namespace

ThreadSignalStack::ThreadSignalStack() {
  stack_t current{};
  if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) return;
  const std::size_t size = stackBytes();
  void* memory =
      mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (memory == MAP_FAILED) return;
  stack_t stack{};
  stack.ss_sp = memory;
  stack.ss_size = size;
  if (sigaltstack(&stack, nullptr) != 0) {
    munmap(memory, size);
    return;
  }
  memory_ = memory;
  size_ = size;
}

ThreadSignalStack::~ThreadSignalStack() {
  if (memory_ == nullptr) return;
  stack_t disable{};
  disable.ss_flags = SS_DISABLE;
  sigaltstack(&disable, nullptr);
  munmap(memory_, size_);
}

}  // namespace corvane::runtime
