#pragma once

#include "runtime/result.h"

namespace corvane::platform {

// Starts a new copy of the running application that waits until this process has exited before
// it goes on, so it never meets this copy's single-instance lock. Main actor.
class ApplicationRelauncher {
 public:
  virtual ~ApplicationRelauncher() = default;
  // Success once the new copy runs; the caller then quits. A failure says why it did not start.
  virtual runtime::Status relaunch() = 0;
};

}  // namespace corvane::platform
