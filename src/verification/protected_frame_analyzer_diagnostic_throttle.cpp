#include "verification/protected_frame_analyzer_diagnostic_throttle.h"

namespace corvane::verification {

bool ProtectedFrameAnalyzerDiagnosticThrottle::shouldReport(runtime::Uptime now) {
  std::lock_guard lock(mutex_);
  if (now - lastCoverageReportTime_ < kMinimumInterval) return false;
  lastCoverageReportTime_ = now;
  return true;
}

}  // namespace corvane::verification
