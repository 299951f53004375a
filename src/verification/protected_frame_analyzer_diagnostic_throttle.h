#pragma once

#include <mutex>

#include "runtime/clock.h"

namespace corvane::verification {

// Keeps the text-coverage event to one a second across every analyzer that shares it.
class ProtectedFrameAnalyzerDiagnosticThrottle {
 public:
  static constexpr double kMinimumInterval = 1.0;

  // Whether a report at uptime `now` may be recorded; remembers it when so.
  bool shouldReport(runtime::Uptime now);

 private:
  std::mutex mutex_;
  runtime::Uptime lastCoverageReportTime_ = 0;
};

}  // namespace corvane::verification
