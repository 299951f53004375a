#include "capture/protected_capture_stall_check.h"

#include <algorithm>
#include <cmath>

namespace corvane::capture {

bool ProtectedCaptureStallCheck::hasStalled(const Observation& observation) {
  const auto now = observation.now;
  const auto lastOutput = observation.lastPublished.value_or(-1e18);
  const auto latestActivity = std::max(observation.lastSample, lastOutput);
  const bool quiet =
      now - observation.lastSample > kQuietThreshold && now - lastOutput > kQuietThreshold;
  if (!quiet) {
    reset();
    return false;
  }
  const double idle = observation.secondsSinceInput;
  const bool inputAfterActivity = std::isfinite(idle) && now - idle > latestActivity;
  if (!inputAfterActivity) {
    reset();
    return false;
  }
  if (!unfollowedInputSince_) unfollowedInputSince_ = std::max(now - idle, latestActivity);
  return now - *unfollowedInputSince_ >= kUnfollowedInputThreshold;
}

}  // namespace corvane::capture
