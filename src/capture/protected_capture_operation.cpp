#include "capture/protected_capture_operation.h"

#include <utility>

namespace corvane::capture {

std::string operationName(ProtectedCaptureOperation operation) {
  return operation == ProtectedCaptureOperation::start ? "start" : "stop";
}

std::string timedOutMessage(ProtectedCaptureOperation operation) {
  return "Screen capture " + operationName(operation) + " timed out";
}

runtime::Task<runtime::Status> ProtectedCaptureOperationAwaiter::wait(
    ProtectedCaptureOperation operation, double timeoutSeconds,
    std::function<void(platform::Completion)> registerOperation) {
  auto waiter = runtime::awaitCompletion<runtime::Status>(
      [registerOperation =
           std::move(registerOperation)](std::function<void(runtime::Status)> complete) {
        registerOperation([complete](runtime::Status status) { complete(std::move(status)); });
      },
      timeoutSeconds);
  auto outcome = co_await waiter;
  if (outcome) co_return *outcome;
  if (co_await runtime::isCancelled()) {
    co_return runtime::Status::failure("Screen capture " + operationName(operation) +
                                       " was cancelled");
  }
  co_return runtime::Status::failure(timedOutMessage(operation));
}

}  // namespace corvane::capture
