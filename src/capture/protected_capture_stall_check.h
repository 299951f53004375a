#pragma once

#include <optional>

#include "runtime/clock.h"

namespace corvane::capture {

// Whether a running capture has stalled. Capture is quiet when the stream has reported no sample
// and nothing was published for kQuietThreshold; a quiet capture has stalled when user input
// that came after the last activity has gone unanswered for kUnfollowedInputThreshold. A static
// screen with no input is never a stall. Remembers since when input went unanswered, so it is
// asked at each check of one session (main actor).
class ProtectedCaptureStallCheck {
 public:
  static constexpr double kQuietThreshold = 10.0;
  static constexpr double kUnfollowedInputThreshold = 3.0;

  struct Observation {
    runtime::Uptime now = 0;
    runtime::Uptime lastSample = 0;                // the stream's last sample
    std::optional<runtime::Uptime> lastPublished;  // the last frame out, if any
    double secondsSinceInput = 0;                  // infinity: no input known
  };

  // True when the capture has stalled.
  bool hasStalled(const Observation& observation);
  // Forgets unanswered input (a hold, a new session, activity).
  void reset() { unfollowedInputSince_.reset(); }

 private:
  std::optional<runtime::Uptime> unfollowedInputSince_;
};

}  // namespace corvane::capture
