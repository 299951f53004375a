#pragma once

#include <atomic>

namespace corvane::platform::x11::testing {

// While one lives, every shmat of this process fails as it does when the address space is
// exhausted (ENOMEM); the X server, a process of its own, is untouched. Counts the refusals.
class RefusedSharedMemory {
 public:
  RefusedSharedMemory();
  ~RefusedSharedMemory();
  RefusedSharedMemory(const RefusedSharedMemory&) = delete;
  RefusedSharedMemory& operator=(const RefusedSharedMemory&) = delete;

  static int refusals();
};

}  // namespace corvane::platform::x11::testing
