#pragma once

#include "runtime/clock.h"
#include "runtime/runtime.h"

namespace corvane::model {

// The installed runtime's wall clock. Code that may run before a runtime is installed (the event
// log, launch preparation) falls back to the machine's clock instead of stopping the process.
inline runtime::WallTime currentWallTime() {
  if (runtime::hasRuntime()) return runtime::now();
  return runtime::SystemClock().now();
}

}  // namespace corvane::model
