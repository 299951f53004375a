#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

#include "platform/screen_capture.h"
#include "platform/sim/sim_capture_script.h"
#include "runtime/serial_queue.h"

namespace corvane::platform::sim {

class SimDesktop;

// A capture stream of the simulated desktop. Once started it composes a frame from the desktop's
// state every minimum frame interval of virtual time (the first one interval after the start
// completes) and posts it to the sample queue; with SimFrameTiming::onChange it skips the
// intervals in which nothing it shows changed. Start, stop and updates answer as the desktop's
// capture script says. A frame stamped before a stop can still arrive after it when the script
// delays delivery, as with a real capture service.
class SimCaptureStream final : public CaptureStream,
                               public std::enable_shared_from_this<SimCaptureStream> {
 public:
  SimCaptureStream(std::weak_ptr<SimDesktop> desktop, ContentFilter filter,
                   StreamConfiguration configuration, StreamOutput output,
                   std::shared_ptr<runtime::SerialQueue> sampleQueue);
  // (A null sample queue gets one of the stream's own.)

  // Starting takes effect when the start completes successfully; a stop that completes first
  // cancels it. Stopping ends delivery when the stop completes (a hanging stop never ends it).
  void startCapture(Completion completion) override;
  void stopCapture(Completion completion) override;
  // The new filter takes effect when the update completes, or as the script's filterApplyDelay
  // or filterNeverApplies say; an older request never replaces a newer one.
  void updateContentFilter(ContentFilter filter, Completion completion) override;
  void updateConfiguration(StreamConfiguration configuration, Completion completion) override;
  // Counted only: the simulated stream makes frames on its own schedule anyway.
  void requestFrame() override;

  bool isRunning() const;
  ContentFilter filterInForce() const;
  StreamConfiguration configuration() const;
  // Samples handed to the sample queue (or to a delivery delay) so far.
  int samplesSent() const;

  // Stops by itself: onStopWithError runs on the sample queue and no further frame is composed.
  // Does nothing unless the stream is running.
  void failWithError(const std::string& message);

 private:
  // The desktop with the request counted; when the desktop is gone the completion fails at once.
  std::shared_ptr<SimDesktop> desktopCounting(int SimCaptureCounters::*counter,
                                              Completion& completion);
  // Answers a request as the script says, with what `effect` does to the stream when it is due.
  void answer(const SimOperationScript& script, Completion completion,
              std::function<runtime::Status(SimCaptureStream&)> effect);
  runtime::Status beginRunning(std::uint64_t lifecycle);
  runtime::Status endRunning();
  void applyFilter(std::uint64_t request, ContentFilter filter);
  void scheduleFrame(std::uint64_t lifecycle);
  void produceFrame(std::uint64_t lifecycle);
  void deliver(CapturedSample sample, double delay);

  std::weak_ptr<SimDesktop> desktop_;
  StreamOutput output_;
  std::shared_ptr<runtime::SerialQueue> sampleQueue_;

  mutable std::mutex mutex_;
  ContentFilter filter_;
  StreamConfiguration configuration_;
  bool running_ = false;
  bool startRequested_ = false;
  // Moves when the stream stops, so a pending start and pending frame timers end quietly.
  std::uint64_t lifecycle_ = 0;
  std::uint64_t filterRequests_ = 0;
  std::uint64_t filterApplied_ = 0;
  std::uint64_t configurationVersion_ = 0;
  // What the last delivered frame showed, for SimFrameTiming::onChange.
  using Fingerprint = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>;
  std::optional<Fingerprint> lastFingerprint_;
  int samplesSent_ = 0;
};

}  // namespace corvane::platform::sim
