#pragma once

#include <mutex>
#include <vector>

#include "platform/text_recognizer.h"

namespace corvane::verification {

// Stops one analysis that has gone stale: cancels every text request the analyzer registered,
// running or about to run. Cancelled once, for good; callable from any thread.
class ProtectedAnalysisCancellation {
 public:
  // Called before requests run. After cancel() the requests are cancelled at once and not kept.
  void registerRequests(const std::vector<platform::SharedTextRequestCancellation>& requests);
  void cancel();
  bool isCancelled() const;

 private:
  mutable std::mutex mutex_;
  std::vector<platform::SharedTextRequestCancellation> requests_;
  bool cancelled_ = false;
};

}  // namespace corvane::verification
