#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "runtime/clock.h"

namespace corvane::capture {

// Counts the outcome of every stream sample callback and says when the counts are due in the log.
class ProtectedCaptureCallbackMonitor {
 public:
  enum class Outcome { pixels, staleStream, invalidSample, missingPixelBuffer };

  struct Counts {
    int callbacks = 0;
    int pixels = 0;
    int staleStream = 0;
    int invalidSamples = 0;
    int missingPixelBuffers = 0;
    bool operator==(const Counts&) const = default;
    // The counts as the fields of the "protected_share_capture_callbacks" event.
    std::map<std::string, std::string> fields() const;
  };

  static constexpr double kReportInterval = 2.0;  // seconds between reports

  // Counts one callback (a `pixels` outcome also stamps the last pixel time). Returns the running
  // counts, which are never reset, when no report was made yet or the last one is at least
  // kReportInterval old; otherwise nothing.
  std::optional<Counts> record(Outcome outcome, runtime::Uptime now);

  // A replacement stream takes over: its silence is measured from `now`.
  void setLastPixelTime(runtime::Uptime now);
  runtime::Uptime lastPixelTime() const;
  Counts counts() const;

 private:
  mutable std::mutex mutex_;
  Counts counts_;
  runtime::Uptime lastReportTime_ = 0;
  runtime::Uptime lastPixelTime_ = 0;
  bool hasReported_ = false;
};

}  // namespace corvane::capture
