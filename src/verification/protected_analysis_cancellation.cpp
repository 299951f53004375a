#include "verification/protected_analysis_cancellation.h"

namespace corvane::verification {

void ProtectedAnalysisCancellation::registerRequests(
    const std::vector<platform::SharedTextRequestCancellation>& requests) {
  {
    std::lock_guard lock(mutex_);
    if (!cancelled_) {
      requests_.insert(requests_.end(), requests.begin(), requests.end());
      return;
    }
  }
  for (const auto& request : requests) request->cancel();
}

void ProtectedAnalysisCancellation::cancel() {
  std::vector<platform::SharedTextRequestCancellation> toCancel;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
    toCancel = requests_;
  }
  for (const auto& request : toCancel) request->cancel();
}

bool ProtectedAnalysisCancellation::isCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

}  // namespace corvane::verification
