#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

#include "capture/protected_captured_frame.h"
#include "platform/geometry.h"
#include "runtime/clock.h"

namespace corvane::capture {

// The delivery configuration that the main actor installs and the samples and relay queues read,
// with the accepted-frame counters and the scheduling of reports back to the main actor.
class ProtectedFrameDeliveryState {
 public:
  struct Configuration {
    std::uint64_t generation = 0;               // capture generation
    std::uint64_t sourceContextGeneration = 0;  // desktop (Space) context
    std::uint64_t streamIdentity = 0;           // serial of the accepted stream; 0 = none
    bool isAcceptingFrames = false;
    std::optional<runtime::Uptime> minimumTimestamp;  // frames captured earlier are dropped
    double minimumAnalysisInterval = 0;
    bool isPaused = false;  // publication held (pause, desktop switch, filter change)
    platform::Rect displayFrame;

    bool operator==(const Configuration&) const = default;

    // Whether a frame of `frameGeneration` captured at `timestamp` may still travel on. A paused
    // configuration still admits frames here; the caller decides what pausing means for it.
    bool admits(std::uint64_t frameGeneration, runtime::Uptime timestamp) const;
    // The same, and not paused, for the same source context: may the frame be published now.
    bool admitsPublication(std::uint64_t frameGeneration, std::uint64_t frameSourceContext,
                           runtime::Uptime timestamp) const;
  };

  struct Report {
    int acceptedFrameCount = 0;
    runtime::WallTime lastSampleDate;
  };

  static constexpr double kReportInterval = 0.25;  // seconds between reports after the first few

  ProtectedFrameDeliveryState();

  // Installs a configuration; with `resetCounters` the count starts again from zero, the last
  // sample date goes back to the distant past and no report is scheduled.
  void update(const Configuration& configuration, bool resetCounters);
  Configuration configuration() const;

  // Counts one drained frame. Returns true when the caller must schedule a report on the main
  // actor: none is scheduled yet and this is one of the first three frames of the count or at
  // least kReportInterval passed since the last report.
  bool recordAcceptedFrame(runtime::WallTime date, runtime::Uptime now);

  // The scheduled report, when one is scheduled and at least one frame was counted; taking it
  // clears the schedule and stamps the report time.
  std::optional<Report> takeReport(runtime::Uptime now);

  int acceptedFrameCount() const;
  bool isReportScheduled() const;

 private:
  mutable std::mutex mutex_;
  Configuration configuration_;
  int acceptedFrameCount_ = 0;
  runtime::WallTime lastSampleDate_;
  runtime::Uptime lastReportTime_ = 0;
  bool reportScheduled_ = false;
};

}  // namespace corvane::capture
