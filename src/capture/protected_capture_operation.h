#pragma once

#include <functional>
#include <string>

#include "platform/screen_capture.h"
#include "runtime/result.h"
#include "runtime/task.h"

namespace corvane::capture {

// The stream operations that are only ever run through the time-limited handshake.
enum class ProtectedCaptureOperation { start, stop };

std::string operationName(ProtectedCaptureOperation operation);

// "Screen capture start timed out" / "Screen capture stop timed out".
std::string timedOutMessage(ProtectedCaptureOperation operation);

// The time-limited wait for a stream's start or stop.
class ProtectedCaptureOperationAwaiter {
 public:
  // Starts the platform operation through `registerOperation`, which receives the completion to
  // call. Completes exactly once, on the caller's executor: with the completion's status when it
  // comes within `timeoutSeconds`, with the time-out error when the time passes first, or with a
  // cancellation error when the calling task is cancelled. A completion after that is dropped.
  static runtime::Task<runtime::Status> wait(
      ProtectedCaptureOperation operation, double timeoutSeconds,
      std::function<void(platform::Completion)> registerOperation);
};

}  // namespace corvane::capture
